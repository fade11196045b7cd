#include "CConfigApplier.h"

#include <QCoreApplication>

#include <netsdk/netsdk.h>

#include "batch/BatchTexts.h"
#include "config/ConfigJson.h"
#include "config/ConfigRecords.h"
#include "config/EncodeLoad.h"

namespace {

const char* const kContext = "CVantrel";

// Pages in the order they are written.
const int kApplyOrder[] = {kPageNtp,    kPageCloud,  kPagePms,    kPageTcp,
                           kPageCamera, kPageEncode, kPageMotion, kPageNormal};

enum class Judge
{
    AboveZero,   ///< a result below 1 is a failure
    NotNegative, ///< only a result below 0 is a failure (the camera page)
};

/// One device's run: the reboot request and the failure that ended it.
struct CRun
{
    long lLoginID = 0;
    QByteArray baVersion;
    bool bNeedReboot = false;
    const char* szFailure = nullptr;

    /// Judges one write's result; -11401 is an accepted write that needs a reboot.
    bool judge(long nRet, Judge judge, const char* szFailureText)
    {
        if (nRet == SDK_ERR_NEED_REBOOT) {
            bNeedReboot = true;
            return true;
        }
        if (judge == Judge::AboveZero ? nRet < 1 : nRet < 0) {
            szFailure = szFailureText;
            return false;
        }
        return true;
    }

    long write(int nCommand, int nChannel, const QByteArray& baRecord, int nOffset, int nSize,
               int nWaitMs = CConfigApplier::kWriteWaitMs) const
    {
        QByteArray baPart = baRecord.mid(nOffset, nSize);
        return sdkSetConfig(lLoginID, static_cast<unsigned long>(nCommand), nChannel, baPart.data(),
                            static_cast<unsigned long>(baPart.size()), nWaitMs);
    }

    bool writeWhole(int nCommand, const QByteArray& baRecord, const char* szFailureText)
    {
        return judge(write(nCommand, -1, baRecord, 0, int(baRecord.size())), Judge::AboveZero, szFailureText);
    }

    bool writeTcp(const QByteArray& rec)
    {
        using namespace TcpRecord;
        return judge(write(kDhcpCommand, -1, rec, kDhcp, kDhcpSize), Judge::AboveZero,
                     QT_TRANSLATE_NOOP("CVantrel", "Set DHCP Failed")) &&
               judge(write(kAdaptiveCommand, -1, rec, kAdaptive, 1), Judge::AboveZero,
                     QT_TRANSLATE_NOOP("CVantrel", "Set IpAdaptive Failed"));
    }

    bool writeCamera(const QByteArray& rec)
    {
        using namespace CameraRecord;
        long nRet = write(kParamCommand, 0, rec, kParam, kParamSize);
        // The extended record follows an accepted parameter write: one that the device applies after
        // a reboot is accepted too, and skipping the extended record then would drop its settings.
        const bool bAccepted = nRet > 0 || nRet == SDK_ERR_NEED_REBOOT;
        if (bAccepted && recordFlag(rec, kExtendedFlag)) {
            if (nRet == SDK_ERR_NEED_REBOOT)
                bNeedReboot = true;
            nRet = write(kExtendedCommand, 0, rec, kExtended, kExtendedSize);
        }
        return judge(nRet, Judge::NotNegative, QT_TRANSLATE_NOOP("CVantrel", "Set Camera Failed"));
    }

    bool writeMotion(const QByteArray& rec)
    {
        using namespace MotionRecord;
        if (recordFlag(rec, kHumanoidFlag) &&
            !judge(write(kHumanoidCommand, 0, rec, kHumanoid, kHumanoidSize), Judge::AboveZero,
                   QT_TRANSLATE_NOOP("CVantrel", "Set HumanDetection Failed")))
            return false;
        if (!judge(write(kMotionCommand, 0, rec, kMotion, kMotionSize), Judge::AboveZero,
                   QT_TRANSLATE_NOOP("CVantrel", "Set MOTION Failed")))
            return false;
        if (!recordFlag(rec, kVolume))
            return true;
        const QByteArray baText = volumeJsonText(rec.mid(kVolume, VolumeRecord::kSize));
        const long nRet = sdkSetDevConfigJson(lLoginID, configJsonName(kConfigNameVolume), kJsonSetCommand, -1,
                                              baText.constData(), int(baText.size()), CConfigApplier::kVolumeWaitMs);
        return judge(nRet, Judge::AboveZero, QT_TRANSLATE_NOOP("CVantrel", "Set Volume Failed"));
    }

    /// The encode page: per-channel entries, stream formats by firmware, profiles, smart encoding and
    /// the digital channels' stream tables. Every write is judged: a failed channel is not hidden by
    /// a later one that succeeds.
    bool writeEncode(const QByteArray& rec)
    {
        using namespace EncodeRecord;
        const char* szFailed = QT_TRANSLATE_NOOP("CVantrel", "Set Encode Failed");
        const int nAnalog = qBound(0, recordInt(rec, kAnalogChannels), kChannels);
        const int nDigital = qBound(0, recordInt(rec, kDigitalChannels), kChannels);
        if (recordFlag(rec, kPerChannelEntries)) {
            for (int c = 0; c < nAnalog; ++c) {
                if (!judge(write(kEntriesCommand, c, rec, kEntries + kEntrySize * c, kEntrySize,
                                 CConfigApplier::kEntryWaitMs),
                           Judge::NotNegative, szFailed))
                    return false;
            }
        }
        bool bDigitalTables = false;
        for (int i = 0; i < nDigital && !bDigitalTables; ++i)
            bDigitalTables = digitalChannelTakesTable(rec, i) &&
                             rec.at(kDigitalAbility + kDigitalAbilitySize * i + DigitalAbility::kConnected) == 1;
        // Stream formats, by the same version rule the encode page read them with.
        const bool bNew = isNewEncodeFirmware(baVersion);
        for (int c = 0; c < nAnalog; ++c) {
            const int nEntry = kEntries + kEntrySize * c;
            long nRet = 0;
            if (bNew) {
                QByteArray baSimple =
                    rec.mid(nEntry + kMainBlock, kSimpleBlock) + rec.mid(nEntry + kExtraBlock, kSimpleBlock);
                nRet = sdkSetConfig(lLoginID, kSimpleCommand, c, baSimple.data(), kTableEntry,
                                    CConfigApplier::kEncodeWriteWaitMs);
            } else {
                nRet = write(kEntriesCommand, c, rec, nEntry, kEntrySize, CConfigApplier::kEncodeWriteWaitMs);
            }
            if (!judge(nRet, Judge::AboveZero, szFailed))
                return false;
        }
        if (recordFlag(rec, kProfileRecord) &&
            !judge(write(kProfileCommand, -1, rec, kProfiles, kProfilesSize, CConfigApplier::kEncodeWriteWaitMs),
                   Judge::AboveZero, szFailed))
            return false;
        long nSmart = 1;
        if (recordFlag(rec, kSmartPerStream))
            nSmart =
                write(kSmartStreamCommand, 0, rec, kSmartStreams, kSmartStreamSize, CConfigApplier::kEncodeWriteWaitMs);
        else if (recordFlag(rec, kAbilityJson) && recordFlag(rec, kSmartChannel))
            nSmart = write(kSmartSwitchCommand, 0, rec, kSmartSwitches, 1, CConfigApplier::kEncodeWriteWaitMs);
        else if (!recordFlag(rec, kAbilityJson) && recordFlag(rec, kSmartChannel) && nAnalog > 0)
            nSmart = write(kSmartSwitchCommand, -1, rec, kSmartSwitches, kSmartSwitchesSize,
                           CConfigApplier::kEncodeWriteWaitMs);
        if (!judge(nSmart, Judge::AboveZero, szFailed))
            return false;
        for (int i = 0; i < nDigital && bDigitalTables; ++i) {
            // A channel whose counters point outside its records has no table entry to fill.
            const int s = digitalTableEntry(rec, i);
            if (s < 0 || recordInt(rec, kDigitalAbility + kDigitalAbilitySize * i + DigitalAbility::kTakesTable) == 0)
                continue;
            QByteArray baTable = rec.mid(kDigitalTables + kTableSize * i, kTableSize);
            const int nStreams = kDigitalEntries + kEntriesSize * i + kEntrySize * s;
            baTable.replace(kTableEntry * s, kSimpleBlock, rec.constData() + nStreams + kMainBlock, kSimpleBlock);
            baTable.replace(kTableEntry * s + kSimpleBlock, kSimpleBlock, rec.constData() + nStreams + kExtraBlock,
                            kSimpleBlock);
            if (!judge(sdkSetConfig(lLoginID, kDigitalTableCommand, i, baTable.data(), kTableSize,
                                    CConfigApplier::kEncodeWriteWaitMs),
                       Judge::AboveZero, szFailed))
                return false;
        }
        return true;
    }

    /// Writes one page; false when a write failed (szFailure tells which).
    bool writePage(int nType, const QByteArray& rec)
    {
        switch (nType) {
        case kPageNtp:
            return writeWhole(NtpRecord::kCommand, rec, QT_TRANSLATE_NOOP("CVantrel", "Set Ntp Failed"));
        case kPageCloud:
            return writeWhole(CloudRecord::kCommand, rec, QT_TRANSLATE_NOOP("CVantrel", "Set NetCloud Failed"));
        case kPagePms:
            return writeWhole(PmsRecord::kCommand, rec, QT_TRANSLATE_NOOP("CVantrel", "Set NetPMS Failed"));
        case kPageTcp:
            return writeTcp(rec);
        case kPageCamera:
            return writeCamera(rec);
        case kPageMotion:
            return writeMotion(rec);
        case kPageNormal:
            return writeWhole(NormalRecord::kCommand, rec, QT_TRANSLATE_NOOP("CVantrel", "Set Normal Failed"));
        case kPageEncode:
            return writeEncode(rec);
        default:
            return true;
        }
    }
};

} // namespace

QString CConfigApplier::successText()
{
    return QCoreApplication::translate("CVantrel", "Modify Config Success");
}

QString CConfigApplier::needRebootText()
{
    return QCoreApplication::translate("CVantrel", "Need Reboot");
}

CConfigApplier::Result CConfigApplier::apply(long lLoginID, const QByteArray& baVersion,
                                             const CConfigSnapshot& snapshot)
{
    CRun run;
    run.lLoginID = lLoginID;
    run.baVersion = baVersion;
    Result result;
    for (int nType : kApplyOrder) {
        const auto it = snapshot.constFind(nType);
        if (it == snapshot.constEnd() || it->size() != configRecordSize(nType))
            continue;
        if (!run.writePage(nType, *it)) {
            result.strStatus = QCoreApplication::translate(kContext, run.szFailure);
            result.bFailed = true;
            return result;
        }
    }
    if (!run.bNeedReboot) {
        result.strStatus = successText();
        return result;
    }
    result.strStatus = needRebootText();
    // The reboot's own result is not judged: the row keeps "Need Reboot".
    sdkControlDevice(lLoginID, 0, kRebootWaitMs);
    result.bLoggedIn = false;
    return result;
}
