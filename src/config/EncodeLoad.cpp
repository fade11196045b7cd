#include "EncodeLoad.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include <json/json.h>
#include <netsdk/netsdk.h>

#include "config/ConfigJson.h"
#include "config/ConfigLoad.h"
#include "config/ConfigRecords.h"
#include "config/EncodeCapability.h"

namespace {

using namespace EncodeRecord;

// The digital-channel encode record is large; it gets more time than the others.
constexpr int kLargeReadWaitMs = 5000;

long readInto(long lLoginID, int nCommand, int nChannel, QByteArray& baBuffer, int nOffset, int nSize,
              int nWaitMs = kEncodeReadWaitMs)
{
    unsigned long nReturned = 0;
    return sdkGetConfig(lLoginID, static_cast<unsigned long>(nCommand), nChannel, baBuffer.data() + nOffset,
                        static_cast<unsigned long>(nSize), &nReturned, nWaitMs);
}

void copyBytes(QByteArray& rec, int nTo, int nFrom, int nSize)
{
    std::memmove(rec.data() + nTo, rec.constData() + nFrom, size_t(nSize));
}

void putText(char* pField, size_t nSize, const std::string& strText)
{
    const size_t nLen = qMin(strText.size(), nSize - 1);
    std::memcpy(pField, strText.data(), nLen);
    pField[nLen] = 0;
}

// The 19356-byte entry of digital channel i in the encode record; its current sub-entry (0-based),
// or -1 when the counter points outside the entry.
int currentSubEntry(const QByteArray& rec, int nChannel)
{
    const int nEntry = kDigitalEncode + kDigitalEncodeEntry * nChannel;
    const int k = recordInt(rec, nEntry + kDigitalCurrentSub) - 1;
    const int nLast = (kDigitalEncodeEntry - kDigitalTableEntry - 4) / kDigitalSubEntry;
    return k >= 0 && k <= nLast ? k : -1;
}

} // namespace

bool isNewEncodeFirmware(const QByteArray& baVersion)
{
    const QByteArray baText(baVersion.constData(), int(qstrnlen(baVersion.constData(), baVersion.size())));
    return baText >= QByteArray(kSimpleEncodeVersion);
}

bool hasProfileRecord(int nYear, int nMonth, int nDay)
{
    char szDate[48];
    std::snprintf(szDate, sizeof szDate, "%04d%02d%02d", nYear, nMonth, nDay);
    return std::strcmp(szDate, "20120710") > 0;
}

long readChannelAbilityReply(const QByteArray& baText, CChannelAbility* pAbility)
{
    Json::CharReaderBuilder builder;
    builder["collectComments"] = true;
    const std::unique_ptr<Json::CharReader> pReader(builder.newCharReader());
    Json::Value root;
    std::string strErrors;
    if (!pReader->parse(baText.constData(), baText.constData() + baText.size(), &root, &strErrors) || !root.isObject())
        return -1;
    const Json::Value& name = root["Name"];
    const Json::Value& ret = root["Ret"];
    const Json::Value& session = root["SessionID"];
    if (!name.isString() || !ret.isInt() || !(session.isString() || session.isNull()))
        return -1;
    putText(pAbility->szName, sizeof pAbility->szName, name.asString());
    pAbility->nRet = ret.asInt();
    putText(pAbility->szSessionId, sizeof pAbility->szSessionId, session.isString() ? session.asString() : "");
    if (pAbility->nRet != kJsonRetOk)
        return -pAbility->nRet;
    const Json::Value& flags = root[name.asString()];
    if (!flags.isArray())
        return -1;
    const int nCount = qMin(int(flags.size()), int(sizeof pAbility->abFlags));
    for (int i = 0; i < nCount; ++i) {
        const Json::Value& e = flags[Json::ArrayIndex(i)];
        pAbility->abFlags[i] = e.isInt() && e.asInt() == 1;
    }
    return 1;
}

long getChannelAbilityJson(long lLoginID, int nNameIndex, int nChannel, CChannelAbility* pAbility)
{
    if (nNameIndex != kConfigNameSmartH264 && nNameIndex != kConfigNameSmartH264V2)
        return 1;
    if (!pAbility)
        return -1;
    QByteArray baReply(kJsonReplyBufferSize, 0);
    int nLength = 0;
    const long nResult = sdkGetChannelAbilityJson(lLoginID, configJsonName(nNameIndex), nChannel, baReply.data(),
                                                  int(baReply.size()), &nLength, kAbilityQueryWaitMs);
    if (nResult != 1)
        return nResult;
    return readChannelAbilityReply(QByteArray(baReply.constData(), int(qstrnlen(baReply.constData(), baReply.size()))),
                                   pAbility);
}

int digitalTableEntry(const QByteArray& rec, int nChannel)
{
    const int k = currentSubEntry(rec, nChannel);
    if (k < 0)
        return -1;
    const int s =
        recordInt(rec, kDigitalEncode + kDigitalEncodeEntry * nChannel + kDigitalSubEntry * k + kDigitalTableEntry);
    return s >= 0 && s < kTableSize / kTableEntry ? s : -1;
}

bool digitalChannelTakesTable(const QByteArray& rec, int nChannel)
{
    if (nChannel < 0 || nChannel >= kChannels)
        return false;
    const int nEntry = kDigitalEncode + kDigitalEncodeEntry * nChannel;
    const int k = currentSubEntry(rec, nChannel);
    return k >= 0 &&
           recordText(rec, kDigitalConfig + kDigitalConfigEntry * nChannel + kDigitalState, kDigitalStateSize) ==
               QLatin1String("Connected") &&
           recordInt(rec, nEntry + kDigitalOwnSettings) == 0 &&
           recordInt(rec, nEntry + kDigitalSubEntry * k + kDigitalSingleStream) != 1;
}

void loadEncodeData(long lLoginID, CPageData& data)
{
    data.baRecord = QByteArray(kSize, 0);
    data.baFunctions = QByteArray(FunctionRecord::kSize, 0);
    data.baSystemInfo = QByteArray(SystemInfoRecord::kSize, 0);
    QByteArray& rec = data.baRecord;
    const QByteArray& fn = data.baFunctions;
    const QByteArray& info = data.baSystemInfo;
    readInto(lLoginID, FunctionRecord::kCommand, -1, data.baFunctions, 0, FunctionRecord::kSize);
    readInto(lLoginID, SystemInfoRecord::kCommand, -1, data.baSystemInfo, 0, SystemInfoRecord::kSize);

    // Counts from the device, bounded by the 64 entries every per-channel record has.
    const int nAnalog = qBound(0, recordInt(info, SystemInfoRecord::kAnalogChannels), kChannels);
    const int nDigital = qBound(0, recordInt(info, SystemInfoRecord::kDigitalChannels), kChannels);
    setRecordInt(rec, kAnalogChannels, nAnalog);
    setRecordInt(rec, kDigitalChannels, nDigital);
    auto copyFlag = [&](int nHeader, int nFunction) { setRecordByte(rec, nHeader, recordFlag(fn, nFunction) ? 1 : 0); };
    copyFlag(kDigitalRecords, FunctionRecord::kDigitalRecords);
    copyFlag(kPerChannelEntries, FunctionRecord::kPerChannelEncode);
    copyFlag(kExtraLoadCounts, FunctionRecord::kExtraLoadCounts);
    copyFlag(kBitRateSet2, FunctionRecord::kBitRateSet2);
    copyFlag(kBitRateSet3, FunctionRecord::kBitRateSet3);
    copyFlag(kAbilityJson, FunctionRecord::kAbilityJson);
    copyFlag(kSmartChannel, FunctionRecord::kSmartPerChannel);
    copyFlag(kSmartPerStream, FunctionRecord::kSmartPerStream);

    // Smart-encoding abilities: the masks of command 326, or the JSON ability query.
    if (recordFlag(rec, kSmartPerStream))
        readInto(lLoginID, kSmartMaskCommand, -1, rec, kSmartMasks, kSmartMasksSize);
    CChannelAbility smart, smartV2;
    if (!recordFlag(rec, kAbilityJson) && recordFlag(rec, kSmartPerStream)) {
        setRecordByte(rec, kSmartChannel, recordInt(rec, kSmartMasks) & 1);
        setRecordByte(rec, kSmartPerStream, recordInt(rec, kSmartMasks + 8) & 1);
    }
    if (recordFlag(rec, kAbilityJson)) {
        getChannelAbilityJson(lLoginID, kConfigNameSmartH264, -1, &smart);
        getChannelAbilityJson(lLoginID, kConfigNameSmartH264V2, -1, &smartV2);
        setRecordByte(rec, kSmartChannel, smart.abFlags[0] ? 1 : 0);
        setRecordByte(rec, kSmartPerStream, smartV2.abFlags[0] ? 1 : 0);
    }

    if (nDigital > 0 && recordFlag(rec, kDigitalRecords)) {
        readInto(lLoginID, kDigitalConfigCommand, -1, rec, kDigitalConfig, kDigitalConfigSize);
        readInto(lLoginID, kDigitalEncodeCommand, -1, rec, kDigitalEncode, kDigitalEncodeSize, kLargeReadWaitMs);
    }

    // Stream formats: the simplified entries of new firmware, else the per-channel entries. Either is
    // what the page shows and hands back: without it nothing may be written.
    const QByteArray baVersion = info.left(SystemInfoRecord::kVersionSize);
    if (!recordFlag(rec, kPerChannelEntries) || nAnalog == 0)
        setRecordByte(rec, kNewFirmware, isNewEncodeFirmware(baVersion) ? 1 : 0);
    if ((!recordFlag(rec, kPerChannelEntries) || nAnalog == 0) && nAnalog > 0 && recordFlag(rec, kNewFirmware)) {
        data.nResult = readInto(lLoginID, kSimpleCommand, -1, rec, kSimpleEntries, kTableSize);
        if (data.nResult < 1)
            return;
        for (int c = 0; c < nAnalog; ++c) {
            const int nEntry = kEntries + kEntrySize * c;
            copyBytes(rec, nEntry + kMainBlock, kSimpleEntries + kTableEntry * c, kSimpleBlock);
            copyBytes(rec, nEntry + kExtraBlock, kSimpleEntries + kTableEntry * c + kSimpleBlock, kSimpleBlock);
        }
    } else {
        data.nResult = readInto(lLoginID, kEntriesCommand, -1, rec, kEntries, kEntriesSize);
        if (data.nResult < 1)
            return;
    }

    readInto(lLoginID, kGeneralCommand, -1, rec, kGeneral, kGeneralSize);
    setRecordByte(rec, kProfileRecord,
                  hasProfileRecord(recordInt(info, SystemInfoRecord::kBuildYear),
                                   recordInt(info, SystemInfoRecord::kBuildMonth),
                                   recordInt(info, SystemInfoRecord::kBuildDay))
                      ? 1
                      : 0);
    if (recordFlag(rec, kProfileRecord))
        readInto(lLoginID, kProfileCommand, -1, rec, kProfiles, kProfilesSize);
    if (nAnalog > 0) {
        readInto(lLoginID, kAbilityCommand, 0, rec, kAbility, kAbilitySize);
        if (recordInt(rec, kAbility + EncodeAbility::kBitRateBudget) == 0)
            setRecordInt(rec, kAbility + EncodeAbility::kBitRateBudget, Encode::kDefaultBitRateBudget);
        setRecordInt(rec, kProfileMask, recordInt(rec, kAbility + EncodeAbility::kProfileMask) & 7);
    }

    // A recorder without analogue channels: channel 0 is its first digital channel, whose current
    // stream the page shows and hands back.
    bool bQualifies = false;
    for (int i = 0; i < nDigital && nAnalog == 0 && !bQualifies; ++i)
        bQualifies = digitalChannelTakesTable(rec, i);
    if (bQualifies) {
        readInto(lLoginID, kDigitalAbilityCommand, 0, rec, kDigitalAbility, kDigitalAbilitySize);
        data.nResult = readInto(lLoginID, kDigitalTableCommand, 0, rec, kDigitalTables, kTableSize);
        if (data.nResult < 1)
            return;
        const int s = digitalTableEntry(rec, 0);
        if (s >= 0) {
            const int nTable = kDigitalTables + kTableEntry * s;
            const int nEntry = kDigitalEntries + kEntrySize * s;
            copyBytes(rec, nEntry + kMainBlock, nTable, kSimpleBlock);
            copyBytes(rec, nEntry + kExtraBlock, nTable + kSimpleBlock, kSimpleBlock);
            copyBytes(rec, kEntries + kMainBlock, nTable, kSimpleBlock);
            copyBytes(rec, kEntries + kExtraBlock, nTable + kSimpleBlock, kSimpleBlock);
            setRecordByte(rec, kDigitalStream, 1);
        }
    }

    // Smart-encoding settings: without them the page's smart boxes would write cleared records.
    if (recordFlag(rec, kSmartPerStream))
        data.nResult = readInto(lLoginID, kSmartStreamCommand, 0, rec, kSmartStreams, kSmartStreamSize);
    else if (recordFlag(rec, kAbilityJson) && smart.abFlags[0])
        data.nResult = readInto(lLoginID, kSmartSwitchCommand, 0, rec, kSmartSwitches, 1);
    else if (recordFlag(rec, kSmartChannel) && nAnalog > 0)
        data.nResult = readInto(lLoginID, kSmartSwitchCommand, -1, rec, kSmartSwitches, kSmartSwitchesSize);
    if (data.nResult < 1)
        return;

    for (int nStream = 0; nStream < 3; ++nStream)
        setRecordByte(rec, kH265Main + nStream, recordInt(rec, kEntries + 132 * nStream) == Encode::kH265 ? 1 : 0);
    CEncodeModel model;
    model.initResolutionTable(recordInt(rec, kVideoStandard));
    model.workOutAllowed(rec);
}
