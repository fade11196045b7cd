// The program's window chrome: the title bar's buttons, maximising against the screen's work area,
// restoring and dragging, the close button ending a modal run, and the pictures the build draws for
// it and for the message box.
#include <QApplication>
#include <QImageReader>
#include <QMouseEvent>
#include <QScreen>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include "widgets/CDialogTitle.h"
#include "widgets/CDialogWidget.h"
#include "widgets/CMessageBox.h"

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

void doubleClick(QWidget* pBar)
{
    const QPoint pt(100, 20);
    sendMouse(pBar, QEvent::MouseButtonDblClick, pt, pBar->mapToGlobal(pt), Qt::LeftButton, Qt::LeftButton);
    sendMouse(pBar, QEvent::MouseButtonRelease, pt, pBar->mapToGlobal(pt), Qt::LeftButton, Qt::NoButton);
}

} // namespace

class TestGuiTitleBar : public QObject
{
    Q_OBJECT

private slots:
    void buttonsFollowTheMask();
    void dialogMaximisesRestoresAndDrags();
    void closeButtonEndsExecRejected();
    void picturesArePngsOfTheirOwn();
};

void TestGuiTitleBar::buttonsFollowTheMask()
{
    // Mask bits: 1 close, 2 maximise, 4 minimise.
    for (int nMask : {1, 2, 5, 7}) {
        QWidget window;
        auto* pBar = new CDialogTitle(&window);
        pBar->initButtons(skinPath(), nMask);
        QCOMPARE(!button(pBar, "SysClose")->isHidden(), (nMask & 1) != 0);
        QCOMPARE(!button(pBar, "SysMax")->isHidden(), (nMask & 2) != 0);
        QCOMPARE(!button(pBar, "SysMin")->isHidden(), (nMask & 4) != 0);
    }
}

void TestGuiTitleBar::dialogMaximisesRestoresAndDrags()
{
    CDialogWidget dialog(nullptr, QStringLiteral("Login"), skinPath(), false);
    dialog.setGeometry(3, 7, 360, 240);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QScreen* pScreen = dialog.screen() ? dialog.screen() : QGuiApplication::primaryScreen();
    const QRect rectDesktop = pScreen->virtualGeometry();
    // The dialog centres itself on the desktop.
    QTRY_COMPARE(dialog.pos(),
                 rectDesktop.topLeft() + QPoint((rectDesktop.width() - 360) / 2, (rectDesktop.height() - 240) / 2));
    const QRect rectBefore = dialog.geometry();

    // A dialog's bar ignores double-clicks and keeps minimise away, even when its buttons are set up
    // again; out of dialog mode a double-click maximises.
    CDialogTitle* pBar = dialog.titleBar();
    QToolButton* pMax = button(pBar, "SysMax");
    pBar->initButtons(skinPath(), 7);
    QVERIFY(button(pBar, "SysMin")->isHidden());
    doubleClick(pBar);
    QCOMPARE(dialog.geometry(), rectBefore);
    pBar->setDialogMode(false);
    QVERIFY(!button(pBar, "SysMin")->isHidden());

    // Maximised it fills the work area, is not dragged, and comes back where it was.
    QTest::mouseClick(pMax, Qt::LeftButton);
    QVERIFY(pBar->isMaximised() && pMax->isChecked());
    QTRY_COMPARE(dialog.geometry(), pScreen->availableGeometry());
    drag(pBar, QPoint(50, 20), QPoint(40, 30));
    QCOMPARE(dialog.geometry(), pScreen->availableGeometry());
    doubleClick(pBar);
    QVERIFY(!pBar->isMaximised() && !pMax->isChecked());
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
    QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
    QSignalSpy spyClosed(dialog.titleBar(), &CDialogTitle::closed);
    QTimer::singleShot(0, &dialog, [&]() {
        QTest::mouseClick(button(dialog.titleBar(), "SysClose"), Qt::LeftButton);
        if (dialog.isVisible())
            dialog.done(-1); // the button failed: end the run anyway, with a result that fails the check
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QCOMPARE(spyClosed.count(), 1);
    // The accepting slot, run the same way, ends with Accepted.
    QTimer::singleShot(0, &dialog, [&]() { QMetaObject::invokeMethod(&dialog, "on_closed_slots"); });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
}

void TestGuiTitleBar::picturesArePngsOfTheirOwn()
{
    // The skin's button icons beside the executable and the message-box icons in the resources
    // (building a box registers them, as in the program).
    CMessageBox box(1, QStringLiteral("T"), QStringLiteral("x"));
    QStringList lstPaths{CMessageBox::iconPath(1), CMessageBox::iconPath(2), CMessageBox::iconPath(4)};
    for (const char* szName : {"sys_min.png", "sys_max.png", "sys_normal.png", "sys_cls.png"})
        lstPaths << skinPath() + QLatin1Char('/') + QLatin1String(szName);
    QList<QImage> lstImages;
    for (const QString& strPath : lstPaths) {
        QImageReader reader(strPath);
        QCOMPARE(reader.format(), QByteArray("png"));
        const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
        QVERIFY2(image.width() >= 16 && image.width() == image.height(), qPrintable(strPath));
        // Something is drawn, and not everywhere; no two look alike.
        int nOpaque = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                nOpaque += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
        }
        QVERIFY2(nOpaque > 10 && nOpaque < image.width() * image.height(), qPrintable(strPath));
        QVERIFY2(!lstImages.contains(image), qPrintable(strPath));
        lstImages << image;
    }
}

QTEST_MAIN(TestGuiTitleBar)
#include "tst_gui_titlebar.moc"
