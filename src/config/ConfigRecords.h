#pragma once

#include <QByteArray>
#include <QString>

/// The configuration pages' byte records: page codes, sizes and the places of the fields the pages
/// show. Records are laid out as the device keeps them; a page writes only its own fields and hands
/// every other byte back as the device sent it. Integers are 32-bit little-endian.

/// Page type codes. Every loop over the pages runs from kFirstConfigPage to kLastConfigPage.
enum EConfigPage
{
    kPageNtp = 7,
    kPageCloud = 8,
    kPagePms = 9,
    kPageTcp = 10,
    kPageMotion = 11,
    kPageNormal = 12,
    kPageCamera = 13,
    kPageEncode = 14,
};
constexpr int kFirstConfigPage = kPageNtp;
constexpr int kLastConfigPage = kPageEncode;

/// Record size of a page (what getConfig demands exactly); 0 for a code outside 7..14.
int configRecordSize(int nType);

/// System-function ability record (command 9), read by the camera and motion pages.
namespace FunctionRecord {
constexpr int kCommand = 9;
constexpr int kSize = 222;
constexpr int kExtraLoadCounts = 0; ///< the extra stream's load counts against the main stream's power
constexpr int kBitRateSet2 = 5;
constexpr int kSmartPerChannel = 6; ///< smart encoding, one switch per channel (command 249)
constexpr int kSmartPerStream = 9;  ///< smart encoding per stream (commands 325, 326)
constexpr int kAbilityJson = 11;    ///< smart-encoding abilities from the JSON ability query
constexpr int kHumanoid = 34;       ///< humanoid detection; also the "IntellMotionDetect" mode
constexpr int kLicensePlateMode = 178;
constexpr int kAlarmSound = 188;
constexpr int kSoftPhoto = 192; ///< soft photo slider, "WarmLight" and "IntelligentInfrared"
constexpr int kVoiceTip = 203;
constexpr int kVolume = 205;
constexpr int kNoClassicModes = 216;   ///< no "Star IR", "Full Color", "BlackAndWhiteMode"
constexpr int kDigitalRecords = 147;   ///< digital-channel records (102, 79, 172, 173)
constexpr int kPerChannelEncode = 149; ///< encode entries through command 19 rather than 68
constexpr int kBitRateSet3 = 164;
constexpr int kH265X = 198; ///< compression code 7 is named "H.265X"
} // namespace FunctionRecord

/// System information record (command 17).
namespace SystemInfoRecord {
constexpr int kCommand = 17;
constexpr int kSize = 832;
constexpr int kVersion = 0; ///< software version text
constexpr int kVersionSize = 64;
constexpr int kBuildYear = 240;
constexpr int kBuildMonth = 244;
constexpr int kBuildDay = 248;
constexpr int kAnalogChannels = 288;
constexpr int kDigitalChannels = 324;
constexpr int kProfileField = 332; ///< 2: the three fixed profiles
} // namespace SystemInfoRecord

namespace NtpRecord {
constexpr int kCommand = 41;
constexpr int kSize = 216;
constexpr int kEnable = 0;
constexpr int kServer = 4;
constexpr int kServerSize = 68; ///< up to the port
constexpr int kPort = 72;
constexpr int kPeriod = 208; ///< minutes
constexpr int kTimeZone = 212;
constexpr int kTimeZoneCustom = 13; ///< what "Custom" writes into the time-zone field
constexpr int kTimeZoneAuto = 14;   ///< what "Auto Select Server" writes
} // namespace NtpRecord

namespace CloudRecord {
constexpr int kCommand = 122;
constexpr int kSize = 84;
constexpr int kEnable = 0;
constexpr int kMtu = 4;
} // namespace CloudRecord

namespace PmsRecord {
constexpr int kCommand = 138;
constexpr int kSize = 224;
constexpr int kEnable = 0;
} // namespace PmsRecord

/// Byte 0 is the IP adaptive record (command 274, 1 byte), bytes 1..165 the address-assignment
/// record (command 37), whose first byte is the DHCP switch.
namespace TcpRecord {
constexpr int kSize = 166;
constexpr int kAdaptiveCommand = 274;
constexpr int kDhcpCommand = 37;
constexpr int kAdaptive = 0;
constexpr int kDhcp = 1;
constexpr int kDhcpSize = 165;
} // namespace TcpRecord

/// The camera page's record: a flag byte, the camera ability record (95), the camera parameter record
/// (94) and the extended camera parameter record (145) side by side.
namespace CameraRecord {
constexpr int kSize = 528;
constexpr int kExtendedFlag = 0; ///< 1: the extended record was read and goes back to the device
constexpr int kAbilityCommand = 95;
constexpr int kAbility = 4;
constexpr int kAbilitySize = 176;
constexpr int kParamCommand = 94;
constexpr int kParam = 180;
constexpr int kParamSize = 84;
constexpr int kExtendedCommand = 145;
constexpr int kExtended = 264;
constexpr int kExtendedSize = 264;
constexpr int kIntellMotionAbility = 149; ///< ability byte 145
constexpr int kExtendedAbility = 150;     ///< ability byte 146: extended parameters, no-red-face switch
constexpr int kSceneMode = 180;
constexpr int kDayNightMode = 184;
constexpr int kAutoIris = 192;
constexpr int kBacklight = 196;
constexpr int kFlip = 220;
constexpr int kMirror = 224;
constexpr int kAntiFlashing = 228;
constexpr int kDncThreshold = 240;
constexpr int kDayNtLevel = 248;
constexpr int kNightNtLevel = 252;
constexpr int kIrSwap = 256;
constexpr int kNoRedFace = 304;
constexpr int kSoftPhoto = 312;
} // namespace CameraRecord

namespace NormalRecord {
constexpr int kCommand = 18;
constexpr int kSize = 192;
constexpr int kVideoStandard = 116;
constexpr int kListCommand = 64; ///< the video standards the device offers
constexpr int kListSize = 196;
constexpr int kListCount = 0;
constexpr int kListNames = 4;
constexpr int kListNameSize = 16;
constexpr int kListMaxNames = 12;
} // namespace NormalRecord

/// The motion page's record: two ability flags, the humanoid detection record (302), the motion
/// detection record (24) and the volume record read in JSON.
namespace MotionRecord {
constexpr int kSize = 3800;
constexpr int kVoiceTipFlag = 0;
constexpr int kHumanoidFlag = 1;
constexpr int kHumanoidCommand = 302;
constexpr int kHumanoid = 4; ///< its byte 0: humanoid detection on
constexpr int kHumanoidSize = 1056;
constexpr int kMotionCommand = 24;
constexpr int kMotion = 1060; ///< its byte 0: motion detection on
constexpr int kMotionSize = 2696;
constexpr int kPhoneReport = 3543;
constexpr int kAlarmSound = 3545;
constexpr int kAlarmInterval = 3744; ///< seconds
constexpr int kSoundType = 3748;     ///< a voice-tip code
constexpr int kVolume = 3756;        ///< the 44-byte volume record; its byte 0: volume valid
constexpr int kAudioMode = 3760;
constexpr int kAudioModeSize = 32;
constexpr int kLeftVolume = 3792;
constexpr int kRightVolume = 3796;
} // namespace MotionRecord

/// The encode page's record: flags and counts, then the device's encode records side by side, then
/// the lists the encode power model derives. Channel 0 is the channel the page edits.
namespace EncodeRecord {
constexpr int kSize = 3914428;
// Header bytes.
constexpr int kDigitalRecords = 0;    ///< function byte 147: the digital-channel records were read
constexpr int kPerChannelEntries = 1; ///< function byte 149: entries through command 19, not 68
constexpr int kNewFirmware = 2;       ///< software version V2.62.R07 or later: the simplified entries (68)
constexpr int kProfileRecord = 3;     ///< built after 20120710: the profile record (117) is read and written
constexpr int kExtraLoadCounts = 4;   ///< function byte 0
constexpr int kBitRateSet2 = 5;       ///< function byte 5
constexpr int kBitRateSet3 = 6;       ///< function byte 164
constexpr int kH265Main = 7;          ///< per stream (main, extra, third): H.265
constexpr int kH265Extra = 8;
constexpr int kH265Third = 9;
constexpr int kSmartChannel = 10;   ///< smart encoding on channel 0, one setting for both streams
constexpr int kSmartPerStream = 11; ///< smart encoding per stream on channel 0
constexpr int kAbilityJson = 12;    ///< function byte 11
constexpr int kDigitalStream = 13;  ///< no analogue channel: channel 0 shows digital channel 0's current stream
constexpr int kAnalogChannels = 16;
constexpr int kDigitalChannels = 20;
constexpr int kMainFrameRates = 24; ///< frame rates offered, "1" to this
constexpr int kExtraFrameRates = 28;
// Device records.
constexpr int kDigitalConfigCommand = 102;
constexpr int kDigitalConfig = 32;
constexpr int kDigitalConfigSize = 13696;
constexpr int kDigitalConfigEntry = 214;
constexpr int kDigitalState = 164; ///< in an entry: "Connected"
constexpr int kDigitalStateSize = 50;
constexpr int kDigitalEncodeCommand = 79;
constexpr int kDigitalEncode = 13728;
constexpr int kDigitalEncodeSize = 1238784;
constexpr int kDigitalEncodeEntry = 19356;
constexpr int kDigitalOwnSettings = 4; ///< in an entry: the remote camera's own settings rule
constexpr int kDigitalCurrentSub = 12; ///< in an entry: the current 604-byte sub-entry, 1-based
constexpr int kDigitalSubEntry = 604;
constexpr int kDigitalSingleStream = 280; ///< in a sub-entry: 1 = the remote camera streams once
constexpr int kDigitalTableEntry = 288;   ///< in a sub-entry: the stream table entry in use
constexpr int kEntriesCommand = 19;
constexpr int kEntries = 1252512;
constexpr int kEntriesSize = 25344;
constexpr int kEntrySize = 396;
constexpr int kMainBlock = 0;
constexpr int kExtraBlock = 132;
constexpr int kThirdBlock = 264;
constexpr int kBlockVideo = 40;          ///< in a stream block: video on
constexpr int kBlockAudio = 41;          ///< in a stream block: audio on
constexpr int kDigitalEntries = 1277856; ///< per digital channel, 64 entries of 396 bytes
constexpr int kGeneralCommand = 18;
constexpr int kGeneral = 2899872;
constexpr int kGeneralSize = 192;
constexpr int kVideoStandard = kGeneral + 116; ///< 0 PAL, 1 NTSC
constexpr int kAbilityCommand = 10;
constexpr int kAbility = 2900064;
constexpr int kAbilitySize = 9900;
constexpr int kDigitalAbilityCommand = 173;
constexpr int kDigitalAbility = 2909964; ///< per digital channel
constexpr int kDigitalAbilitySize = 9932;
constexpr int kDigitalTableCommand = 172;
constexpr int kDigitalTables = 3545612; ///< per digital channel, 64 entries of 88 bytes
constexpr int kTableSize = 5632;
constexpr int kTableEntry = 88;
constexpr int kSimpleBlock = 44; ///< a stream block's first bytes, as the 88-byte entries hold them
constexpr int kSimpleCommand = 68;
constexpr int kSimpleEntries = 3906060;
constexpr int kProfileCommand = 117;
constexpr int kProfiles = 3911692;
constexpr int kProfilesSize = 1536;
constexpr int kProfileEntry = 24;     ///< int profile number (1-based), int profile value
constexpr int kProfileMask = 3913228; ///< bit 0 "baseline", bit 1 "main profile", bit 2 "high profile"
constexpr int kProfileIndex = 3913232;
constexpr int kSmartSwitchCommand = 249;
constexpr int kSmartSwitches = 3913252; ///< one byte per channel
constexpr int kSmartSwitchesSize = 64;
constexpr int kSmartStreamCommand = 325;
constexpr int kSmartStreams = 3913316; ///< 12 per channel: main plus, extra plus, int main mode, int extra mode
constexpr int kSmartStreamSize = 12;
constexpr int kSmartMaskCommand = 326;
constexpr int kSmartMasks = 3914084; ///< int channels with smart encoding, int (at +8) per stream
constexpr int kSmartMasksSize = 16;
constexpr int kMainResolutions = 3914100;  ///< int32[32], 1 = allowed
constexpr int kExtraResolutions = 3914228; ///< int32[32]
constexpr int kMainCompressions = 3914356; ///< int32[9] by compression code
constexpr int kExtraCompressions = 3914392;
constexpr int kChannels = 64;
} // namespace EncodeRecord

/// Encode ability record (command 10) of the analogue channels.
namespace EncodeAbility {
constexpr int kTotalPower = 0; ///< pixels x frames per second
constexpr int kCombinedPower = 4;
constexpr int kChannelLimit = 8;          ///< + 4 n
constexpr int kMainResolutionMask = 264;  ///< + 4 n
constexpr int kMainCompressionMask = 520; ///< bit n = compression code n
constexpr int kExtraCompressionMask = 524;
constexpr int kProfileMask = 528;
constexpr int kBitRateBudget = 1704;       ///< kbit/s, 0 = not said
constexpr int kExtraResolutionMask = 1708; ///< + 128 n + 4 r: under main resolution r
} // namespace EncodeAbility

/// Encode ability of one digital channel (command 173).
namespace DigitalAbility {
constexpr int kConnected = 0;  ///< byte
constexpr int kTakesTable = 4; ///< int: accepts a stream table (172)
constexpr int kPower = 8;
constexpr int kMainResolutionMask = 12;
constexpr int kExtraResolutionMask = 16;
constexpr int kCompressionMask = 20;
} // namespace DigitalAbility

/// Little-endian int32 at nOffset; 0 when the record is too short.
qint32 recordInt(const QByteArray& baRecord, int nOffset);
/// Writes a little-endian int32 at nOffset (nothing when the record is too short).
void setRecordInt(QByteArray& baRecord, int nOffset, qint32 nValue);
/// Byte at nOffset as a flag; false when the record is too short.
bool recordFlag(const QByteArray& baRecord, int nOffset);
void setRecordByte(QByteArray& baRecord, int nOffset, char chValue);
/// The zero-terminated local 8-bit text of the field; never reads past the field.
QString recordText(const QByteArray& baRecord, int nOffset, int nFieldSize);
/// Writes baText and its terminating zero into the field, cut to leave room for the zero; the bytes
/// after the terminator stay as they were.
void setRecordText(QByteArray& baRecord, int nOffset, int nFieldSize, const QByteArray& baText);
