#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace camsim {

/// One video encoder of libavcodec (libx264 or libx265) set up as a camera encodes: low latency
/// (no B-frames, no look-ahead, one frame in, one access unit out), parameter sets before every
/// key frame, key frames every keyFrameInterval frames, the stream's bit rate.
class VideoEncoder
{
public:
    VideoEncoder() = default;
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    /// False with `error` when the codec is missing or refuses the settings.
    bool open(const StreamSettings& settings, std::string& error);

    /// The picture to draw into before encode(): YUV 4:2:0 of the stream's size; null on failure.
    AVFrame* picture();

    struct Unit
    {
        std::vector<std::uint8_t> bytes; ///< Annex B access unit
        bool keyFrame = false;
    };
    /// Encodes the picture; `out` receives the access unit(s) that came out (one with these
    /// settings). False when the encoder failed.
    bool encode(bool forceKeyFrame, std::vector<Unit>& out);

private:
    AVCodecContext* context_ = nullptr;
    AVFrame* picture_ = nullptr;
    AVPacket* packet_ = nullptr;
    std::int64_t pts_ = 0;
};

} // namespace camsim
