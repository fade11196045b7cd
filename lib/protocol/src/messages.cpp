#include "protocol/messages.h"

#include "counters.h"

namespace protocol {

namespace {

// Datagrams on the discovery port carry a handful of short members; 4 KiB leaves ample room and
// keeps a broadcast storm of large datagrams from costing every listener much memory.
constexpr std::uint32_t kMaxDiscoveryBody = 4 * 1024;
// Progress frames are one short object; anything larger is not a progress report.
constexpr std::uint32_t kMaxProgressBody = 4 * 1024;
// Binary configuration bodies: an 8-byte prefix (command and channel, or ret) plus the record.
constexpr std::uint32_t kMaxRecordBody = 8 + kMaxRecordSize;
// The emulator's control answers carry whole records as base64 for tests.
constexpr std::uint32_t kMaxEmuControlAnswerBody = 8 * 1024 * 1024;

} // namespace

std::uint32_t maxBodyLength(std::uint16_t id)
{
    switch (id) {
    case MsgLoginHello:
    case MsgLoginChallenge:
    case MsgLoginProof:
    case MsgLoginResult:
    case MsgLogout:
    case MsgLogoutAnswer:
    case MsgKeepAlive:
    case MsgKeepAliveAnswer:
    case MsgGetConfig:
    case MsgSetConfigAnswer:
    case MsgGetConfigJson:
    case MsgGetConfigJsonAnswer:
    case MsgSetConfigJson:
    case MsgSetConfigJsonAnswer:
    case MsgGetAbilityJson:
    case MsgGetAbilityJsonAnswer:
    case MsgControl:
    case MsgControlAnswer:
    case MsgEmuControl:
    case MsgUpgradeStart:
    case MsgUpgradeStartAnswer:
    case MsgUpgradeCheck:
    case MsgUpgradeState:
    case MsgUpgradeAbort:
    case MsgMediaOpen:
    case MsgMediaOpenAnswer:
    case MsgMediaClaim:
    case MsgMediaClaimAnswer:
    case MsgMediaStop:
        return kMaxJsonBody;
    case MsgVideoFrame:
        return kMaxVideoFrameBody;
    case MsgAudioFrame:
        return kMaxAudioFrameBody;
    case MsgUpgradeData:
        return kMaxUpgradeChunk;
    case MsgGetConfigAnswer:
    case MsgSetConfig:
        return kMaxRecordBody;
    case MsgSearchRequest:
    case MsgSearchAnswer:
    case MsgNetSetHello:
    case MsgNetSetChallenge:
    case MsgNetSetRequest:
    case MsgNetSetAnswer:
        return kMaxDiscoveryBody;
    case MsgUpgradeProgress:
        return kMaxProgressBody;
    case MsgEmuControlAnswer:
        return kMaxEmuControlAnswerBody;
    default:
        return 0;
    }
}

namespace detail {
std::atomic<std::uint64_t> badFrames{0};
std::atomic<std::uint64_t> badJsonBodies{0};
std::atomic<std::uint64_t> badSearchAnswers{0};
std::atomic<std::uint64_t> badBinaryBodies{0};
} // namespace detail

ParserCounters parserCounters()
{
    ParserCounters c;
    c.badFrames = detail::badFrames.load(std::memory_order_relaxed);
    c.badJsonBodies = detail::badJsonBodies.load(std::memory_order_relaxed);
    c.badSearchAnswers = detail::badSearchAnswers.load(std::memory_order_relaxed);
    c.badBinaryBodies = detail::badBinaryBodies.load(std::memory_order_relaxed);
    return c;
}

bool isJsonBody(std::uint16_t id)
{
    return maxBodyLength(id) != 0 && id != MsgGetConfigAnswer && id != MsgSetConfig && id != MsgUpgradeData &&
           id != MsgVideoFrame && id != MsgAudioFrame;
}

} // namespace protocol
