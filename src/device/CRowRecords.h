#pragma once

#include <memory>
#include <vector>

#include <QByteArray>
#include <QMutex>

#include "device/DevInfo.h"

/// The records of the device table's rows, row by row: what column 0 of each row refers to. The
/// window owns it and changes its shape on the user-interface thread; workers read and change single
/// records through it from their own threads. Every operation takes the one table mutex.
class CRowRecords
{
public:
    CRowRecords() = default;
    CRowRecords(const CRowRecords&) = delete;
    CRowRecords& operator=(const CRowRecords&) = delete;

    int count() const;
    /// The record of a row, or null. The pointer stays valid until takeAll(); what a worker does
    /// with it is guarded only by the rule that nothing replaces the records while a worker runs.
    DEV_INFO* record(int nRow) const;
    /// getDevInfo(row, column, out): copies the row's record; false when the row has none.
    bool copy(int nRow, DEV_INFO* pOut) const;
    /// clearDevLogin(row): the row's login handle becomes 0; false when the row has none.
    bool clearLogin(int nRow);
    /// Writes a password into the row's record (at most 31 bytes, terminated).
    bool setPassword(int nRow, const QByteArray& baPassword);
    /// Runs fnChange on the row's record under the table mutex; false when the row has none.
    template <class Fn> bool update(int nRow, Fn fnChange)
    {
        QMutexLocker locker(&mutex);
        DEV_INFO* pRec = at(nRow);
        if (!pRec)
            return false;
        fnChange(*pRec);
        return true;
    }

    /// Appends a row's record (owned from now on) and returns it.
    DEV_INFO* append(std::unique_ptr<DEV_INFO> pRec);
    /// Removes every record and hands them to the caller (to log out and free).
    std::vector<std::unique_ptr<DEV_INFO>> takeAll();

private:
    DEV_INFO* at(int nRow) const;

    mutable QMutex mutex;
    std::vector<std::unique_ptr<DEV_INFO>> lstRecords;
};
