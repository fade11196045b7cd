// The encode records on an ONVIF device: the media service's profiles, video encoder configurations
// and their options, read into and written from the records the encode page and the configuration
// writer use (commands 10, 17, 19, 68), and the stream address of a live preview. What ONVIF has
// no place for reads as 0 and is not written; docs/onvif.md has the table.

#include <algorithm>
#include <cmath>
#include <cstring>

#include <protocol/media.h>

#include "library_state.h"
#include "onvif_client.h"
#include "text_fields.h"

namespace netsdk::onvif {

namespace {

constexpr unsigned long kAbilityCommand = 10;
constexpr unsigned long kSystemInfoCommand = 17;
constexpr unsigned long kEntriesCommand = 19;
constexpr unsigned long kSimpleCommand = 68;

constexpr std::size_t kChannels = 64;
constexpr std::size_t kAbilitySize = 9900;
constexpr std::size_t kSystemInfoSize = 832;
constexpr std::size_t kEntrySize = 396; // per-channel entry: three 132-byte stream blocks
constexpr std::size_t kEntryBlock = 132;
constexpr std::size_t kSimpleEntrySize = 88; // simplified entry: two 44-byte stream blocks
constexpr std::size_t kSimpleBlock = 44;

// Stream block: the stream format, then the video and audio switches.
constexpr std::size_t kCompression = 0, kResolution = 4, kControl = 8, kQuality = 12, kFrameRate = 16, kBitRate = 20,
                      kIFrameInterval = 24, kVideoOn = 40, kAudioOn = 41;
// System information record.
constexpr std::size_t kVersion = 0, kVersionSize = 64, kAnalogChannels = 288;
// Encode ability record.
constexpr std::size_t kTotalPower = 0, kMainResolutions = 264, kMainCompressions = 520, kExtraCompressions = 524,
                      kExtraResolutions = 1708;

// Compression codes of the records.
constexpr int kMpeg4 = 0, kJpeg = 5, kH264 = 7, kH265 = 8;
// The page's quality scale, "Worst" to "Best".
constexpr int kQualityLevels = 6;
// ONVIF tells no video standard: the records' sizes are those of PAL, as the encode page assumes
// when it has no general record.
constexpr int kStandard = 0;

const char* const kSmartAbilities[] = {"ChannelSystemFunction@SmartH264", "ChannelSystemFunction@SmartH264V2"};

void putI32(char* at, std::int32_t v)
{
    std::memcpy(at, &v, 4);
}

std::int32_t getI32(const char* at)
{
    std::int32_t v = 0;
    std::memcpy(&v, at, 4);
    return v;
}

int compressionOf(const std::string& encoding)
{
    return encoding == "H265" ? kH265 : encoding == "JPEG" ? kJpeg : encoding == "MPEG4" ? kMpeg4 : kH264;
}

const char* encodingOf(int compression)
{
    return compression == kH265 ? "H265" : compression == kJpeg ? "JPEG" : compression <= 3 ? "MPEG4" : "H264";
}

/// The resolution code of a size: the exact one, else the one nearest in pixels.
int resolutionOf(int width, int height)
{
    const int exact = protocol::resolutionCode(width, height, kStandard);
    if (exact >= 0)
        return exact;
    int best = -1;
    long long bestDistance = 0;
    for (int code = 0; code < 32; ++code) {
        int w = 0, h = 0;
        protocol::resolutionSize(code, kStandard, w, h);
        const long long distance = std::llabs(static_cast<long long>(w) * h - static_cast<long long>(width) * height);
        if (best < 0 || distance < bestDistance) {
            best = code;
            bestDistance = distance;
        }
    }
    return best;
}

/// The page's quality 1..6 from the device's scale, and back.
int qualityLevel(double quality, const ov::VideoEncoderOptions& o)
{
    if (o.qualityMax <= o.qualityMin)
        return std::clamp(int(std::lround(quality)), 1, kQualityLevels);
    const double f = (quality - o.qualityMin) / (o.qualityMax - o.qualityMin);
    return std::clamp(1 + int(std::lround(f * (kQualityLevels - 1))), 1, kQualityLevels);
}

double deviceQuality(int level, const ov::VideoEncoderOptions& o)
{
    level = std::clamp(level, 1, kQualityLevels);
    if (o.qualityMax <= o.qualityMin)
        return level;
    return std::round(o.qualityMin + (o.qualityMax - o.qualityMin) * (level - 1) / (kQualityLevels - 1));
}

/// The device's streams: the profiles that carry a video encoder, main first (the device's order);
/// at most two. Each with its encoder's options.
struct Stream
{
    ov::MediaProfile profile;
    ov::VideoEncoderOptions options;
};

int readStreams(Device& device, std::vector<Stream>& out, bool withOptions, const Deadline& d)
{
    std::vector<ov::MediaProfile> profiles;
    int rc = device.profiles(profiles, d);
    if (rc != SDK_OK)
        return rc;
    out.clear();
    for (auto& p : profiles)
        if (p.hasEncoder && out.size() < 2)
            out.push_back(Stream{std::move(p), {}});
    if (out.empty())
        return SDK_ERR_NO_STREAM;
    for (auto& s : out)
        if (withOptions &&
            (rc = device.videoEncoderOptions(s.profile.token, s.profile.encoder.token, s.options, d)) != SDK_OK)
            return rc;
    return SDK_OK;
}

/// One stream block (44 or 132 bytes) from an encoder configuration.
void putBlock(char* block, const Stream& s)
{
    const ov::VideoEncoderConfig& e = s.profile.encoder;
    const int fps = std::clamp(e.frameRateLimit > 0 ? e.frameRateLimit : 25, 1, 60);
    putI32(block + kCompression, compressionOf(e.encoding));
    putI32(block + kResolution, resolutionOf(e.width, e.height));
    putI32(block + kControl, 0); // ONVIF's bit rate is a limit; the records call that "CBR"
    putI32(block + kQuality, qualityLevel(e.quality, s.options));
    putI32(block + kFrameRate, fps);
    putI32(block + kBitRate, e.bitrateLimit);
    putI32(block + kIFrameInterval, std::clamp(e.govLength > 0 ? (e.govLength + fps / 2) / fps : 1, 1, 12));
    block[kVideoOn] = 1; // a profile's stream always runs
    block[kAudioOn] = 0;
}

std::uint32_t resolutionMask(const ov::VideoEncoderOptions& o)
{
    std::uint32_t mask = 0;
    for (const auto* list : {&o.h264, &o.jpeg, &o.mpeg4})
        for (const ov::Size& size : *list) {
            const int code = protocol::resolutionCode(size.width, size.height, kStandard);
            if (code >= 0)
                mask |= 1u << code;
        }
    return mask;
}

std::uint32_t compressionMask(const Stream& s)
{
    std::uint32_t mask = 1u << compressionOf(s.profile.encoder.encoding); // what it encodes now
    if (s.options.hasH264)
        mask |= 1u << kH264;
    if (s.options.hasJpeg)
        mask |= 1u << kJpeg;
    if (s.options.hasMpeg4)
        mask |= 1u << kMpeg4;
    return mask;
}

long long largestPixels(std::uint32_t mask)
{
    long long most = 0;
    for (int code = 0; code < 32; ++code) {
        int w = 0, h = 0;
        if ((mask & (1u << code)) && protocol::resolutionSize(code, kStandard, w, h))
            most = std::max(most, static_cast<long long>(w) * h);
    }
    return most;
}

/// The encode ability record: every resolution and compression the options offer, and an encode
/// power that carries both streams at their largest resolution and frame rate (ONVIF tells no
/// power: a device accepts what its options list).
void fillAbility(char* r, const std::vector<Stream>& streams)
{
    std::memset(r, 0, kAbilitySize);
    const std::uint32_t main = resolutionMask(streams[0].options);
    const std::uint32_t extra = streams.size() > 1 ? resolutionMask(streams[1].options) : 0;
    long long power = 0;
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const Stream& s = streams[i];
        const int fps = std::max(s.options.frameRateMax, s.profile.encoder.frameRateLimit);
        power += largestPixels(i == 0 ? main : extra) * std::clamp(fps, 1, 60);
    }
    putI32(r + kTotalPower, std::int32_t(std::min<long long>(power, INT32_MAX)));
    putI32(r + kMainResolutions, std::int32_t(main));
    putI32(r + kMainCompressions, std::int32_t(compressionMask(streams[0])));
    if (streams.size() > 1)
        putI32(r + kExtraCompressions, std::int32_t(compressionMask(streams[1])));
    for (int code = 0; code < 32; ++code)
        if (main & (1u << code))
            putI32(r + kExtraResolutions + 4 * std::size_t(code), std::int32_t(extra));
}

/// Writes one stream block to the stream's encoder configuration, when it asks for something else.
int writeBlock(Device& device, const Stream& s, const char* block, const Deadline& d)
{
    ov::VideoEncoderConfig now;
    ov::Envelope answer;
    int rc = device.videoEncoderConfiguration(s.profile.encoder.token, now, answer, d);
    if (rc != SDK_OK)
        return rc;
    ov::VideoEncoderConfig want = now;
    want.encoding = encodingOf(getI32(block + kCompression));
    if (!protocol::resolutionSize(getI32(block + kResolution), kStandard, want.width, want.height))
        return SDK_ERR_ILLEGAL_PARAM;
    Stream current{s.profile, s.options};
    current.profile.encoder = now;
    // Levels that do not change keep the device's own value (the scale maps several values to one).
    if (getI32(block + kQuality) != qualityLevel(now.quality, s.options))
        want.quality = deviceQuality(getI32(block + kQuality), s.options);
    want.frameRateLimit = std::clamp(getI32(block + kFrameRate), 1, 60);
    want.bitrateLimit = std::max(getI32(block + kBitRate), 1);
    want.govLength = std::clamp(getI32(block + kIFrameInterval), 1, 12) * want.frameRateLimit;
    if (s.options.govLengthMax > 0)
        want.govLength = std::clamp(want.govLength, std::max(1, s.options.govLengthMin), s.options.govLengthMax);
    char before[kEntryBlock] = {};
    putBlock(before, current);
    if (std::memcmp(before, block, kBitRate + 4) == 0 &&
        getI32(before + kIFrameInterval) == getI32(block + kIFrameInterval))
        return SDK_OK;
    const std::string body = ov::setVideoEncoderConfigurationBody(answer, want);
    if (body.empty()) {
        countBadFrame();
        return SDK_ERR_PROTOCOL;
    }
    return device.setVideoEncoderConfiguration(body, d);
}

} // namespace

bool isEncodeCommand(unsigned long command)
{
    return command == kAbilityCommand || command == kSystemInfoCommand || command == kEntriesCommand ||
           command == kSimpleCommand;
}

long getEncodeConfig(Device& device, unsigned long command, int channel, char* out, unsigned long outSize,
                     unsigned long* returned, int waitMs)
{
    // One channel: a device's first video source. Channel -1 reads every channel's entry.
    const bool all = channel < 0;
    if (channel > 0 && command != kSystemInfoCommand)
        return fail(SDK_ERR_NO_STREAM);
    std::size_t size = 0;
    switch (command) {
    case kAbilityCommand:
        size = kAbilitySize;
        break;
    case kSystemInfoCommand:
        size = kSystemInfoSize;
        break;
    case kEntriesCommand:
        size = all ? kEntrySize * kChannels : kEntrySize;
        break;
    default:
        size = all ? kSimpleEntrySize * kChannels : kSimpleEntrySize;
        break;
    }
    if (outSize < size) {
        if (returned)
            *returned = size;
        return fail(SDK_ERR_BUFFER_SMALL);
    }
    const Deadline d(waitMs > 0 ? waitMs : options().waitMs);
    std::vector<char> record(size, 0);
    if (command == kSystemInfoCommand) {
        // What the encode page needs of it: the firmware version (its read rule) and one channel.
        ov::DeviceInformation info;
        const int rc = device.deviceInformation(info, d);
        if (rc != SDK_OK)
            return fail(rc);
        copyBounded(info.firmwareVersion, record.data() + kVersion, kVersionSize);
        putI32(record.data() + kAnalogChannels, 1);
    } else {
        std::vector<Stream> streams;
        const int rc = readStreams(device, streams, true, d);
        if (rc != SDK_OK)
            return fail(rc);
        if (command == kAbilityCommand) {
            fillAbility(record.data(), streams);
        } else {
            const std::size_t block = command == kEntriesCommand ? kEntryBlock : kSimpleBlock;
            for (std::size_t i = 0; i < streams.size(); ++i)
                putBlock(record.data() + block * i, streams[i]);
        }
    }
    std::memcpy(out, record.data(), size);
    if (returned)
        *returned = size;
    return 1;
}

long setEncodeConfig(Device& device, unsigned long command, int channel, const char* in, unsigned long size, int waitMs)
{
    if (command != kEntriesCommand && command != kSimpleCommand)
        return fail(SDK_ERR_NOT_SUPPORTED); // abilities and system information are the device's own
    const std::size_t entry = command == kEntriesCommand ? kEntrySize : kSimpleEntrySize;
    const std::size_t block = command == kEntriesCommand ? kEntryBlock : kSimpleBlock;
    if (!in || size != (channel < 0 ? entry * kChannels : entry))
        return fail(SDK_ERR_CONFIG_SIZE);
    if (channel > 0)
        return fail(SDK_ERR_NO_STREAM);
    const Deadline d(waitMs > 0 ? waitMs : options().waitMs);
    std::vector<Stream> streams;
    int rc = readStreams(device, streams, true, d);
    for (std::size_t i = 0; rc == SDK_OK && i < streams.size(); ++i) {
        // A stream whose video is switched off: ONVIF cannot stop a profile's stream; it keeps its settings.
        if (i > 0 && in[block * i + kVideoOn] == 0)
            continue;
        rc = writeBlock(device, streams[i], in + block * i, d);
    }
    return rc == SDK_OK ? 1 : fail(rc);
}

long channelAbilityJson(const char* name, int channel, char* out, int outSize, int* returned)
{
    if (!name || !out || outSize <= 0)
        return fail(SDK_ERR_ILLEGAL_PARAM);
    const auto known = std::find_if(std::begin(kSmartAbilities), std::end(kSmartAbilities),
                                    [name](const char* n) { return std::strcmp(n, name) == 0; });
    if (known == std::end(kSmartAbilities) || channel > 0)
        return fail(SDK_ERR_NOT_SUPPORTED);
    // Smart encoding has no place in ONVIF: the honest answer is that the channel lacks it.
    const std::string reply =
        std::string("{\"Name\":\"") + name + "\",\"Ret\":100,\"SessionID\":\"0x0\",\"" + name + "\":[0]}";
    if (reply.size() + 1 > static_cast<std::size_t>(outSize)) {
        if (returned)
            *returned = int(reply.size() + 1);
        return fail(SDK_ERR_BUFFER_SMALL);
    }
    std::memcpy(out, reply.c_str(), reply.size() + 1);
    if (returned)
        *returned = int(reply.size());
    return 1;
}

int streamAddress(Device& device, int channel, int stream, std::string& uri, const Deadline& d)
{
    if (channel != 0 || (stream != 0 && stream != 1))
        return SDK_ERR_NO_STREAM;
    std::vector<Stream> streams;
    int rc = readStreams(device, streams, false, d);
    if (rc != SDK_OK)
        return rc;
    if (std::size_t(stream) >= streams.size())
        return SDK_ERR_NO_STREAM;
    return device.streamUri(streams[std::size_t(stream)].profile.token, uri, d);
}

} // namespace netsdk::onvif
