#include "DeviceRecords.h"

#include <algorithm>
#include <cstring>
#include <cstdint>
#include <limits>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QMap>

namespace {

int hexDigitValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// strtoull(.., 16) without the blanks, sign and "0x" it would also take: MAC texts carry none.
quint64 readHex64(const QString& strHex)
{
    quint64 nValue = 0;
    for (QChar c : strHex) {
        const int nDigit = hexDigitValue(c);
        if (nDigit < 0)
            break;
        if (nValue > (std::numeric_limits<quint64>::max() >> 4))
            return std::numeric_limits<quint64>::max();
        nValue = (nValue << 4) | quint64(nDigit);
    }
    return nValue;
}

template <size_t N> void copyText(char (&dst)[N], const QByteArray& baText)
{
    const size_t nLen = std::min(size_t(baText.size()), N - 1);
    std::memcpy(dst, baText.constData(), nLen);
    dst[nLen] = '\0';
}

} // namespace

QString fieldText(const char* pField, size_t nSize)
{
    const void* pEnd = std::memchr(pField, 0, nSize);
    const size_t nLen = pEnd ? size_t(static_cast<const char*>(pEnd) - pField) : nSize;
    return QString::fromLocal8Bit(pField, qsizetype(nLen));
}

bool isListedDeviceKind(int nKind)
{
    if (nKind < 0 || nKind > 5)
        nKind = 1;
    return nKind == 0 || nKind == 3 || nKind == 5;
}

QString cloudIdFromMac(const QString& strMac)
{
    QString strHex = strMac;
    strHex.remove(QLatin1Char(':'));
    const quint64 nValue = readHex64(strHex) + 5;
    const QString strText = QStringLiteral("%1").arg(nValue, 12, 16, QLatin1Char('0'));
    const QByteArray baDigest = QCryptographicHash::hash(strText.toLatin1(), QCryptographicHash::Md5);
    return QString::fromLatin1(baDigest.mid(4, 8).toHex());
}

QString buildDateText(int nYear, int nMonth, int nDay)
{
    return QString::asprintf("%04d-%02d-%02d", nYear, nMonth, nDay);
}

QString addressText(const unsigned char* pAddr)
{
    return QString::asprintf("%d.%d.%d.%d", pAddr[0], pAddr[1], pAddr[2], pAddr[3]);
}

CDeviceRowTexts deviceRowTexts(const SDK_CONFIG_NET_COMMON_V2& rec)
{
    CDeviceRowTexts texts;
    texts.strIpAddr = addressText(rec.hostIp);
    texts.strPort = QString::number(rec.ports[1]);
    texts.strMac = fieldText(rec.mac, sizeof(rec.mac));
    const QString strCloudId = fieldText(rec.cloudId, sizeof(rec.cloudId));
    texts.strCloudId = strCloudId.isEmpty() ? cloudIdFromMac(texts.strMac) : strCloudId.left(32);
    texts.strVersion = fieldText(rec.version, sizeof(rec.version));
    if (!texts.strVersion.isEmpty())
        texts.strBuildDate = buildDateText(rec.buildYear, rec.buildMonth, rec.buildDay);
    return texts;
}

void buildDevInfo(DEV_INFO* pInfo, const SDK_CONFIG_NET_COMMON_V2& rec, int nRow)
{
    const CDeviceRowTexts texts = deviceRowTexts(rec);
    pInfo->nIndex = nRow;
    pInfo->nPort = rec.ports[1];
    copyText(pInfo->szIpAddr, texts.strIpAddr.toLatin1());
    copyText(pInfo->szUserName, QByteArrayLiteral("admin"));
    pInfo->szPassword[0] = '\0';
    copyText(pInfo->szCloudId, texts.strCloudId.toLocal8Bit());

    // The search record's unused 160 bytes after the gateway are skipped: the ports, the flag and the
    // MAC text follow the gateway directly in the network block.
    SDK_NET_ADDRESS_BLOCK& block = pInfo->netBlock;
    std::memcpy(block.hostName, rec.hostName, sizeof(block.hostName));
    std::memcpy(block.hostIp, rec.hostIp, sizeof(block.hostIp));
    std::memcpy(block.submask, rec.submask, sizeof(block.submask));
    std::memcpy(block.gateway, rec.gateway, sizeof(block.gateway));
    std::memcpy(block.ports, rec.ports, sizeof(block.ports));
    block.flag = rec.flag;
    std::memcpy(block.mac, rec.mac, sizeof(block.mac));
}

bool isOnvifRecord(const DEV_INFO& info)
{
    constexpr int kOnvifPort = 80;
    if (info.nPort == kOnvifPort)
        return true;
    const int* pPorts = info.netBlock.ports;
    return info.nPort != 0 && pPorts[1] == info.nPort &&
           std::all_of(pPorts, pPorts + 8, [&](int nPort) { return nPort == 0 || nPort == info.nPort; });
}

QVector<SDK_CONFIG_NET_COMMON_V2> orderSearchResults(const char* pBuffer, int nBytes)
{
    QVector<SDK_CONFIG_NET_COMMON_V2> lstOrdered;
    if (!pBuffer || nBytes <= 0)
        return lstOrdered;
    const int nCount = std::min(nBytes / kSearchRecordSize, kMaxSearchRecords);
    static const int nMacLength = int(std::strlen("00:00:00:00:00:00"));

    // One record per MAC text; a later answer replaces an earlier one.
    QMap<QString, SDK_CONFIG_NET_COMMON_V2> mapByMac;
    for (int i = 0; i < nCount; ++i) {
        SDK_CONFIG_NET_COMMON_V2 rec;
        std::memcpy(&rec, pBuffer + size_t(i) * kSearchRecordSize, sizeof(rec));
        const QString strMac = fieldText(rec.mac, sizeof(rec.mac));
        if (strMac.size() == nMacLength)
            mapByMac.insert(strMac, rec);
    }

    struct Entry
    {
        QString strAddr;
        QString strMac;
        SDK_CONFIG_NET_COMMON_V2 rec;
    };
    std::vector<Entry> lstEntries;
    lstEntries.reserve(size_t(mapByMac.size()));
    for (auto it = mapByMac.cbegin(); it != mapByMac.cend(); ++it)
        lstEntries.push_back({addressText(it.value().hostIp), it.key(), it.value()});
    // Plain text order of the dotted address (so "…1.10" precedes "…1.9"); equal addresses keep the
    // greater MAC first, as a multi-map filled in MAC order yields them.
    std::sort(lstEntries.begin(), lstEntries.end(), [](const Entry& a, const Entry& b) {
        if (a.strAddr != b.strAddr)
            return a.strAddr < b.strAddr;
        return a.strMac > b.strMac;
    });
    lstOrdered.reserve(int(lstEntries.size()));
    for (const Entry& entry : lstEntries)
        lstOrdered.append(entry.rec);
    return lstOrdered;
}

QString loginErrorText(int nError)
{
    switch (nError) {
    case 0:
        return QCoreApplication::translate("CVantrel", "Network is error");
    case 7:
        return QCoreApplication::translate("CVantrel", "System is busying");
    case -10005:
        return QCoreApplication::translate("CVantrel", "Login timeout");
    case -11301:
        return QCoreApplication::translate("CVantrel", "Password is error");
    case -11302:
        return QCoreApplication::translate("CVantrel", "The user is not existed");
    case -11303:
        return QCoreApplication::translate("CVantrel", "The user is locked");
    case -11304:
        return QCoreApplication::translate("CVantrel", "The user is in blacklist");
    case -11305:
        return QCoreApplication::translate("CVantrel", "The user has logined");
    case -11307:
        return QCoreApplication::translate("CVantrel", "Cann't find the device");
    default:
        return QCoreApplication::translate("CVantrel", "Unknow Error");
    }
}

void setRecordPassword(DEV_INFO* pInfo, const QByteArray& baPassword)
{
    std::memset(pInfo->szPassword, 0, sizeof(pInfo->szPassword));
    std::memcpy(pInfo->szPassword, baPassword.constData(),
                size_t(qMin(baPassword.size(), int(sizeof(pInfo->szPassword)) - 1)));
}

long loginDevice(DEV_INFO* pRec, int* pError)
{
    int nError = 0;
    pRec->lLoginID = sdkLogin(pRec->szIpAddr, static_cast<unsigned short>(pRec->nPort), pRec->szUserName,
                              pRec->szPassword, &pRec->devInfo, 1, &nError);
    if (pError)
        *pError = nError;
    return pRec->lLoginID;
}

CLoginTexts loginTexts(const SDK_DEVICE_INFO& info)
{
    CLoginTexts texts;
    texts.strVersion = fieldText(info.version);
    if (info.buildYear > 0)
        texts.strBuildDate = buildDateText(info.buildYear, info.buildMonth, info.buildDay);
    return texts;
}
