#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

/// The JSON configuration texts the pages exchange with a device: the four configuration names, the
/// voice-tip list and the volume record they are read into, and the volume text the batch writes.

/// Configuration names of the JSON calls, by index (fields of 120 bytes in the device's contract).
constexpr int kConfigNameSize = 120;
constexpr int kConfigNameSmartH264 = 0;
constexpr int kConfigNameSmartH264V2 = 1;
constexpr int kConfigNameVoiceTip = 2;
constexpr int kConfigNameVolume = 3;
const char* configJsonName(int nIndex);

/// JSON read and write commands of the device.
constexpr int kJsonGetCommand = 1042;
constexpr int kJsonSetCommand = 1040;
constexpr int kJsonReadWaitMs = 20000;
constexpr int kJsonReplyBufferSize = 65536;
/// How much of a voice-tip reply is converted and parsed.
constexpr int kVoiceTipTextLimit = 10240;
constexpr int kJsonRetOk = 100;

/// Voice-tip list record: the reply's "Name", "Ret" and "SessionID", then a count and at most 100
/// entries of an int "VoiceEnum" and a 152-byte text "VoiceText".
namespace VoiceTipList {
constexpr int kSize = 15748;
constexpr int kName = 0;
constexpr int kRet = 120;
constexpr int kSessionId = 124;
constexpr int kSessionIdSize = 20;
constexpr int kCount = 144;
constexpr int kEntries = 148;
constexpr int kEntrySize = 156;
constexpr int kTextSize = 152;
constexpr int kMaxEntries = 100;
} // namespace VoiceTipList

/// Volume record (44 bytes): byte 0 valid, 4 audio mode text (32), 36 left, 40 right volume.
namespace VolumeRecord {
constexpr int kSize = 44;
constexpr int kValid = 0;
constexpr int kAudioMode = 4;
constexpr int kAudioModeSize = 32;
constexpr int kLeft = 36;
constexpr int kRight = 40;
} // namespace VolumeRecord

/// One alarm sound a device offers.
struct CVoiceTip
{
    int nCode = 0;   ///< "VoiceEnum"
    QString strText; ///< "VoiceText"
};

/// Converts nUtf8Len bytes of UTF-8 text to the local 8-bit encoding into pMb, terminated by a zero.
/// pMb must hold nUtf8Len + 1 bytes: a conversion that would come out longer is refused. True only
/// when every character was decoded and encoded; nothing is written otherwise.
bool utf8ToLocal8Bit(char* pMb, const char* pUtf8, int nUtf8Len);

/// The page's JSON read (see the pages): name index 2 fills a voice-tip list of VoiceTipList::kSize
/// bytes, index 3 a volume record of VolumeRecord::kSize bytes; a smaller nSize is refused (-1).
/// Any other index does nothing and returns 1. Returns the device call's result, -Ret when the reply
/// reports a failure (voice tips), -1 for a reply that does not read. *pRetSize, when given, is set to
/// the bytes of the reply.
long getDevConfigJson(long lLoginID, int nNameIndex, int nChannel, char* pRecord, int nSize, int* pRetSize);

/// Reading the replies without a device (getDevConfigJson uses these). The voice-tip text is the
/// local 8-bit reply; pList/pVolume are records of their size, cleared by the caller.
long readVoiceTipReply(const QByteArray& baText, char* pList);
long readVolumeReply(const QByteArray& baText, char* pVolume);

/// The entries of a voice-tip list record (at most VoiceTipList::kMaxEntries).
QVector<CVoiceTip> voiceTipsOf(const QByteArray& baList);

/// The volume write: a JSON array of one object with "AudioMode", "LeftVolume" and "RightVolume"
/// taken from a volume record, in jsoncpp's styled form.
QByteArray volumeJsonText(const QByteArray& baVolume);
