#include "sdktesthelpers.h"

#include <algorithm>
#include <cstring>

#include <QDeadlineTimer>
#include <QTest>

qint32 intAt(const QByteArray& bytes, int offset)
{
    if (offset < 0 || offset + 4 > bytes.size())
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData() + offset);
    return qint32(quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24));
}

QString textAt(const QByteArray& bytes, int offset, int size)
{
    if (offset < 0 || size < 0 || offset + size > bytes.size())
        return QString();
    const char* begin = bytes.constData() + offset;
    const void* zero = std::memchr(begin, 0, std::size_t(size));
    const int length = zero ? int(static_cast<const char*>(zero) - begin) : size;
    return QString::fromLatin1(begin, length);
}

QString addressAt(const QByteArray& bytes, int offset)
{
    if (offset < 0 || offset + 4 > bytes.size())
        return QString();
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData() + offset);
    return QStringLiteral("%1.%2.%3.%4").arg(p[0]).arg(p[1]).arg(p[2]).arg(p[3]);
}

RawSearchRecord parseSearchRecord(const QByteArray& record)
{
    RawSearchRecord r;
    r.hostName = textAt(record, 0x000, 64);
    r.hostIp = addressAt(record, 0x040);
    r.submask = addressAt(record, 0x044);
    r.gateway = addressAt(record, 0x048);
    for (int i = 0; i < 8; ++i)
        r.ports[i] = intAt(record, 0x0EC + 4 * i);
    r.flag = record.size() > 0x10C ? quint8(record.at(0x10C)) : 0;
    r.mac = textAt(record, 0x10D, 32);
    r.cloudId = textAt(record, 0x12D, 39);
    r.deviceKind = intAt(record, 0x154);
    r.version = textAt(record, 0x158, 128);
    r.buildYear = intAt(record, 0x1D8);
    r.buildMonth = intAt(record, 0x1DC);
    r.buildDay = intAt(record, 0x1E0);
    return r;
}

SearchResult searchDevices(int bufferSize, int waitMs)
{
    SearchResult result;
    result.buffer = QByteArray(bufferSize, '\0');
    int length = -1;
    result.returned = sdkSearchDevice(result.buffer.data(), bufferSize, &length, waitMs);
    result.length = length;
    if (length > 0 && length <= bufferSize) {
        for (int offset = 0; offset + kSearchRecordSize <= length; offset += kSearchRecordSize)
            result.records.append(parseSearchRecord(result.buffer.mid(offset, kSearchRecordSize)));
    }
    return result;
}

long loginTo(const QString& address, const QString& password, int* error, SDK_DEVICE_INFO* info, const QString& user,
             quint16 port)
{
    SDK_DEVICE_INFO scratch;
    std::memset(&scratch, 0, sizeof scratch);
    int code = 12345; // a value no outcome produces, so a call that never sets it shows
    const QByteArray ip = address.toLatin1();
    const QByteArray name = user.toLatin1();
    const QByteArray secret = password.toLatin1();
    const long handle =
        sdkLogin(ip.constData(), port, name.constData(), secret.constData(), info ? info : &scratch, 1, &code);
    if (error)
        *error = code;
    return handle;
}

const camsim::Model* modelNamed(const QString& name)
{
    return camsim::findModel(name.toStdString());
}

namespace {

void putAddress(unsigned char* out, const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    for (int i = 0; i < 4; ++i)
        out[i] = (unsigned char)(parts.value(i).toUInt());
}

void putText(char* out, std::size_t room, const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    std::memset(out, 0, room);
    std::memcpy(out, bytes.constData(), std::min(room - 1, std::size_t(bytes.size())));
}

} // namespace

SDK_NET_ADDRESS_BLOCK addressBlock(const QByteArray& searchRecord, const QString& newAddress, const QString& submask,
                                   const QString& gateway, const QString& password)
{
    SDK_NET_ADDRESS_BLOCK block;
    std::memset(&block, 0, sizeof block);
    if (searchRecord.size() < kSearchRecordSize)
        return block;
    // The network record follows the search record field by field, without its 160 unused bytes.
    const char* raw = searchRecord.constData();
    std::memcpy(block.hostName, raw + 0x000, 64);
    std::memcpy(block.hostIp, raw + 0x040, 12);
    std::memcpy(block.ports, raw + 0x0EC, 32);
    block.flag = (unsigned char)raw[0x10C];
    std::memcpy(block.mac, raw + 0x10D, 32);
    putAddress(block.hostIp, newAddress);
    putAddress(block.submask, submask);
    putAddress(block.gateway, gateway);
    putText(block.userName, sizeof block.userName, QStringLiteral("admin"));
    putText(block.password, sizeof block.password, password);
    std::memcpy(block.hostMac, "02:00:00:00:00:01", 17);
    block.requestFlag = 1;
    return block;
}

QByteArray searchRecordOf(const QString& mac, int waitMs, int capacity)
{
    const SearchResult result = searchDevices(capacity * kSearchRecordSize, waitMs);
    for (int i = 0; i < result.records.size(); ++i) {
        if (result.records.at(i).mac.compare(mac, Qt::CaseInsensitive) == 0)
            return result.buffer.mid(i * kSearchRecordSize, kSearchRecordSize);
    }
    return QByteArray();
}

QVector<SDK_CONFIG_NET_COMMON_V2> searchRecordsByCamera(const EmulatorProcess& emulator, int waitMs)
{
    const SearchResult result = searchDevices(256 * kSearchRecordSize, waitMs);
    QVector<SDK_CONFIG_NET_COMMON_V2> records;
    for (int camera = 0; camera < emulator.cameraCount(); ++camera) {
        for (int i = 0; i < result.records.size(); ++i) {
            if (result.records.at(i).mac.compare(emulator.mac(camera), Qt::CaseInsensitive) != 0)
                continue;
            records.append(SDK_CONFIG_NET_COMMON_V2());
            std::memcpy(&records.last(), result.buffer.constData() + i * kSearchRecordSize, sizeof records.last());
        }
    }
    return records.size() == emulator.cameraCount() ? records : QVector<SDK_CONFIG_NET_COMMON_V2>();
}

long loginWithin(const QString& address, const QString& password, int* error, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const long handle = loginTo(address, password, error);
        if (handle > 0 || deadline.hasExpired())
            return handle;
        QTest::qWait(20);
    }
}

std::function<void(int, int, const QString&)> CellLog::writer()
{
    return [this](int row, int column, const QString& text) {
        QMutexLocker locker(&mutex);
        lst << QStringLiteral("%1|%2|%3").arg(row).arg(column).arg(text);
    };
}

QStringList CellLog::row(int nRow) const
{
    QMutexLocker locker(&mutex);
    QStringList lines;
    const QString prefix = QStringLiteral("%1|").arg(nRow);
    for (const QString& line : lst)
        if (line.startsWith(prefix))
            lines << line;
    return lines;
}

QStringList CellLog::status(int nRow) const
{
    QStringList texts;
    const QString prefix = QStringLiteral("%1|3|").arg(nRow);
    for (const QString& line : row(nRow))
        if (line.startsWith(prefix))
            texts << line.mid(prefix.size());
    return texts;
}

QStringList CellLog::all() const
{
    QMutexLocker locker(&mutex);
    return lst;
}

void CellLog::clear()
{
    QMutexLocker locker(&mutex);
    lst.clear();
}
