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
constexpr int kHumanoid = 34; ///< humanoid detection; also the "IntellMotionDetect" mode
constexpr int kLicensePlateMode = 178;
constexpr int kAlarmSound = 188;
constexpr int kSoftPhoto = 192; ///< soft photo slider, "WarmLight" and "IntelligentInfrared"
constexpr int kVoiceTip = 203;
constexpr int kVolume = 205;
constexpr int kNoClassicModes = 216; ///< no "Star IR", "Full Color", "BlackAndWhiteMode"
} // namespace FunctionRecord

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
