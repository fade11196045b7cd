#include "CUpgradeQueue.h"

#include <QMutexLocker>

std::list<std::shared_ptr<DEV_INFO>>* CUpgradeQueue::listOf(int nList)
{
    if (nList == Pending)
        return &lstPending;
    if (nList == Started)
        return &lstStarted;
    return nullptr;
}

void CUpgradeQueue::pushUpgradeDevice(const DEV_INFO& info)
{
    auto pCopy = std::make_shared<DEV_INFO>(info);
    QMutexLocker locker(&mutex);
    lstPending.push_back(std::move(pCopy));
}

void CUpgradeQueue::pushUpgradeDevice(std::shared_ptr<DEV_INFO> pInfo, int nList)
{
    QMutexLocker locker(&mutex);
    if (auto* pList = listOf(nList); pList && pInfo)
        pList->push_back(std::move(pInfo));
}

std::shared_ptr<DEV_INFO> CUpgradeQueue::popUpgradeDevice(int nList)
{
    QMutexLocker locker(&mutex);
    auto* pList = listOf(nList);
    if (!pList || pList->empty())
        return nullptr;
    std::shared_ptr<DEV_INFO> pInfo = std::move(pList->front());
    pList->pop_front();
    return pInfo;
}

std::shared_ptr<DEV_INFO> CUpgradeQueue::startNextUpgradeDevice()
{
    QMutexLocker locker(&mutex);
    if (lstPending.empty())
        return nullptr;
    std::shared_ptr<DEV_INFO> pInfo = lstPending.front();
    lstPending.pop_front();
    lstStarted.push_back(pInfo);
    return pInfo;
}

int CUpgradeQueue::upgradeDeviceCount(int nList) const
{
    QMutexLocker locker(&mutex);
    if (nList == Pending)
        return int(lstPending.size());
    if (nList == Started)
        return int(lstStarted.size());
    return 0;
}

void CUpgradeQueue::clearUpgradeDevices()
{
    std::list<std::shared_ptr<DEV_INFO>> lstDropPending;
    std::list<std::shared_ptr<DEV_INFO>> lstDropStarted;
    {
        QMutexLocker locker(&mutex);
        lstDropPending.swap(lstPending);
        lstDropStarted.swap(lstStarted);
    }
    // The records are freed outside the lock.
}
