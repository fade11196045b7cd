// The address planning dialog on the offscreen platform: its form and texts, the check-box pair,
// OK with the mask rule and its prompt, Cancel and the configured flag, the proposal from an
// injected PC with a scripted check, and the address checks against a running emulator.
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QMetaMethod>
#include <QNetworkInterface>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QTranslator>
#include <QtTest>

#include <memory>
#include <set>

#include "CMyIpAddrEdit.h"
#include "batch/CAddressCheck.h"
#include "batch/CIpSetDlg.h"
#include "emulatorprocess.h"
#include "guitestsupport.h"
#include <netsdk/netsdk.h>

namespace {

/// Addresses in the set answer; every question is recorded.
class ScriptedCheck : public CAddressCheck
{
public:
    ScriptedCheck(std::set<QString> setAnswering, QStringList* pAsked, bool bEverything = false)
        : setAnswering_(std::move(setAnswering)), pAsked_(pAsked), bEverything_(bEverything)
    {
    }

    bool isInUse(const QString& strIp) override
    {
        *pAsked_ << strIp;
        return bEverything_ || setAnswering_.count(strIp) > 0;
    }

private:
    std::set<QString> setAnswering_;
    QStringList* pAsked_;
    bool bEverything_;
};

} // namespace

class TestGuiIpSetDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void formAndTexts();
    void checkBoxesActAsAPair();
    void okChecksTheMask();
    void cancelAndCloseAndTheConfiguredFlag();
    void proposalFromInjectedPc();
    void noProposalWhenEverythingAnswers();
    void deviceCheckAgainstEmulator();
    void proposalFromConfiguredInterfaceAndCheck();
    void chineseTexts();

private:
    CMyIpAddrEdit* editor(CIpSetDlg& dlg, const char* szName);

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

CMyIpAddrEdit* TestGuiIpSetDlg::editor(CIpSetDlg& dlg, const char* szName)
{
    return dlg.findChild<CMyIpAddrEdit*>(QLatin1String(szName));
}

void TestGuiIpSetDlg::formAndTexts()
{
    QWidget parent;
    CIpSetDlg dlg(&parent);
    QCOMPARE(dlg.parentWidget(), &parent);
    QCOMPARE(dlg.size(), QSize(405, 327));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("CIpSetDlg"));
    QVERIFY(!(dlg.windowFlags() & Qt::FramelessWindowHint));

    const struct
    {
        const char* szName;
        const char* szText;
    } labels[] = {{"label", "IP"}, {"label_2", "Sub mask"}, {"label_3", "Gateway"}};
    for (const auto& label : labels) {
        auto* pLabel = dlg.findChild<QLabel*>(QLatin1String(label.szName));
        QVERIFY2(pLabel, label.szName);
        QCOMPARE(pLabel->text(), QLatin1String(label.szText));
    }
    for (const char* szName : {"lineEditIP", "lineEditMask", "lineEditGateway"}) {
        CMyIpAddrEdit* pEdit = editor(dlg, szName);
        QVERIFY2(pEdit, szName);
        QCOMPARE(pEdit->text(), QStringLiteral("..."));
    }
    auto* pStart = dlg.findChild<QCheckBox*>(QStringLiteral("checkBoxStartIp"));
    auto* pSame = dlg.findChild<QCheckBox*>(QStringLiteral("checkBoxSameIp"));
    QVERIFY(pStart && pSame);
    QCOMPARE(pStart->text(), QStringLiteral("ModifyIpStart"));
    QCOMPARE(pSame->text(), QStringLiteral("ModifySameIp"));
    QVERIFY(pStart->isChecked());
    QVERIFY(!pSame->isChecked());
    auto* pOk = dlg.findChild<QPushButton*>(QStringLiteral("btnOK"));
    auto* pCancel = dlg.findChild<QPushButton*>(QStringLiteral("btnCancel"));
    QVERIFY(pOk && pCancel);
    QCOMPARE(pOk->text(), QStringLiteral("OK"));
    QCOMPARE(pCancel->text(), QStringLiteral("Cancel"));

    QCOMPARE(dlg.mode(), 0);
    QVERIFY(!dlg.isConfigured());
    QCOMPARE(dlg.address(), QString());
    QCOMPARE(dlg.mask(), QString());
    QCOMPARE(dlg.gateway(), QString());

    // Shown, the grid keeps every editor 30 pixels high and the note out of sight.
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    for (const char* szName : {"lineEditIP", "lineEditMask", "lineEditGateway"})
        QCOMPARE(editor(dlg, szName)->height(), 30);
    QVERIFY(!dlg.findChild<QLabel*>(QStringLiteral("labelNote"))->isVisible());

    // The slots the form connects by name, in their order.
    QStringList lstSlots;
    const QMetaObject* pMeta = dlg.metaObject();
    for (int i = pMeta->methodOffset(); i < pMeta->methodCount(); ++i) {
        if (pMeta->method(i).methodType() == QMetaMethod::Slot)
            lstSlots << QString::fromLatin1(pMeta->method(i).methodSignature());
    }
    QCOMPARE(lstSlots, (QStringList{"on_btnOK_clicked()", "on_btnCancel_clicked()", "on_checkBoxStartIp_clicked()",
                                    "on_checkBoxSameIp_clicked()"}));
}

void TestGuiIpSetDlg::checkBoxesActAsAPair()
{
    CIpSetDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    auto* pStart = dlg.findChild<QCheckBox*>(QStringLiteral("checkBoxStartIp"));
    auto* pSame = dlg.findChild<QCheckBox*>(QStringLiteral("checkBoxSameIp"));

    QTest::mouseClick(pSame, Qt::LeftButton);
    QVERIFY(!pStart->isChecked());
    QVERIFY(pSame->isChecked());
    QCOMPARE(dlg.mode(), 1);
    // Clicking the checked one again keeps it checked.
    QTest::mouseClick(pSame, Qt::LeftButton);
    QVERIFY(!pStart->isChecked());
    QVERIFY(pSame->isChecked());
    QCOMPARE(dlg.mode(), 1);

    QTest::mouseClick(pStart, Qt::LeftButton);
    QVERIFY(pStart->isChecked());
    QVERIFY(!pSame->isChecked());
    QCOMPARE(dlg.mode(), 0);
    QTest::mouseClick(pStart, Qt::LeftButton);
    QVERIFY(pStart->isChecked());
    QVERIFY(!pSame->isChecked());
    QCOMPARE(dlg.mode(), 0);
}

void TestGuiIpSetDlg::okChecksTheMask()
{
    CIpSetDlg dlg;
    dlg.open();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.activateWindow();
    QSignalSpy spyFinished(&dlg, &QDialog::finished);
    editor(dlg, "lineEditIP")->setText(QStringLiteral("127.0.0.50"));
    editor(dlg, "lineEditGateway")->setText(QStringLiteral("127.0.0.1"));
    auto* pOk = dlg.findChild<QPushButton*>(QStringLiteral("btnOK"));

    for (const char* szMask : {"255.255.255.64", "255.0.255.0"}) {
        guitest::ModalAnswerer watcher(guitest::ModalAnswerer::LeaveOthers);
        editor(dlg, "lineEditMask")->setText(QLatin1String(szMask));
        QTest::mouseClick(pOk, Qt::LeftButton);
        QCOMPARE(watcher.lstBoxes.size(), 1);
        QCOMPARE(watcher.lstBoxes[0].strTitle, QStringLiteral("Prompt"));
        QCOMPARE(watcher.lstBoxes[0].strText, QStringLiteral("Set Subnet Mask Failed"));
        QCOMPARE(watcher.lstBoxes[0].lstButtons, QStringList{QStringLiteral("OK")});
        QVERIFY(dlg.isVisible());
        QCOMPARE(spyFinished.count(), 0);
        QVERIFY(!dlg.isConfigured());
    }

    // Same-address mode, a valid mask: accepted with the editors' texts.
    QTest::mouseClick(dlg.findChild<QCheckBox*>(QStringLiteral("checkBoxSameIp")), Qt::LeftButton);
    editor(dlg, "lineEditMask")->setText(QStringLiteral("255.255.254.0"));
    {
        guitest::ModalAnswerer watcher(guitest::ModalAnswerer::LeaveOthers);
        QTest::mouseClick(pOk, Qt::LeftButton);
        QCOMPARE(watcher.lstBoxes.size(), 0);
    }
    QCOMPARE(spyFinished.count(), 1);
    QCOMPARE(spyFinished.at(0).at(0).toInt(), int(QDialog::Accepted));
    QVERIFY(!dlg.isVisible());
    QVERIFY(dlg.isConfigured());
    QCOMPARE(dlg.mode(), 1);
    QCOMPARE(dlg.address(), QStringLiteral("127.0.0.50"));
    QCOMPARE(dlg.mask(), QStringLiteral("255.255.254.0"));
    QCOMPARE(dlg.gateway(), QStringLiteral("127.0.0.1"));

    // Reopened, a bad mask leaves the earlier acceptance standing until Cancel.
    dlg.open();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    editor(dlg, "lineEditMask")->setText(QStringLiteral("255.255.255.1"));
    {
        guitest::ModalAnswerer watcher(guitest::ModalAnswerer::LeaveOthers);
        QTest::mouseClick(pOk, Qt::LeftButton);
        QCOMPARE(watcher.lstBoxes.size(), 1);
    }
    QVERIFY(dlg.isVisible());
    QVERIFY(dlg.isConfigured());
    QCOMPARE(dlg.mask(), QStringLiteral("255.255.255.1"));

    // An editor with empty octets gives its dotted text with empty places; an empty mask is 0.0.0.0.
    editor(dlg, "lineEditMask")->setText(QString());
    editor(dlg, "lineEditIP")->setText(QString());
    QTest::mouseClick(dlg.findChild<QCheckBox*>(QStringLiteral("checkBoxStartIp")), Qt::LeftButton);
    QTest::mouseClick(pOk, Qt::LeftButton);
    QCOMPARE(spyFinished.count(), 2);
    QCOMPARE(dlg.address(), QStringLiteral("..."));
    QCOMPARE(dlg.mask(), QStringLiteral("..."));
    QCOMPARE(dlg.mode(), 0);
}

void TestGuiIpSetDlg::cancelAndCloseAndTheConfiguredFlag()
{
    CIpSetDlg dlg;
    editor(dlg, "lineEditMask")->setText(QStringLiteral("255.255.255.0"));
    QTimer::singleShot(0, &dlg, [&dlg] { QTest::mouseClick(dlg.findChild<QPushButton*>("btnOK"), Qt::LeftButton); });
    QCOMPARE(dlg.exec(), int(QDialog::Accepted));
    QVERIFY(dlg.isConfigured());

    // Closing by the frame rejects without touching the flag.
    QTimer::singleShot(0, &dlg, [&dlg] { dlg.close(); });
    QCOMPARE(dlg.exec(), int(QDialog::Rejected));
    QVERIFY(dlg.isConfigured());

    QTimer::singleShot(0, &dlg,
                       [&dlg] { QTest::mouseClick(dlg.findChild<QPushButton*>("btnCancel"), Qt::LeftButton); });
    QCOMPARE(dlg.exec(), int(QDialog::Rejected));
    QVERIFY(!dlg.isConfigured());
    // The editors keep their contents between openings.
    QCOMPARE(editor(dlg, "lineEditMask")->text(), QStringLiteral("255.255.255.0"));
}

void TestGuiIpSetDlg::proposalFromInjectedPc()
{
    QStringList lstAsked;
    CIpSetDlg dlg;
    dlg.setPcInterface(QStringLiteral("10.0.0.200"), QStringLiteral("255.255.255.128"));
    dlg.setAddressCheck(std::make_unique<ScriptedCheck>(std::set<QString>{"10.0.0.200"}, &lstAsked));
    dlg.proposePlan();
    QCOMPARE(lstAsked, (QStringList{"10.0.0.200", "10.0.0.201"}));
    QCOMPARE(editor(dlg, "lineEditIP")->text(), QStringLiteral("10.0.0.201"));
    QCOMPARE(editor(dlg, "lineEditMask")->text(), QStringLiteral("255.255.255.128"));
    QCOMPARE(editor(dlg, "lineEditGateway")->text(), QStringLiteral("10.0.0.128"));
    QCOMPARE(dlg.proposalNote(), QString());
    // The proposal only fills the editors; the plan is what OK accepts.
    QVERIFY(!dlg.isConfigured());
    QCOMPARE(dlg.address(), QString());
}

void TestGuiIpSetDlg::noProposalWhenEverythingAnswers()
{
    QStringList lstAsked;
    CIpSetDlg dlg;
    dlg.setPcInterface(QStringLiteral("192.168.1.10"), QStringLiteral("255.255.255.0"));
    dlg.setAddressCheck(std::make_unique<ScriptedCheck>(std::set<QString>{}, &lstAsked, true));
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.proposePlan();
    QCOMPARE(lstAsked.size(), 254);
    QCOMPARE(editor(dlg, "lineEditIP")->text(), QStringLiteral("..."));
    QCOMPARE(editor(dlg, "lineEditGateway")->text(), QStringLiteral("..."));
    QCOMPARE(editor(dlg, "lineEditMask")->text(), QStringLiteral("255.255.255.0"));
    auto* pNote = dlg.findChild<QLabel*>(QStringLiteral("labelNote"));
    QVERIFY(pNote->isVisible());
    QCOMPARE(pNote->text(), dlg.proposalNote());
    QVERIFY(!dlg.proposalNote().isEmpty());
}

void TestGuiIpSetDlg::deviceCheckAgainstEmulator()
{
    // The cameras hold the fleet's first three addresses; the fourth is free.
    CDeviceAddressCheck check(300);
    QVERIFY(check.isInUse(emulator.address(1)));
    QCOMPARE(check.lastAnswers().size(), emulator.cameraCount());
    QVERIFY(!check.isInUse(emulator.rangeAddress(3)));
    QCOMPARE(check.lastAnswers().size(), emulator.cameraCount());
    QVERIFY(!check.isInUse(QStringLiteral("not an address")));

    // The proposal walks over the cameras to the first free address of the fleet's range.
    CIpSetDlg dlg;
    dlg.setPcInterface(emulator.address(0), QStringLiteral("255.255.255.0"));
    dlg.setAddressCheck(std::make_unique<CDeviceAddressCheck>(300));
    dlg.proposePlan();
    QCOMPARE(editor(dlg, "lineEditIP")->text(), emulator.rangeAddress(3));
    QCOMPARE(editor(dlg, "lineEditMask")->text(), QStringLiteral("255.255.255.0"));
    const QString strGateway = emulator.address(0).section('.', 0, 2) + QStringLiteral(".1");
    QCOMPARE(editor(dlg, "lineEditGateway")->text(), strGateway);

    // The system ping answers on loopback (which is why the repository's configurations ask the
    // devices instead), and a foreign address is refused without running it.
    CPingAddressCheck ping(true);
    QVERIFY(!ping.isInUse(QStringLiteral("192.0.2.1")));
    QCOMPARE(ping.runCount(), 0);
    if (QStandardPaths::findExecutable(QStringLiteral("ping")).isEmpty())
        QSKIP("no ping program on this machine");
    QVERIFY(ping.isInUse(QStringLiteral("127.0.0.1")));
    QCOMPARE(ping.runCount(), 1);
}

void TestGuiIpSetDlg::proposalFromConfiguredInterfaceAndCheck()
{
    // Config.ini names the loopback interface as the PC and asks the devices.
    QString strLoopback;
    for (const QNetworkInterface& itf : QNetworkInterface::allInterfaces()) {
        if (itf.flags().testFlag(QNetworkInterface::IsLoopBack) && itf.flags().testFlag(QNetworkInterface::IsRunning))
            strLoopback = itf.name();
    }
    if (strLoopback.isEmpty())
        QSKIP("no running loopback interface");
    QString strIp, strMask;
    CIpSetDlg::pcInterface(strLoopback, &strIp, &strMask);
    QVERIFY(CAddressCheck::isLoopbackAddress(strIp));
    QVERIFY(!strMask.isEmpty());
    CIpSetDlg::pcInterface(QStringLiteral("no-such-interface0"), &strIp, &strMask);
    QCOMPARE(strIp, QString());
    QCOMPARE(strMask, QString());

    QVERIFY(guitest::writeConfig(emulator.discoveryPort(), {{"Network/Interface", strLoopback}}));

    // No camera holds the PC's own address, so that address itself is the proposal.
    CIpSetDlg::pcInterface(strLoopback, &strIp, &strMask);
    CDeviceAddressCheck probe(300);
    QVERIFY(!probe.isInUse(strIp));
    CIpSetDlg dlg;
    dlg.proposePlan();
    QCOMPARE(editor(dlg, "lineEditIP")->text(), strIp);
    QCOMPARE(editor(dlg, "lineEditMask")->text(), strMask);
    QCOMPARE(dlg.proposalNote(), QString());

    // A named interface that does not exist gives no PC address: nothing is proposed, a note says so.
    QVERIFY(guitest::writeConfigText("[Network]\nAddressCheck=device\nLoopbackOnly=1\nInterface=no-such-interface0\n"));
    CIpSetDlg none;
    none.proposePlan();
    QCOMPARE(editor(none, "lineEditIP")->text(), QStringLiteral("..."));
    QCOMPARE(editor(none, "lineEditMask")->text(), QStringLiteral("..."));
    QVERIFY(!none.proposalNote().isEmpty());
    guitest::removeConfig();
}

void TestGuiIpSetDlg::chineseTexts()
{
    QTranslator translator;
    QVERIFY(translator.load(QCoreApplication::applicationDirPath() + QStringLiteral("/language/vantrel_zh.qm")));
    const char* const texts[] = {"IP", "Sub mask", "Gateway", "ModifyIpStart",         "ModifySameIp",
                                 "OK", "Cancel",   "Prompt",  "Set Subnet Mask Failed"};
    for (const char* szText : texts)
        QVERIFY2(!translator.translate("CIpSetDlg", szText).isEmpty(), szText);

    QCoreApplication::installTranslator(&translator);
    {
        CIpSetDlg dlg;
        QCOMPARE(dlg.findChild<QLabel*>(QStringLiteral("label_2"))->text(),
                 translator.translate("CIpSetDlg", "Sub mask"));
        dlg.open();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        editor(dlg, "lineEditMask")->setText(QStringLiteral("255.0.255.0"));
        guitest::ModalAnswerer watcher(guitest::ModalAnswerer::LeaveOthers);
        QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
        QCOMPARE(watcher.lstBoxes.size(), 1);
        QCOMPARE(watcher.lstBoxes[0].strText, translator.translate("CIpSetDlg", "Set Subnet Mask Failed"));
    }
    QCoreApplication::removeTranslator(&translator);
}

QTEST_MAIN(TestGuiIpSetDlg)
#include "tst_gui_ipsetdlg.moc"
