#include "media.h"

#include <algorithm>

#include "camera.h"
#include "protocol/codec.h"
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

// Picture sizes of the device's resolution codes; the first six differ between PAL and NTSC
// (their pixel counts are those of the resolution table the encode page uses).
struct Size
{
    int width, height, ntscHeight;
};
constexpr Size kSizes[32] = {
    {704, 576, 480},    {704, 288, 240},    {352, 576, 480},    {352, 288, 240},    {176, 144, 120},
    {640, 480, 480},    {320, 240, 240},    {480, 480, 480},    {160, 128, 128},    {240, 192, 192},
    {928, 576, 480},    {1280, 720, 720},   {1280, 960, 960},   {1600, 1200, 1200}, {1920, 1080, 1080},
    {1920, 1200, 1200}, {1872, 1408, 1408}, {2048, 1536, 1536}, {2560, 1920, 1920}, {944, 1080, 1080},
    {2560, 1440, 1440}, {3072, 2048, 2048}, {3264, 2448, 2448}, {4000, 3000, 3000}, {3840, 2160, 2160},
    {640, 720, 720},    {1024, 576, 576},   {640, 360, 360},    {1024, 1536, 1536}, {1280, 1440, 1440},
    {1280, 1920, 1920}, {1920, 2160, 2160},
};

std::int32_t i32At(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::int32_t>(std::uint32_t(b[at]) | (std::uint32_t(b[at + 1]) << 8) |
                                     (std::uint32_t(b[at + 2]) << 16) | (std::uint32_t(b[at + 3]) << 24));
}

} // namespace

bool resolutionSize(int resolution, int videoStandard, int& width, int& height)
{
    if (resolution < 0 || resolution >= 32)
        return false;
    const Size& s = kSizes[resolution];
    width = s.width;
    height = videoStandard == 1 ? s.ntscHeight : s.height;
    return true;
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
