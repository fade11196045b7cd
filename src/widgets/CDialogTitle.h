#pragma once

#include <QString>

#include "CTitleBar.h"

/// The title bar of the program's frameless dialogs: maximises against the available area of the
/// window's screen, minimises, and hides the window on close.
class CDialogTitle : public CTitleBar
{
    Q_OBJECT

public:
    explicit CDialogTitle(QWidget* parent);
    ~CDialogTitle() override;

    /// Remembers the skin folder (for the maximise/restore icons), then sets up the buttons and
    /// centres the title.
    void initButtons(const QString& strSkinPath, int nButtons);
    QString skinPath() const;

signals:
    void closed();

public slots:
    void onClose() override;
    void onMaxNormal(bool bMax = false) override;
    void onMinimal() override;

private:
    QString strSkinPath;
};
