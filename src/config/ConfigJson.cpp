#include "ConfigJson.h"

#include <cstring>
#include <memory>
#include <string>

#include <QStringDecoder>
#include <QStringEncoder>

#include <json/json.h>
#include <netsdk/netsdk.h>

#include "ConfigRecords.h"

namespace {

const char* const kNames[] = {"ChannelSystemFunction@SmartH264", "ChannelSystemFunction@SmartH264V2",
                              "Ability.VoiceTipType", "fVideo.Volume"};

bool parseJson(const QByteArray& baText, Json::Value& root)
{
    Json::CharReaderBuilder builder;
    builder["collectComments"] = true;
    const std::unique_ptr<Json::CharReader> pReader(builder.newCharReader());
    std::string strErrors;
    return pReader->parse(baText.constData(), baText.constData() + baText.size(), &root, &strErrors);
}

// A member that is missing reads as empty / 0, as the device's own replies are read; a member of
// another type makes the reply unreadable.
bool memberString(const Json::Value& object, const char* szKey, std::string& strOut)
{
    const Json::Value& v = object[szKey];
    if (v.isNull()) {
        strOut.clear();
        return true;
    }
    if (!v.isString())
        return false;
    strOut = v.asString();
    return true;
}

bool memberInt(const Json::Value& object, const char* szKey, int& nOut)
{
    const Json::Value& v = object[szKey];
    if (v.isNull()) {
        nOut = 0;
        return true;
    }
    if (!v.isInt())
        return false;
    nOut = v.asInt();
    return true;
}

// Zero-terminated text into a field of nSize bytes, cut to leave room for the terminator.
void putText(char* pField, int nSize, const std::string& strText)
{
    const size_t nLen = qMin(strText.size(), size_t(nSize - 1));
    std::memcpy(pField, strText.data(), nLen);
    pField[nLen] = 0;
}

void putInt(char* pAt, qint32 nValue)
{
    const auto u = quint32(nValue);
    for (int i = 0; i < 4; ++i)
        pAt[i] = char(u >> (8 * i));
}

} // namespace

const char* configJsonName(int nIndex)
{
    return nIndex >= 0 && nIndex < 4 ? kNames[nIndex] : "";
}

bool utf8ToLocal8Bit(char* pMb, const char* pUtf8, int nUtf8Len)
{
    if (!pMb || !pUtf8 || nUtf8Len < 0)
        return false;
    QStringDecoder decoder(QStringConverter::Utf8);
    const QString strText = decoder(QByteArrayView(pUtf8, nUtf8Len));
    if (decoder.hasError())
        return false;
    QStringEncoder encoder(QStringConverter::System);
    const QByteArray baLocal = encoder(strText);
    if (encoder.hasError() || baLocal.size() > nUtf8Len)
        return false;
    std::memcpy(pMb, baLocal.constData(), size_t(baLocal.size()));
    pMb[baLocal.size()] = 0;
    return true;
}

long readVoiceTipReply(const QByteArray& baText, char* pList)
{
    using namespace VoiceTipList;
    Json::Value root;
    std::string strName, strSession;
    int nRet = 0;
    if (!parseJson(baText, root) || !root.isObject() || !memberString(root, "Name", strName) ||
        !memberInt(root, "Ret", nRet) || !memberString(root, "SessionID", strSession))
        return -1;
    putText(pList + kName, kConfigNameSize, strName);
    putInt(pList + kRet, nRet);
    putText(pList + kSessionId, kSessionIdSize, strSession);
    if (nRet != kJsonRetOk)
        return -nRet;
    const Json::Value& value = root[strName];
    const Json::Value& tips = value.isObject() ? value["VoiceTip"] : Json::Value::nullSingleton();
    if (!tips.isArray())
        return -1;
    const int nCount = qMin(int(tips.size()), kMaxEntries);
    putInt(pList + kCount, nCount);
    for (int i = 0; i < nCount; ++i) {
        const Json::Value& tip = tips[Json::ArrayIndex(i)];
        int nCode = 0;
        std::string strText;
        if (!tip.isObject() || !memberInt(tip, "VoiceEnum", nCode) || !memberString(tip, "VoiceText", strText))
            return -1;
        char* pEntry = pList + kEntries + kEntrySize * i;
        putInt(pEntry, nCode);
        putText(pEntry + 4, kTextSize, strText);
    }
    return 1;
}

long readVolumeReply(const QByteArray& baText, char* pVolume)
{
    using namespace VolumeRecord;
    Json::Value root;
    int nRet = 0;
    if (!parseJson(baText, root) || !root.isObject() || !memberInt(root, "Ret", nRet) || nRet != kJsonRetOk)
        return -1;
    const Json::Value& array = root[configJsonName(kConfigNameVolume)];
    if (!array.isArray() || array.empty() || !array[0].isObject())
        return -1;
    std::string strMode;
    int nLeft = 0, nRight = 0;
    if (!memberString(array[0], "AudioMode", strMode) || !memberInt(array[0], "LeftVolume", nLeft) ||
        !memberInt(array[0], "RightVolume", nRight))
        return -1;
    putText(pVolume + kAudioMode, kAudioModeSize, strMode);
    putInt(pVolume + kLeft, nLeft);
    putInt(pVolume + kRight, nRight);
    pVolume[kValid] = 1;
    return 1;
}

long getDevConfigJson(long lLoginID, int nNameIndex, int nChannel, char* pRecord, int nSize, int* pRetSize)
{
    if (nNameIndex != kConfigNameVoiceTip && nNameIndex != kConfigNameVolume)
        return 1;
    const int nNeeded = nNameIndex == kConfigNameVoiceTip ? VoiceTipList::kSize : VolumeRecord::kSize;
    if (!pRecord || nSize < nNeeded)
        return -1;
    QByteArray baReply(kJsonReplyBufferSize, 0);
    int nReplyLength = 0;
    const long nResult = sdkGetDevConfigJson(lLoginID, configJsonName(nNameIndex), kJsonGetCommand, nChannel,
                                             baReply.data(), int(baReply.size()), &nReplyLength, kJsonReadWaitMs);
    if (pRetSize)
        *pRetSize = nReplyLength;
    if (nNameIndex == kConfigNameVoiceTip) {
        if (nResult != 1)
            return nResult;
        // Voice texts are shown in the local encoding: the reply is converted before it is read.
        const int nLength = int(qstrnlen(baReply.constData(), kVoiceTipTextLimit));
        QByteArray baLocal(nLength + 1, 0);
        if (!utf8ToLocal8Bit(baLocal.data(), baReply.constData(), nLength))
            return -1;
        baLocal.truncate(int(qstrlen(baLocal.constData())));
        return readVoiceTipReply(baLocal, pRecord);
    }
    if (nResult < 0)
        return nResult;
    const long nRead =
        readVolumeReply(QByteArray(baReply.constData(), int(qstrnlen(baReply.constData(), baReply.size()))), pRecord);
    return nRead < 0 ? nRead : nResult;
}

QVector<CVoiceTip> voiceTipsOf(const QByteArray& baList)
{
    using namespace VoiceTipList;
    QVector<CVoiceTip> lstTips;
    if (baList.size() < kSize)
        return lstTips;
    const int nCount = qBound(0, recordInt(baList, kCount), kMaxEntries);
    for (int i = 0; i < nCount; ++i) {
        const int nEntry = kEntries + kEntrySize * i;
        lstTips.append({recordInt(baList, nEntry), recordText(baList, nEntry + 4, kTextSize)});
    }
    return lstTips;
}

QByteArray volumeJsonText(const QByteArray& baVolume)
{
    using namespace VolumeRecord;
    Json::Value entry(Json::objectValue);
    if (baVolume.size() >= kSize) {
        const char* pMode = baVolume.constData() + kAudioMode;
        entry["AudioMode"] = std::string(pMode, qstrnlen(pMode, kAudioModeSize));
        entry["LeftVolume"] = recordInt(baVolume, kLeft);
        entry["RightVolume"] = recordInt(baVolume, kRight);
    }
    Json::Value array(Json::arrayValue);
    array.append(entry);
    return QByteArray::fromStdString(Json::StyledWriter().write(array));
}
