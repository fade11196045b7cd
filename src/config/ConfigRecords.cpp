#include "ConfigRecords.h"

#include <cstring>

int configRecordSize(int nType)
{
    switch (nType) {
    case kPageNtp:
        return NtpRecord::kSize;
    case kPageCloud:
        return CloudRecord::kSize;
    case kPagePms:
        return PmsRecord::kSize;
    case kPageTcp:
        return TcpRecord::kSize;
    case kPageMotion:
        return MotionRecord::kSize;
    case kPageNormal:
        return NormalRecord::kSize;
    case kPageCamera:
        return CameraRecord::kSize;
    case kPageEncode:
        return EncodeRecord::kSize;
    default:
        return 0;
    }
}

qint32 recordInt(const QByteArray& baRecord, int nOffset)
{
    if (nOffset < 0 || nOffset > baRecord.size() - 4)
        return 0;
    quint32 u = 0;
    for (int i = 3; i >= 0; --i)
        u = (u << 8) | quint8(baRecord.at(nOffset + i));
    return qint32(u);
}

void setRecordInt(QByteArray& baRecord, int nOffset, qint32 nValue)
{
    if (nOffset < 0 || nOffset > baRecord.size() - 4)
        return;
    const auto u = quint32(nValue);
    for (int i = 0; i < 4; ++i)
        baRecord[nOffset + i] = char(u >> (8 * i));
}

bool recordFlag(const QByteArray& baRecord, int nOffset)
{
    return nOffset >= 0 && nOffset < baRecord.size() && baRecord.at(nOffset) != 0;
}

void setRecordByte(QByteArray& baRecord, int nOffset, char chValue)
{
    if (nOffset >= 0 && nOffset < baRecord.size())
        baRecord[nOffset] = chValue;
}

QString recordText(const QByteArray& baRecord, int nOffset, int nFieldSize)
{
    if (nOffset < 0 || nFieldSize <= 0 || nOffset > baRecord.size() - nFieldSize)
        return QString();
    const char* pText = baRecord.constData() + nOffset;
    const void* pEnd = std::memchr(pText, 0, size_t(nFieldSize));
    const qsizetype nLen = pEnd ? static_cast<const char*>(pEnd) - pText : nFieldSize;
    return QString::fromLocal8Bit(pText, nLen);
}

void setRecordText(QByteArray& baRecord, int nOffset, int nFieldSize, const QByteArray& baText)
{
    if (nOffset < 0 || nFieldSize <= 0 || nOffset > baRecord.size() - nFieldSize)
        return;
    const int nLen = qMin(int(baText.size()), nFieldSize - 1);
    std::memcpy(baRecord.data() + nOffset, baText.constData(), size_t(nLen));
    baRecord[nOffset + nLen] = 0;
}
