#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/codec.h"
#include "protocol/frame.h"

namespace protocol {

// ---- media connections ---------------------------------------------------------------------
// A live stream or a voice talk runs on a TCP connection of its own (docs/protocol.md, "Media"):
// the login's connection asks for it (MsgMediaOpen -> a token), a new connection claims it
// (MsgMediaClaim), then MsgVideoFrame / MsgAudioFrame frames flow until MsgMediaStop or a close.

enum class VideoCodec : std::uint8_t
{
    H264 = 1,
    H265 = 2
};

/// Fixed part of a MsgVideoFrame body; one access unit (Annex B byte stream) follows.
///
///  off size field
///    0    1 codec (VideoCodec)
///    1    1 flags: bit 0 key frame (parameter sets and an IDR picture); other bits zero
///    2    2 width in pixels
///    4    2 height in pixels
///    6    2 reserved, zero
///    8    4 frame number, 0 for the first frame of the stream
///   12    8 capture time, milliseconds since 1970-01-01 UTC on the device's clock
constexpr std::size_t kVideoFrameFixed = 20;
constexpr std::uint8_t kVideoKeyFrame = 0x01;
constexpr int kMaxVideoDimension = 8192;

struct VideoFrameInfo
{
    VideoCodec codec = VideoCodec::H264;
    bool keyFrame = false;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint32_t number = 0;
    std::uint64_t timestampMs = 0;
};

/// The 20-byte fixed part; the caller appends the payload.
std::vector<std::uint8_t> encodeVideoFrameHead(const VideoFrameInfo& info);
/// Checks the fixed part (known codec, no unknown flag, dimensions 1..8192, reserved zero) and
/// that at least one payload byte follows. `payload` points into `body`.
DecodeStatus decodeVideoFrame(const std::uint8_t* body, std::size_t size, VideoFrameInfo& info,
                              const std::uint8_t*& payload, std::size_t& payloadSize);

/// One frame read from a media connection, as a view into the caller's bytes (nothing copied).
struct MediaFrame
{
    ParseStatus status = ParseStatus::Incomplete;
    FrameHeader header;
    std::size_t used = 0; ///< bytes of the frame when Ok
    const std::uint8_t* body = nullptr;
    std::size_t bodySize = 0;
    VideoFrameInfo video;                  ///< MsgVideoFrame only
    const std::uint8_t* payload = nullptr; ///< MsgVideoFrame: the access unit; MsgAudioFrame: the body
    std::size_t payloadSize = 0;
};

/// Parses the next frame on a media connection: header checks as parseHeader, then only the
/// messages a media connection carries (MsgMediaClaimAnswer, MsgMediaStop, MsgVideoFrame,
/// MsgAudioFrame) with a body of their shape: JSON objects for the first two, a valid fixed part
/// for a video frame, 1..kMaxAudioFrameBody bytes for an audio frame. Anything else is Bad.
MediaFrame parseMediaFrame(const std::uint8_t* data, std::size_t size);

// ---- voice frames ----------------------------------------------------------------------------
// What a voice talk carries in each MsgAudioFrame, both ways: an 8-byte header and the audio.
//
//  off size value
//    0    4 0x00 0x00 0x01 0xFA
//    4    1 audio coding of the payload (0x0E: G.711 A-law, 8 kHz)
//    5    1 0x02
//    6    2 payload length, little-endian
//    8    n payload
constexpr std::size_t kVoiceHeaderSize = 8;
constexpr std::uint8_t kVoiceCodingAlaw = 0x0E;
constexpr std::uint8_t kVoiceHeaderByte5 = 0x02;
constexpr std::size_t kVoicePayload = 160; ///< 20 ms of 8 kHz A-law
constexpr std::size_t kVoiceFrameSize = kVoiceHeaderSize + kVoicePayload;
/// Largest payload a voice frame may announce (a quarter second of 8 kHz audio).
constexpr std::size_t kMaxVoicePayload = 2048;

std::vector<std::uint8_t> encodeVoiceFrame(const std::uint8_t* payload, std::size_t size,
                                           std::uint8_t coding = kVoiceCodingAlaw);

struct VoiceFrame
{
    ParseStatus status = ParseStatus::Incomplete;
    std::size_t used = 0;
    std::uint8_t coding = 0;
    const std::uint8_t* payload = nullptr;
    std::size_t payloadSize = 0;
};

/// Parses a voice frame at the front of `data`. Bad when the first bytes cannot start one (wrong
/// marker, or a length above kMaxVoicePayload); a reader of a byte stream then skips one byte.
VoiceFrame parseVoiceFrame(const std::uint8_t* data, std::size_t size);

/// Picture size of a device resolution code (0..31, the index of the encode records' resolution
/// table) under a video standard (0 PAL, 1 NTSC); false for another code. The emulator encodes at
/// these sizes; the ONVIF back end maps a device's width and height back to a code with them.
bool resolutionSize(int code, int videoStandard, int& width, int& height);
/// The lowest code whose size under the standard is exactly width x height, or -1.
int resolutionCode(int width, int height, int videoStandard);

} // namespace protocol
