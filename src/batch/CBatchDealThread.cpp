#include "CBatchDealThread.h"

#include <cstring>

#include <QMutexLocker>

#include "batch/BatchCommands.h"
#include "batch/DeviceCommands.h"
#include "device/DeviceRecords.h"

CBatchDealThread::CBatchDealThread(QObject* parent) : QThread(parent) {}

CBatchDealThread::~CBatchDealThread()
{
    wait();
}

void CBatchDealThread::setCmd(int nNewCmd)
{
    QMutexLocker locker(&mutex);
    nCmd = nNewCmd;
}

int CBatchDealThread::cmd() const
{
    QMutexLocker locker(&mutex);
    return nCmd;
}

void CBatchDealThread::setWaitTime(int nMs)
{
    QMutexLocker locker(&mutex);
    nWaitTime = nMs;
}

int CBatchDealThread::waitTime() const
{
    QMutexLocker locker(&mutex);
    return nWaitTime;
}

void CBatchDealThread::addDevice(const DEV_INFO* pInfo)
{
    if (!pInfo)
        return;
    auto pCopy = std::make_unique<DEV_INFO>();
    std::memcpy(pCopy.get(), pInfo, sizeof(DEV_INFO));
    QMutexLocker locker(&mutex);
    const int nKey = int(mapDevices.size());
    mapDevices[nKey] = std::move(pCopy);
}

QList<int> CBatchDealThread::deviceKeys() const
{
    QMutexLocker locker(&mutex);
    QList<int> lst;
    for (const auto& entry : mapDevices)
        lst << entry.first;
    return lst;
}

void CBatchDealThread::run()
{
    std::map<int, std::unique_ptr<DEV_INFO>> mapPass;
    int nCmdNow = 0;
    int nWaitNow = 0;
    {
        QMutexLocker locker(&mutex);
        mapPass.swap(mapDevices);
        nCmdNow = nCmd;
        nWaitNow = nWaitTime;
    }
    for (auto& entry : mapPass)
        handle(*entry.second, nCmdNow, nWaitNow);
}

void CBatchDealThread::handle(DEV_INFO& rec, int nCmdNow, int nWaitNow)
{
    bool bOwnLogin = false;
    if (rec.lLoginID < 1) {
        int nError = 0;
        if (loginDevice(&rec, &nError) < 1) {
            emit message(-1, nError, rec.nIndex, DealLogin);
            return;
        }
        bOwnLogin = true;
    }
    if (nCmdNow == DealResetConfig) {
        const int nRet = int(resetDeviceConfig(rec.lLoginID, nWaitNow));
        emit message(nRet, nRet, rec.nIndex, DealResetConfig);
    } else if (nCmdNow == DealReboot) {
        if (sdkControlDevice(rec.lLoginID, 0, nWaitNow)) {
            emit message(1, 0, rec.nIndex, DealReboot);
        } else {
            const int nError = int(sdkGetLastError());
            // A time-out means the device went down to reboot before it could answer.
            emit message(nError == SDK_ERR_TIMEOUT ? 1 : -1, nError, rec.nIndex, DealReboot);
        }
    }
    // A login made here is this copy's alone: left open, the device's sessions would pile up
    // until it refuses logins. A login the row had stays the row's (onDealBathMsg ends it).
    if (bOwnLogin) {
        sdkLogout(rec.lLoginID);
        rec.lLoginID = 0;
    }
}
