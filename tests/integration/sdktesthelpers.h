#pragma once

#include <functional>

#include <QByteArray>
#include <QMutex>
#include <QStringList>
#include <QString>
#include <QVector>

#include "emulatorprocess.h"
#include "models.h"
#include "netsdk/netsdk.h"

/// Small helpers shared by the integration tests: reading the library's byte records at their
/// offsets, and calls that every test makes the same way.

constexpr int kSearchRecordSize = 560;
constexpr int kDeviceInfoSize = 848;

/// Little-endian int32 at `offset` of `bytes` (the caller checks the bounds).
qint32 intAt(const QByteArray& bytes, int offset);
/// The zero-terminated text of the field of `size` bytes at `offset`; the whole field when it holds
/// no terminator.
QString textAt(const QByteArray& bytes, int offset, int size);
/// Four address bytes at `offset`, dotted, first byte first.
QString addressAt(const QByteArray& bytes, int offset);

/// One search record as read from its raw bytes at the record layout's offsets.
struct RawSearchRecord
{
    QString hostName;
    QString hostIp, submask, gateway;
    qint32 ports[8] = {};
    quint8 flag = 0;
    QString mac;
    QString cloudId;
    qint32 deviceKind = 0;
    QString version;
    qint32 buildYear = 0, buildMonth = 0, buildDay = 0;
};
RawSearchRecord parseSearchRecord(const QByteArray& record);

/// One sdkSearchDevice call into a zero-filled buffer of `bufferSize` bytes.
struct SearchResult
{
    int returned = 0;                 ///< the call's result
    int length = -1;                  ///< *pRetLength
    QByteArray buffer;                ///< the whole buffer after the call
    QVector<RawSearchRecord> records; ///< the first length / 560 records
};
SearchResult searchDevices(int bufferSize, int waitMs);

/// sdkLogin on the service port with user "admin" unless given; *error receives the error output.
long loginTo(const QString& address, const QString& password, int* error, SDK_DEVICE_INFO* info = nullptr,
             const QString& user = QStringLiteral("admin"), quint16 port = 34567);

/// Model of the given name from the emulator's table; nullptr when unknown.
const camsim::Model* modelNamed(const QString& name);

/// An address-change block for the camera of `searchRecord` (560 raw bytes): its network record
/// with the new address, mask and gateway, the credentials, a host MAC text and the request flag.
SDK_NET_ADDRESS_BLOCK addressBlock(const QByteArray& searchRecord, const QString& newAddress, const QString& submask,
                                   const QString& gateway, const QString& password);
/// The raw search record of the camera with `mac`, from one search with room for `capacity` records
/// (the search ends early once that many answered); empty when it did not answer.
QByteArray searchRecordOf(const QString& mac, int waitMs = 1000, int capacity = 256);

/// The search records of the emulator's cameras in camera order, from one search; empty unless every
/// camera answered. (The program's rows are built from them with buildDevInfo.)
QVector<SDK_CONFIG_NET_COMMON_V2> searchRecordsByCamera(const EmulatorProcess& emulator, int waitMs = 1500);

/// Tries sdkLogin until it succeeds or `timeoutMs` has passed, with a short pause between tries (for
/// a camera that is coming back). Each successful try stays logged in, so only one is made.
long loginWithin(const QString& address, const QString& password, int* error, int timeoutMs);

/// The row texts a worker of the program writes through its cell writer, "row|column|text" in
/// order; written from any thread.
class CellLog
{
public:
    std::function<void(int, int, const QString&)> writer();
    /// The texts of one row's status column, in order.
    QStringList status(int nRow) const;
    /// Every line of one row, in order.
    QStringList row(int nRow) const;
    QStringList all() const;
    void clear();

private:
    mutable QMutex mutex;
    QStringList lst;
};
