// The upgrade's texts (error table, progress texts, their Chinese translations) and its device
// queue: order, copies, shared started records, a producer and a consumer on two threads, and how
// presses hand jobs to the upgrade thread.
#include <atomic>
#include <cstring>
#include <thread>

#include <QElapsedTimer>
#include <QFile>
#include <QXmlStreamReader>
#include <QtTest>

#include "upgrade/CUpgradeQueue.h"
#include "upgrade/CUpgradeRun.h"
#include "upgrade/UpgradeTexts.h"

namespace {

DEV_INFO record(int nIndex, const char* pszAddr = "127.0.0.5")
{
    DEV_INFO info;
    std::memset(&info, 0, sizeof(info));
    info.nIndex = nIndex;
    info.nPort = 34567;
    std::strncpy(info.szIpAddr, pszAddr, sizeof(info.szIpAddr) - 1);
    return info;
}

/// The finished translations of one context in a translation source file.
QHash<QString, QString> translationsOf(const QString& strTsFile, const QString& strContext)
{
    QHash<QString, QString> hash;
    QFile file(strTsFile);
    if (!file.open(QIODevice::ReadOnly))
        return hash;
    QXmlStreamReader xml(&file);
    QString strCurrentContext;
    QString strSource;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("name")) {
            strCurrentContext = xml.readElementText();
        } else if (xml.name() == QLatin1String("source")) {
            strSource = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation") && strCurrentContext == strContext) {
            const bool bFinished = xml.attributes().value(QLatin1String("type")).isEmpty();
            const QString strText = xml.readElementText();
            if (bFinished && !strText.isEmpty())
                hash.insert(strSource, strText);
        }
    }
    return hash;
}

} // namespace

class TestAppUpgradeQueue : public QObject
{
    Q_OBJECT

private slots:
    void errorTable_data();
    void errorTable();
    void progressTexts();
    void textsAreTranslated();
    void queueOrderAndCopies();
    void startedRecordsOutliveClear();
    void twoThreads();
    void pressesAndTheUpgradeThread();
};

void TestAppUpgradeQueue::errorTable_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("-11804") << -11804 << "No enough memory";
    QTest::newRow("-11805") << -11805 << "Invaild upgrade packet";
    QTest::newRow("-11806") << -11806 << "Some part upgrade fail";
    QTest::newRow("-11807") << -11807 << "Invalid hardware";
    QTest::newRow("-11808") << -11808 << "Invalid vendor";
    QTest::newRow("-11809") << -11809 << "Invalid compalible";
    QTest::newRow("-11810") << -11810 << "Invalid version";
    QTest::newRow("-11811") << -11811 << "Invalid wifi drive";
    QTest::newRow("-11803") << -11803 << "Unknow error";
    QTest::newRow("-11812") << -11812 << "Unknow error";
    QTest::newRow("-12000") << -12000 << "Unknow error";
    QTest::newRow("0") << 0 << "Unknow error";
    QTest::newRow("-1") << -1 << "Unknow error";
}

void TestAppUpgradeQueue::errorTable()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(upgradeErrorText(code), text);
}

void TestAppUpgradeQueue::progressTexts()
{
    QCOMPARE(sendProgressText(1200, 300), QStringLiteral("Send Progress: 25"));
    QCOMPARE(sendProgressText(1200, 1199), QStringLiteral("Send Progress: 99"));
    QCOMPARE(sendProgressText(1200, 1200), QStringLiteral("Send Progress: 100"));
    QCOMPARE(sendProgressText(1200, 0), QStringLiteral("Send Progress: 0"));
    QCOMPARE(sendProgressText(0, 300), QStringLiteral("Send Progress:"));
    QCOMPARE(sendProgressText(0, 0), QStringLiteral("Send Progress:"));
    QCOMPARE(sendProgressText(-7, 3), QStringLiteral("Send Progress:"));
    // A 64 MiB package: sent * 100 does not fit an int.
    QCOMPARE(sendProgressText(64 << 20, 48 << 20), QStringLiteral("Send Progress: 75"));
    QCOMPARE(upgradeProgressText(42), QStringLiteral("Upgrade Progress: 42"));
    QCOMPARE(upgradeRefusedText(-11300), QStringLiteral("Upgrade Failed,-11300"));
    QCOMPARE(connectFailedText(111), QStringLiteral("connect Failed: 111"));
    QCOMPARE(selectFailedText(9), QStringLiteral("select Failed: 9"));
    QCOMPARE(recvErrorText(104), QStringLiteral("recv Error: 104"));
    QCOMPARE(invalidHardwareText(), upgradeErrorText(kUpgradeErrHardware));
}

void TestAppUpgradeQueue::textsAreTranslated()
{
    const QString strTs = QFINDTESTDATA("../../resources/language/vantrel_zh.ts");
    QVERIFY(!strTs.isEmpty());
    const QHash<QString, QString> hash = translationsOf(strTs, QStringLiteral("CVantrel"));
    const QStringList lstSources = {upgradeErrorText(kUpgradeErrNoMemory),
                                    upgradeErrorText(kUpgradeErrPacket),
                                    upgradeErrorText(kUpgradeErrSomePart),
                                    upgradeErrorText(kUpgradeErrHardware),
                                    upgradeErrorText(kUpgradeErrVendor),
                                    upgradeErrorText(kUpgradeErrCompatible),
                                    upgradeErrorText(kUpgradeErrVersion),
                                    upgradeErrorText(kUpgradeErrWifi),
                                    upgradeErrorText(1),
                                    sendProgressText(0, 0),
                                    upgradeProgressText(1).section(QLatin1Char(' '), 0, 1),
                                    startUpgradeText(),
                                    upgradeRefusedText(1).section(QLatin1Char(','), 0, 0),
                                    upgradeSuccessText(),
                                    upgradeFailText(),
                                    connectFailedText(1).section(QLatin1Char(' '), 0, 1),
                                    selectFailedText(1).section(QLatin1Char(' '), 0, 1),
                                    recvErrorText(1).section(QLatin1Char(' '), 0, 1),
                                    selectProgramText(),
                                    unzipFailText(),
                                    openInstallDescFailText(),
                                    selectDeviceText()};
    for (const QString& strSource : lstSources) {
        QVERIFY2(hash.contains(strSource), qPrintable(QStringLiteral("no translation for \"%1\"").arg(strSource)));
        QVERIFY(hash.value(strSource) != strSource);
    }
}

void TestAppUpgradeQueue::queueOrderAndCopies()
{
    CUpgradeQueue queue;
    QVERIFY(!queue.popUpgradeDevice(CUpgradeQueue::Pending));
    QVERIFY(!queue.popUpgradeDevice(7));
    DEV_INFO info = record(1);
    queue.pushUpgradeDevice(info);
    info.nIndex = 2;
    queue.pushUpgradeDevice(info);
    info.nIndex = 3;
    queue.pushUpgradeDevice(info);
    queue.pushUpgradeDevice(std::make_shared<DEV_INFO>(record(9)), 5); // no such list
    queue.pushUpgradeDevice(nullptr, CUpgradeQueue::Started);
    QCOMPARE(queue.upgradeDeviceCount(CUpgradeQueue::Pending), 3);
    QCOMPARE(queue.upgradeDeviceCount(CUpgradeQueue::Started), 0);
    QCOMPARE(queue.upgradeDeviceCount(2), 0);
    QCOMPARE(queue.upgradeDeviceCount(-1), 0);

    // Each push kept its own copy.
    const auto pFirst = queue.popUpgradeDevice(CUpgradeQueue::Pending);
    QVERIFY(pFirst);
    QCOMPARE(pFirst->nIndex, 1);
    QCOMPARE(QByteArray(pFirst->szIpAddr), QByteArray("127.0.0.5"));
    queue.pushUpgradeDevice(pFirst, CUpgradeQueue::Started);
    const auto pSecond = queue.startNextUpgradeDevice();
    QVERIFY(pSecond);
    QCOMPARE(pSecond->nIndex, 2);
    QCOMPARE(queue.upgradeDeviceCount(CUpgradeQueue::Pending), 1);
    QCOMPARE(queue.upgradeDeviceCount(CUpgradeQueue::Started), 2);

    // The started list holds the very records that were handed out.
    const auto pStarted = queue.popUpgradeDevice(CUpgradeQueue::Started);
    QCOMPARE(pStarted.get(), pFirst.get());
    QCOMPARE(queue.popUpgradeDevice(CUpgradeQueue::Started).get(), pSecond.get());

    queue.clearUpgradeDevices();
    QCOMPARE(queue.upgradeDeviceCount(CUpgradeQueue::Pending), 0);
    QVERIFY(!queue.startNextUpgradeDevice());
}

void TestAppUpgradeQueue::startedRecordsOutliveClear()
{
    CUpgradeQueue queue;
    queue.pushUpgradeDevice(record(4));
    std::weak_ptr<DEV_INFO> wpQueued;
    std::shared_ptr<DEV_INFO> pInUse = queue.startNextUpgradeDevice();
    {
        queue.pushUpgradeDevice(record(5));
        wpQueued = queue.startNextUpgradeDevice();
    }
    queue.clearUpgradeDevices();
    QCOMPARE(queue.upgradeDeviceCount(CUpgradeQueue::Started), 0);
    // A record still used as the library's user data stays valid; one nobody holds is freed.
    QCOMPARE(pInUse->nIndex, 4);
    QVERIFY(wpQueued.expired());
}

void TestAppUpgradeQueue::twoThreads()
{
    // The user-interface thread fills the pending list while the upgrade thread moves records to
    // the started list: every record arrives once, in order.
    constexpr int kCount = 2000;
    CUpgradeQueue queue;
    std::atomic<bool> bGiveUp{false};
    QList<int> lstTaken;
    std::thread consumer([&] {
        QElapsedTimer timer;
        timer.start();
        while (lstTaken.size() < kCount && !bGiveUp) {
            if (const auto pInfo = queue.startNextUpgradeDevice())
                lstTaken.append(pInfo->nIndex);
            else if (timer.elapsed() > 20000)
                bGiveUp = true;
            else
                std::this_thread::yield();
        }
    });
    for (int i = 0; i < kCount; ++i) {
        queue.pushUpgradeDevice(record(i));
        queue.upgradeDeviceCount(CUpgradeQueue::Started);
    }
    consumer.join();
    QVERIFY(!bGiveUp);
    QCOMPARE(lstTaken.size(), kCount);
    for (int i = 0; i < kCount; ++i)
        QCOMPARE(lstTaken.at(i), i);
    QCOMPARE(queue.upgradeDeviceCount(CUpgradeQueue::Pending), 0);
    QCOMPARE(queue.upgradeDeviceCount(CUpgradeQueue::Started), kCount);

    // Clearing from one thread while another pops never hands out a record twice.
    for (int i = 0; i < kCount; ++i)
        queue.pushUpgradeDevice(record(i));
    std::atomic<int> nPopped{0};
    std::thread popper([&] {
        while (queue.popUpgradeDevice(CUpgradeQueue::Started))
            ++nPopped;
    });
    queue.clearUpgradeDevices();
    popper.join();
    QVERIFY(nPopped <= kCount);
    QCOMPARE(queue.upgradeDeviceCount(CUpgradeQueue::Pending), 0);
    QCOMPARE(queue.upgradeDeviceCount(CUpgradeQueue::Started), 0);
}

void TestAppUpgradeQueue::pressesAndTheUpgradeThread()
{
    CUpgradeRun run;
    CUpgradeJob first;
    first.strPackage = QStringLiteral("first.bin");
    CUpgradeJob second;
    second.strPackage = QStringLiteral("second.bin");

    // Nothing queued: no thread to start.
    QVERIFY(!run.setJob(first, {}));
    QVERIFY(!run.bThreadRunning.load());
    // The first press with devices starts the thread; a second one while it runs does not.
    QVERIFY(run.setJob(first, {record(0), record(1)}));
    QVERIFY(run.bThreadRunning.load());
    CUpgradeJob job;
    QCOMPARE(run.takeNext(&job)->nIndex, 0);
    QCOMPARE(job.strPackage, QStringLiteral("first.bin"));
    // The refill replaces what was pending, and its devices come with its own job, more of them
    // than the thread had when it started.
    QVERIFY(!run.setJob(second, {record(5), record(6), record(7)}));
    for (int nIndex : {5, 6, 7}) {
        QCOMPARE(run.takeNext(&job)->nIndex, nIndex);
        QCOMPARE(job.strPackage, QStringLiteral("second.bin"));
    }
    // The thread stops when it finds the queue empty, in the same step: the next press starts one.
    QVERIFY(!run.takeNext(&job));
    QVERIFY(!run.bThreadRunning.load());
    QVERIFY(run.setJob(first, {record(3)}));

    // Rows beyond the slots have none.
    QVERIFY(run.row(0) && run.row(CUpgradeRun::kRows - 1));
    QVERIFY(!run.row(-1) && !run.row(CUpgradeRun::kRows));

    // A row's receive slot is held by one thread at a time; a stop request frees a waiter.
    QVERIFY(run.claimReceiver(4));
    std::atomic<bool> bClaimed{false};
    std::thread waiter([&] { bClaimed = run.claimReceiver(4); });
    run.releaseReceiver(4);
    waiter.join();
    QVERIFY(bClaimed.load());
    std::thread stopped([&] { bClaimed = run.claimReceiver(4); });
    run.bStop.store(true);
    stopped.join();
    QVERIFY(!bClaimed.load());
}

QTEST_GUILESS_MAIN(TestAppUpgradeQueue)
#include "tst_app_upgradequeue.moc"
