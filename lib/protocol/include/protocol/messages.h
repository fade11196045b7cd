#pragma once

#include <cstddef>
#include <cstdint>

namespace protocol {

/// Message identifiers. The numbers are part of the wire format: never renumber.
enum MessageId : std::uint16_t
{
    // TCP session on the device's service port (default 34567)
    MsgLoginHello = 1000,          ///< C->D JSON {"UserName","ClientNonce"}
    MsgLoginChallenge = 1001,      ///< D->C JSON {"Ret","Nonce"}
    MsgLoginProof = 1002,          ///< C->D JSON {"UserName","Proof"}
    MsgLoginResult = 1003,         ///< D->C JSON {"Ret","SessionID","DeviceInfo":{...}}
    MsgLogout = 1004,              ///< C->D JSON {}
    MsgLogoutAnswer = 1005,        ///< D->C JSON {"Ret"}
    MsgKeepAlive = 1006,           ///< C->D JSON {}
    MsgKeepAliveAnswer = 1007,     ///< D->C JSON {"Ret"}
    MsgGetConfig = 1020,           ///< C->D JSON {"Command","Channel","MaxSize"}
    MsgGetConfigAnswer = 1021,     ///< D->C binary: int32 ret, then the record bytes when ret == 100
    MsgSetConfig = 1022,           ///< C->D binary: int32 command, int32 channel, then the record bytes
    MsgSetConfigAnswer = 1023,     ///< D->C JSON {"Ret"}
    MsgGetConfigJson = 1024,       ///< C->D JSON {"Name","Command","Channel"}
    MsgGetConfigJsonAnswer = 1025, ///< D->C JSON: the device's own reply object ({"Name","Ret","SessionID",<Name>:...})
    MsgSetConfigJson = 1026,       ///< C->D JSON {"Name","Command","Channel","Text"}
    MsgSetConfigJsonAnswer = 1027, ///< D->C JSON {"Ret"}
    MsgGetAbilityJson = 1028,      ///< C->D JSON {"Name","Channel"}
    MsgGetAbilityJsonAnswer = 1029, ///< D->C JSON: the device's own reply object
    MsgControl = 1030,              ///< C->D JSON {"Action"} (0 = reboot)
    MsgControlAnswer = 1031,        ///< D->C JSON {"Ret"}
    MsgUpgradeStart = 1040,         ///< C->D JSON {"Size","Name"}: a package of Size bytes follows
    MsgUpgradeStartAnswer = 1041,   ///< D->C JSON {"Ret"}: 100 = send the package, else refused
    MsgUpgradeData = 1042,          ///< C->D binary: the next bytes of the package (1..kMaxUpgradeChunk)
    MsgUpgradeCheck = 1043,         ///< D->C JSON {"Ret"}: the package check, sent once Size bytes arrived
    MsgUpgradeState = 1044,         ///< D->C JSON {"Ret"}: firmware write 0..100, 515 success, 514 failure
    MsgUpgradeAbort = 1045,         ///< C->D JSON {}: the client gives up; the device drops the partial package

    // Live stream and voice talk: asked for on the login's connection, carried on a connection of their own
    MsgMediaOpen = 1060,        ///< C->D JSON {"Kind":"Video"|"Voice","Channel","Stream"} on the login's connection
    MsgMediaOpenAnswer = 1061,  ///< D->C JSON {"Ret","Token"}: the token claims the media connection once
    MsgMediaClaim = 1062,       ///< C->D JSON {"Token"}: first frame on a new connection to the service port
    MsgMediaClaimAnswer = 1063, ///< D->C JSON {"Ret"} (video also "Codec","Width","Height","FrameRate")
    MsgMediaStop = 1064,        ///< C->D JSON {}: the client ends the stream or talk; the device closes
    MsgVideoFrame = 1065,       ///< D->C binary: 20-byte fixed part (protocol/media.h) and one access unit
    MsgAudioFrame = 1066,       ///< both ways, binary: one voice frame (8-byte header and audio)

    // UDP discovery port (default 34569): search and address change without login
    MsgSearchRequest = 1500,   ///< C->bcast JSON {"Token"}
    MsgSearchAnswer = 1501,    ///< D->C JSON {"Token", search record fields}
    MsgNetSetHello = 1510,     ///< C->bcast JSON {"Token","MAC","UserName"}
    MsgNetSetChallenge = 1511, ///< D->C JSON {"Token","MAC","Ret","Nonce"}
    MsgNetSetRequest =
        1512, ///< C->bcast JSON
              ///< {"Token","MAC","UserName","Nonce","Mode","HostIP","Submask","GateWay","HostMAC","Proof"}
    MsgNetSetAnswer = 1513, ///< D->C JSON {"Token","MAC","Ret"}

    // TCP upgrade-progress port 34560 (device -> client only)
    MsgUpgradeProgress = 1524, ///< D->C JSON {"Name":"OPSystemUpgrade","Type":"UpgradeProcess","Ret":n}

    // Emulator control port (tests only)
    MsgEmuControl = 1900,       ///< JSON {"Cmd",...}
    MsgEmuControlAnswer = 1901, ///< JSON {"Ret",...}
};

/// Largest body accepted for `id`, or 0 when the id is unknown. Checked before any body byte is read.
std::uint32_t maxBodyLength(std::uint16_t id);

/// Whether `id` carries a JSON object body (else a binary body).
bool isJsonBody(std::uint16_t id);

/// Inputs refused by this library's parsers since the process started, over all threads. Each call
/// that answers Bad counts once (FrameStream counts the bad header once, not every later call).
struct ParserCounters
{
    std::uint64_t badFrames = 0;        ///< parseFrame / parseHeader / FrameStream
    std::uint64_t badJsonBodies = 0;    ///< decodeJsonObject
    std::uint64_t badSearchAnswers = 0; ///< decodeSearchAnswer
    std::uint64_t badBinaryBodies = 0;  ///< decodeSetConfig / decodeGetConfigAnswer
};
ParserCounters parserCounters();

/// Result codes carried in "Ret" members and in the int32 prefix of binary answers.
constexpr int kRetOk = 100;

/// Protocol limits.
constexpr std::uint32_t kMaxJsonBody = 64 * 1024;
constexpr std::uint32_t kMaxRecordSize = 2 * 1024 * 1024; ///< largest configuration record on the wire
constexpr std::uint16_t kDefaultServicePort = 34567;
constexpr std::uint16_t kDefaultDiscoveryPort = 34569;
constexpr std::uint16_t kUpgradePort = 34560;

/// Upgrade transfer: the package travels in MsgUpgradeData bodies of at most this many bytes
/// (the library sends 64 KiB; the limit leaves room for larger chunks on fast links).
constexpr std::uint32_t kMaxUpgradeChunk = 1024 * 1024;
/// Media: a video frame's body (one access unit of the largest picture at a high bit rate) and a
/// voice frame's body.
constexpr std::uint32_t kMaxVideoFrameBody = 8 * 1024 * 1024;
constexpr std::uint32_t kMaxAudioFrameBody = 4096;

/// Largest package a device accepts (the size is an int in the library's progress reports).
constexpr std::uint32_t kMaxUpgradePackage = 256u * 1024 * 1024;
/// Firmware-write reports ("Ret" of MsgUpgradeState and MsgUpgradeProgress) besides 0..100.
constexpr int kUpgradeSucceeded = 515;
constexpr int kUpgradeFailed = 514;

} // namespace protocol
