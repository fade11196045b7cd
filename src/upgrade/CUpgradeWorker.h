#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include <QMutex>
#include <QString>
#include <QVector>
#include <QWaitCondition>

#include "batch/CMyThread.h"
#include "device/DevInfo.h"
#include "device/DeviceTable.h"
#include "upgrade/CUpgradeQueue.h"

class CRowRecords;
class CUpgradeWorker;

/// An event that stays set until it is reset: set() wakes every waiter, now and later.
class CManualEvent
{
public:
    void set();
    void reset();
    bool isSet() const;
    /// Waits until the event is set or nTimeoutMs have passed (negative: no limit). True when set.
    bool wait(int nTimeoutMs);

private:
    mutable QMutex mutex;
    QWaitCondition cond;
    bool bSet = false;
};

/// What an Upgrade press chose: every device it queued is upgraded with these.
struct CUpgradeJob
{
    QString strPackage;       ///< the file sent to each device
    qint64 nPackageBytes = 0; ///< its size, for the upgrade's overall limit
    QString strCfgFile;       ///< imported before each upgrade; empty for none
    QString strHardware;      ///< the hardware every device must report
    QString strPassword;      ///< for devices that are not logged in
    bool bModifyIP = false;
};

/// How long one device's upgrade may take before it counts as failed: the transfer (a base time
/// plus the package at a slow rate) and the device's firmware write. A device that keeps reporting
/// progress without ever reporting its end is given up after that, so no run can block the program.
struct CUpgradeLimits
{
    int nTransferBaseMs = 30000;
    qint64 nSlowBytesPerSecond = 256 * 1024;
    int nWriteMs = 300000;

    /// The limit for a package of nPackageBytes, counted from the moment the library took the upgrade.
    qint64 limitMs(qint64 nPackageBytes) const;
};

/// What one table row's upgrade shares between the upgrade thread, the device library's callback
/// thread and the row's receive thread.
struct CUpgradeRow
{
    CUpgradeWorker* pWorker = nullptr;
    int nRow = -1;
    /// Set when the upgrade of the row has ended: the library reported its end (success, failure,
    /// error), it never started, or it ran past its limit. The receive thread ends once it sees it.
    std::atomic<bool> bDone{false};
    /// An upgrade handle left for the receive thread to release (after a failure report).
    std::atomic<long> lReleaseHandle{0};
    /// The running upgrade's handle, closed when the run stops or the upgrade runs past its limit.
    std::atomic<long> lActiveHandle{0};
    /// The login the upgrade ran on, logged out by the receive thread once the upgrade has ended:
    /// after an upgrade the device reboots and neither the row nor the queue keeps the handle.
    std::atomic<long> lLoginToRelease{0};
    /// When the upgrade's limit runs out (ms of the steady clock); 0 until the library took it.
    std::atomic<qint64> nDeadlineMs{0};
    /// Held around the end report's row text and the done flag, and around every progress text of
    /// the receive thread, so that no progress text lands after the end text.
    QMutex mutexText;
    /// Set by the receive thread when the device itself reported its end (guarded by mutexText):
    /// the library's later progress reports are not written over it.
    bool bDeviceEnded = false;
    /// Wakes the receive thread: the first device-side progress, or the end.
    CManualEvent event;
    /// Set once the upgrade thread knows whether the library took the upgrade; the callback
    /// waits for it, so "Start Upgrade" is the row's first text of the upgrade.
    CManualEvent started;
    /// The record of the running upgrade; kept alive here until the row's next upgrade, since the
    /// library's callback may still report on it after the queue has been cleared.
    std::shared_ptr<DEV_INFO> pRec;
    /// True from the start of the row's receive thread to its very end (guarded by the worker's mutex).
    bool bReceiving = false;
    /// The row's receive thread; joined before the row's next one starts, and when the run stops.
    std::thread threadReceive;
};

/// The firmware upgrade run, free of widgets: the queue of an Upgrade press, the upgrade thread that
/// upgrades one device after the other, the device library's reports and one receive thread per row
/// that reads the device's own progress. Texts go to the rows through the cell writer; the rows' own
/// records are reached through the records of the table. Every thread of a run is owned and joined
/// here.
class CUpgradeWorker
{
public:
    /// Rows 0..255 have slots; no row beyond them is ever upgraded.
    static constexpr int kRows = kMaxTableRows;

    CUpgradeWorker(CRowRecords& records, CellWriter setCell, bool bLoopbackOnly);
    /// Stops the run (see stop()).
    ~CUpgradeWorker();
    CUpgradeWorker(const CUpgradeWorker&) = delete;
    CUpgradeWorker& operator=(const CUpgradeWorker&) = delete;

    /// Called on the thread of a run that ends last, after it has counted itself out.
    void setFinishedHandler(std::function<void()> fnFinished);
    void setLimits(const CUpgradeLimits& limits);

    /// An Upgrade press: replaces the job, refills the queue with the devices and starts the upgrade
    /// thread unless it runs (a running thread takes the refilled queue, each device with the job it
    /// was queued with). An empty list empties the queue. False when nothing was queued.
    bool start(const CUpgradeJob& job, const QVector<DEV_INFO>& lstDevices);
    /// True while the upgrade thread or any row's receive thread is alive.
    bool isRunning() const { return threadCount() > 0; }
    /// Threads of the run that are alive: the upgrade thread (0 or 1) plus every receive thread.
    int threadCount() const;
    /// Ends the run for good: no device is started any more, every running upgrade is closed (no
    /// callback comes after that) and every thread of the run has been joined when it returns.
    void stop();

    /// The upgrade thread's body (upgradeThreadProc): every pending device, one after the other,
    /// without waiting for a device to finish.
    void runQueue();
    /// One device: login, hardware check, import, receive thread, start of the transfer.
    void upgradeDevice(const std::shared_ptr<DEV_INFO>& pRec, const CUpgradeJob& job);
    /// The device library's report on a row's upgrade (upgradeCallback's work); any thread.
    void onUpgradeReport(CUpgradeRow* pRow, long lUpgradeHandle, int nTotal, int nSent);
    /// The body of row nRow's receive thread: reads the device's own progress frames on its upgrade
    /// port until the device or the library reports the end, or the upgrade runs past its limit.
    void RecvProcressThread(int nRow);

    /// The row's slot; null outside 0..255.
    CUpgradeRow* row(int nRow);

    // The queue of a press and its hand-over to the upgrade thread (exposed for the unit test).
    /// Replaces the job and refills the queue in one step. True when the caller must start the
    /// upgrade thread: devices were queued and none is running (it then counts as running).
    bool setJob(const CUpgradeJob& newJob, const QVector<DEV_INFO>& lstDevices);
    /// The next pending device (moved to the started list) and its job. Null when none is pending:
    /// the thread then counts as stopped, in the same step, so no refill can be missed.
    std::shared_ptr<DEV_INFO> takeNext(CUpgradeJob* pJob);

private:
    void threadStarted();
    /// Counts a thread out and calls the finished handler when it was the last one.
    void threadEnded();
    /// Waits until the row has no receive thread and joins the one that ended; then marks the row
    /// receiving. False when the run is being stopped.
    bool claimReceiver(int nRow);
    void releaseReceiver(int nRow);
    /// Sets every row's events, so that every waiting thread looks at the stop flag.
    void wakeAll();
    void reportUpgradeEnd(CUpgradeRow* pRow, long lUpgradeHandle, int nSent);
    /// True once the row's upgrade has run past its limit.
    bool isOverdue(const CUpgradeRow* pRow) const;
    /// Ends an upgrade that ran past its limit: the failure text, the library's upgrade closed.
    void endOverdue(CUpgradeRow* pRow);
    bool stopping() const { return bStop.load(); }

    CRowRecords& records;
    CellWriter setCell;
    const bool bLoopbackOnly;
    std::function<void()> fnFinished;
    CUpgradeLimits limits;

    CUpgradeQueue queue;
    CMyThread threadUpgrade;
    std::atomic<bool> bThreadRunning{false};
    std::atomic<bool> bStop{false};
    std::array<CUpgradeRow, kRows> aRows;
    QMutex mutexJob; ///< guards job and limits and keeps a refill whole
    CUpgradeJob job;
    mutable QMutex mutex;
    QWaitCondition cond;
    int nThreads = 0;
};

/// The upgrade thread's function: runQueue of the worker it is given.
unsigned int upgradeThreadProc(void* pWorker);
/// The device library's upgrade callback; the user value is the row's slot.
void upgradeCallback(long lLoginID, long lUpgradeHandle, int nTotal, int nSent, void* pUser);
