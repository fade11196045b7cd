// The firmware upgrade of the main window: the Upgrade press, the upgrade thread, the device
// library's progress callback and the per-row receive threads that read the device's own progress.

#include <cstring>
#include <thread>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMetaObject>
#include <QMutexLocker>
#include <QStandardItemModel>
#include <QThread>

#include "CVantrel.h"
#include "app/CAppSettings.h"
#include "batch/BatchTexts.h"
#include "batch/CAddressCheck.h"
#include "batch/CBatchDealThread.h"
#include "device/DeviceRecords.h"
#include "upgrade/CUpgradeRun.h"
#include "upgrade/UpgradeConnection.h"
#include "upgrade/UpgradePackage.h"
#include "upgrade/UpgradeStatus.h"
#include "upgrade/UpgradeTexts.h"
#include "ui_CVantrel.h"

namespace {

// Pause between an automatic address change and the login.
constexpr unsigned long kModifyIpPauseMs = 1000;
constexpr int kConnectTries = 3;
constexpr int kConnectAttemptMs = 3000;
// The receive thread looks at its row's done flag (and the stop flag) at least this often.
constexpr int kReceiveSliceMs = 100;
// A failed wait is retried after this pause, once.
constexpr unsigned long kSelectRetryMs = 100;
// How long the library's callback waits for the upgrade thread to learn the upgrade's fate; the
// upgrade thread gets there within microseconds, the limit only guards against a lost wake-up.
constexpr int kStartedWaitMs = 10000;

void upgradeCallback(long lLoginID, long lUpgradeHandle, int nTotal, int nSent, void* pUser)
{
    Q_UNUSED(lLoginID);
    if (!pUser || !g_pMainWindow)
        return;
    g_pMainWindow->onUpgradeReport(static_cast<DEV_INFO*>(pUser), lUpgradeHandle, nTotal, nSent);
}

QString fieldText(const char* pField, size_t nSize)
{
    return QString::fromLocal8Bit(pField, qsizetype(strnlen(pField, nSize)));
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

bool loopbackOnly()
{
    return CAppSettings::read().bLoopbackOnly || CAddressCheck::loopbackOnlyFromEnvironment();
}

} // namespace

bool CVantrel::isUpgrading() const
{
    return pUpgrade && pUpgrade->threadCount() > 0;
}

int CVantrel::upgradeThreadCount() const
{
    return pUpgrade ? pUpgrade->threadCount() : 0;
}

bool CVantrel::getDevInfo(int nRow, int nColumn, DEV_INFO* pOut) const
{
    Q_UNUSED(nColumn); // every row keeps its record in its first column
    QMutexLocker locker(&mutexTable);
    const DEV_INFO* pInfo = lstRowRecords.value(nRow, nullptr);
    if (!pInfo || !pOut)
        return false;
    std::memcpy(pOut, pInfo, sizeof(*pOut));
    return true;
}

bool CVantrel::clearDevLogin(int nRow)
{
    QMutexLocker locker(&mutexTable);
    DEV_INFO* pInfo = lstRowRecords.value(nRow, nullptr);
    if (!pInfo)
        return false;
    pInfo->lLoginID = 0;
    return true;
}

void CVantrel::setRowPassword(int nRow, const QByteArray& baPassword)
{
    QMutexLocker locker(&mutexTable);
    if (DEV_INFO* pInfo = lstRowRecords.value(nRow, nullptr))
        setRecordPassword(pInfo, baPassword);
}

void CVantrel::on_upgradeBtn_clicked()
{
    // A batch logs the same records in and out: the two must not overlap.
    if (!isIdle() || pDealThread->isRunning()) {
        showPrompt(tr("Configuring, please try again later"));
        return;
    }
    bModifyIP = CAppSettings::read().nModifyIP != 0;
    const QString strNewPackage = ui->lineEditFileName->text();
    if (strNewPackage.isEmpty()) {
        showPrompt(selectProgramText());
        return;
    }
    strCfgFile = ui->lineEditCfg->text();

    const QString strScratch = QCoreApplication::applicationDirPath() + QStringLiteral("/Temp");
    // Whatever an earlier press left there goes first: unpacking opens files by name and would
    // follow a link left in the folder.
    removeDirectory(strScratch);
    QDir().mkpath(strScratch);
    if (extractArchive(QFile::encodeName(strNewPackage).constData(), QFile::encodeName(strScratch).constData()) < 0) {
        showPrompt(unzipFailText());
        return;
    }
    QString strNewHardware;
    if (readInstallDescHardware(strScratch, &strNewHardware) != InstallDescRead::Ok) {
        showPrompt(openInstallDescFailText());
        return;
    }
    CUpgradeJob job;
    job.strPackage = strNewPackage;
    job.strCfgFile = strCfgFile;
    job.strHardware = strNewHardware;
    job.strPassword = ui->lineEditPassword->text();
    job.bModifyIP = bModifyIP;
    removeDirectory(strScratch);

    QVector<DEV_INFO> lstDevices;
    for (int nRow = 0; nRow < pModel->rowCount(); ++nRow) {
        const QStandardItem* pItem = pModel->item(nRow, 0);
        DEV_INFO info;
        if (pItem && pItem->checkState() == Qt::Checked && getDevInfo(nRow, 0, &info))
            lstDevices.append(info);
    }
    // A running upgrade thread takes the refilled queue, each device with this press's job.
    const bool bStart = pUpgrade->setJob(job, lstDevices);
    if (lstDevices.isEmpty()) {
        showPrompt(selectDeviceText());
        return;
    }
    if (!bStart)
        return;
    // The previous upgrade thread found the queue empty, but may still be returning.
    pUpgrade->threadUpgrade.wait();
    pUpgrade->threadStarted();
    pUpgrade->threadUpgrade.start(QThread::InheritPriority);
}

void CVantrel::runUpgradeQueue()
{
    // Until the queue is empty: a press meanwhile may refill it with more devices than it had.
    CUpgradeJob job;
    while (!pUpgrade->bStop.load()) {
        const std::shared_ptr<DEV_INFO> pRec = pUpgrade->takeNext(&job);
        if (!pRec)
            break;
        upgradeDevice(pRec, job);
    }
    upgradeThreadEnded();
}

void CVantrel::upgradeThreadEnded()
{
    if (pUpgrade->threadEnded())
        QMetaObject::invokeMethod(this, [this]() { emit upgradeFinished(); }, Qt::QueuedConnection);
}

void CVantrel::upgradeDevice(const std::shared_ptr<DEV_INFO>& pRec, const CUpgradeJob& job)
{
    if (!pRec)
        return;
    const int n = pRec->nIndex;
    CUpgradeRow* pRow = pUpgrade->row(n);
    if (!pRow) {
        qCWarning(lcUpgrade) << "no upgrade slot for row" << n;
        return;
    }
    bool bOwnLogin = false;
    if (pRec->lLoginID <= 0) {
        const QByteArray baPassword = job.strPassword.toLocal8Bit();
        setRecordPassword(pRec.get(), baPassword);
        if (job.bModifyIP) {
            setRowPassword(n, baPassword);
            if (ModifyIP(n, 1) < 1)
                return;
            DEV_INFO moved;
            if (getDevInfo(n, 0, &moved))
                std::memcpy(pRec->szIpAddr, moved.szIpAddr, sizeof(pRec->szIpAddr));
            QThread::msleep(kModifyIpPauseMs);
        }
        int nError = 0;
        pRec->lLoginID = sdkLogin(pRec->szIpAddr, static_cast<unsigned short>(pRec->nPort), pRec->szUserName,
                                  pRec->szPassword, &pRec->devInfo, 1, &nError);
        if (pRec->lLoginID < 1) {
            setTableCellText(n, kStatusColumn, loginErrorText(nError));
            return;
        }
        setTableCellText(n, kStatusColumn, loginSuccessText());
        bOwnLogin = true;
    }

    if (fieldText(pRec->devInfo.hardwareId, sizeof(pRec->devInfo.hardwareId)) != job.strHardware) {
        setTableCellText(n, kStatusColumn, invalidHardwareText());
        // The login was made for this upgrade only: nothing else knows its handle.
        if (bOwnLogin) {
            sdkLogout(pRec->lLoginID);
            pRec->lLoginID = 0;
        }
        return;
    }
    importConfigFile(job.strCfgFile, pRec->lLoginID, n);

    // One receive thread per row: a previous upgrade of the row finishes first.
    if (!pUpgrade->claimReceiver(n))
        return;
    pRow->bDone.store(false);
    {
        QMutexLocker locker(&pRow->mutexText);
        pRow->bDeviceEnded = false;
    }
    pRow->lReleaseHandle.store(0);
    pRow->lActiveHandle.store(0);
    pRow->lLoginToRelease.store(pRec->lLoginID);
    pRow->pRec = pRec;
    pRow->event.reset();
    pRow->started.reset();
    pUpgrade->threadStarted();
    std::thread([this, n]() { receiveUpgradeProgress(n); }).detach();

    const long lHandle =
        sdkStartUpgrade(pRec->lLoginID, QFile::encodeName(job.strPackage).constData(), 0, &upgradeCallback, pRec.get());
    if (lHandle < 1) {
        const int nError = sdkGetLastError();
        setTableCellText(n, kStatusColumn, upgradeRefusedText(nError));
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
    setTableCellText(n, kStatusColumn, startUpgradeText());
    pRow->started.set();
}

void CVantrel::onUpgradeReport(DEV_INFO* pRec, long lUpgradeHandle, int nTotal, int nSent)
{
    if (!pRec)
        return;
    const int n = pRec->nIndex;
    CUpgradeRow* pRow = pUpgrade->row(n);
    if (!pRow)
        return;
    pRow->started.wait(kStartedWaitMs);
    if (nSent <= -1) {
        QMutexLocker locker(&pRow->mutexText);
        reportUpgradeEnd(pRec, pRow, lUpgradeHandle, nSent);
    } else if (nTotal == -1) {
        {
            QMutexLocker locker(&pRow->mutexText);
            if (!pRow->bDeviceEnded)
                setTableCellText(n, kStatusColumn, upgradeProgressText(nSent));
        }
        pRow->event.set();
    } else {
        setTableCellText(n, kStatusColumn, sendProgressText(nTotal, nSent));
    }
}

void CVantrel::reportUpgradeEnd(DEV_INFO* pRec, CUpgradeRow* pRow, long lUpgradeHandle, int nSent)
{
    // Each branch sets the done flag last: once it is set, the row's next upgrade may replace the
    // record this report came with.
    const int n = pRec->nIndex;
    if (nSent == -1) {
        pRec->lLoginID = 0;
        setTableCellText(n, kStatusColumn, upgradeSuccessText());
        clearDevLogin(n);
        sdkCloseUpgrade(lUpgradeHandle);
        pRow->bDone.store(true);
        // A device that reported no progress of its own has not woken its receive thread yet.
        pRow->event.set();
    } else if (nSent == -2) {
        qCDebug(lcUpgrade) << "Upgrade Fail";
        setTableCellText(n, kStatusColumn, upgradeFailText());
        pRow->lReleaseHandle.store(lUpgradeHandle);
        pRec->lLoginID = 0;
        clearDevLogin(n);
        pRow->bDone.store(true);
        pRow->event.set();
    } else if (nSent < -2) {
        qCDebug(lcUpgrade).noquote() << upgradeErrorText(nSent);
        setTableCellText(n, kStatusColumn, upgradeErrorText(nSent));
        sdkCloseUpgrade(lUpgradeHandle);
        pRec->lLoginID = 0;
        clearDevLogin(n);
        pRow->bDone.store(true);
        pRow->event.set();
    }
}

void CVantrel::receiveUpgradeProgress(int nRow)
{
    CUpgradeRow* pRow = pUpgrade->row(nRow);
    qCDebug(lcUpgrade).noquote() << QStringLiteral("RecvProcressThread start:%1").arg(nRow);
    const auto stopping = [this]() { return pUpgrade->bStop.load(); };
    // Once the library has reported the end, its text stays the row's last: progress and
    // connection errors seen later are not written.
    const auto writeWhileRunning = [this, pRow, nRow](const QString& strText) {
        QMutexLocker locker(&pRow->mutexText);
        if (!pRow->bDone.load())
            setTableCellText(nRow, kStatusColumn, strText);
    };
    pRow->event.wait(-1);
    pRow->event.reset();

    if (!pRow->bDone.load() && !stopping()) {
        DEV_INFO rec;
        if (getDevInfo(nRow, 0, &rec) && rec.nPort != 0) {
            CUpgradeConnection connection;
            if (!connection.connectTo(QByteArray(rec.szIpAddr, int(strnlen(rec.szIpAddr, sizeof(rec.szIpAddr)))),
                                      kUpgradeStatusPort, kConnectTries, kConnectAttemptMs, loopbackOnly()))
                writeWhileRunning(connectFailedText(connection.error()));

            UpgradeScan::State state = UpgradeScan::Undecided;
            CUpgradeStatusReader reader;
            bool bReading = connection.isOpen();
            while (!pRow->bDone.load() && !stopping()) {
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
                clearDevLogin(nRow);
                QMutexLocker locker(&pRow->mutexText);
                pRow->bDeviceEnded = true;
                setTableCellText(nRow, kStatusColumn,
                                 state == UpgradeScan::Success ? upgradeSuccessText() : upgradeFailText());
            }
        }
    }

    // The upgrade may still run (the device said it is done before the library did): its handle
    // and login are released once the library has reported the end, which it always does.
    while (!pRow->bDone.load() && !stopping())
        waitForWakeUp(pRow);
    if (const long lHandle = pRow->lReleaseHandle.exchange(0)) {
        // Closing waits for the library's thread that reported the failure to return, so the
        // handle can go at once.
        sdkCloseUpgrade(lHandle);
        qCDebug(lcUpgrade).noquote() << QStringLiteral("Release Upgrade Handle:%1").arg(lHandle);
    }
    pRow->lActiveHandle.store(0);
    if (const long lLogin = pRow->lLoginToRelease.exchange(0); lLogin > 0 && !stopping())
        sdkLogout(lLogin);
    qCDebug(lcUpgrade).noquote() << QStringLiteral("RecvProcressThread end:%1").arg(nRow);
    pUpgrade->releaseReceiver(nRow);
    upgradeThreadEnded();
}

void CVantrel::stopUpgradeRun()
{
    if (!pUpgrade)
        return;
    pUpgrade->bStop.store(true);
    pUpgrade->wakeAll();
    // The upgrade thread ends at its next device: each of its device calls is bounded.
    pUpgrade->threadUpgrade.wait();
    // No callback runs after its upgrade is closed, so none can reach the window once it is gone.
    for (int nRow = 0; nRow < CUpgradeRun::kRows; ++nRow) {
        CUpgradeRow* pRow = pUpgrade->row(nRow);
        if (const long lHandle = pRow->lActiveHandle.exchange(0))
            sdkCloseUpgrade(lHandle);
        if (const long lHandle = pRow->lReleaseHandle.exchange(0))
            sdkCloseUpgrade(lHandle);
    }
    pUpgrade->wakeAll();
    pUpgrade->waitThreadsEnded(-1);
}
