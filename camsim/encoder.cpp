#include "encoder.h"

#include <algorithm>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

namespace camsim {

namespace {

// VBR quality "Worst" .. "Best" as a constant rate factor, capped by the stream's bit rate.
constexpr int kRateFactor[6] = {36, 32, 28, 25, 22, 19};
// Encoder threads per stream: a fleet may run several streams on a few cores.
constexpr int kThreads = 2;

} // namespace

VideoEncoder::~VideoEncoder()
{
    avcodec_free_context(&context_);
    av_frame_free(&picture_);
    av_packet_free(&packet_);
}

bool VideoEncoder::open(const StreamSettings& s, std::string& error)
{
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });

    const char* name = s.h265 ? "libx265" : "libx264";
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec) {
        error = std::string("no encoder ") + name;
        return false;
    }
    context_ = avcodec_alloc_context3(codec);
    picture_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!context_ || !picture_ || !packet_) {
        error = "out of memory";
        return false;
    }
    context_->width = s.width;
    context_->height = s.height;
    context_->pix_fmt = AV_PIX_FMT_YUV420P;
    context_->time_base = AVRational{1, s.frameRate};
    context_->framerate = AVRational{s.frameRate, 1};
    context_->gop_size = s.keyFrameInterval;
    context_->keyint_min = s.keyFrameInterval;
    context_->max_b_frames = 0;
    context_->thread_count = kThreads;
    const std::int64_t rate = std::int64_t(s.bitRateKbps) * 1000;
    context_->rc_max_rate = rate;
    context_->rc_buffer_size = int(std::min<std::int64_t>(rate, INT32_MAX));
    if (s.constantBitRate)
        context_->bit_rate = rate;
    else
        av_opt_set_int(context_->priv_data, "crf", kRateFactor[std::clamp(s.quality, 1, 6) - 1], 0);
    av_opt_set(context_->priv_data, "preset", "ultrafast", 0);
    av_opt_set(context_->priv_data, "tune", "zerolatency", 0);
    av_opt_set_int(context_->priv_data, "forced-idr", 1, 0); // a forced key frame is one a viewer can start at
    // Key frames only on the schedule (no scene cuts), so a viewer's wait for one is bounded.
    if (s.h265)
        av_opt_set(context_->priv_data, "x265-params", "log-level=error:scenecut=0:pools=2:frame-threads=1", 0);
    else
        av_opt_set(context_->priv_data, "x264-params", "scenecut=0", 0);
    if (avcodec_open2(context_, codec, nullptr) < 0) {
        error = std::string(name) + " refused the stream's settings";
        return false;
    }
    picture_->format = AV_PIX_FMT_YUV420P;
    picture_->width = s.width;
    picture_->height = s.height;
    if (av_frame_get_buffer(picture_, 0) < 0) {
        error = "out of memory";
        return false;
    }
    return true;
}

AVFrame* VideoEncoder::picture()
{
    // The encoder may still hold the previous picture's buffer.
    return av_frame_make_writable(picture_) < 0 ? nullptr : picture_;
}

bool VideoEncoder::encode(bool forceKeyFrame, std::vector<Unit>& out)
{
    picture_->pts = pts_++;
    picture_->pict_type = forceKeyFrame ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    if (avcodec_send_frame(context_, picture_) < 0)
        return false;
    for (;;) {
        const int rc = avcodec_receive_packet(context_, packet_);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return true;
        if (rc < 0)
            return false;
        Unit unit;
        unit.bytes.assign(packet_->data, packet_->data + packet_->size);
        unit.keyFrame = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
        out.push_back(std::move(unit));
        av_packet_unref(packet_);
    }
}

} // namespace camsim
