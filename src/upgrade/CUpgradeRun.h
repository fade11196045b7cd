#pragma once

#include <array>
#include <atomic>
#include <memory>

#include <QMutex>
#include <QString>
#include <QVector>
#include <QWaitCondition>

#include "batch/CMyThread.h"
#include "device/DevInfo.h"
#include "upgrade/CUpgradeQueue.h"

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
    QString strPackage;  ///< the file sent to each device
    QString strCfgFile;  ///< imported before each upgrade; empty for none
    QString strHardware; ///< the hardware every device must report
    QString strPassword; ///< for devices that are not logged in
    bool bModifyIP = false;
};

/// What one table row's upgrade shares between the upgrade thread, the device library's callback
/// thread and the row's receive thread.
struct CUpgradeRow
{
    /// Set when the library has reported the end of the row's upgrade (success, failure, error),
    /// or when the upgrade never started; the receive thread ends once it sees it.
    std::atomic<bool> bDone{false};
    /// An upgrade handle left for the receive thread to release (after a failure report).
    std::atomic<long> lReleaseHandle{0};
    /// The running upgrade's handle, closed when the window goes while it runs.
    std::atomic<long> lActiveHandle{0};
    /// The login the upgrade ran on, logged out by the receive thread once the upgrade has ended:
    /// after an upgrade the device reboots and neither the row nor the queue keeps the handle.
    std::atomic<long> lLoginToRelease{0};
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
    /// The record the library's callback receives as user data; kept alive here until the row's
    /// next upgrade, since the callback may still use it after the queue has been cleared.
    std::shared_ptr<DEV_INFO> pRec;
    /// True from the start of the row's receive thread to its very end (guarded by the run's mutex).
    bool bReceiving = false;
};

/// The state of the firmware upgrade runs of one window: the queue, the per-row slots, the upgrade
/// thread and a count of every thread of the run that is alive.
class CUpgradeRun
{
public:
    /// Rows 0..255 have slots; no row beyond them is ever upgraded.
    static constexpr int kRows = 256;

    CUpgradeRun();

    CUpgradeQueue queue;

    /// A press replaces the job and refills the queue in one step; the upgrade thread takes the next
    /// device with the job it was queued with. True when the caller must start the upgrade thread:
    /// devices were queued and none is running (it then counts as running).
    bool setJob(const CUpgradeJob& newJob, const QVector<DEV_INFO>& lstDevices);
    /// The next pending device (moved to the started list) and its job. Null when none is pending:
    /// the thread then counts as stopped, in the same step, so no refill can be missed.
    std::shared_ptr<DEV_INFO> takeNext(CUpgradeJob* pJob);
    CMyThread threadUpgrade;
    /// True from the press that starts the upgrade thread until it finds the queue empty.
    std::atomic<bool> bThreadRunning{false};
    /// Set when the window goes: every wait of the run gives up at its next look.
    std::atomic<bool> bStop{false};

    /// The row's slot; null outside 0..255.
    CUpgradeRow* row(int nRow);

    /// Counts a thread of the run in. Call before the thread starts.
    void threadStarted();
    /// Counts a thread out; true when it was the last one alive.
    bool threadEnded();
    int threadCount() const;
    /// Waits until no thread of the run is alive, or nTimeoutMs (negative: no limit). True when none is.
    bool waitThreadsEnded(int nTimeoutMs);

    /// Waits until the row has no receive thread, then marks it receiving. False when the run is
    /// being stopped.
    bool claimReceiver(int nRow);
    /// Marks the row's receive thread gone (its last step).
    void releaseReceiver(int nRow);

    /// Sets every row's event, so that every receive thread looks at the stop flag.
    void wakeAll();

private:
    std::array<CUpgradeRow, kRows> aRows;
    QMutex mutexJob; ///< guards job and keeps a refill whole
    CUpgradeJob job;
    mutable QMutex mutex;
    QWaitCondition cond;
    int nThreads = 0;
};
