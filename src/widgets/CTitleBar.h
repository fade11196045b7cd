#pragma once

#include <QColor>
#include <QFrame>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

class QToolButton;

/// A title strip drawn by the program: paints the title, carries minimise, maximise/restore and close
/// buttons at its right end and drags the window it belongs to. Subclasses decide what the buttons do.
class CTitleBar : public QFrame
{
    Q_OBJECT

public:
    /// The parent is also the window that the bar moves, maximises, minimises and hides.
    explicit CTitleBar(QWidget* parent);
    ~CTitleBar() override;

    /// Loads the button icons from the skin folder and shows the buttons selected by the mask:
    /// 1 close, 2 maximise, 4 minimise (the minimise button stays hidden in dialog mode).
    void initButtons(const QString& strSkinPath, int nButtons);
    void setTitleColor(const QColor& color);
    void setTitleAlignment(Qt::Alignment alignment);
    /// Dialog mode hides the minimise button and turns double-click maximising off.
    void setDialogMode(bool bDialogMode);

    QString title() const;
    QColor titleColor() const;
    Qt::Alignment titleAlignment() const;
    bool isDialogMode() const;
    bool isMaximised() const;

public slots:
    void setTitle(const QString& strTitle);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

protected slots:
    virtual void onMinimal() = 0;
    virtual void onMaxNormal(bool bMax = false) = 0;
    virtual void onClose() = 0;

protected:
    bool bMaximized = false;
    QRect rectRestore;
    QColor colorTitle = Qt::black;
    QString strTitle;
    Qt::Alignment alignTitle = Qt::AlignLeft | Qt::AlignVCenter;
    bool bPressed = false;
    QPoint ptWindowAtPress;
    QPoint ptMouseAtPress;
    QSize sizeButton;
    QWidget* pWindow = nullptr;
    QToolButton* pBtnMin = nullptr;
    QToolButton* pBtnMax = nullptr;
    QToolButton* pBtnClose = nullptr;
    bool bDialogMode = false;
};
