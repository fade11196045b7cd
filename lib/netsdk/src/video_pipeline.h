#pragma once

// A live stream's pictures from access unit to window: libavcodec decodes, libswscale scales to
// the window's size, the drawing back end shows it. Every stream uses it, whatever brings its access
// units (our media connection, or RTSP from an ONVIF camera). Used by the stream's thread; clear()
// may be called from another thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <protocol/media.h>

#include "draw/draw_target.h"
#include "netsdk/netsdk_test.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace netsdk {

class VideoPipeline
{
public:
    using Report = std::function<void(const SDK_TEST_FRAME_INFO&)>;

    VideoPipeline();
    /// Frees the decoder, the scaler and the window's drawing resources.
    ~VideoPipeline();
    VideoPipeline(const VideoPipeline&) = delete;
    VideoPipeline& operator=(const VideoPipeline&) = delete;

    /// Parameter sets the decoder starts with (an RTSP session description's); the stream's own
    /// in-band ones still apply.
    void setExtradata(std::vector<std::uint8_t> extradata) { extradata_ = std::move(extradata); }
    /// Draws into `window` from now on (0, or a window this build cannot draw on: decode only).
    void setWindow(void* window);
    /// Decodes one access unit, draws what comes out and reports each picture. Frames before the
    /// first key frame (and after a decoding error, until the next one) are skipped.
    void handle(const protocol::VideoFrameInfo& info, const std::uint8_t* data, std::size_t size, const Report& report);
    /// Paints the window black (the stream goes on).
    void clear();

private:
    bool openDecoder(protocol::VideoCodec codec);
    bool draw(AVFrame* picture);

    AVCodecContext* decoder_ = nullptr;
    protocol::VideoCodec codec_ = protocol::VideoCodec::H264;
    AVPacket* packet_ = nullptr;
    AVFrame* picture_ = nullptr;
    SwsContext* scaler_ = nullptr;
    bool waitKey_ = true;
    std::vector<std::uint8_t> extradata_;
    std::mutex drawMutex_; // guards target_
    std::unique_ptr<DrawTarget> target_;
};

} // namespace netsdk
