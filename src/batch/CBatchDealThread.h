#pragma once

#include <map>
#include <memory>

#include <QList>
#include <QMutex>
#include <QThread>

#include "device/DevInfo.h"

/// Resets or reboots a list of devices on a thread of its own. It works on private copies of the
/// table's records, so it shares nothing with the table but the row numbers it reports through
/// message(ret, nError, nIndex, nCmd).
class CBatchDealThread : public QThread
{
    Q_OBJECT

public:
    explicit CBatchDealThread(QObject* parent = nullptr);
    /// Waits for a running pass (every device call has a time-out), then frees the copies.
    ~CBatchDealThread() override;

    /// 1 reset the configuration, 2 reboot.
    void setCmd(int nNewCmd);
    int cmd() const;
    /// Time-out of every device call, in milliseconds (8000 until set).
    void setWaitTime(int nMs);
    int waitTime() const;
    /// Copies the whole record; the copy's key is the list's size, so keys run 0, 1, 2 ... in the
    /// order of the calls.
    void addDevice(const DEV_INFO* pInfo);
    /// Keys of the copies waiting for the next pass, in order.
    QList<int> deviceKeys() const;

signals:
    void message(int ret, int nError, int nIndex, int nCmd);

protected:
    void run() override;

private:
    void handle(DEV_INFO& rec, int nCmdNow, int nWaitNow);

    mutable QMutex mutex;
    int nCmd = 0;
    int nWaitTime = 8000;
    std::map<int, std::unique_ptr<DEV_INFO>> mapDevices;
};
