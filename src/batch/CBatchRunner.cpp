#include "CBatchRunner.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

#include "batch/BatchTexts.h"
#include "batch/CAddressCheck.h"
#include "batch/CIpModifier.h"
#include "batch/DeviceCommands.h"
#include "device/DeviceRecords.h"

CBatchCommand::Outcome CResetConfigCommand::run(DEV_INFO& rec, const CellWriter& setCell)
{
    const long nRet = resetDeviceConfig(rec.lLoginID, CBatchRunner::kConfigWaitMs);
    setCell(rec.nIndex, ColumnStatus, resetResultText(nRet));
    return Outcome::Done;
}

CBatchCommand::Outcome CIpAdaptiveCommand::run(DEV_INFO& rec, const CellWriter& setCell)
{
    const long nRet = setDeviceIpAdaptive(rec.lLoginID, byValue, CBatchRunner::kConfigWaitMs);
    setCell(rec.nIndex, ColumnStatus, adaptiveResultText(nRet));
    return isAdaptiveSuccess(nRet) ? Outcome::Done : Outcome::KeepLogin;
}

CBatchCommand::Outcome CConfigPagesCommand::run(DEV_INFO& rec, const CellWriter& setCell)
{
    const QByteArray baVersion(rec.devInfo.version, int(qstrnlen(rec.devInfo.version, sizeof(rec.devInfo.version))));
    const CConfigApplier::Result result = CConfigApplier::apply(rec.lLoginID, baVersion, snapshot);
    setCell(rec.nIndex, ColumnStatus, result.strStatus);
    if (result.bFailed)
        return Outcome::KeepLogin;
    if (!result.bLoggedIn)
        rec.lLoginID = -1;
    return Outcome::Done;
}

std::unique_ptr<CBatchCommand> makeMaintenanceCommand(int nCmd, unsigned char byAdaptive)
{
    switch (nCmd) {
    case BatchResetConfig:
        return std::make_unique<CResetConfigCommand>();
    case BatchIpAdaptiveOn:
    case BatchIpAdaptiveOff:
        return std::make_unique<CIpAdaptiveCommand>(byAdaptive);
    default:
        return nullptr;
    }
}

CBatchRunner::CBatchRunner(CellWriter setCell) : setCell(std::move(setCell)) {}

void CBatchRunner::requestStop()
{
    QMutexLocker locker(&mutexPause);
    bStop.store(true);
    condPause.wakeAll();
}

void CBatchRunner::clearStop()
{
    bStop.store(false);
}

void CBatchRunner::pause(unsigned long nMs)
{
    QMutexLocker locker(&mutexPause);
    const QDeadlineTimer deadline{qint64(nMs)};
    while (!bStop.load() && condPause.wait(&mutexPause, deadline)) {
    }
}

int CBatchRunner::run(CBatchJob& job)
{
    CIpModifier modifier;
    if (isAddressCommand(job.nCmd)) {
        modifier.preparePlan(job.nCmd, job.strPlanIp, job.strPlanMask, job.strPlanGateway, job.strPassword,
                             job.pCheck.get(), job.lstTakenAddresses);
        modifier.setStopCheck([this]() { return bStop.load(); });
    }

    int nDone = 0;
    for (const CBatchRow& row : job.lstRows) {
        if (bStop.load())
            break;
        ++nDone;
        if (!row.bChecked || !row.pRec) {
            pause(kRowPauseMs);
            continue;
        }
        if (isAddressCommand(job.nCmd))
            changeAddress(modifier, row.pRec);
        else
            runLoginCommand(job, row.pRec);
    }
    return nDone;
}

void CBatchRunner::changeAddress(CIpModifier& modifier, DEV_INFO* pRec)
{
    const CIpModifier::Result result = modifier.changeAddress(pRec);
    if (result.bStopped)
        return;
    setCell(pRec->nIndex, ColumnStatus, result.strStatus);
    if (!result.strNewIp.isEmpty())
        setCell(pRec->nIndex, ColumnIpAddress, result.strNewIp);
}

void CBatchRunner::runLoginCommand(CBatchJob& job, DEV_INFO* pRec)
{
    const int n = pRec->nIndex;
    if (pRec->lLoginID < 1) {
        setRecordPassword(pRec, job.strPassword.toLocal8Bit());
        if (job.bModifyIP) {
            // A device that cannot be moved to its fixed address keeps ModifyIP's text and is skipped.
            if (CIpModifier::modifyIp(pRec, n, ModifyIpAssign, setCell) <= 0)
                return;
            pause(kModifyIpPauseMs);
        }
        int nError = 0;
        if (loginDevice(pRec, &nError) < 1) {
            setCell(n, ColumnStatus, loginErrorText(nError));
            return;
        }
        setCell(n, ColumnStatus, loginSuccessText());
    }
    if (job.pCommand && job.pCommand->run(*pRec, setCell) == CBatchCommand::Outcome::KeepLogin)
        return; // the login stays for the next batch, and the pause is skipped
    if (pRec->lLoginID > 0) {
        sdkLogout(pRec->lLoginID);
        pRec->lLoginID = -1;
    }
    pause(kRowPauseMs);
}
