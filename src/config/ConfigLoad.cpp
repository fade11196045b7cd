#include "ConfigLoad.h"

#include <netsdk/netsdk.h>

#include "ConfigRecords.h"
#include "EncodeLoad.h"

namespace {

// One get-configuration into nSize bytes at nOffset of baBuffer; the returned size is not used.
long readInto(long lLoginID, int nCommand, int nChannel, QByteArray& baBuffer, int nOffset, int nSize, int nWaitMs)
{
    unsigned long nReturned = 0;
    return sdkGetConfig(lLoginID, static_cast<unsigned long>(nCommand), nChannel, baBuffer.data() + nOffset,
                        static_cast<unsigned long>(nSize), &nReturned, nWaitMs);
}

long readWhole(long lLoginID, int nCommand, QByteArray& baBuffer, int nWaitMs = kPageReadWaitMs)
{
    return readInto(lLoginID, nCommand, -1, baBuffer, 0, int(baBuffer.size()), nWaitMs);
}

void loadCamera(long lLoginID, CPageData& data)
{
    using namespace CameraRecord;
    QByteArray& rec = data.baRecord;
    readWhole(lLoginID, FunctionRecord::kCommand, data.baFunctions);
    readInto(lLoginID, kAbilityCommand, -1, rec, kAbility, kAbilitySize, kPageReadWaitMs);
    data.nResult = readInto(lLoginID, kParamCommand, 0, rec, kParam, kParamSize, kPageReadWaitMs);
    if (data.nResult < 1)
        return;
    // The extended record holds the soft photo value and the no-red-face switch: it is read whenever
    // this device offers either. It goes back to the device only when it was read: a record left
    // cleared by a failed read would overwrite every extended setting with zeros.
    if (recordFlag(data.baFunctions, FunctionRecord::kSoftPhoto) || recordFlag(rec, kExtendedAbility)) {
        if (readInto(lLoginID, kExtendedCommand, 0, rec, kExtended, kExtendedSize, kPageReadWaitMs) >= 1)
            setRecordByte(rec, kExtendedFlag, 1);
    }
}

void loadNormal(long lLoginID, CPageData& data)
{
    using namespace NormalRecord;
    QByteArray baList(kListSize, 0);
    data.nSecondResult = readWhole(lLoginID, kListCommand, baList);
    if (data.nSecondResult >= 1) {
        const int nCount = qBound(0, recordInt(baList, kListCount), kListMaxNames);
        for (int i = 0; i < nCount; ++i)
            data.lstNames.append(recordText(baList, kListNames + kListNameSize * i, kListNameSize));
    }
    data.nResult = readWhole(lLoginID, kCommand, data.baRecord);
}

void loadMotion(long lLoginID, CPageData& data)
{
    using namespace MotionRecord;
    QByteArray& rec = data.baRecord;
    readWhole(lLoginID, FunctionRecord::kCommand, data.baFunctions);
    data.nResult = readInto(lLoginID, kMotionCommand, 0, rec, kMotion, kMotionSize, kPageReadWaitMs);
    if (data.nResult < 1)
        return;
    const bool bVoice = recordFlag(data.baFunctions, FunctionRecord::kVoiceTip);
    setRecordByte(rec, kVoiceTipFlag, bVoice ? 1 : 0);
    if (bVoice) {
        QByteArray baList(VoiceTipList::kSize, 0);
        data.nVoiceResult =
            getDevConfigJson(lLoginID, kConfigNameVoiceTip, -1, baList.data(), int(baList.size()), nullptr);
        if (data.nVoiceResult > 0)
            data.lstVoiceTips = voiceTipsOf(baList);
    }
    const bool bHumanoid = recordFlag(data.baFunctions, FunctionRecord::kHumanoid);
    setRecordByte(rec, kHumanoidFlag, bHumanoid ? 1 : 0);
    if (bHumanoid)
        data.nSecondResult = readInto(lLoginID, kHumanoidCommand, 0, rec, kHumanoid, kHumanoidSize, kPageReadWaitMs);
    const bool bVolume = recordFlag(data.baFunctions, FunctionRecord::kVolume);
    setRecordByte(rec, kVolume, bVolume ? 1 : 0);
    if (bVolume)
        data.nVolumeResult =
            getDevConfigJson(lLoginID, kConfigNameVolume, -1, rec.data() + kVolume, VolumeRecord::kSize, nullptr);
}

} // namespace

CPageData loadPageData(int nType, long lLoginID)
{
    CPageData data;
    data.nType = nType;
    data.lLoginID = lLoginID;
    if (nType == kPageEncode && lLoginID >= 0) {
        data.bLoaded = true;
        loadEncodeData(lLoginID, data);
        return data;
    }
    if (lLoginID <= 0 || nType < kFirstConfigPage || nType >= kPageEncode)
        return data;
    data.bLoaded = true;
    data.baRecord = QByteArray(configRecordSize(nType), 0);
    data.baFunctions = QByteArray(FunctionRecord::kSize, 0);
    switch (nType) {
    case kPageNtp:
        data.nResult = readWhole(lLoginID, NtpRecord::kCommand, data.baRecord);
        break;
    case kPageCloud:
        data.nResult = readWhole(lLoginID, CloudRecord::kCommand, data.baRecord);
        break;
    case kPagePms:
        data.nResult = readWhole(lLoginID, PmsRecord::kCommand, data.baRecord);
        break;
    case kPageTcp:
        data.nResult = readInto(lLoginID, TcpRecord::kDhcpCommand, -1, data.baRecord, TcpRecord::kDhcp,
                                TcpRecord::kDhcpSize, kTcpReadWaitMs);
        data.nSecondResult =
            readInto(lLoginID, TcpRecord::kAdaptiveCommand, -1, data.baRecord, TcpRecord::kAdaptive, 1, kTcpReadWaitMs);
        break;
    case kPageCamera:
        loadCamera(lLoginID, data);
        break;
    case kPageNormal:
        loadNormal(lLoginID, data);
        break;
    case kPageMotion:
        loadMotion(lLoginID, data);
        break;
    default:
        break;
    }
    return data;
}
