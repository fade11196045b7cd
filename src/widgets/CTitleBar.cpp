#include "CTitleBar.h"

#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>

CTitleBar::CTitleBar(QWidget* parent)
    : QFrame(parent), strTitle(QStringLiteral("test title")), sizeButton(20, 20), pWindow(parent)
{
    pBtnMin = new QToolButton(this);
    pBtnMax = new QToolButton(this);
    pBtnClose = new QToolButton(this);
    for (QToolButton* pButton : {pBtnMin, pBtnMax, pBtnClose})
        pButton->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    pBtnMin->setObjectName(QStringLiteral("SysMin"));
    pBtnMax->setObjectName(QStringLiteral("SysMax"));
    pBtnClose->setObjectName(QStringLiteral("SysClose"));
    pBtnMin->setToolTip(tr("Min"));
    pBtnMax->setToolTip(tr("Max"));
    pBtnClose->setToolTip(tr("Close"));
    pBtnMax->setCheckable(true);
    setStyleSheet(QStringLiteral("QToolButton#SysClose,#SysMax,#SysMin{background-color:rgba(0,0,0,0);}"));

    connect(pBtnMin, &QToolButton::clicked, this, [this]() { onMinimal(); });
    connect(pBtnMax, &QToolButton::clicked, this, [this](bool bChecked) { onMaxNormal(bChecked); });
    connect(pBtnClose, &QToolButton::clicked, this, [this]() { onClose(); });
}

CTitleBar::~CTitleBar() = default;

void CTitleBar::initButtons(const QString& strSkinPath, int nButtons)
{
    setObjectName(QStringLiteral("DlgTitleBar"));
    pBtnMin->setFixedSize(sizeButton);
    pBtnMax->setFixedSize(sizeButton);
    pBtnClose->setFixedSize(sizeButton);
    pBtnMin->setIcon(QIcon(strSkinPath + QStringLiteral("/sys_min.png")));
    pBtnMax->setIcon(QIcon(strSkinPath + QStringLiteral("/sys_max.png")));
    pBtnClose->setIcon(QIcon(strSkinPath + QStringLiteral("/sys_cls.png")));
    pBtnMax->setCheckable(true);

    pBtnClose->setVisible((nButtons & 1) != 0);
    pBtnMax->setVisible((nButtons & 2) != 0);
    // A dialog never minimises, whatever the mask asks for.
    pBtnMin->setVisible((nButtons & 4) != 0 && !bDialogMode);
}

void CTitleBar::setTitle(const QString& strNewTitle)
{
    strTitle = strNewTitle;
    if (pWindow)
        pWindow->setWindowTitle(strTitle);
    update();
}

void CTitleBar::setTitleColor(const QColor& color)
{
    colorTitle = color;
}

void CTitleBar::setTitleAlignment(Qt::Alignment alignment)
{
    alignTitle = alignment;
}

void CTitleBar::setDialogMode(bool bDialog)
{
    bDialogMode = bDialog;
    pBtnMin->setVisible(!bDialogMode);
}

QString CTitleBar::title() const
{
    return strTitle;
}

QColor CTitleBar::titleColor() const
{
    return colorTitle;
}

Qt::Alignment CTitleBar::titleAlignment() const
{
    return alignTitle;
}

bool CTitleBar::isDialogMode() const
{
    return bDialogMode;
}

bool CTitleBar::isMaximised() const
{
    return bMaximized;
}

void CTitleBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    bPressed = true;
    if (pWindow)
        ptWindowAtPress = pWindow->pos();
    ptMouseAtPress = event->globalPosition().toPoint();
}

void CTitleBar::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    bPressed = false;
    QWidget::mouseReleaseEvent(event);
}

void CTitleBar::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (bDialogMode)
        return;
    if (event->button() == Qt::LeftButton)
        onMaxNormal(!bMaximized);
}

void CTitleBar::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint ptGlobal = event->globalPosition().toPoint();
    if (bPressed && !bMaximized && pWindow)
        pWindow->move(ptWindowAtPress + (ptGlobal - ptMouseAtPress));
}

void CTitleBar::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setPen(colorTitle);
    QFont font = painter.font();
    font.setPointSize(12);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRect(0, 0, width(), height()), static_cast<int>(alignTitle), strTitle);
}

void CTitleBar::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    const int nWidth = width();
    const int nHeight = height();
    const QSize size = pBtnClose->size();
    const int y = (nHeight - size.height()) / 2;
    int x = nWidth - 5 - size.width();
    pBtnClose->move(x, y);
    x -= size.width() + 2;
    pBtnMax->move(x, y);
    x -= size.width() + 2;
    pBtnMin->move(x, y);
}
