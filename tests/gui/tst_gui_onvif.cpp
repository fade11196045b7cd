// Cameras of another maker (model IPC-O, ONVIF only) through the real window, beside cameras of our
// own protocol: one search lists both kinds; a double-click logs one in and plays its RTSP stream;
// an upgrade ends in "Upgrade Success" with the new version, without a progress connection. DHCP
// and the address change over ONVIF are tst_onvif's; the window's batches are the same for both
// kinds (tst_gui_batch).

#include <atomic>

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

#include "emulatorprocess.h"
#include "guitestsupport.h"
#include "mainwindow/CVantrel.h"
#include "netsdk/netsdk_test.h"
#include "upgradepackage.h"

namespace {

const QString kPassword = QStringLiteral("onvif-gui");
constexpr int kDeadlineMs = 30000;

std::atomic<int> g_nPictures{0};

void countPicture(const SDK_TEST_FRAME_INFO* pInfo, void*)
{
    if (!pInfo->bEnded)
        ++g_nPictures;
}

} // namespace

class TestGuiOnvif : public QObject
{
    Q_OBJECT

private slots:
    void onvifCamerasThroughTheWindow();
};

void TestGuiOnvif::onvifCamerasThroughTheWindow()
{
    if (::geteuid() != 0)
        QSKIP("ONVIF cameras listen on ports 80 and 554 of their addresses, which needs root here");
    const quint16 nWsd = freeUdpPort();
    qputenv("VANTREL_ONVIF_DISCOVERY_PORT", QByteArray::number(nWsd));
    EmulatorProcess emulator;
    QVERIFY(guitest::startEmulator(emulator, {"--count", "4", "--models", "IPC-A,IPC-O", "--password", kPassword,
                                              "--onvif-discovery-port", QString::number(nWsd), "--reboot-ms", "300",
                                              "--upgrade-ms", "300"}));
    const int nOnvif = 1; // cameras 1 and 3 speak ONVIF only

    // One search lists all four.
    auto pWindow = guitest::searchedWindow(4);
    QVERIFY(pWindow);
    // The preview window is left open; any message box is an error.
    guitest::ModalAnswerer answerer(guitest::ModalAnswerer::LeaveOthers);
    guitest::StatusLog log(pWindow->tableModel());
    pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditPassword"))->setText(kPassword);
    const int nRow = guitest::rowOfCamera(*pWindow, emulator, nOnvif);
    QVERIFY(nRow >= 0);
    QVERIFY(guitest::rowOfCamera(*pWindow, emulator, 3) >= 0);

    // Double-click: the login, with the camera's firmware version from its device service.
    sdkTestSetFrameObserver(countPicture, nullptr);
    QVERIFY(guitest::loginRow(*pWindow, nRow));
    QCOMPARE(guitest::cell(*pWindow, nRow, guitest::kStatusColumn), QStringLiteral("Login Success"));
    // The double-click's preview plays the camera's RTSP stream.
    QTRY_VERIFY_WITH_TIMEOUT(g_nPictures.load() >= 3, kDeadlineMs);
    sdkTestSetFrameObserver(nullptr, nullptr);

    // Upgrade: the transfer, the silent write said as such, success with the new version; no
    // progress connection is tried.
    QTemporaryDir dir;
    upgradepackage::PackageSpec package;
    package.hardware = "OVF-5100";
    package.version = "V5.2.0.UPGRADED";
    package.firmwareSize = 256 * 1024;
    const QString strPackage = dir.filePath(QStringLiteral("ipco.zip"));
    QVERIFY(upgradepackage::writeFile(strPackage.toStdString(), upgradepackage::makePackage(package)));
    pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditFileName"))->setText(strPackage);
    guitest::checkRows(*pWindow, {nRow});
    log.lst.clear();
    QSignalSpy spyFinished(pWindow.get(), &CVantrel::upgradeFinished);
    guitest::click(*pWindow, "upgradeBtn");
    QVERIFY(spyFinished.wait(kDeadlineMs * 2));
    const QStringList lstTexts = log.forRow(nRow);
    QVERIFY2(lstTexts.contains(QStringLiteral("Writing firmware (ONVIF reports no progress)")),
             qPrintable(lstTexts.join('|')));
    QVERIFY2(lstTexts.filter(QStringLiteral("connect Failed")).isEmpty(), qPrintable(lstTexts.join('|')));
    QCOMPARE(lstTexts.last(), QStringLiteral("Upgrade Success"));
    QCOMPARE(emulator.camera(nOnvif).value(QStringLiteral("Version")).toString(), QStringLiteral("V5.2.0.UPGRADED"));
    QVERIFY2(answerer.lstSeen.isEmpty(), qPrintable(answerer.lstSeen.join('|')));
    pWindow.reset();
    QVERIFY(guitest::stopEmulator(emulator));
}

QTEST_MAIN(TestGuiOnvif)
#include "tst_gui_onvif.moc"
