#include "CBatchDealThread.h"

#include <cstring>

#include <QMutexLocker>

#include "batch/BatchTexts.h"

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
    // The copies' logins are left open, as the devices are resetting or rebooting anyway.
}

void CBatchDealThread::handle(DEV_INFO& rec, int nCmdNow, int nWaitNow)
{
    if (rec.lLoginID < 1) {
        int nError = 0;
        rec.lLoginID = sdkLogin(rec.szIpAddr, static_cast<unsigned short>(rec.nPort), rec.szUserName, rec.szPassword,
                                &rec.devInfo, 1, &nError);
        if (rec.lLoginID < 1) {
            emit message(-1, nError, rec.nIndex, kDealCmdLogin);
            return;
        }
    }
    if (nCmdNow == kDealCmdReset) {
        QByteArray baRecord = factoryResetRecord();
        const int nRet = int(sdkSetConfig(rec.lLoginID, kCmdFactoryReset, -1, baRecord.data(),
                                          static_cast<unsigned long>(baRecord.size()), nWaitNow));
        emit message(nRet, nRet, rec.nIndex, kDealCmdReset);
    } else if (nCmdNow == kDealCmdReboot) {
        if (sdkControlDevice(rec.lLoginID, 0, nWaitNow)) {
            emit message(1, 0, rec.nIndex, kDealCmdReboot);
        } else {
            const int nError = int(sdkGetLastError());
            // A time-out means the device went down to reboot before it could answer.
            emit message(nError == kBatchResultTimeout ? 1 : -1, nError, rec.nIndex, kDealCmdReboot);
        }
    }
}
