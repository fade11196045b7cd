#include "CRowRecords.h"

#include <cstring>

#include <QMutexLocker>

#include "device/DeviceRecords.h"

int CRowRecords::count() const
{
    QMutexLocker locker(&mutex);
    return int(lstRecords.size());
}

DEV_INFO* CRowRecords::at(int nRow) const
{
    if (nRow < 0 || nRow >= int(lstRecords.size()))
        return nullptr;
    return lstRecords[size_t(nRow)].get();
}

DEV_INFO* CRowRecords::record(int nRow) const
{
    QMutexLocker locker(&mutex);
    return at(nRow);
}

bool CRowRecords::copy(int nRow, DEV_INFO* pOut) const
{
    QMutexLocker locker(&mutex);
    const DEV_INFO* pRec = at(nRow);
    if (!pRec || !pOut)
        return false;
    std::memcpy(pOut, pRec, sizeof(*pOut));
    return true;
}

bool CRowRecords::clearLogin(int nRow)
{
    return update(nRow, [](DEV_INFO& rec) { rec.lLoginID = 0; });
}

bool CRowRecords::setPassword(int nRow, const QByteArray& baPassword)
{
    return update(nRow, [&baPassword](DEV_INFO& rec) { setRecordPassword(&rec, baPassword); });
}

DEV_INFO* CRowRecords::append(std::unique_ptr<DEV_INFO> pRec)
{
    QMutexLocker locker(&mutex);
    lstRecords.push_back(std::move(pRec));
    return lstRecords.back().get();
}

std::vector<std::unique_ptr<DEV_INFO>> CRowRecords::takeAll()
{
    QMutexLocker locker(&mutex);
    std::vector<std::unique_ptr<DEV_INFO>> lstTaken;
    lstTaken.swap(lstRecords);
    return lstTaken;
}
