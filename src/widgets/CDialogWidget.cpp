#include "CDialogWidget.h"

#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include "CDialogTitle.h"

CDialogWidget::CDialogWidget(QWidget* parent, const QString& strTitle, const QString& strSkinPath, bool bHideMax)
    : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setObjectName(QStringLiteral("CDialogWidget"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    pMainLayout = new QVBoxLayout(this);
    pMainLayout->setContentsMargins(0, 0, 0, 0);
    pMainLayout->setSpacing(0);

    pTitleBar = new CDialogTitle(this);
    pTitleBar->setDialogMode(true);
    pTitleBar->setTitleColor(Qt::black);
    pTitleBar->initButtons(strSkinPath, 7);
    if (bHideMax) {
        if (auto* pMax = pTitleBar->findChild<QToolButton*>(QStringLiteral("SysMax")))
            pMax->hide();
    }
    pTitleBar->setFixedHeight(45);
    pTitleBar->setTitle(strTitle);
    pTitleBar->setObjectName(QStringLiteral("DlgTitle"));
    setStyleSheet(QStringLiteral("#DlgTitle{border:1px solid rgb(40,40,40);}"));
    pMainLayout->addWidget(pTitleBar, 0, Qt::Alignment());
}

CDialogWidget::~CDialogWidget() = default;

void CDialogWidget::addWidget(QWidget* pWidget)
{
    pMainLayout->addWidget(pWidget, 0, Qt::Alignment());
}

CDialogTitle* CDialogWidget::titleBar() const
{
    return pTitleBar;
}

void CDialogWidget::on_closed_slots()
{
    accept();
}

void CDialogWidget::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->type() != QEvent::Show)
        return;
    // Centred on the whole desktop of the dialog's screen (the primary one before it has a screen).
    QScreen* pScreen = screen();
    if (!pScreen)
        pScreen = QGuiApplication::primaryScreen();
    if (!pScreen)
        return;
    const QRect rectDesktop = pScreen->virtualGeometry();
    move(rectDesktop.x() + (rectDesktop.width() - width()) / 2,
         rectDesktop.y() + (rectDesktop.height() - height()) / 2);
}

void CDialogWidget::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
}
