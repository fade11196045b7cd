#pragma once

#include <list>
#include <memory>

#include <QMutex>

#include "device/DevInfo.h"

/// The devices of an upgrade run: the pending list (copies of the checked rows' records, taken
/// when the run is prepared) and the started list (records handed to the device library). Both
/// lists are first-in-first-out and guarded by one mutex, since the user-interface thread fills
/// and clears them while the upgrade thread takes from them.
///
/// Records are shared: the device library's callback keeps using a started record as its user
/// data after a new press has cleared the queue, so clearing drops only the queue's reference.
class CUpgradeQueue
{
public:
    enum List
    {
        Pending = 0,
        Started = 1,
    };

    /// Appends a copy of the record to the pending list.
    void pushUpgradeDevice(const DEV_INFO& info);
    /// Appends the record itself to the list (shared, not copied).
    void pushUpgradeDevice(std::shared_ptr<DEV_INFO> pInfo, int nList);
    /// Removes and returns the first record of the list; null when the list is empty or unknown.
    std::shared_ptr<DEV_INFO> popUpgradeDevice(int nList);
    /// Takes the first pending record and appends it to the started list in one step, so that no
    /// clear can come between; null when nothing is pending.
    std::shared_ptr<DEV_INFO> startNextUpgradeDevice();
    /// Number of records in the list; 0 for any other list number.
    int upgradeDeviceCount(int nList) const;
    /// Empties both lists.
    void clearUpgradeDevices();

private:
    std::list<std::shared_ptr<DEV_INFO>>* listOf(int nList);

    mutable QMutex mutex;
    std::list<std::shared_ptr<DEV_INFO>> lstPending;
    std::list<std::shared_ptr<DEV_INFO>> lstStarted;
};
