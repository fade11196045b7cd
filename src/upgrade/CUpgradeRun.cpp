#include "CUpgradeRun.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

void CManualEvent::set()
{
    QMutexLocker locker(&mutex);
    bSet = true;
    cond.wakeAll();
}

void CManualEvent::reset()
{
    QMutexLocker locker(&mutex);
    bSet = false;
}

bool CManualEvent::isSet() const
{
    QMutexLocker locker(&mutex);
    return bSet;
}

bool CManualEvent::wait(int nTimeoutMs)
{
    QMutexLocker locker(&mutex);
    const QDeadlineTimer deadline(nTimeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                                 : QDeadlineTimer(nTimeoutMs));
    while (!bSet) {
        if (!cond.wait(&mutex, deadline))
            return bSet;
    }
    return true;
}

CUpgradeRun::CUpgradeRun() = default;

bool CUpgradeRun::setJob(const CUpgradeJob& newJob, const QVector<DEV_INFO>& lstDevices)
{
    QMutexLocker locker(&mutexJob);
    job = newJob;
    queue.clearUpgradeDevices();
    for (const DEV_INFO& info : lstDevices)
        queue.pushUpgradeDevice(info);
    if (lstDevices.isEmpty() || bThreadRunning.load())
        return false;
    bThreadRunning.store(true);
    return true;
}

std::shared_ptr<DEV_INFO> CUpgradeRun::takeNext(CUpgradeJob* pJob)
{
    QMutexLocker locker(&mutexJob);
    std::shared_ptr<DEV_INFO> pRec = queue.startNextUpgradeDevice();
    if (!pRec)
        bThreadRunning.store(false);
    else if (pJob)
        *pJob = job;
    return pRec;
}

CUpgradeRow* CUpgradeRun::row(int nRow)
{
    if (nRow < 0 || nRow >= kRows)
        return nullptr;
    return &aRows[size_t(nRow)];
}

void CUpgradeRun::threadStarted()
{
    QMutexLocker locker(&mutex);
    ++nThreads;
}

bool CUpgradeRun::threadEnded()
{
    QMutexLocker locker(&mutex);
    --nThreads;
    cond.wakeAll();
    return nThreads == 0;
}

int CUpgradeRun::threadCount() const
{
    QMutexLocker locker(&mutex);
    return nThreads;
}

bool CUpgradeRun::waitThreadsEnded(int nTimeoutMs)
{
    QMutexLocker locker(&mutex);
    const QDeadlineTimer deadline(nTimeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                                 : QDeadlineTimer(nTimeoutMs));
    while (nThreads > 0) {
        if (!cond.wait(&mutex, deadline))
            return nThreads == 0;
    }
    return true;
}

bool CUpgradeRun::claimReceiver(int nRow)
{
    CUpgradeRow* pRow = row(nRow);
    if (!pRow)
        return false;
    QMutexLocker locker(&mutex);
    // A row's previous receive thread ends once its upgrade has ended, which the library always
    // reports; the slices let a stop request through.
    while (pRow->bReceiving && !bStop.load())
        cond.wait(&mutex, QDeadlineTimer(100));
    if (bStop.load())
        return false;
    pRow->bReceiving = true;
    return true;
}

void CUpgradeRun::releaseReceiver(int nRow)
{
    CUpgradeRow* pRow = row(nRow);
    if (!pRow)
        return;
    QMutexLocker locker(&mutex);
    pRow->bReceiving = false;
    cond.wakeAll();
}

void CUpgradeRun::wakeAll()
{
    for (CUpgradeRow& r : aRows) {
        r.event.set();
        r.started.set();
    }
}
