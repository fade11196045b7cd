// Cameras of another maker (model IPC-O, ONVIF only) through the real window, beside cameras of our
// own protocol: one search lists both kinds; a double-click logs one in and plays its RTSP stream;
// DHCP on and off; the address change of a batch (start-address mode, the batch's password) moves it,
// and a new search finds its MAC there; an upgrade ends in "Upgrade Success" with the new version,
// without a progress connection.

#include <atomic>

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

#include "batch/CIpSetDlg.h"
#include "emulatorprocess.h"
#include "guitestsupport.h"
#include "mainwindow/CVantrel.h"
#include "netsdk/netsdk_test.h"
#include "upgradepackage.h"
#include "widgets/CMyIpAddrEdit.h"

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
    const QString strMac = emulator.mac(nOnvif);

    // One search lists all four.
    auto pWindow = guitest::searchedWindow(4);
    QVERIFY(pWindow);
    // The preview window is left open; any message box is an error.
    guitest::ModalAnswerer answerer(guitest::ModalAnswerer::LeaveOthers);
    guitest::StatusLog log(pWindow->tableModel());
    pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditPassword"))->setText(kPassword);
    int nRow = guitest::rowOfCamera(*pWindow, emulator, nOnvif);
    QVERIFY(nRow >= 0);
    QVERIFY(guitest::rowOfCamera(*pWindow, emulator, 3) >= 0);

    // Double-click: the login, with the camera's firmware version from its device service.
    sdkTestSetFrameObserver(countPicture, nullptr);
    QVERIFY(guitest::loginRow(*pWindow, nRow));
    QCOMPARE(guitest::cell(*pWindow, nRow, guitest::kStatusColumn), QStringLiteral("Login Success"));
    // The double-click's preview plays the camera's RTSP stream.
    QTRY_VERIFY_WITH_TIMEOUT(g_nPictures.load() >= 3, kDeadlineMs);
    sdkTestSetFrameObserver(nullptr, nullptr);

    // DHCP on, then off.
    guitest::checkRows(*pWindow, {nRow});
    for (const char* szButton : {"btnOpenDhcp", "btnCloseDhcp"}) {
        QVERIFY(guitest::runBatch(*pWindow, szButton, kDeadlineMs));
        QCOMPARE(guitest::cell(*pWindow, nRow, guitest::kStatusColumn), QStringLiteral("Set IP adaptive Success"));
        QCOMPARE(emulator.record(nOnvif, 274, -1).left(1),
                 QByteArray(1, char(QByteArray(szButton) == "btnOpenDhcp" ? 1 : 0)));
    }

    // The address change of a batch, from a start address: the camera moves, and a new search finds
    // its MAC at the new address.
    const QString strTarget = emulator.rangeAddress(70);
    answerer.queue<CIpSetDlg>([&](CIpSetDlg* pPlan) {
        QTRY_VERIFY(!pPlan->isProposing());
        pPlan->findChild<CMyIpAddrEdit*>(QStringLiteral("lineEditIP"))->setText(strTarget);
        pPlan->findChild<CMyIpAddrEdit*>(QStringLiteral("lineEditMask"))->setText(QStringLiteral("255.255.255.0"));
        pPlan->findChild<CMyIpAddrEdit*>(QStringLiteral("lineEditGateway"))->setText(emulator.rangeAddress(0));
        QTest::mouseClick(pPlan->findChild<QAbstractButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
    });
    guitest::click(*pWindow, "btnSetIP");
    QTRY_VERIFY(guitest::button(*pWindow, "btnModifyIP")->isEnabled());
    QVERIFY(guitest::runBatch(*pWindow, "btnModifyIP", kDeadlineMs));
    QCOMPARE(pWindow->commandCode(), 3);
    QCOMPARE(guitest::cell(*pWindow, nRow, guitest::kStatusColumn), QStringLiteral("Modify Success"));
    QCOMPARE(emulator.camera(nOnvif).value(QStringLiteral("HostIP")).toString(), strTarget);
    QVERIFY(guitest::search(*pWindow, 4));
    nRow = guitest::rowOfMac(*pWindow, strMac);
    QVERIFY(nRow >= 0);
    QCOMPARE(guitest::cell(*pWindow, nRow, ColumnIpAddress), strTarget);

    // Upgrade: the transfer, the silent write said as such, success with the new version; no
    // progress connection is tried.
    QTemporaryDir dir;
    upgradepackage::PackageSpec spec;
    spec.hardware = "OVF-5100";
    spec.version = "V5.2.0.UPGRADED";
    spec.firmwareSize = 256 * 1024;
    const QString strPackage = dir.filePath(QStringLiteral("ipco.zip"));
    QVERIFY(upgradepackage::writeFile(strPackage.toStdString(), upgradepackage::makePackage(spec)));
    pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditFileName"))->setText(strPackage);
    guitest::checkRows(*pWindow, {nRow});
    log.lst.clear();
    QSignalSpy spyFinished(pWindow.get(), &CVantrel::upgradeFinished);
    guitest::click(*pWindow, "upgradeBtn");
    QVERIFY(spyFinished.wait(kDeadlineMs * 2));
    const QStringList lstTexts = log.forRow(nRow);
    QCOMPARE(lstTexts.value(0), QStringLiteral("Login Success"));
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
