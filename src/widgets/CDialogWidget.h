#pragma once

#include <QDialog>
#include <QString>

class CDialogTitle;
class QVBoxLayout;

/// A frameless dialog whose vertical layout starts with a CDialogTitle; subclasses append their own
/// content below it with addWidget.
class CDialogWidget : public QDialog
{
    Q_OBJECT

public:
    CDialogWidget(QWidget* parent, const QString& strTitle, const QString& strSkinPath, bool bHideMax = false);
    ~CDialogWidget() override;

    void addWidget(QWidget* pWidget);
    CDialogTitle* titleBar() const;

public slots:
    void on_closed_slots();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    CDialogTitle* pTitleBar = nullptr;
    QVBoxLayout* pMainLayout = nullptr;
};
