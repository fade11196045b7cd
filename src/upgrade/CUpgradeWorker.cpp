#include "CUpgradeWorker.h"

#include <chrono>
#include <cstring>

#include <QDeadlineTimer>
#include <QFile>
#include <QMutexLocker>
#include <QThread>

#include "batch/BatchCommands.h"
#include "batch/BatchTexts.h"
#include "batch/CIpModifier.h"
#include "batch/DeviceCommands.h"
#include "device/CRowRecords.h"
#include "device/DeviceRecords.h"
#include "upgrade/UpgradeConnection.h"
#include "upgrade/UpgradeStatus.h"
#include "upgrade/UpgradeTexts.h"

namespace {

// Pause between an automatic address change and the login.
constexpr unsigned long kModifyIpPauseMs = 1000;
constexpr int kConnectTries = 3;
constexpr int kConnectAttemptMs = 3000;
// The receive thread looks at its row's done flag, the stop flag and the limit at least this often.
constexpr int kReceiveSliceMs = 100;
// A failed wait is retried after this pause, once.
constexpr unsigned long kSelectRetryMs = 100;
// How long the library's callback waits for the upgrade thread to learn the upgrade's fate; the
// upgrade thread gets there within microseconds, the limit only guards against a lost wake-up.
constexpr int kStartedWaitMs = 10000;

qint64 steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// One slice of waiting for the row's event. Every progress report sets the event again, so it is
// reset first; the done flag is set before the event, so an end report between the caller's look
// at the flag and the reset is seen at the next look, at most one slice later.
void waitForWakeUp(CUpgradeRow* pRow)
{
    pRow->event.reset();
    if (!pRow->bDone.load())
        pRow->event.wait(kReceiveSliceMs);
}

} // namespace

unsigned int upgradeThreadProc(void* pWorker)
{
    if (pWorker)
        static_cast<CUpgradeWorker*>(pWorker)->runQueue();
    return 0;
}

void upgradeCallback(long lLoginID, long lUpgradeHandle, int nTotal, int nSent, void* pUser)
{
    Q_UNUSED(lLoginID);
    auto* pRow = static_cast<CUpgradeRow*>(pUser);
    if (!pRow || !pRow->pWorker)
        return;
    pRow->pWorker->onUpgradeReport(pRow, lUpgradeHandle, nTotal, nSent);
}

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

qint64 CUpgradeLimits::limitMs(qint64 nPackageBytes) const
{
    const qint64 nTransferMs =
        nSlowBytesPerSecond > 0 ? qMax<qint64>(0, nPackageBytes) * 1000 / nSlowBytesPerSecond : 0;
    return qint64(nTransferBaseMs) + nTransferMs + qint64(nWriteMs);
}

CUpgradeWorker::CUpgradeWorker(CRowRecords& records, CellWriter setCell, bool bLoopbackOnly)
    : records(records), setCell(std::move(setCell)), bLoopbackOnly(bLoopbackOnly)
{
    for (int i = 0; i < kRows; ++i) {
        aRows[size_t(i)].pWorker = this;
        aRows[size_t(i)].nRow = i;
    }
    threadUpgrade.setThreadFunc(&upgradeThreadProc, this);
}

CUpgradeWorker::~CUpgradeWorker()
{
    stop();
}

void CUpgradeWorker::setFinishedHandler(std::function<void()> fnNewFinished)
{
    fnFinished = std::move(fnNewFinished);
}

void CUpgradeWorker::setLimits(const CUpgradeLimits& newLimits)
{
    QMutexLocker locker(&mutexJob);
    limits = newLimits;
}

bool CUpgradeWorker::start(const CUpgradeJob& newJob, const QVector<DEV_INFO>& lstDevices)
{
    if (stopping())
        return false;
    if (setJob(newJob, lstDevices)) {
        // The previous upgrade thread found the queue empty, but may still be returning.
        threadUpgrade.wait();
        threadStarted();
        threadUpgrade.start(QThread::InheritPriority);
    }
    return !lstDevices.isEmpty();
}

bool CUpgradeWorker::setJob(const CUpgradeJob& newJob, const QVector<DEV_INFO>& lstDevices)
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

std::shared_ptr<DEV_INFO> CUpgradeWorker::takeNext(CUpgradeJob* pJob)
{
    QMutexLocker locker(&mutexJob);
    std::shared_ptr<DEV_INFO> pRec = queue.startNextUpgradeDevice();
    if (!pRec)
        bThreadRunning.store(false);
    else if (pJob)
        *pJob = job;
    return pRec;
}

CUpgradeRow* CUpgradeWorker::row(int nRow)
{
    if (nRow < 0 || nRow >= kRows)
        return nullptr;
    return &aRows[size_t(nRow)];
}

void CUpgradeWorker::threadStarted()
{
    QMutexLocker locker(&mutex);
    ++nThreads;
}

void CUpgradeWorker::threadEnded()
{
    bool bLast = false;
    {
        QMutexLocker locker(&mutex);
        --nThreads;
        bLast = nThreads == 0;
        cond.wakeAll();
    }
    if (bLast && fnFinished)
        fnFinished();
}

int CUpgradeWorker::threadCount() const
{
    QMutexLocker locker(&mutex);
    return nThreads;
}

bool CUpgradeWorker::claimReceiver(int nRow)
{
    CUpgradeRow* pRow = row(nRow);
    if (!pRow)
        return false;
    {
        QMutexLocker locker(&mutex);
        // A row's previous receive thread ends once its upgrade has ended, which the library always
        // reports (or the limit decides); the slices let a stop request through.
        while (pRow->bReceiving && !stopping())
            cond.wait(&mutex, QDeadlineTimer(kReceiveSliceMs));
        if (stopping())
            return false;
    }
    // Its last step is done: joining it takes no time. Only this (the upgrade) thread starts and
    // joins receive threads while the run is alive.
    if (pRow->threadReceive.joinable())
        pRow->threadReceive.join();
    QMutexLocker locker(&mutex);
    pRow->bReceiving = true;
    return true;
}

void CUpgradeWorker::releaseReceiver(int nRow)
{
    CUpgradeRow* pRow = row(nRow);
    if (!pRow)
        return;
    QMutexLocker locker(&mutex);
    pRow->bReceiving = false;
    cond.wakeAll();
}

void CUpgradeWorker::wakeAll()
{
    for (CUpgradeRow& r : aRows) {
        r.event.set();
        r.started.set();
    }
}

void CUpgradeWorker::stop()
{
    bStop.store(true);
    wakeAll();
    // The upgrade thread ends at its next device: each of its device calls is bounded.
    threadUpgrade.wait();
    // No callback runs after its upgrade is closed, so none can reach the worker once it is gone.
    for (CUpgradeRow& r : aRows) {
        if (const long lHandle = r.lActiveHandle.exchange(0))
            sdkCloseUpgrade(lHandle);
        if (const long lHandle = r.lReleaseHandle.exchange(0))
            sdkCloseUpgrade(lHandle);
    }
    wakeAll();
    for (CUpgradeRow& r : aRows) {
        if (r.threadReceive.joinable())
            r.threadReceive.join();
    }
}

void CUpgradeWorker::runQueue()
{
    // Until the queue is empty: a press meanwhile may refill it with more devices than it had.
    CUpgradeJob jobNow;
    while (!stopping()) {
        const std::shared_ptr<DEV_INFO> pRec = takeNext(&jobNow);
        if (!pRec)
            break;
        upgradeDevice(pRec, jobNow);
    }
    threadEnded();
}

void CUpgradeWorker::upgradeDevice(const std::shared_ptr<DEV_INFO>& pRec, const CUpgradeJob& jobNow)
{
    if (!pRec)
        return;
    const int n = pRec->nIndex;
    CUpgradeRow* pRow = row(n);
    if (!pRow) {
        qCWarning(lcUpgrade) << "no upgrade slot for row" << n;
        return;
    }
    bool bOwnLogin = false;
    if (pRec->lLoginID <= 0) {
        const QByteArray baPassword = jobNow.strPassword.toLocal8Bit();
        setRecordPassword(pRec.get(), baPassword);
        if (jobNow.bModifyIP) {
            records.setPassword(n, baPassword);
            if (CIpModifier::modifyIp(records.record(n), n, ModifyIpAssign, setCell) < 1)
                return;
            DEV_INFO moved;
            if (records.copy(n, &moved))
                std::memcpy(pRec->szIpAddr, moved.szIpAddr, sizeof(pRec->szIpAddr));
            QThread::msleep(kModifyIpPauseMs);
        }
        int nError = 0;
        if (loginDevice(pRec.get(), &nError) < 1) {
            setCell(n, ColumnStatus, loginErrorText(nError));
            return;
        }
        setCell(n, ColumnStatus, loginSuccessText());
        bOwnLogin = true;
    }

    if (fieldText(pRec->devInfo.hardwareId) != jobNow.strHardware) {
        setCell(n, ColumnStatus, invalidHardwareText());
        // The login was made for this upgrade only: nothing else knows its handle.
        if (bOwnLogin) {
            sdkLogout(pRec->lLoginID);
            pRec->lLoginID = 0;
        }
        return;
    }
    importConfigFile(jobNow.strCfgFile, pRec->lLoginID, n, setCell);

    // One receive thread per row: a previous upgrade of the row finishes first.
    if (!claimReceiver(n))
        return;
    pRow->bDone.store(false);
    {
        QMutexLocker locker(&pRow->mutexText);
        pRow->bDeviceEnded = false;
    }
    pRow->lReleaseHandle.store(0);
    pRow->lActiveHandle.store(0);
    pRow->nDeadlineMs.store(0);
    pRow->lLoginToRelease.store(pRec->lLoginID);
    pRow->pRec = pRec;
    pRow->event.reset();
    pRow->started.reset();
    threadStarted();
    pRow->threadReceive = std::thread([this, n]() { RecvProcressThread(n); });

    qint64 nLimitMs = 0;
    {
        QMutexLocker locker(&mutexJob);
        nLimitMs = limits.limitMs(jobNow.nPackageBytes);
    }
    const long lHandle =
        sdkStartUpgrade(pRec->lLoginID, QFile::encodeName(jobNow.strPackage).constData(), 0, &upgradeCallback, pRow);
    if (lHandle < 1) {
        const int nError = sdkGetLastError();
        setCell(n, ColumnStatus, upgradeRefusedText(nError));
        // Nothing will report on this row: its receive thread ends now. A login made for the
        // upgrade goes with it; a login the row had stays the row's.
        if (!bOwnLogin)
            pRow->lLoginToRelease.store(0);
        else
            pRec->lLoginID = 0;
        pRow->bDone.store(true);
        pRow->started.set();
        pRow->event.set();
        return;
    }
    pRow->lActiveHandle.store(lHandle);
    pRow->nDeadlineMs.store(steadyMs() + nLimitMs);
    setCell(n, ColumnStatus, startUpgradeText());
    pRow->started.set();
}

void CUpgradeWorker::onUpgradeReport(CUpgradeRow* pRow, long lUpgradeHandle, int nTotal, int nSent)
{
    if (!pRow || !pRow->pRec)
        return;
    const int n = pRow->nRow;
    pRow->started.wait(kStartedWaitMs);
    if (nSent <= -1) {
        QMutexLocker locker(&pRow->mutexText);
        reportUpgradeEnd(pRow, lUpgradeHandle, nSent);
    } else if (nTotal == -1) {
        {
            QMutexLocker locker(&pRow->mutexText);
            if (!pRow->bDeviceEnded && !pRow->bDone.load())
                setCell(n, ColumnStatus, upgradeProgressText(nSent));
        }
        pRow->event.set();
    } else {
        QMutexLocker locker(&pRow->mutexText);
        // The whole package is at an ONVIF device, which writes it without a word until it answers
        // again: the row says so instead of standing at 100.
        const bool bOnvifWrite = nTotal > 0 && nSent >= nTotal && isOnvifRecord(*pRow->pRec);
        if (!pRow->bDone.load())
            setCell(n, ColumnStatus, bOnvifWrite ? onvifWritingText() : sendProgressText(nTotal, nSent));
    }
}

void CUpgradeWorker::reportUpgradeEnd(CUpgradeRow* pRow, long lUpgradeHandle, int nSent)
{
    const int n = pRow->nRow;
    DEV_INFO* pRec = pRow->pRec.get();
    if (pRow->bDone.load()) {
        // The limit ended this upgrade already and closed it: its text stays the row's last.
        return;
    }
    // Each branch sets the done flag last: once it is set, the row's next upgrade may replace the
    // record this report came with. The handle is never closed here, from inside its own callback:
    // that would leave the library's thread running on, unjoined, while the worker (and the window)
    // may go. It is handed over for release first and only then taken off the active slot, so stop()
    // always finds it; whoever closes it (the receive thread or stop()) waits for this callback to
    // return.
    if (nSent == -1) {
        pRec->lLoginID = 0;
        setCell(n, ColumnStatus, upgradeSuccessText());
        records.clearLogin(n);
        pRow->lReleaseHandle.store(lUpgradeHandle);
        pRow->lActiveHandle.store(0);
        pRow->bDone.store(true);
        // A device that reported no progress of its own has not woken its receive thread yet.
        pRow->event.set();
    } else if (nSent == -2) {
        qCDebug(lcUpgrade) << "Upgrade Fail";
        setCell(n, ColumnStatus, upgradeFailText());
        pRow->lReleaseHandle.store(lUpgradeHandle);
        pRow->lActiveHandle.store(0);
        pRec->lLoginID = 0;
        records.clearLogin(n);
        pRow->bDone.store(true);
        pRow->event.set();
    } else if (nSent < -2) {
        qCDebug(lcUpgrade).noquote() << upgradeErrorText(nSent);
        setCell(n, ColumnStatus, upgradeErrorText(nSent));
        pRow->lReleaseHandle.store(lUpgradeHandle);
        pRow->lActiveHandle.store(0);
        pRec->lLoginID = 0;
        records.clearLogin(n);
        pRow->bDone.store(true);
        pRow->event.set();
    }
}

bool CUpgradeWorker::isOverdue(const CUpgradeRow* pRow) const
{
    const qint64 nDeadline = pRow->nDeadlineMs.load();
    return nDeadline > 0 && steadyMs() >= nDeadline;
}

void CUpgradeWorker::endOverdue(CUpgradeRow* pRow)
{
    long lHandle = 0;
    {
        QMutexLocker locker(&pRow->mutexText);
        if (pRow->bDone.load())
            return; // the library's end came first
        qCWarning(lcUpgrade) << "upgrade of row" << pRow->nRow << "ran past its limit";
        setCell(pRow->nRow, ColumnStatus, upgradeTimeoutText());
        lHandle = pRow->lActiveHandle.exchange(0);
        pRow->bDone.store(true);
    }
    // Outside the lock: closing waits for a callback in progress, which may be waiting for it. No
    // callback comes after the close; one that came meanwhile found the done flag and wrote nothing.
    if (lHandle)
        sdkCloseUpgrade(lHandle);
    if (pRow->pRec)
        pRow->pRec->lLoginID = 0;
    records.clearLogin(pRow->nRow);
}

void CUpgradeWorker::RecvProcressThread(int nRow)
{
    CUpgradeRow* pRow = row(nRow);
    qCDebug(lcUpgrade).noquote() << QStringLiteral("RecvProcressThread start:%1").arg(nRow);
    // Once the library has reported the end, its text stays the row's last: progress and
    // connection errors seen later are not written.
    const auto writeWhileRunning = [this, pRow, nRow](const QString& strText) {
        QMutexLocker locker(&pRow->mutexText);
        if (!pRow->bDone.load())
            setCell(nRow, ColumnStatus, strText);
    };
    // Until the device starts writing (its first progress report) or the upgrade has ended.
    while (!pRow->event.wait(kReceiveSliceMs) && !isOverdue(pRow)) {
    }
    pRow->event.reset();

    if (!pRow->bDone.load() && !stopping() && !isOverdue(pRow)) {
        DEV_INFO rec;
        // A device reached through ONVIF has no progress port: only the library's end report comes.
        if (records.copy(nRow, &rec) && rec.nPort != 0 && !isOnvifRecord(rec)) {
            CUpgradeConnection connection;
            if (!connection.connectTo(fieldText(rec.szIpAddr).toLatin1(), protocol::kUpgradePort, kConnectTries,
                                      kConnectAttemptMs, bLoopbackOnly))
                writeWhileRunning(connectFailedText(connection.error()));

            UpgradeScan::State state = UpgradeScan::Undecided;
            CUpgradeStatusReader reader;
            bool bReading = connection.isOpen();
            while (!pRow->bDone.load() && !stopping() && !isOverdue(pRow)) {
                if (!bReading) {
                    // Nothing (more) to read: wait for the library's end report.
                    waitForWakeUp(pRow);
                    continue;
                }
                const CUpgradeConnection::Wait wait = connection.waitReadable(kReceiveSliceMs);
                if (wait == CUpgradeConnection::Wait::Failed) {
                    QThread::msleep(kSelectRetryMs);
                    writeWhileRunning(selectFailedText(connection.error()));
                    break;
                }
                if (wait == CUpgradeConnection::Wait::Timeout)
                    continue;
                const int nGot = connection.receive(reader.receiveBuffer(), reader.receiveRoom());
                if (nGot < 0) {
                    writeWhileRunning(recvErrorText(connection.error()));
                    bReading = false; // the connection is broken: reading again would fail at once
                    continue;
                }
                if (nGot == 0) {
                    if (!connection.wouldBlock())
                        bReading = false; // the device closed the connection
                    continue;
                }
                const UpgradeScan scan = reader.consume(nGot);
                for (int nValue : scan.lstProgress)
                    writeWhileRunning(upgradeProgressText(nValue));
                state = scan.state;
                if (state != UpgradeScan::Undecided)
                    break;
            }
            connection.close();
            if (state != UpgradeScan::Undecided) {
                if (rec.lLoginID > 0)
                    sdkLogout(rec.lLoginID);
                records.clearLogin(nRow);
                QMutexLocker locker(&pRow->mutexText);
                pRow->bDeviceEnded = true;
                setCell(nRow, ColumnStatus, state == UpgradeScan::Success ? upgradeSuccessText() : upgradeFailText());
            }
        }
    }

    // The upgrade may still run (the device said it is done before the library did): its handle
    // and login are released once the library has reported the end, or once its limit has run out.
    while (!pRow->bDone.load() && !stopping() && !isOverdue(pRow))
        waitForWakeUp(pRow);
    if (!pRow->bDone.load() && !stopping())
        endOverdue(pRow);
    if (const long lHandle = pRow->lReleaseHandle.exchange(0)) {
        // Closing waits for the library's thread that reported the end to return, so the handle
        // can go at once.
        sdkCloseUpgrade(lHandle);
        qCDebug(lcUpgrade).noquote() << QStringLiteral("Release Upgrade Handle:%1").arg(lHandle);
    }
    if (const long lLogin = pRow->lLoginToRelease.exchange(0); lLogin > 0 && !stopping())
        sdkLogout(lLogin);
    qCDebug(lcUpgrade).noquote() << QStringLiteral("RecvProcressThread end:%1").arg(nRow);
    releaseReceiver(nRow);
    threadEnded();
}
