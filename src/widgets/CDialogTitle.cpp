#include "CDialogTitle.h"

#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QToolButton>

CDialogTitle::CDialogTitle(QWidget* parent) : CTitleBar(parent)
{
    bMaximized = false;
}

CDialogTitle::~CDialogTitle() = default;

void CDialogTitle::initButtons(const QString& strSkin, int nButtons)
{
    strSkinPath = strSkin;
    CTitleBar::initButtons(strSkin, nButtons);
    setTitleAlignment(Qt::AlignCenter);
}

QString CDialogTitle::skinPath() const
{
    return strSkinPath;
}

void CDialogTitle::onClose()
{
    if (pWindow)
        pWindow->hide();
    emit closed();
}

void CDialogTitle::onMaxNormal(bool bMax)
{
    if (!pWindow)
        return;
    // The branch follows the current state; every caller passes the opposite of it as the new state.
    if (bMaximized) {
        pWindow->setGeometry(rectRestore);
        pBtnMax->setIcon(QIcon(strSkinPath + QStringLiteral("/sys_max.png")));
        pBtnMax->setToolTip(tr("Max"));
    } else {
        QScreen* pScreen = pWindow->screen();
        if (!pScreen)
            pScreen = QGuiApplication::primaryScreen();
        const QRect rectAvailable = pScreen ? pScreen->availableGeometry() : pWindow->geometry();
        rectRestore = pWindow->geometry();
        pWindow->setGeometry(rectAvailable);
        pBtnMax->setIcon(QIcon(strSkinPath + QStringLiteral("/sys_normal.png")));
        pBtnMax->setToolTip(tr("Normal"));
    }
    bMaximized = bMax;
    pBtnMax->setChecked(bMax);
}

void CDialogTitle::onMinimal()
{
    if (pWindow)
        pWindow->showMinimized();
}
