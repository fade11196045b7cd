// The address planning dialog on the offscreen platform: the check-box pair, OK with the mask rule
// and its prompt, Cancel and the configured flag, the proposal from an injected PC with a scripted
// check (looked for off the user-interface thread, never the PC's own address), the address checks
// and the proposal against a running emulator, and the Chinese texts.
#include <QCheckBox>
#include <QSignalSpy>
#include <QThread>

#include <atomic>
#include <QLabel>
#include <QNetworkInterface>
#include <QPushButton>
#include <QTranslator>
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
    std::atomic<bool> bGo{true};

private:
    int nAnswering;
};

/// Proposes and waits for the proposal.
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
    void initTestCase();
    void cleanupTestCase();
    void checkBoxesActAsAPair();
    void okChecksTheMaskCancelClears();
    void proposalFromInjectedPc();
    void checksAndProposalAgainstEmulator();
    void chineseTexts();

private:
    template <class T = CMyIpAddrEdit> static T* child(const CIpSetDlg& dlg, const char* szName)
    {
        return dlg.findChild<T*>(QLatin1String(szName));
    }
    /// "address/mask/gateway" as the three editors show them.
    static QString editors(const CIpSetDlg& dlg)
    {
        return QStringList{child(dlg, "lineEditIP")->text(), child(dlg, "lineEditMask")->text(),
                           child(dlg, "lineEditGateway")->text()}
            .join(QLatin1Char('/'));
    }
    /// Presses OK; "title|text|buttons" of each box that opened (the dialog itself is left alone).
    static QStringList pressOk(CIpSetDlg& dlg)
    {
        guitest::ModalAnswerer watcher(guitest::ModalAnswerer::LeaveOthers);
        QTest::mouseClick(child<QPushButton>(dlg, "btnOK"), Qt::LeftButton);
        QStringList lstBoxes;
        for (const guitest::BoxSeen& box : watcher.lstBoxes)
            lstBoxes << box.strTitle + QLatin1Char('|') + box.strText + QLatin1Char('|') + box.lstButtons.join(',');
        return lstBoxes;
    }

    EmulatorProcess emulator;
};

void TestGuiIpSetDlg::initTestCase()
{
    QVERIFY(sdkInit(nullptr, nullptr) > 0);
    QVERIFY2(emulator.start({"--count", "3"}), qPrintable(emulator.errorString() + emulator.diagnostics()));
    QVERIFY(emulator.configureLibrary());
}

void TestGuiIpSetDlg::cleanupTestCase()
{
    QVERIFY(guitest::stopEmulator(emulator));
    sdkCleanup();
}

void TestGuiIpSetDlg::checkBoxesActAsAPair()
{
    CIpSetDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QVERIFY(!child<QLabel>(dlg, "labelNote")->isVisible());
    auto* pStart = child<QCheckBox>(dlg, "checkBoxStartIp");
    auto* pSame = child<QCheckBox>(dlg, "checkBoxSameIp");

    // Start address at first; clicking the checked box again keeps it checked.
    for (QCheckBox* pClicked : {static_cast<QCheckBox*>(nullptr), pSame, pSame, pStart, pStart}) {
        if (pClicked)
            QTest::mouseClick(pClicked, Qt::LeftButton);
        const int nMode = pClicked == pSame ? 1 : 0;
        QCOMPARE(pStart->isChecked(), nMode == 0);
        QCOMPARE(pSame->isChecked(), nMode == 1);
        QCOMPARE(dlg.mode(), nMode);
    }
}

void TestGuiIpSetDlg::okChecksTheMaskCancelClears()
{
    CIpSetDlg dlg;
    dlg.open();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.activateWindow();
    child(dlg, "lineEditIP")->setText(QStringLiteral("127.0.0.50"));
    child(dlg, "lineEditGateway")->setText(QStringLiteral("127.0.0.1"));

    for (const char* szMask : {"255.255.255.64", "255.0.255.0"}) {
        child(dlg, "lineEditMask")->setText(QLatin1String(szMask));
        QCOMPARE(pressOk(dlg), QStringList{QStringLiteral("Prompt|Set Subnet Mask Failed|OK")});
        QVERIFY(dlg.isVisible() && !dlg.isConfigured());
    }

    // Same-address mode, a valid mask: accepted with the editors' texts.
    QTest::mouseClick(child<QCheckBox>(dlg, "checkBoxSameIp"), Qt::LeftButton);
    child(dlg, "lineEditMask")->setText(QStringLiteral("255.255.254.0"));
    QCOMPARE(pressOk(dlg), QStringList());
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QVERIFY(!dlg.isVisible() && dlg.isConfigured());
    QCOMPARE(dlg.mode(), 1);
    QCOMPARE(dlg.address() + '/' + dlg.mask() + '/' + dlg.gateway(),
             QStringLiteral("127.0.0.50/255.255.254.0/127.0.0.1"));

    // Reopened, a bad mask leaves the earlier acceptance standing; closing by the frame rejects without
    // touching it, Cancel clears it. The editors keep their contents between openings.
    dlg.open();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    child(dlg, "lineEditMask")->setText(QStringLiteral("255.255.255.1"));
    QCOMPARE(pressOk(dlg).size(), 1);
    QVERIFY(dlg.isVisible() && dlg.isConfigured());
    QCOMPARE(dlg.mask(), QStringLiteral("255.255.255.1"));
    dlg.close();
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QVERIFY(!dlg.isVisible() && dlg.isConfigured());
    dlg.open();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QTest::mouseClick(child<QPushButton>(dlg, "btnCancel"), Qt::LeftButton);
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QVERIFY(!dlg.isVisible() && !dlg.isConfigured());
    QCOMPARE(editors(dlg), QStringLiteral("127.0.0.50/255.255.255.1/127.0.0.1"));
}

void TestGuiIpSetDlg::proposalFromInjectedPc()
{
    // The first free address after the PC's own (which, like the PC's other addresses, is never
    // asked about), with the PC's mask and a gateway in its subnet; when all of one cycle answer, no
    // address or gateway and a visible note. Either way the proposal only fills the editors: the
    // plan is what OK accepts.
    for (const bool bEverything : {false, true}) {
        auto pCheck = std::make_unique<ScriptedCheck>(bEverything ? 256 : 1);
        const QStringList& lstAsked = pCheck->lstAsked;
        std::atomic<bool>& bGo = pCheck->bGo;
        bGo = false;
        CIpSetDlg dlg;
        dlg.setPcInterface(QStringLiteral("10.0.0.200"), QStringLiteral("255.255.255.128"));
        dlg.setHostAddresses({QStringLiteral("10.0.0.201"), QStringLiteral("127.0.0.1")});
        dlg.setAddressCheck(std::move(pCheck));
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QSignalSpy spyDone(&dlg, &CIpSetDlg::proposalDone);
        dlg.proposePlan();
        // While it looks, the dialog says so and OK waits.
        QVERIFY(dlg.isProposing());
        QCOMPARE(dlg.proposalNote(), QStringLiteral("Looking for a free address..."));
        QVERIFY(!child<QPushButton>(dlg, "btnOK")->isEnabled());
        bGo = true;
        QVERIFY(spyDone.wait(20000));
        QCOMPARE(lstAsked.mid(0, 2), (QStringList{"10.0.0.202", "10.0.0.203"}));
        QCOMPARE(editors(dlg), bEverything ? QStringLiteral(".../255.255.255.128/...")
                                           : QStringLiteral("10.0.0.203/255.255.255.128/10.0.0.128"));
        QCOMPARE(child<QLabel>(dlg, "labelNote")->isVisible(), bEverything);
        QCOMPARE(child<QLabel>(dlg, "labelNote")->text(), dlg.proposalNote());
        QCOMPARE(dlg.proposalNote().isEmpty(), !bEverything);
        QVERIFY(!dlg.isConfigured() && dlg.address().isEmpty());
    }
}

void TestGuiIpSetDlg::checksAndProposalAgainstEmulator()
{
    // One question gets every camera's answer; text that is no address is not in use.
    CDeviceAddressCheck check(300);
    QVERIFY(check.isInUse(emulator.address(1)));
    QCOMPARE(check.lastAnswers().size(), emulator.cameraCount());
    QVERIFY(!check.isInUse(QStringLiteral("not an address")));

    // The cameras hold the fleet's first three addresses: the proposal walks over them to the fourth.
    CIpSetDlg dlg;
    dlg.setPcInterface(emulator.address(0), QStringLiteral("255.255.255.0"));
    dlg.setAddressCheck(std::make_unique<CDeviceAddressCheck>(300));
    QVERIFY(proposeAndWait(dlg));
    QCOMPARE(editors(dlg), emulator.rangeAddress(3) + QStringLiteral("/255.255.255.0/") +
                               emulator.address(0).section('.', 0, 2) + QStringLiteral(".1"));

    // Config.ini names the loopback interface as the PC and asks the devices. No camera holds the
    // PC's own address, but the PC does: the proposal is the address after it.
    QString strLoopback, strIp, strMask;
    for (const QNetworkInterface& itf : QNetworkInterface::allInterfaces()) {
        if (itf.flags().testFlag(QNetworkInterface::IsLoopBack) && itf.flags().testFlag(QNetworkInterface::IsRunning))
            strLoopback = itf.name();
    }
    CIpSetDlg::pcInterface(strLoopback, &strIp, &strMask);
    QVERIFY(CAddressCheck::isLoopbackAddress(strIp) && !strMask.isEmpty());
    QVERIFY(!check.isInUse(strIp));
    QVERIFY(guitest::writeConfig(emulator.discoveryPort(), {{"Network/Interface", strLoopback}}));
    CIpSetDlg configured;
    QVERIFY(proposeAndWait(configured));
    QCOMPARE(editors(configured).section('/', 0, 1),
             strIp.section('.', 0, 2) + '.' + QString::number(strIp.section('.', 3).toInt() + 1) + '/' + strMask);
    QCOMPARE(configured.proposalNote(), QString());

    // A named interface that does not exist gives no PC address: nothing is proposed, a note says so.
    QVERIFY(guitest::writeConfigText("[Network]\nAddressCheck=device\nLoopbackOnly=1\nInterface=no-such-interface0\n"));
    CIpSetDlg none;
    QVERIFY(proposeAndWait(none));
    QCOMPARE(editors(none), QStringLiteral(".../.../..."));
    QVERIFY(!none.proposalNote().isEmpty());
    guitest::removeConfig();

    // The system ping answers on loopback (which is why the repository's configurations ask the
    // devices instead).
    if (QStandardPaths::findExecutable(QStringLiteral("ping")).isEmpty())
        QSKIP("no ping program on this machine");
    CPingAddressCheck ping(true);
    QVERIFY(ping.isInUse(QStringLiteral("127.0.0.1")));
    QCOMPARE(ping.runCount(), 1);
}

void TestGuiIpSetDlg::chineseTexts()
{
    QTranslator translator;
    QVERIFY(translator.load(QCoreApplication::applicationDirPath() + QStringLiteral("/language/vantrel_zh.qm")));
    const auto zh = [&translator](const char* szText) { return translator.translate("CIpSetDlg", szText); };
    for (const char* szText : {"IP", "Sub mask", "Gateway", "ModifyIpStart", "ModifySameIp", "OK", "Cancel", "Prompt",
                               "Set Subnet Mask Failed"})
        QVERIFY2(!zh(szText).isEmpty(), szText);

    QCoreApplication::installTranslator(&translator);
    {
        CIpSetDlg dlg;
        QCOMPARE(child<QLabel>(dlg, "label_2")->text(), zh("Sub mask"));
        dlg.open();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        child(dlg, "lineEditMask")->setText(QStringLiteral("255.0.255.0"));
        QCOMPARE(pressOk(dlg), QStringList{zh("Prompt") + '|' + zh("Set Subnet Mask Failed") + '|' + zh("OK")});
    }
    QCoreApplication::removeTranslator(&translator);
}

QTEST_MAIN(TestGuiIpSetDlg)
#include "tst_gui_ipsetdlg.moc"
