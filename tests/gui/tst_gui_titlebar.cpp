// The program's window chrome: the title bar's buttons and layout, dragging, maximising against the
// screen's work area and restoring, the close button ending a modal run, and the frameless dialog
// built on it.
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QScreen>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

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

QImage skinImage(const char* szName)
{
    return QImage(skinPath() + QLatin1Char('/') + QLatin1String(szName)).convertToFormat(QImage::Format_ARGB32);
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
    void buttonsFollowTheMaskAndSitRightAligned();
    void titleRenamesWindowAndIsPaintedCentred();
    void dialogComesUpCentredMaximisesRestoresAndDrags();
    void closeButtonEndsExecRejected();
    void dialogWidgetStacksContentBelowItsTitle();
};

void TestGuiTitleBar::buttonsFollowTheMaskAndSitRightAligned()
{
    // Mask bits: 1 close, 2 maximise, 4 minimise; each row is a mask and whether close, max and min show.
    const int rows[][4] = {{1, 1, 0, 0}, {2, 0, 1, 0}, {5, 1, 0, 1}, {7, 1, 1, 1}};
    for (const auto& row : rows) {
        QWidget window;
        auto* pBar = new CDialogTitle(&window);
        pBar->initButtons(skinPath(), row[0]);
        QToolButton* pClose = button(pBar, "SysClose");
        QToolButton* pMax = button(pBar, "SysMax");
        QToolButton* pMin = button(pBar, "SysMin");
        QVERIFY(pClose && pMax && pMin);
        QCOMPARE(!pClose->isHidden(), row[1] != 0);
        QCOMPARE(!pMax->isHidden(), row[2] != 0);
        QCOMPARE(!pMin->isHidden(), row[3] != 0);
        QCOMPARE(iconImage(pClose), skinImage("sys_cls.png"));
        QCOMPARE(iconImage(pMax), skinImage("sys_max.png"));
        QCOMPARE(iconImage(pMin), skinImage("sys_min.png"));

        // Child geometry reaches the layout code once the window is on screen.
        window.resize(400, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        pBar->resize(301, 45);
        QCOMPARE(pClose->pos(), QPoint(301 - 5 - 20, 12));
        QCOMPARE(pMax->pos(), QPoint(301 - 5 - 20 - 22, 12));
        QCOMPARE(pMin->pos(), QPoint(301 - 5 - 20 - 44, 12));
    }
}

void TestGuiTitleBar::titleRenamesWindowAndIsPaintedCentred()
{
    QWidget window;
    auto* pBar = new CDialogTitle(&window);
    pBar->initButtons(skinPath(), 0);
    pBar->setTitle(QStringLiteral("Devices"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Devices"));

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

void TestGuiTitleBar::dialogComesUpCentredMaximisesRestoresAndDrags()
{
    CDialogWidget dialog(nullptr, QStringLiteral("Login"), skinPath(), false);
    // Placed first, so that only the dialog's own centring brings it to the middle of the desktop.
    dialog.setGeometry(3, 7, 360, 240);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QScreen* pScreen = dialog.screen() ? dialog.screen() : QGuiApplication::primaryScreen();
    const QRect rectDesktop = pScreen->virtualGeometry();
    QTRY_COMPARE(dialog.pos(), QPoint(rectDesktop.x() + (rectDesktop.width() - 360) / 2,
                                      rectDesktop.y() + (rectDesktop.height() - 240) / 2));
    const QRect rectBefore = dialog.geometry();

    // A dialog's bar ignores double-clicks and keeps minimise away, even when its buttons are set up again.
    CDialogTitle* pBar = dialog.titleBar();
    QToolButton* pMax = button(pBar, "SysMax");
    pBar->initButtons(skinPath(), 7);
    QVERIFY(button(pBar, "SysMin")->isHidden());
    doubleClick(pBar, QPoint(100, 20));
    QCOMPARE(dialog.geometry(), rectBefore);
    QVERIFY(!pBar->isMaximised());
    pBar->setDialogMode(false);
    QVERIFY(!button(pBar, "SysMin")->isHidden());

    QTest::mouseClick(pMax, Qt::LeftButton);
    QVERIFY(pBar->isMaximised());
    QVERIFY(pMax->isChecked());
    QCOMPARE(pMax->toolTip(), QStringLiteral("Normal"));
    QCOMPARE(iconImage(pMax), skinImage("sys_normal.png"));
    QTRY_COMPARE(dialog.geometry(), availableArea(&dialog));
    // A maximised window is not dragged, and a right-button double-click does nothing.
    drag(pBar, QPoint(50, 20), QPoint(40, 30));
    sendMouse(pBar, QEvent::MouseButtonDblClick, QPoint(10, 10), pBar->mapToGlobal(QPoint(10, 10)), Qt::RightButton,
              Qt::RightButton);
    QVERIFY(pBar->isMaximised());
    QCOMPARE(dialog.geometry(), availableArea(&dialog));

    doubleClick(pBar, QPoint(100, 20));
    QVERIFY(!pBar->isMaximised());
    QVERIFY(!pMax->isChecked());
    QCOMPARE(pMax->toolTip(), QStringLiteral("Max"));
    QCOMPARE(iconImage(pMax), skinImage("sys_max.png"));
    QTRY_COMPARE(dialog.geometry(), rectBefore);
    doubleClick(pBar, QPoint(100, 20));
    QVERIFY(pBar->isMaximised());
    QTRY_COMPARE(dialog.geometry(), availableArea(&dialog));
    QTest::mouseClick(pMax, Qt::LeftButton);
    QTRY_COMPARE(dialog.geometry(), rectBefore);

    drag(pBar, QPoint(50, 20), QPoint(-15, 25));
    QTRY_COMPARE(dialog.pos(), rectBefore.topLeft() + QPoint(-15, 25));
    // Moves after the release, or with the right button held, do not drag.
    const QPoint ptAfter = dialog.pos();
    sendMouse(pBar, QEvent::MouseMove, QPoint(60, 20), pBar->mapToGlobal(QPoint(160, 20)), Qt::NoButton, Qt::NoButton);
    sendMouse(pBar, QEvent::MouseButtonPress, QPoint(60, 20), pBar->mapToGlobal(QPoint(60, 20)), Qt::RightButton,
              Qt::RightButton);
    sendMouse(pBar, QEvent::MouseMove, QPoint(90, 20), pBar->mapToGlobal(QPoint(90, 20)), Qt::NoButton,
              Qt::RightButton);
    QCOMPARE(dialog.pos(), ptAfter);
}

void TestGuiTitleBar::closeButtonEndsExecRejected()
{
    CDialogWidget dialog(nullptr, QStringLiteral("Login"), skinPath(), true);
    QSignalSpy spyClosed(dialog.titleBar(), &CDialogTitle::closed);
    QTimer::singleShot(0, &dialog, [&]() {
        QTest::mouseClick(button(dialog.titleBar(), "SysClose"), Qt::LeftButton);
        if (dialog.isVisible())
            dialog.done(-1); // the button failed: end the run anyway, with a result that fails the check
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(dialog.isHidden());
    QCOMPARE(spyClosed.count(), 1);

    // The accepting slot, run the same way, ends with Accepted.
    QTimer::singleShot(0, &dialog, [&]() { QMetaObject::invokeMethod(&dialog, "on_closed_slots"); });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
}

void TestGuiTitleBar::dialogWidgetStacksContentBelowItsTitle()
{
    CDialogWidget dialog(nullptr, QStringLiteral("Login"), skinPath(), true);
    QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(dialog.windowType(), Qt::Dialog);
    CDialogTitle* pBar = dialog.titleBar();
    QVERIFY(button(pBar, "SysMin")->isHidden());
    QVERIFY(button(pBar, "SysMax")->isHidden());
    QVERIFY(!button(pBar, "SysClose")->isHidden());

    auto* pFirst = new QWidget;
    auto* pSecond = new QWidget;
    pFirst->setMinimumSize(200, 30);
    pSecond->setMinimumSize(200, 100);
    dialog.addWidget(pFirst);
    dialog.addWidget(pSecond);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(pBar->geometry(), QRect(0, 0, dialog.width(), 45));
    QCOMPARE(pFirst->y(), 45);
    QCOMPARE(pSecond->y(), pFirst->geometry().bottom() + 1);
}

QTEST_MAIN(TestGuiTitleBar)
#include "tst_gui_titlebar.moc"
