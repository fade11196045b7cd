#include "media.h"

#include <algorithm>

#include "camera.h"
#include "protocol/codec.h"
#include "protocol/media.h"
#include "protocol/messages.h"

namespace camsim {

namespace {

constexpr auto kTokenLife = std::chrono::seconds(10);
constexpr std::size_t kMaxTokens = 64; // a flood of open requests must not grow memory

constexpr int kEncodeCommand = 19;
constexpr int kGeneralCommand = 18;
constexpr std::size_t kEntrySize = 396;
constexpr std::size_t kStreamBlock = 132;
constexpr std::size_t kVideoOnByte = 40;
constexpr std::size_t kStandardOffset = 116;
constexpr int kCompressionH265 = 8;

std::int32_t i32At(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::int32_t>(std::uint32_t(b[at]) | (std::uint32_t(b[at + 1]) << 8) |
                                     (std::uint32_t(b[at + 2]) << 16) | (std::uint32_t(b[at + 3]) << 24));
}

} // namespace

bool resolutionSize(int resolution, int videoStandard, int& width, int& height)
{
    return protocol::resolutionSize(resolution, videoStandard, width, height);
}

int streamSettings(const Camera& camera, int channel, int stream, StreamSettings& out)
{
    if (channel < 0 || channel >= camera.model().channelCount() || (stream != 0 && stream != 1))
        return kRetNoStream;
    std::vector<std::uint8_t> entry, general;
    if (camera.readRecord(kEncodeCommand, channel, entry) != protocol::kRetOk || entry.size() != kEntrySize)
        return kRetNoStream;
    int standard = 0;
    if (camera.readRecord(kGeneralCommand, -1, general) == protocol::kRetOk && general.size() >= kStandardOffset + 4)
        standard = i32At(general, kStandardOffset) == 1 ? 1 : 0;
    const std::size_t block = kStreamBlock * static_cast<std::size_t>(stream);
    // The main stream always runs; the extra stream only while its video is on.
    if (stream == 1 && entry[block + kVideoOnByte] == 0)
        return kRetNoStream;
    StreamSettings s;
    s.h265 = i32At(entry, block + 0) == kCompressionH265;
    // A resolution code the table does not know is sent as CIF, as a camera falls back to a size it has.
    if (!resolutionSize(i32At(entry, block + 4), standard, s.width, s.height))
        resolutionSize(3, standard, s.width, s.height);
    s.constantBitRate = i32At(entry, block + 8) == 0;
    s.quality = std::clamp(i32At(entry, block + 12), 1, 6);
    s.frameRate = std::clamp(i32At(entry, block + 16), 1, 60);
    s.bitRateKbps = std::clamp(i32At(entry, block + 20), 16, 65536);
    // The I-frame interval counts seconds: one key frame every interval x frame rate frames.
    s.keyFrameInterval = std::clamp(i32At(entry, block + 24), 1, 12) * s.frameRate;
    out = s;
    return protocol::kRetOk;
}

std::string MediaState::issue(const MediaGrant& grant)
{
    const Clock::time_point now = Clock::now();
    for (auto it = tokens_.begin(); it != tokens_.end();)
        it = it->second.expires <= now ? tokens_.erase(it) : std::next(it);
    if (tokens_.size() >= kMaxTokens)
        tokens_.erase(tokens_.begin());
    std::string token = protocol::randomNonce();
    tokens_[token] = Token{grant, now + kTokenLife};
    return token;
}

bool MediaState::take(const std::string& token, MediaGrant& out)
{
    const auto it = tokens_.find(token);
    if (it == tokens_.end())
        return false;
    const bool fresh = it->second.expires > Clock::now();
    out = it->second.grant;
    tokens_.erase(it);
    return fresh;
}

void MediaState::hear(const std::uint8_t* data, std::size_t size)
{
    ++heardFrames_;
    const std::size_t room = kMaxHeard - std::min(kMaxHeard, heard_.size());
    heard_.insert(heard_.end(), data, data + std::min(size, room));
}

void MediaState::clearHeard()
{
    heard_.clear();
    heardFrames_ = 0;
}

} // namespace camsim
