#pragma once

#include <QMutex>
#include <QThread>
#include <QVector>

#include <netsdk/netsdk.h>

Q_DECLARE_METATYPE(SDK_CONFIG_NET_COMMON_V2)

/// One device search per start(): first the logouts handed over for it (the previous table's logins),
/// then a single library search, then the found records one by one as queued deviceSearch signals
/// in address order, then stop(). Touches nothing but its own buffer.
class CSearchDeviceThread : public QThread
{
    Q_OBJECT

public:
    explicit CSearchDeviceThread(QObject* parent = nullptr);
    /// Waits for a running pass to end (bounded by the wait time).
    ~CSearchDeviceThread() override;

    void setSearchTime(int nMs);
    int searchTime() const;
    /// Login handles the next pass logs out before it searches, in this order (each logout may wait
    /// up to a second for a device that does not answer).
    void setLogoutsBeforeSearch(const QVector<long>& lstLogins);

    /// Registers SDK_CONFIG_NET_COMMON_V2 for queued delivery under that name.
    static void registerMetaType();

signals:
    void deviceSearch(SDK_CONFIG_NET_COMMON_V2 deviceSearched);
    void stop();

protected:
    void run() override;

private:
    QAtomicInt nSearchTime{2000};
    QMutex mutex;
    QVector<long> lstLogouts;
};
