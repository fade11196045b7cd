#include "CSearchDeviceThread.h"

#include <QByteArray>

#include "DeviceRecords.h"
#include "app/LogCategories.h"

CSearchDeviceThread::CSearchDeviceThread(QObject* parent) : QThread(parent) {}

CSearchDeviceThread::~CSearchDeviceThread()
{
    wait();
}

void CSearchDeviceThread::setSearchTime(int nMs)
{
    nSearchTime.storeRelaxed(nMs);
}

int CSearchDeviceThread::searchTime() const
{
    return nSearchTime.loadRelaxed();
}

void CSearchDeviceThread::setLogoutsBeforeSearch(const QVector<long>& lstLogins)
{
    QMutexLocker locker(&mutex);
    lstLogouts = lstLogins;
}

void CSearchDeviceThread::registerMetaType()
{
    qRegisterMetaType<SDK_CONFIG_NET_COMMON_V2>("SDK_CONFIG_NET_COMMON_V2");
}

void CSearchDeviceThread::run()
{
    QVector<long> lstNow;
    {
        QMutexLocker locker(&mutex);
        lstNow.swap(lstLogouts);
    }
    for (long lLogin : lstNow)
        sdkLogout(lLogin);

    QByteArray baBuffer(kSearchBufferSize, '\0');
    int nRetLength = 0;
    const bool bOk = sdkSearchDevice(baBuffer.data(), baBuffer.size(), &nRetLength, searchTime()) != 0;
    qCDebug(lcDevice).noquote() << QStringLiteral("search device:%1").arg(nRetLength / kSearchRecordSize);
    if (!bOk || nRetLength <= 0) {
        emit stop();
        return;
    }
    // Never trust the count beyond the buffer the library was given.
    const int nBytes = qMin(nRetLength, baBuffer.size());
    const QVector<SDK_CONFIG_NET_COMMON_V2> lstRecords = orderSearchResults(baBuffer.constData(), nBytes);
    baBuffer.clear();
    for (const SDK_CONFIG_NET_COMMON_V2& rec : lstRecords)
        emit deviceSearch(rec);
    emit stop();
}
