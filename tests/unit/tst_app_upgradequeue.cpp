// The upgrade's device queue: order, copies, shared started records, a producer and a consumer on
// two threads, and how presses hand jobs to the upgrade thread; and the percentage of a package
// too large for an int.
#include <atomic>
#include <cstring>
#include <numeric>
#include <thread>

#include <QElapsedTimer>
#include <QtTest>

#include "upgrade/CUpgradeQueue.h"
#include "device/CRowRecords.h"
#include "upgrade/CUpgradeWorker.h"
#include "upgrade/UpgradeTexts.h"

namespace {

DEV_INFO record(int nIndex)
{
    DEV_INFO info{};
    info.nIndex = nIndex;
    std::strncpy(info.szIpAddr, "127.0.0.5", sizeof(info.szIpAddr) - 1);
    return info;
}

} // namespace

class TestAppUpgradeQueue : public QObject
{
    Q_OBJECT

private slots:
    void progressOfALargePackage();
    void queueOrderCopiesAndSharing();
    void twoThreads();
    void pressesAndTheUpgradeThread();
};

void TestAppUpgradeQueue::queueOrderCopiesAndSharing()
{
    CUpgradeQueue queue;
    QVERIFY(!queue.popUpgradeDevice(CUpgradeQueue::Pending));
    QVERIFY(!queue.startNextUpgradeDevice());
    DEV_INFO info = record(1);
    queue.pushUpgradeDevice(info);
    info.nIndex = 2; // each push keeps its own copy
    queue.pushUpgradeDevice(info);
    queue.pushUpgradeDevice(nullptr, CUpgradeQueue::Started);
    QCOMPARE(queue.upgradeDeviceCount(CUpgradeQueue::Pending), 2);
    QCOMPARE(queue.upgradeDeviceCount(CUpgradeQueue::Started), 0);

    const auto pFirst = queue.popUpgradeDevice(CUpgradeQueue::Pending);
    QCOMPARE(pFirst->nIndex, 1);
    QCOMPARE(QByteArray(pFirst->szIpAddr), QByteArray("127.0.0.5"));
    queue.pushUpgradeDevice(pFirst, CUpgradeQueue::Started);
    std::weak_ptr<DEV_INFO> wpSecond = queue.startNextUpgradeDevice();
    QCOMPARE(wpSecond.expired() ? -1 : wpSecond.lock()->nIndex, 2); // held by the started list
    QCOMPARE(queue.upgradeDeviceCount(CUpgradeQueue::Pending), 0);
    QCOMPARE(queue.upgradeDeviceCount(CUpgradeQueue::Started), 2);
    // The started list holds the very records that were handed out, first in first out.
    QCOMPARE(queue.popUpgradeDevice(CUpgradeQueue::Started).get(), pFirst.get());
    queue.pushUpgradeDevice(pFirst, CUpgradeQueue::Started);

    // Clearing drops only the queue's reference: a record still used as the library's user data
    // stays valid, one nobody holds is freed.
    queue.clearUpgradeDevices();
    QCOMPARE(queue.upgradeDeviceCount(CUpgradeQueue::Started), 0);
    QCOMPARE(pFirst->nIndex, 1);
    QVERIFY(wpSecond.expired());
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
    QList<int> lstExpected(kCount);
    std::iota(lstExpected.begin(), lstExpected.end(), 0);
    QCOMPARE(lstTaken, lstExpected);
    QCOMPARE(queue.upgradeDeviceCount(CUpgradeQueue::Started), kCount);

    // Clearing from one thread while another pops never hands out a record twice.
    QSet<int> setPopped;
    int nPopped = 0;
    std::thread popper([&] {
        for (std::shared_ptr<DEV_INFO> pInfo; (pInfo = queue.popUpgradeDevice(CUpgradeQueue::Started)); ++nPopped)
            setPopped.insert(pInfo->nIndex);
    });
    queue.clearUpgradeDevices();
    popper.join();
    QCOMPARE(setPopped.size(), nPopped);
    QCOMPARE(queue.upgradeDeviceCount(CUpgradeQueue::Started), 0);
}

void TestAppUpgradeQueue::pressesAndTheUpgradeThread()
{
    CRowRecords records;
    CUpgradeWorker worker(
        records, [](int, int, const QString&) {}, true);
    CUpgradeJob first;
    first.strPackage = QStringLiteral("first.bin");
    CUpgradeJob second;
    second.strPackage = QStringLiteral("second.bin");

    // Nothing queued: no thread to start.
    QVERIFY(!worker.setJob(first, {}));
    // The first press with devices starts the thread; a second one while it runs does not.
    QVERIFY(worker.setJob(first, {record(0), record(1)}));
    CUpgradeJob job;
    QCOMPARE(worker.takeNext(&job)->nIndex, 0);
    QCOMPARE(job.strPackage, QStringLiteral("first.bin"));
    // The refill replaces what was pending, and its devices come with its own job, more of them
    // than the thread had when it started.
    QVERIFY(!worker.setJob(second, {record(5), record(6), record(7)}));
    for (int nIndex : {5, 6, 7}) {
        QCOMPARE(worker.takeNext(&job)->nIndex, nIndex);
        QCOMPARE(job.strPackage, QStringLiteral("second.bin"));
    }
    // The thread stops when it finds the queue empty, in the same step: the next press starts one.
    QVERIFY(!worker.takeNext(&job));
    QVERIFY(worker.setJob(first, {record(3)}));
}

void TestAppUpgradeQueue::progressOfALargePackage()
{
    // 64 MiB, where sent * 100 does not fit an int.
    QCOMPARE(sendProgressText(64 << 20, 48 << 20), sendProgressText(0, 0) + QStringLiteral(" 75"));
}

QTEST_GUILESS_MAIN(TestAppUpgradeQueue)
#include "tst_app_upgradequeue.moc"
