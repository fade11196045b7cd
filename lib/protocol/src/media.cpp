#include "protocol/media.h"

#include <algorithm>

#include <json/json.h>

#include "protocol/messages.h"
#include "bytes.h"
#include "counters.h"

namespace protocol {

namespace {

using bytes::readU16;
using bytes::readU32;
using bytes::writeU16;
using bytes::writeU32;

const std::uint8_t kVoiceMarker[4] = {0x00, 0x00, 0x01, 0xFA};

MediaFrame badMedia()
{
    MediaFrame m;
    m.status = ParseStatus::Bad;
    return m;
}

} // namespace

std::vector<std::uint8_t> encodeVideoFrameHead(const VideoFrameInfo& info)
{
    std::vector<std::uint8_t> b(kVideoFrameFixed, 0);
    b[0] = static_cast<std::uint8_t>(info.codec);
    b[1] = info.keyFrame ? kVideoKeyFrame : 0;
    writeU16(b.data() + 2, info.width);
    writeU16(b.data() + 4, info.height);
    writeU32(b.data() + 8, info.number);
    writeU32(b.data() + 12, static_cast<std::uint32_t>(info.timestampMs));
    writeU32(b.data() + 16, static_cast<std::uint32_t>(info.timestampMs >> 32));
    return b;
}

DecodeStatus decodeVideoFrame(const std::uint8_t* body, std::size_t size, VideoFrameInfo& info,
                              const std::uint8_t*& payload, std::size_t& payloadSize)
{
    if (size <= kVideoFrameFixed ||
        (body[0] != std::uint8_t(VideoCodec::H264) && body[0] != std::uint8_t(VideoCodec::H265)) ||
        (body[1] & ~kVideoKeyFrame) != 0 || readU16(body + 6) != 0) {
        detail::count(detail::badBinaryBodies);
        return DecodeStatus::Bad;
    }
    const std::uint16_t width = readU16(body + 2);
    const std::uint16_t height = readU16(body + 4);
    if (width == 0 || height == 0 || width > kMaxVideoDimension || height > kMaxVideoDimension) {
        detail::count(detail::badBinaryBodies);
        return DecodeStatus::Bad;
    }
    info.codec = static_cast<VideoCodec>(body[0]);
    info.keyFrame = (body[1] & kVideoKeyFrame) != 0;
    info.width = width;
    info.height = height;
    info.number = readU32(body + 8);
    info.timestampMs =
        static_cast<std::uint64_t>(readU32(body + 12)) | (static_cast<std::uint64_t>(readU32(body + 16)) << 32);
    payload = body + kVideoFrameFixed;
    payloadSize = size - kVideoFrameFixed;
    return DecodeStatus::Ok;
}

MediaFrame parseMediaFrame(const std::uint8_t* data, std::size_t size)
{
    // parseHeader refuses a bad start byte, version, unknown id or a length above the message's
    // limit (and counts it) before any body byte is looked at.
    const ParseResult head = parseHeader(data, size);
    if (head.status == ParseStatus::Bad)
        return badMedia();
    constexpr std::size_t kIdEnd = 16; // the message id is known once its two bytes are in
    if (size >= kIdEnd) {
        const std::uint16_t id = readU16(data + 14);
        if (id != MsgMediaClaimAnswer && id != MsgMediaStop && id != MsgVideoFrame && id != MsgAudioFrame) {
            detail::count(detail::badFrames);
            return badMedia();
        }
    }
    if (head.status == ParseStatus::Incomplete)
        return MediaFrame{};
    const FrameHeader& h = head.frame.header;
    if (size - kHeaderSize < h.bodyLength)
        return MediaFrame{};

    MediaFrame m;
    m.header = h;
    m.body = data + kHeaderSize;
    m.bodySize = h.bodyLength;
    m.used = kHeaderSize + h.bodyLength;
    switch (h.messageId) {
    case MsgVideoFrame:
        if (decodeVideoFrame(m.body, m.bodySize, m.video, m.payload, m.payloadSize) != DecodeStatus::Ok)
            return badMedia();
        break;
    case MsgAudioFrame:
        if (m.bodySize == 0) {
            detail::count(detail::badBinaryBodies);
            return badMedia();
        }
        m.payload = m.body;
        m.payloadSize = m.bodySize;
        break;
    default: {
        Json::Value object;
        if (decodeJsonObject(m.body, m.bodySize, object) != DecodeStatus::Ok)
            return badMedia();
        break;
    }
    }
    m.status = ParseStatus::Ok;
    return m;
}

std::vector<std::uint8_t> encodeVoiceFrame(const std::uint8_t* payload, std::size_t size, std::uint8_t coding)
{
    std::vector<std::uint8_t> b(kVoiceHeaderSize + size, 0);
    std::copy(kVoiceMarker, kVoiceMarker + 4, b.begin());
    b[4] = coding;
    b[5] = kVoiceHeaderByte5;
    writeU16(b.data() + 6, static_cast<std::uint16_t>(size));
    if (size > 0)
        std::copy(payload, payload + size, b.begin() + kVoiceHeaderSize);
    return b;
}

VoiceFrame parseVoiceFrame(const std::uint8_t* data, std::size_t size)
{
    VoiceFrame v;
    for (std::size_t i = 0; i < 4 && i < size; ++i) {
        if (data[i] != kVoiceMarker[i]) {
            v.status = ParseStatus::Bad;
            return v;
        }
    }
    if (size < kVoiceHeaderSize)
        return v;
    const std::size_t length = readU16(data + 6);
    if (length > kMaxVoicePayload) {
        v.status = ParseStatus::Bad;
        return v;
    }
    if (size - kVoiceHeaderSize < length)
        return v;
    v.status = ParseStatus::Ok;
    v.used = kVoiceHeaderSize + length;
    v.coding = data[4];
    v.payload = data + kVoiceHeaderSize;
    v.payloadSize = length;
    return v;
}

namespace {

// Picture sizes of the resolution codes; the first six differ between PAL and NTSC (their pixel
// counts are those of the resolution table the encode page uses).
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

} // namespace

bool resolutionSize(int code, int videoStandard, int& width, int& height)
{
    if (code < 0 || code >= 32)
        return false;
    const Size& s = kSizes[code];
    width = s.width;
    height = videoStandard == 1 ? s.ntscHeight : s.height;
    return true;
}

int resolutionCode(int width, int height, int videoStandard)
{
    for (int code = 0; code < 32; ++code) {
        int w = 0, h = 0;
        if (resolutionSize(code, videoStandard, w, h) && w == width && h == height)
            return code;
    }
    return -1;
}

} // namespace protocol
