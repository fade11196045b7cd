// The address planning dialog on the offscreen platform: the check-box pair, OK with the mask rule
// and its prompt, Cancel and the configured flag, the proposal looked for off the user-interface
// thread (never the PC's own address, a note when the subnet is full), and the proposal against a
// running emulator from Config.ini's interface. The proposal's arithmetic is tst_app_ipplan's.
#include <atomic>

#include <QCheckBox>
#include <QLabel>
#include <QNetworkInterface>
#include <QPushButton>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <memory>

#include "CMyIpAddrEdit.h"
#include "batch/CAddressCheck.h"
#include "batch/CIpSetDlg.h"
#include "emulatorprocess.h"
#include "guitestsupport.h"
#include <netsdk/netsdk.h>

namespace {

/// The first nAnswering questions are answered; every question is recorded. The first question
/// waits until bGo is set, so that a test sees the dialog while it is looking.
class ScriptedCheck : public CAddressCheck
{
public:
    explicit ScriptedCheck(int nAnswering) : nAnswering(nAnswering) {}
    bool isInUse(const QString& strIp) override
    {
        while (!bGo.load())
            QThread::msleep(1);
        return (lstAsked << strIp).size() <= nAnswering;
    }

    QStringList lstAsked;
    std::atomic<bool> bGo{false};

private:
    int nAnswering;
};

template <class T = CMyIpAddrEdit> T* child(const CIpSetDlg& dlg, const char* szName)
{
    return dlg.findChild<T*>(QLatin1String(szName));
}

/// "address/mask/gateway" as the three editors show them.
QString editors(const CIpSetDlg& dlg)
{
    return QStringList{child(dlg, "lineEditIP")->text(), child(dlg, "lineEditMask")->text(),
                       child(dlg, "lineEditGateway")->text()}
        .join(QLatin1Char('/'));
}

/// Presses OK; "title|text" of each box that opened (the dialog itself is left alone).
QStringList pressOk(CIpSetDlg& dlg)
{
    guitest::ModalAnswerer watcher(guitest::ModalAnswerer::LeaveOthers);
    QTest::mouseClick(child<QPushButton>(dlg, "btnOK"), Qt::LeftButton);
    return watcher.lstSeen;
}

bool proposeAndWait(CIpSetDlg& dlg)
{
    QSignalSpy spy(&dlg, &CIpSetDlg::proposalDone);
    dlg.proposePlan();
    return !spy.isEmpty() || spy.wait(20000);
}

} // namespace

class TestGuiIpSetDlg : public QObject
{
    Q_OBJECT

private slots:
    void modesOkAndCancel();
    void proposalFromInjectedPc();
    void proposalAgainstEmulator();
};

void TestGuiIpSetDlg::modesOkAndCancel()
{
    CIpSetDlg dlg;
    dlg.open();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    // Start address at first; the boxes act as a pair, and clicking the checked one keeps it.
    auto* pStart = child<QCheckBox>(dlg, "checkBoxStartIp");
    auto* pSame = child<QCheckBox>(dlg, "checkBoxSameIp");
    for (QCheckBox* pClicked : {static_cast<QCheckBox*>(nullptr), pSame, pSame, pStart, pSame}) {
        if (pClicked)
            QTest::mouseClick(pClicked, Qt::LeftButton);
        QCOMPARE(pStart->isChecked(), pClicked != pSame);
        QCOMPARE(pSame->isChecked(), dlg.mode() == 1);
    }
    child(dlg, "lineEditIP")->setText("127.0.0.50");
    child(dlg, "lineEditGateway")->setText("127.0.0.1");
    child(dlg, "lineEditMask")->setText("255.0.255.0");
    QCOMPARE(pressOk(dlg), QStringList{"Prompt|Set Subnet Mask Failed"});
    QVERIFY(dlg.isVisible() && !dlg.isConfigured());
    child(dlg, "lineEditMask")->setText("255.255.254.0");
    QCOMPARE(pressOk(dlg), QStringList());
    QVERIFY(!dlg.isVisible() && dlg.isConfigured());
    QCOMPARE(dlg.address() + '/' + dlg.mask() + '/' + dlg.gateway(), "127.0.0.50/255.255.254.0/127.0.0.1");

    // Reopened, a bad mask leaves the earlier plan standing and closing by the frame keeps it;
    // Cancel drops it. The editors keep their contents between openings.
    dlg.open();
    child(dlg, "lineEditMask")->setText("255.255.255.1");
    QCOMPARE(pressOk(dlg).size(), 1);
    dlg.close();
    QVERIFY(dlg.isConfigured());
    dlg.open();
    QTest::mouseClick(child<QPushButton>(dlg, "btnCancel"), Qt::LeftButton);
    QVERIFY(!dlg.isVisible() && !dlg.isConfigured());
    QCOMPARE(editors(dlg), "127.0.0.50/255.255.255.1/127.0.0.1");
}

void TestGuiIpSetDlg::proposalFromInjectedPc()
{
    // The first free address after the PC's own (which, like the PC's other addresses, is never
    // asked about), with the PC's mask and a gateway in its subnet; when all of one cycle answer, no
    // address or gateway and a visible note. Either way the proposal only fills the editors.
    for (const bool bEverything : {false, true}) {
        auto pCheck = std::make_unique<ScriptedCheck>(bEverything ? 256 : 1);
        ScriptedCheck& check = *pCheck;
        CIpSetDlg dlg;
        dlg.setPcInterface("10.0.0.200", "255.255.255.128");
        dlg.setHostAddresses({"10.0.0.201", "127.0.0.1"});
        dlg.setAddressCheck(std::move(pCheck));
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QSignalSpy spyDone(&dlg, &CIpSetDlg::proposalDone);
        dlg.proposePlan();
        // While it looks, the window goes on, says so and OK waits.
        QVERIFY(dlg.isProposing() && !child<QPushButton>(dlg, "btnOK")->isEnabled());
        QCOMPARE(dlg.proposalNote(), QStringLiteral("Looking for a free address..."));
        check.bGo = true;
        QVERIFY(spyDone.wait(20000));
        QCOMPARE(check.lstAsked.mid(0, 2), (QStringList{"10.0.0.202", "10.0.0.203"}));
        QCOMPARE(editors(dlg), bEverything ? ".../255.255.255.128/..." : "10.0.0.203/255.255.255.128/10.0.0.128");
        QCOMPARE(child<QLabel>(dlg, "labelNote")->isVisible(), bEverything);
        QVERIFY(!dlg.isConfigured() && child<QPushButton>(dlg, "btnOK")->isEnabled());
    }
}

void TestGuiIpSetDlg::proposalAgainstEmulator()
{
    EmulatorProcess emulator;
    QVERIFY(sdkInit(nullptr, nullptr) > 0);
    QVERIFY(guitest::startEmulator(emulator, {"--count", "3"}));
    QVERIFY(emulator.configureLibrary());
    // One question gets every camera's answer; text that is no address is not in use.
    CDeviceAddressCheck check(300);
    QVERIFY(check.isInUse(emulator.address(1)));
    QCOMPARE(check.lastAnswers().size(), emulator.cameraCount());
    QVERIFY(!check.isInUse("not an address"));
    // The cameras hold the fleet's first three addresses: the proposal walks over them to the fourth.
    CIpSetDlg dlg;
    dlg.setPcInterface(emulator.address(0), "255.255.255.0");
    dlg.setAddressCheck(std::make_unique<CDeviceAddressCheck>(300));
    QVERIFY(proposeAndWait(dlg));
    QCOMPARE(editors(dlg),
             emulator.rangeAddress(3) + "/255.255.255.0/" + emulator.address(0).section('.', 0, 2) + ".1");

    // Config.ini names the loopback interface as the PC and asks the devices. No camera holds the
    // PC's own address, but the PC does: the proposal is the address after it.
    QString strLoopback, strIp, strMask;
    for (const QNetworkInterface& itf : QNetworkInterface::allInterfaces()) {
        if (itf.flags().testFlag(QNetworkInterface::IsLoopBack) && itf.flags().testFlag(QNetworkInterface::IsRunning))
            strLoopback = itf.name();
    }
    CIpSetDlg::pcInterface(strLoopback, &strIp, &strMask);
    QVERIFY(CAddressCheck::isLoopbackAddress(strIp) && !strMask.isEmpty());
    QVERIFY(guitest::writeConfig(emulator.discoveryPort(), {{"Network/Interface", strLoopback}}));
    CIpSetDlg configured;
    QVERIFY(proposeAndWait(configured));
    QCOMPARE(editors(configured).section('/', 0, 1),
             strIp.section('.', 0, 2) + '.' + QString::number(strIp.section('.', 3).toInt() + 1) + '/' + strMask);
    // A named interface that does not exist gives no PC address: nothing is proposed, a note says so.
    QVERIFY(guitest::writeConfig(emulator.discoveryPort(), {{"Network/Interface", "no-such-interface0"}}));
    CIpSetDlg none;
    QVERIFY(proposeAndWait(none));
    QCOMPARE(editors(none), ".../.../...");
    QVERIFY(!none.proposalNote().isEmpty());
    QVERIFY(guitest::stopEmulator(emulator));
    sdkCleanup();
}

QTEST_MAIN(TestGuiIpSetDlg)
#include "tst_gui_ipsetdlg.moc"
