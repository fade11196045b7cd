// The batch worker's loop and the dedicated reset/reboot worker without a window, against the
// emulator: what the commands do to the cameras and the rows, logins that survive failures, the
// automatic address before a login, the start-address plan over cameras that take their address
// late, and the logins of the dedicated worker. A stop between rows is tst_gui_batch's (closing
// the window in the middle of a batch).
#include <cstring>
#include <memory>
#include <vector>

#include <QSignalSpy>
#include <QtTest>

#include "batch/CAddressCheck.h"
#include "batch/CBatchDealThread.h"
#include "batch/CBatchRunner.h"
#include "emulatorprocess.h"
#include "sdktesthelpers.h"

// From device/DeviceRecords.h, whose record-size constant clashes with the test helpers' one.
void buildDevInfo(DEV_INFO* pInfo, const SDK_CONFIG_NET_COMMON_V2& rec, int nRow);
long loginDevice(DEV_INFO* pRec, int* pError);
QString loginErrorText(int nError);

namespace {

using Records = std::vector<std::unique_ptr<DEV_INFO>>;

/// One record per camera, the row number being the camera's index, built from one search as the
/// table builds its rows.
Records recordsOf(const EmulatorProcess& emulator)
{
    Records records;
    for (const SDK_CONFIG_NET_COMMON_V2& search : searchRecordsByCamera(emulator)) {
        records.push_back(std::make_unique<DEV_INFO>());
        buildDevInfo(records.back().get(), search, int(records.size()) - 1);
    }
    return records;
}

/// A job of command nCmd over the records, the rows of lstChecked checked.
std::unique_ptr<CBatchJob> jobOf(int nCmd, Records& records, std::initializer_list<int> lstChecked)
{
    auto pJob = std::make_unique<CBatchJob>();
    pJob->nCmd = nCmd;
    pJob->pCommand = makeMaintenanceCommand(nCmd, nCmd == BatchIpAdaptiveOn ? 1 : 0);
    for (const auto& pRec : records)
        pJob->lstRows.append(
            {pRec.get(), std::find(lstChecked.begin(), lstChecked.end(), pRec->nIndex) != lstChecked.end()});
    return pJob;
}

QStringList texts(std::initializer_list<const char*> lst)
{
    QStringList lstTexts;
    for (const char* sz : lst)
        lstTexts << QString::fromLatin1(sz);
    return lstTexts;
}

/// The device check, recording every address it is asked about.
class RecordingCheck : public CDeviceAddressCheck
{
public:
    RecordingCheck() = default;
    bool isInUse(const QString& strIp) override
    {
        lstAsked << strIp;
        return CDeviceAddressCheck::isInUse(strIp);
    }
    QStringList lstAsked;
};

int cameraValue(EmulatorProcess& emulator, int nCamera, const char* szName)
{
    return emulator.camera(nCamera).value(QLatin1String(szName)).toInt(-1);
}

} // namespace

class TestBatchRunner : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void loginCommands();
    void startAddressGivesEveryCameraItsOwnAddress();
    void dedicatedWorkerLogsOutItsLogins();
};

void TestBatchRunner::initTestCase()
{
    sdkInit(nullptr, nullptr);
    sdkSetup(2000, 1);
}

void TestBatchRunner::cleanupTestCase()
{
    sdkCleanup();
}

void TestBatchRunner::loginCommands()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({"--count", "3", "--models", "IPC-A"}), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    Records records = recordsOf(emulator);
    QCOMPARE(int(records.size()), 3);
    const auto adaptive = [&emulator](int nCamera) { return emulator.record(nCamera, 274, -1); };
    const QByteArray baDefault = adaptive(2);
    const QByteArray baUntouched = adaptive(1);
    CellLog log;
    CBatchRunner runner(log.writer());

    // Checked rows only: each logged in, written, logged out (handle -1); the unchecked row is
    // left alone.
    QCOMPARE(runner.run(*jobOf(BatchIpAdaptiveOn, records, {0, 2})), 3);
    for (int nRow : {0, 2}) {
        QCOMPARE(log.status(nRow), texts({"Login Success", "Set IP adaptive Success"}));
        QCOMPARE(adaptive(nRow), QByteArray(1, char(1)));
        QCOMPARE(records[size_t(nRow)]->lLoginID, -1L);
    }
    QCOMPARE(log.status(1), QStringList());
    QCOMPARE(adaptive(1), baUntouched);
    QTRY_COMPARE(cameraValue(emulator, 0, "Sessions"), 0);

    // A refused login and a refused write: the batch goes on; the write's login stays for the next
    // batch, which uses it without logging in again.
    QVERIFY(emulator.setFault(0, QJsonObject{{"LoginCode", -11301}}));
    QVERIFY(emulator.setFault(1, QJsonObject{{"FailWrites", true}}));
    log.clear();
    runner.run(*jobOf(BatchIpAdaptiveOff, records, {0, 1, 2}));
    QCOMPARE(log.status(0), QStringList{loginErrorText(-11301)});
    QCOMPARE(log.status(1), texts({"Login Success", "Set IP adaptive Failed"}));
    QCOMPARE(log.status(2), texts({"Login Success", "Set IP adaptive Success"}));
    QVERIFY(records[1]->lLoginID > 0);
    const int nLogins = cameraValue(emulator, 1, "Logins");
    QVERIFY(emulator.setFault(-1, QJsonObject{{"FailWrites", false}, {"LoginCode", 0}}));
    log.clear();
    runner.run(*jobOf(BatchIpAdaptiveOff, records, {1}));
    QCOMPARE(log.status(1), texts({"Set IP adaptive Success"}));
    QCOMPARE(cameraValue(emulator, 1, "Logins"), nLogins);
    QCOMPARE(adaptive(1), QByteArray(1, char(0)));

    // Reset: a write that needs a reboot is a failure with its number; a reset brings the factory
    // record back.
    QVERIFY(emulator.setFault(0, QJsonObject{{"RebootNeeded", true}}));
    log.clear();
    runner.run(*jobOf(BatchResetConfig, records, {0, 2}));
    QCOMPARE(log.status(0), texts({"Login Success", "Reset Config Filed Err=-11401"}));
    QCOMPARE(log.status(2), texts({"Login Success", "Reset Config Success"}));
    QCOMPARE(adaptive(2), baDefault);

    // With the automatic address on, each device first moves to its row's address (row + 20)
    // without a login; one that cannot is skipped with the address change's text.
    auto pJob = jobOf(BatchIpAdaptiveOn, records, {0, 1});
    pJob->bModifyIP = true;
    const QString strFixed = emulator.address(1).section('.', 0, 2) + QStringLiteral(".21");
    log.clear();
    runner.run(*pJob);
    QCOMPARE(log.status(0), texts({"Need Reboot"}));
    QCOMPARE(log.row(1), (QStringList{"1|1|" + strFixed, "1|3|Login Success", "1|3|Set IP adaptive Success"}));
    QCOMPARE(emulator.camera(1).value(QStringLiteral("HostIP")).toString(), strFixed);
    QCOMPARE(QString::fromLatin1(records[1]->szIpAddr), strFixed);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestBatchRunner::startAddressGivesEveryCameraItsOwnAddress()
{
    // Cameras 0 and 1 share their address, as from the factory. Camera 1 takes a new address only at
    // its next reboot (-11401), camera 2 a while after it answered success: until then both still
    // answer at their old addresses.
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({"--count", "4", "--same-address", "2", "--reboot-ms", "300"}),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    QVERIFY(emulator.setFault(1, QJsonObject{{"AddressAtReboot", true}}));
    QVERIFY(emulator.setFault(2, QJsonObject{{"AddressApplyMs", 1500}}));
    Records records = recordsOf(emulator);
    QCOMPARE(int(records.size()), 4);
    // Camera 0 is logged in, as after an earlier command: its change ends that login.
    int nError = 0;
    QVERIFY(loginDevice(records[0].get(), &nError) > 0);

    // The plan starts at the subnet's network address (.0, never handed out); .5 stands for an
    // address of the PC. The cameras sit on .1 (two of them) to .3.
    const QString strPrefix = emulator.address(0).section('.', 0, 2) + '.';
    auto pJob = jobOf(BatchAddressFromStart, records, {0, 1, 2, 3});
    pJob->strPlanIp = strPrefix + "0";
    pJob->strPlanMask = QStringLiteral("255.255.255.0");
    pJob->strPlanGateway = strPrefix + "254";
    auto pCheck = std::make_unique<RecordingCheck>();
    const QStringList& lstAsked = pCheck->lstAsked;
    pJob->pCheck = std::move(pCheck);
    pJob->lstTakenAddresses = QStringList{strPrefix + "5"};
    CellLog log;
    CBatchRunner runner(log.writer());
    runner.run(*pJob);
    QCOMPARE(log.all().filter(QStringLiteral("|3|")),
             (QStringList{"0|3|Modify Success", "1|3|Need Reboot", "2|3|Modify Success", "3|3|Modify Success"}));
    QVERIFY2(!lstAsked.contains(strPrefix + "0") && !lstAsked.contains(strPrefix + "5"),
             qPrintable(lstAsked.join(' ')));

    // Once camera 1 has rebooted and camera 2 has moved, every camera has an address of its own.
    QVERIFY(emulator.control(QJsonObject{{"Cmd", "reboot"}, {"Index", 1}}).value("Ret").toInt() == 100);
    const auto addresses = [&emulator]() {
        QStringList lst;
        for (int i = 0; i < 4; ++i)
            lst << emulator.camera(i).value(QStringLiteral("HostIP")).toString();
        return lst;
    };
    QTRY_COMPARE_WITH_TIMEOUT(addresses(),
                              (QStringList{strPrefix + "4", strPrefix + "6", strPrefix + "7", strPrefix + "8"}), 10000);
    // They really listen there, and nothing is left at the old addresses.
    const long lLogin = loginWithin(strPrefix + "8", QString(), &nError, 5000);
    QVERIFY(lLogin > 0);
    sdkLogout(lLogin);
    QCOMPARE(loginTo(emulator.address(3), QString(), &nError), 0L);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestBatchRunner::dedicatedWorkerLogsOutItsLogins()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({"--count", "3", "--models", "IPC-A", "--reboot-ms", "300"}),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    Records records = recordsOf(emulator);
    QCOMPARE(int(records.size()), 3);
    // Row 1 is logged in (as after a double-click): its copy uses that login, which stays the row's.
    int nError = 0;
    QVERIFY(loginDevice(records[1].get(), &nError) > 0);
    QVERIFY(emulator.setFault(0, QJsonObject{{"LoginCode", -11301}}));

    CBatchDealThread thread;
    thread.setWaitTime(3000);
    QSignalSpy spy(&thread, &CBatchDealThread::message);
    const auto messages = [&spy]() {
        QStringList lst;
        for (const QList<QVariant>& args : spy)
            lst << QStringLiteral("%1,%2,%3,%4")
                       .arg(args[0].toInt())
                       .arg(args[1].toInt())
                       .arg(args[2].toInt())
                       .arg(args[3].toInt());
        return lst;
    };
    // The copies are handled in the order they were added.
    for (int nRow : {2, 0, 1})
        thread.addDevice(records[size_t(nRow)].get());
    thread.setCmd(DealResetConfig);
    thread.start();
    QVERIFY(thread.wait(20000));
    QCOMPARE(messages(), (QStringList{"1,1,2,1", "-1,-11301,0,0", "1,1,1,1"}));
    // The worker's own login is gone from the camera; the row's stays.
    QTRY_COMPARE(cameraValue(emulator, 2, "Sessions"), 0);
    QCOMPARE(cameraValue(emulator, 1, "Sessions"), 1);

    // A reboot of the device whose login the worker makes: its session is closed too.
    spy.clear();
    const int nReboots = cameraValue(emulator, 2, "Reboots");
    thread.addDevice(records[2].get());
    thread.setCmd(DealReboot);
    thread.start();
    QVERIFY(thread.wait(20000));
    QCOMPARE(messages(), QStringList{"1,0,2,2"});
    QTRY_COMPARE(cameraValue(emulator, 2, "Reboots"), nReboots + 1);
    QCOMPARE(cameraValue(emulator, 2, "Sessions"), 0);
    sdkLogout(records[1]->lLoginID);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

QTEST_GUILESS_MAIN(TestBatchRunner)
#include "tst_batchrunner.moc"
