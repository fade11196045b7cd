#include "UpgradeStatus.h"

#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include <json/json.h>

#include "upgrade/UpgradeJson.h"

namespace {

quint32 readLe(const unsigned char* p, int nBytes)
{
    quint32 nValue = 0;
    for (int i = nBytes - 1; i >= 0; --i)
        nValue = (nValue << 8) | p[i];
    return nValue;
}

} // namespace

int parseUpgradeStatus(const QByteArray& baJson)
{
    Json::Value root;
    if (!readJsonObject(baJson, &root))
        return -1;
    try {
        const Json::Value& name = root["Name"];
        const Json::Value& type = root["Type"];
        if (!name.isString() || !type.isString())
            return -1;
        if (name.asString() != "OPSystemUpgrade" || type.asString() != "UpgradeProcess")
            return -1;
        const Json::Value& ret = root["Ret"];
        if (!ret.isUInt())
            return -1;
        const Json::UInt nRet = ret.asUInt();
        if (nRet > Json::UInt(std::numeric_limits<int>::max()))
            return -1;
        return int(nRet);
    } catch (const Json::Exception&) {
        return -1;
    }
}

UpgradeScan scanUpgradeStatus(const char* pData, int nReceived)
{
    UpgradeScan scan;
    const int nLimit = qBound(0, nReceived, kStatusReceiveBytes);
    const auto* p = reinterpret_cast<const unsigned char*>(pData);
    int nPos = 0;
    while (nPos < nLimit) {
        const unsigned char ch = p[nPos];
        if (ch == static_cast<unsigned char>(kStatusFiller))
            break;
        if (ch != protocol::kStartByte) {
            ++nPos;
            continue;
        }
        if (nLimit - nPos < kStatusHeaderBytes) {
            scan.stop = UpgradeScan::Incomplete;
            break;
        }
        const quint16 nId = quint16(readLe(p + nPos + 14, 2));
        const quint32 nBody = readLe(p + nPos + 16, 4);
        if (nBody > quint32(kStatusReceiveBytes - kStatusHeaderBytes)) {
            scan.stop = UpgradeScan::Oversized;
            break;
        }
        if (int(nBody) > nLimit - nPos - kStatusHeaderBytes) {
            scan.stop = UpgradeScan::Incomplete;
            break;
        }
        if (nId == protocol::MsgUpgradeProgress) {
            // The body is read as a zero-terminated text.
            QByteArray baBody(pData + nPos + kStatusHeaderBytes, int(nBody));
            const int nZero = baBody.indexOf('\0');
            if (nZero >= 0)
                baBody.truncate(nZero);
            const int nRet = parseUpgradeStatus(baBody);
            if (nRet >= 0 && nRet <= 100) {
                scan.lstProgress.append(nRet);
            } else if (nRet == protocol::kUpgradeSucceeded || nRet == protocol::kUpgradeFailed) {
                scan.state = nRet == protocol::kUpgradeSucceeded ? UpgradeScan::Success : UpgradeScan::Failure;
                ++scan.nFrames;
                nPos += kStatusHeaderBytes + int(nBody);
                break;
            }
        }
        ++scan.nFrames;
        nPos += kStatusHeaderBytes + int(nBody);
    }
    scan.nUsed = nPos;
    return scan;
}

UpgradeScan CUpgradeStatusReader::consume(int nGot)
{
    const int nHave = nKept + qBound(0, nGot, receiveRoom());
    const UpgradeScan scan = scanUpgradeStatus(aBuffer, nHave);
    nKept = 0;
    // A frame too long for any receive cannot be completed: its bytes are dropped with the rest,
    // and the scan finds the next frame by its start byte.
    if (scan.stop == UpgradeScan::Incomplete && scan.state == UpgradeScan::Undecided) {
        nKept = nHave - scan.nUsed;
        std::memmove(aBuffer, aBuffer + scan.nUsed, size_t(nKept));
    }
    return scan;
}
