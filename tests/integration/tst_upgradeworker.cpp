// The firmware upgrade run without a window, against the emulator: cameras of the package's
// hardware and of another one, a camera that dies while writing and one that refuses, the
// configuration file imported first, the automatic address before the login, every thread joined
// at the end, and a camera that never reports an end, given up at the upgrade's limit.
#include <cstring>
#include <memory>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include "device/CRowRecords.h"
#include "emulatorprocess.h"
#include "sdktesthelpers.h"
#include "upgrade/CUpgradeWorker.h"
#include "upgradepackage.h"

// From device/DeviceRecords.h, whose record-size constant clashes with the test helpers' one.
void buildDevInfo(DEV_INFO* pInfo, const SDK_CONFIG_NET_COMMON_V2& rec, int nRow);
long loginDevice(DEV_INFO* pRec, int* pError);

namespace {

const char kNewVersion[] = "V9.99.R01.UPGRADED";

int processThreads()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

/// The table's records of the emulator's cameras, the row number being the camera's index.
bool fillRecords(const EmulatorProcess& emulator, CRowRecords* pRecords)
{
    for (const SDK_CONFIG_NET_COMMON_V2& search : searchRecordsByCamera(emulator)) {
        auto pRec = std::make_unique<DEV_INFO>();
        buildDevInfo(pRec.get(), search, pRecords->count());
        pRecords->append(std::move(pRec));
    }
    return pRecords->count() == emulator.cameraCount();
}

/// Copies of the records of the rows, as an Upgrade press queues them.
QVector<DEV_INFO> devicesOf(const CRowRecords& records, std::initializer_list<int> lstRows)
{
    QVector<DEV_INFO> lst;
    for (int nRow : lstRows) {
        DEV_INFO info;
        if (records.copy(nRow, &info))
            lst << info;
    }
    return lst;
}

/// True when a row's texts are those of an upgrade that went through: an optional login, the
/// import, the start, the transfer rising to 100, the device's own progress, the success last.
bool isCompleteUpgrade(const QStringList& lstTexts, bool bLogin, QString* pWhy)
{
    QStringList lstRest = lstTexts;
    const auto fail = [&](const char* szWhy) {
        *pWhy = QLatin1String(szWhy) + QStringLiteral(" in: ") + lstTexts.join(QStringLiteral(" | "));
        return false;
    };
    for (const char* szFirst : {"Login Success", "ImportConfigSuccess", "Start Upgrade"}) {
        if (!bLogin && qstrcmp(szFirst, "Login Success") == 0)
            continue;
        if (lstRest.value(0) != QLatin1String(szFirst))
            return fail(szFirst);
        lstRest.removeFirst();
    }
    int nLast = -1;
    while (lstRest.value(0).startsWith(QLatin1String("Send Progress: "))) {
        const int nPercent = lstRest.takeFirst().mid(15).toInt();
        if (nPercent < nLast)
            return fail("transfer progress went back");
        nLast = nPercent;
    }
    if (nLast != 100)
        return fail("transfer did not reach 100");
    if (lstRest.filter(QStringLiteral("Upgrade Progress: ")).isEmpty())
        return fail("no device progress");
    while (lstRest.value(0).startsWith(QLatin1String("Upgrade Progress: ")))
        lstRest.removeFirst();
    // The device's own end and the library's may both arrive.
    if (lstRest.isEmpty() || lstRest.count(QStringLiteral("Upgrade Success")) != lstRest.size())
        return fail("not ending in success alone");
    return true;
}

} // namespace

class TestUpgradeWorker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void runUpgradesEveryDeviceAndJoinsItsThreads();
    void deviceThatNeverEndsIsGivenUp();

private:
    QString makePackage(const QString& strName, const std::string& strHardware, std::size_t nFirmware);

    QTemporaryDir dirFiles;
};

void TestUpgradeWorker::initTestCase()
{
    QVERIFY(dirFiles.isValid());
    sdkInit(nullptr, nullptr);
    sdkSetup(2000, 1);
}

void TestUpgradeWorker::cleanupTestCase()
{
    sdkCleanup();
}

QString TestUpgradeWorker::makePackage(const QString& strName, const std::string& strHardware, std::size_t nFirmware)
{
    upgradepackage::PackageSpec contents;
    contents.hardware = strHardware;
    contents.version = kNewVersion;
    contents.firmwareSize = nFirmware;
    const QString strPath = dirFiles.filePath(strName);
    return upgradepackage::writeFile(strPath.toStdString(), upgradepackage::makePackage(contents)) ? strPath
                                                                                                   : QString();
}

void TestUpgradeWorker::runUpgradesEveryDeviceAndJoinsItsThreads()
{
    // Camera 1 is of another hardware, camera 3 dies while it writes, camera 4 refuses.
    QTemporaryDir dirState;
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({"--count", "5", "--models", "IPC-B,IPC-C,IPC-B,IPC-B,IPC-B", "--upgrade-ms", "600",
                             "--reboot-ms", "300", "--state-dir", dirState.path()}),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    QVERIFY(emulator.setFault(3, QJsonObject{{"DieMidWrite", true}}));
    QVERIFY(emulator.setFault(4, QJsonObject{{"RefuseUpgrade", true}}));
    CRowRecords records;
    QVERIFY(fillRecords(emulator, &records));
    // Row 0 is logged in already: the upgrade uses that login.
    int nError = 0;
    QVERIFY(records.update(0, [&nError](DEV_INFO& rec) { loginDevice(&rec, &nError); }));
    QByteArray baConfig(300, 'c');
    QFile fileConfig(dirFiles.filePath(QStringLiteral("camera.cfg")));
    QVERIFY(fileConfig.open(QIODevice::WriteOnly) && fileConfig.write(baConfig) == baConfig.size());
    fileConfig.close();

    const int nThreadsBefore = processThreads();
    CellLog log;
    CUpgradeWorker worker(records, log.writer(), true);
    std::atomic<int> nFinished{0};
    worker.setFinishedHandler([&nFinished]() { ++nFinished; });
    CUpgradeJob job;
    job.strPackage = makePackage(QStringLiteral("ipcb.zip"), "VTH-3MDOME-B", 256 * 1024);
    job.nPackageBytes = QFileInfo(job.strPackage).size();
    job.strHardware = QStringLiteral("VTH-3MDOME-B");
    job.strCfgFile = fileConfig.fileName();
    QVERIFY(worker.start(job, devicesOf(records, {0, 1, 2, 3, 4})));
    QTRY_COMPARE_WITH_TIMEOUT(nFinished.load(), 1, 60000);
    QCOMPARE(worker.threadCount(), 0);

    QString strWhy;
    QVERIFY2(isCompleteUpgrade(log.status(0), false, &strWhy), qPrintable(strWhy));
    QVERIFY2(isCompleteUpgrade(log.status(2), true, &strWhy), qPrintable(strWhy));
    QCOMPARE(log.status(1), (QStringList{"Login Success", "Invalid hardware"}));
    QVERIFY(!log.status(3).filter(QStringLiteral("Upgrade Progress: ")).isEmpty());
    QCOMPARE(log.status(3).last(), QStringLiteral("Upgrade Fail"));
    QCOMPARE(log.status(4), (QStringList{"Login Success", "ImportConfigSuccess", "Upgrade Failed,-11804"}));
    // Every upgraded row's own record has lost its login, and every thread of the run has been
    // joined: the library's threads that reported the ends are gone soon after.
    for (int nRow : {0, 2, 3}) {
        DEV_INFO info;
        QVERIFY(records.copy(nRow, &info));
        QCOMPARE(info.lLoginID, 0L);
    }
    QTRY_VERIFY_WITH_TIMEOUT(processThreads() <= nThreadsBefore, 5000);

    // The imported file reached the camera before its upgrade; the new firmware runs after the
    // reboot, the dying camera comes back with its old one.
    QFile fileState(dirState.filePath(emulator.mac(2).remove(':') + QStringLiteral(".json")));
    QVERIFY(fileState.open(QIODevice::ReadOnly));
    QVERIFY(fileState.readAll().contains(baConfig.toBase64()));
    QTRY_COMPARE_WITH_TIMEOUT(emulator.camera(2).value(QStringLiteral("Version")).toString(),
                              QString::fromLatin1(kNewVersion), 10000);
    QCOMPARE(emulator.camera(0).value(QStringLiteral("Version")).toString(), QString::fromLatin1(kNewVersion));
    QTRY_VERIFY_WITH_TIMEOUT(emulator.camera(3).value(QStringLiteral("Listening")).toBool(), 10000);
    QVERIFY(emulator.camera(3).value(QStringLiteral("Version")).toString() != QLatin1String(kNewVersion));

    // With the automatic address on, a device moves to its row's address (row + 20) before its login;
    // one that cannot is skipped with the address change's text.
    QVERIFY(emulator.setFault(4, QJsonObject{{"RebootNeeded", true}}));
    log.clear();
    job.bModifyIP = true;
    job.strCfgFile.clear();
    QVERIFY(worker.start(job, devicesOf(records, {4, 1})));
    QTRY_COMPARE_WITH_TIMEOUT(nFinished.load(), 2, 30000);
    const QString strMoved = emulator.address(1).section('.', 0, 2) + QStringLiteral(".21");
    QCOMPARE(log.all(),
             (QStringList{"4|3|Need Reboot", "1|1|" + strMoved, "1|3|Login Success", "1|3|Invalid hardware"}));
    QCOMPARE(emulator.camera(1).value(QStringLiteral("HostIP")).toString(), strMoved);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestUpgradeWorker::deviceThatNeverEndsIsGivenUp()
{
    // The camera writes for three minutes, reporting progress every nine seconds: it never reports
    // an end within the run's limit (here 2.5 s after the library took the upgrade).
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({"--count", "1", "--models", "IPC-B", "--upgrade-ms", "180000"}),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    CRowRecords records;
    QVERIFY(fillRecords(emulator, &records));
    CellLog log;
    CUpgradeWorker worker(records, log.writer(), true);
    worker.setLimits(CUpgradeLimits{1000, qint64(1) << 30, 1500});
    std::atomic<int> nFinished{0};
    worker.setFinishedHandler([&nFinished]() { ++nFinished; });
    CUpgradeJob job;
    job.strPackage = makePackage(QStringLiteral("slow.zip"), "VTH-3MDOME-B", 64 * 1024);
    job.strHardware = QStringLiteral("VTH-3MDOME-B");
    QVERIFY(worker.start(job, devicesOf(records, {0})));

    QTRY_COMPARE_WITH_TIMEOUT(nFinished.load(), 1, 10000);
    QCOMPARE(log.status(0).last(), QStringLiteral("Upgrade TimeOut"));
    QVERIFY(!log.status(0).filter(QStringLiteral("Upgrade Progress: ")).isEmpty());
    QCOMPARE(worker.threadCount(), 0);
    DEV_INFO info;
    QVERIFY(records.copy(0, &info));
    QCOMPARE(info.lLoginID, 0L);
    // The upgrade was closed and its login ended: the camera keeps its firmware and no session.
    QTRY_COMPARE(emulator.camera(0).value(QStringLiteral("Sessions")).toInt(-1), 0);
    QCOMPARE(emulator.camera(0).value(QStringLiteral("Upgrades")).toInt(-1), 0);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

QTEST_GUILESS_MAIN(TestUpgradeWorker)
#include "tst_upgradeworker.moc"
