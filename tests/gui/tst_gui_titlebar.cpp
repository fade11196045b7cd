// The program's window chrome: the title bar's buttons and layout, dragging, maximising against the
// screen's work area and restoring, the close button ending a modal run, and the frameless dialog
// built on it.
#include <QApplication>
#include <QImage>
#include <QLayout>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QScreen>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

#include "widgets/CDialogTitle.h"
#include "widgets/CDialogWidget.h"

namespace {

QString skinPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Skin/buttons");
}

QToolButton* button(QWidget* pBar, const char* szName)
{
    return pBar->findChild<QToolButton*>(QLatin1String(szName));
}

// Mouse events with explicit global positions: the bar moves its window by the global delta.
void sendMouse(QWidget* pTarget, QEvent::Type type, const QPoint& ptLocal, const QPoint& ptGlobal,
               Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(ptLocal), QPointF(ptGlobal), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(pTarget, &event);
}

void drag(QWidget* pBar, const QPoint& ptFrom, const QPoint& ptDelta)
{
    const QPoint ptGlobal = pBar->mapToGlobal(ptFrom);
    sendMouse(pBar, QEvent::MouseButtonPress, ptFrom, ptGlobal, Qt::LeftButton, Qt::LeftButton);
    sendMouse(pBar, QEvent::MouseMove, ptFrom + ptDelta, ptGlobal + ptDelta, Qt::NoButton, Qt::LeftButton);
    // The release arrives where the window now is; it must not move the window again.
    sendMouse(pBar, QEvent::MouseButtonRelease, ptFrom, ptGlobal + ptDelta, Qt::LeftButton, Qt::NoButton);
}

void doubleClick(QWidget* pBar, const QPoint& pt)
{
    sendMouse(pBar, QEvent::MouseButtonDblClick, pt, pBar->mapToGlobal(pt), Qt::LeftButton, Qt::LeftButton);
    sendMouse(pBar, QEvent::MouseButtonRelease, pt, pBar->mapToGlobal(pt), Qt::LeftButton, Qt::NoButton);
}

QImage iconImage(QToolButton* pButton)
{
    return pButton->icon().pixmap(QSize(20, 20)).toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage skinImage(const QString& strName)
{
    return QImage(skinPath() + QLatin1Char('/') + strName).convertToFormat(QImage::Format_ARGB32);
}

QRect availableArea(QWidget* pWindow)
{
    QScreen* pScreen = pWindow->screen() ? pWindow->screen() : QGuiApplication::primaryScreen();
    return pScreen->availableGeometry();
}

} // namespace

class TestGuiTitleBar : public QObject
{
    Q_OBJECT

private slots:
    void buttonsFollowTheMaskAndSitRightAligned_data();
    void buttonsFollowTheMaskAndSitRightAligned();
    void barPaintsTitleAndRenamesWindow();
    void dialogModeHidesMinimiseAndIgnoresDoubleClick();
    void doubleClickMaximisesOutsideDialogMode();
    void dragMovesWindowByMouseDelta();
    void maximisedWindowStaysAndRestores();
    void closeButtonEndsExecRejected();
    void dialogWidgetLayout();
    void dialogWidgetCentresOnScreen();
    void slotsInDeclaredOrder();
};

void TestGuiTitleBar::buttonsFollowTheMaskAndSitRightAligned_data()
{
    QTest::addColumn<int>("nMask");
    QTest::addColumn<bool>("bClose");
    QTest::addColumn<bool>("bMax");
    QTest::addColumn<bool>("bMin");
    QTest::newRow("all") << 7 << true << true << true;
    QTest::newRow("close only") << 1 << true << false << false;
    QTest::newRow("max only") << 2 << false << true << false;
    QTest::newRow("min and close") << 5 << true << false << true;
    QTest::newRow("none") << 0 << false << false << false;
}

void TestGuiTitleBar::buttonsFollowTheMaskAndSitRightAligned()
{
    QFETCH(int, nMask);
    QFETCH(bool, bClose);
    QFETCH(bool, bMax);
    QFETCH(bool, bMin);

    QWidget window;
    auto* pBar = new CDialogTitle(&window);
    pBar->initButtons(skinPath(), nMask);
    QCOMPARE(pBar->objectName(), QStringLiteral("DlgTitleBar"));
    QCOMPARE(pBar->titleAlignment(), Qt::Alignment(Qt::AlignCenter));
    QCOMPARE(pBar->skinPath(), skinPath());

    QToolButton* pClose = button(pBar, "SysClose");
    QToolButton* pMax = button(pBar, "SysMax");
    QToolButton* pMin = button(pBar, "SysMin");
    QVERIFY(pClose && pMax && pMin);
    QCOMPARE(!pClose->isHidden(), bClose);
    QCOMPARE(!pMax->isHidden(), bMax);
    QCOMPARE(!pMin->isHidden(), bMin);
    QCOMPARE(pClose->toolTip(), QStringLiteral("Close"));
    QCOMPARE(pMax->toolTip(), QStringLiteral("Max"));
    QCOMPARE(pMin->toolTip(), QStringLiteral("Min"));
    QVERIFY(pMax->isCheckable());
    for (QToolButton* pButton : {pClose, pMax, pMin}) {
        QCOMPARE(pButton->size(), QSize(20, 20));
        QCOMPARE(pButton->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
        QCOMPARE(pButton->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    }
    QCOMPARE(iconImage(pClose), skinImage(QStringLiteral("sys_cls.png")));
    QCOMPARE(iconImage(pMax), skinImage(QStringLiteral("sys_max.png")));
    QCOMPARE(iconImage(pMin), skinImage(QStringLiteral("sys_min.png")));

    // Child geometry reaches the layout code once the window is on screen.
    window.resize(400, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    pBar->resize(301, 45);
    QCOMPARE(pClose->pos(), QPoint(301 - 5 - 20, 12));
    QCOMPARE(pMax->pos(), QPoint(301 - 5 - 20 - 22, 12));
    QCOMPARE(pMin->pos(), QPoint(301 - 5 - 20 - 44, 12));
}

void TestGuiTitleBar::barPaintsTitleAndRenamesWindow()
{
    QWidget window;
    auto* pBar = new CDialogTitle(&window);
    QCOMPARE(pBar->title(), QStringLiteral("test title"));
    QCOMPARE(pBar->titleColor(), QColor(Qt::black));
    QCOMPARE(pBar->titleAlignment(), Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    pBar->initButtons(skinPath(), 0);
    pBar->setTitle(QStringLiteral("Devices"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Devices"));
    QCOMPARE(pBar->title(), QStringLiteral("Devices"));

    pBar->setTitleColor(QColor(255, 0, 0));
    pBar->resize(300, 45);
    const QImage image = pBar->grab().toImage();
    int nRed = 0;
    int nRedOutsideCentre = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor color = image.pixelColor(x, y);
            if (color.red() > 200 && color.green() < 80 && color.blue() < 80) {
                ++nRed;
                if (x < 60 || x > 240)
                    ++nRedOutsideCentre;
            }
        }
    }
    QVERIFY2(nRed > 20, "the title is drawn in the title colour");
    QCOMPARE(nRedOutsideCentre, 0);
}

void TestGuiTitleBar::dialogModeHidesMinimiseAndIgnoresDoubleClick()
{
    QWidget window(nullptr, Qt::FramelessWindowHint);
    window.setGeometry(100, 120, 320, 200);
    auto* pBar = new CDialogTitle(&window);
    pBar->initButtons(skinPath(), 7);
    pBar->setGeometry(0, 0, 320, 45);
    QVERIFY(!button(pBar, "SysMin")->isHidden());
    pBar->setDialogMode(true);
    QVERIFY(pBar->isDialogMode());
    QVERIFY(button(pBar, "SysMin")->isHidden());
    // Setting the buttons up again keeps a dialog's minimise button away.
    pBar->initButtons(skinPath(), 7);
    QVERIFY(button(pBar, "SysMin")->isHidden());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const QRect rectBefore = window.geometry();
    doubleClick(pBar, QPoint(100, 20));
    QCOMPARE(window.geometry(), rectBefore);
    QVERIFY(!pBar->isMaximised());

    pBar->setDialogMode(false);
    QVERIFY(!button(pBar, "SysMin")->isHidden());
}

void TestGuiTitleBar::doubleClickMaximisesOutsideDialogMode()
{
    QWidget window(nullptr, Qt::FramelessWindowHint);
    window.setGeometry(100, 120, 320, 200);
    auto* pBar = new CDialogTitle(&window);
    pBar->initButtons(skinPath(), 7);
    pBar->setGeometry(0, 0, 320, 45);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QRect rectBefore = window.geometry();

    doubleClick(pBar, QPoint(100, 20));
    QVERIFY(pBar->isMaximised());
    QTRY_COMPARE(window.geometry(), availableArea(&window));
    QVERIFY(button(pBar, "SysMax")->isChecked());

    // A right-button double-click does nothing.
    sendMouse(pBar, QEvent::MouseButtonDblClick, QPoint(10, 10), pBar->mapToGlobal(QPoint(10, 10)), Qt::RightButton,
              Qt::RightButton);
    QVERIFY(pBar->isMaximised());

    doubleClick(pBar, QPoint(100, 20));
    QVERIFY(!pBar->isMaximised());
    QTRY_COMPARE(window.geometry(), rectBefore);
    QVERIFY(!button(pBar, "SysMax")->isChecked());
}

void TestGuiTitleBar::dragMovesWindowByMouseDelta()
{
    QWidget window(nullptr, Qt::FramelessWindowHint);
    window.setGeometry(100, 120, 320, 200);
    auto* pBar = new CDialogTitle(&window);
    pBar->initButtons(skinPath(), 7);
    pBar->setGeometry(0, 0, 320, 45);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPoint ptStart = window.pos();

    drag(pBar, QPoint(50, 20), QPoint(37, -21));
    QTRY_COMPARE(window.pos(), ptStart + QPoint(37, -21));

    // Moves without the left button held, or with the right button, do not drag.
    const QPoint ptAfter = window.pos();
    sendMouse(pBar, QEvent::MouseMove, QPoint(60, 20), pBar->mapToGlobal(QPoint(160, 20)), Qt::NoButton, Qt::NoButton);
    sendMouse(pBar, QEvent::MouseButtonPress, QPoint(60, 20), pBar->mapToGlobal(QPoint(60, 20)), Qt::RightButton,
              Qt::RightButton);
    sendMouse(pBar, QEvent::MouseMove, QPoint(90, 20), pBar->mapToGlobal(QPoint(90, 20)), Qt::NoButton,
              Qt::RightButton);
    QCOMPARE(window.pos(), ptAfter);
}

void TestGuiTitleBar::maximisedWindowStaysAndRestores()
{
    CDialogWidget dialog(nullptr, QStringLiteral("Login"), skinPath(), false);
    dialog.resize(360, 240);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    CDialogTitle* pBar = dialog.titleBar();
    QToolButton* pMax = button(pBar, "SysMax");
    QVERIFY(pMax->isVisible());
    const QRect rectBefore = dialog.geometry();

    QTest::mouseClick(pMax, Qt::LeftButton);
    QVERIFY(pBar->isMaximised());
    QVERIFY(pMax->isChecked());
    QCOMPARE(pMax->toolTip(), QStringLiteral("Normal"));
    QCOMPARE(iconImage(pMax), skinImage(QStringLiteral("sys_normal.png")));
    QTRY_COMPARE(dialog.geometry(), availableArea(&dialog));

    drag(pBar, QPoint(50, 20), QPoint(40, 30));
    QCOMPARE(dialog.geometry(), availableArea(&dialog));

    QTest::mouseClick(pMax, Qt::LeftButton);
    QVERIFY(!pBar->isMaximised());
    QVERIFY(!pMax->isChecked());
    QCOMPARE(pMax->toolTip(), QStringLiteral("Max"));
    QCOMPARE(iconImage(pMax), skinImage(QStringLiteral("sys_max.png")));
    QTRY_COMPARE(dialog.geometry(), rectBefore);

    drag(pBar, QPoint(50, 20), QPoint(-15, 25));
    QTRY_COMPARE(dialog.pos(), rectBefore.topLeft() + QPoint(-15, 25));
}

void TestGuiTitleBar::closeButtonEndsExecRejected()
{
    CDialogWidget dialog(nullptr, QStringLiteral("Login"), skinPath(), true);
    QSignalSpy spyClosed(dialog.titleBar(), &CDialogTitle::closed);
    bool bClicked = false;
    QTimer::singleShot(0, &dialog, [&]() {
        if (QToolButton* pClose = button(dialog.titleBar(), "SysClose"); pClose && pClose->isVisible()) {
            QTest::mouseClick(pClose, Qt::LeftButton);
            bClicked = true;
        } else {
            dialog.done(-1);
        }
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(bClicked);
    QVERIFY(dialog.isHidden());
    QCOMPARE(spyClosed.count(), 1);

    // The accepting slot, run the same way, ends with Accepted.
    QTimer::singleShot(0, &dialog, [&]() { QMetaObject::invokeMethod(&dialog, "on_closed_slots"); });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
}

void TestGuiTitleBar::dialogWidgetLayout()
{
    QWidget owner;
    auto* pDialog = new CDialogWidget(&owner, QStringLiteral("Login"), skinPath(), true);
    QCOMPARE(pDialog->parentWidget(), &owner);
    QCOMPARE(pDialog->objectName(), QStringLiteral("CDialogWidget"));
    QVERIFY(pDialog->windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(pDialog->windowType(), Qt::Dialog);
    QCOMPARE(pDialog->windowTitle(), QStringLiteral("Login"));
    QCOMPARE(pDialog->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(pDialog->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
    QVERIFY(pDialog->styleSheet().contains(QStringLiteral("#DlgTitle{border:1px solid rgb(40,40,40);}")));

    CDialogTitle* pBar = pDialog->titleBar();
    QVERIFY(pBar);
    QCOMPARE(pBar->objectName(), QStringLiteral("DlgTitle"));
    QCOMPARE(pBar->parentWidget(), pDialog);
    QCOMPARE(pBar->minimumHeight(), 45);
    QCOMPARE(pBar->maximumHeight(), 45);
    QCOMPARE(pBar->title(), QStringLiteral("Login"));
    QCOMPARE(pBar->titleAlignment(), Qt::Alignment(Qt::AlignCenter));
    QVERIFY(pBar->isDialogMode());
    QVERIFY(button(pBar, "SysMin")->isHidden());
    QVERIFY(button(pBar, "SysMax")->isHidden());
    QVERIFY(!button(pBar, "SysClose")->isHidden());

    auto* pLayout = qobject_cast<QVBoxLayout*>(pDialog->layout());
    QVERIFY(pLayout);
    QCOMPARE(pLayout->contentsMargins(), QMargins(0, 0, 0, 0));
    QCOMPARE(pLayout->spacing(), 0);
    QCOMPARE(pLayout->count(), 1);
    QCOMPARE(pLayout->itemAt(0)->widget(), pBar);

    auto* pFirst = new QWidget;
    auto* pSecond = new QWidget;
    pDialog->addWidget(pFirst);
    pDialog->addWidget(pSecond);
    QCOMPARE(pLayout->count(), 3);
    QCOMPARE(pLayout->itemAt(1)->widget(), pFirst);
    QCOMPARE(pLayout->itemAt(2)->widget(), pSecond);
    QCOMPARE(pLayout->stretch(1), 0);
    QCOMPARE(pFirst->parentWidget(), pDialog);

    pSecond->setMinimumSize(200, 100);
    pDialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(pDialog));
    QCOMPARE(pBar->height(), 45);
    QCOMPARE(pBar->geometry().topLeft(), QPoint(0, 0));
    QCOMPARE(pFirst->y(), 45);

    // With the maximise button kept, only minimise is hidden.
    CDialogWidget withMax(nullptr, QStringLiteral("T"), skinPath(), false);
    QVERIFY(!button(withMax.titleBar(), "SysMax")->isHidden());
    QVERIFY(button(withMax.titleBar(), "SysMin")->isHidden());
}

void TestGuiTitleBar::dialogWidgetCentresOnScreen()
{
    CDialogWidget dialog(nullptr, QStringLiteral("Login"), skinPath(), true);
    dialog.setGeometry(3, 7, 300, 180);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QScreen* pScreen = dialog.screen() ? dialog.screen() : QGuiApplication::primaryScreen();
    const QRect rectDesktop = pScreen->virtualGeometry();
    const QPoint ptExpected(rectDesktop.x() + (rectDesktop.width() - dialog.width()) / 2,
                            rectDesktop.y() + (rectDesktop.height() - dialog.height()) / 2);
    QTRY_COMPARE(dialog.pos(), ptExpected);
}

void TestGuiTitleBar::slotsInDeclaredOrder()
{
    auto signatures = [](const QMetaObject& meta) {
        QStringList lst;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
            lst << QString::fromLatin1(meta.method(i).methodSignature());
        return lst;
    };
    QCOMPARE(signatures(CTitleBar::staticMetaObject),
             QStringList({"setTitle(QString)", "onMinimal()", "onMaxNormal(bool)", "onMaxNormal()", "onClose()"}));
    QCOMPARE(signatures(CDialogTitle::staticMetaObject),
             QStringList({"closed()", "onClose()", "onMaxNormal(bool)", "onMaxNormal()", "onMinimal()"}));
    QCOMPARE(signatures(CDialogWidget::staticMetaObject), QStringList({"on_closed_slots()"}));
}

QTEST_MAIN(TestGuiTitleBar)
#include "tst_gui_titlebar.moc"
