#include "video_pipeline.h"

#include <chrono>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace netsdk {

namespace {

// Slice threads decode a picture on several cores without holding frames back (frame threads
// would add a frame of delay per thread).
constexpr int kDecoderThreads = 2;

long long wallClockMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

VideoPipeline::VideoPipeline()
{
    packet_ = av_packet_alloc();
    picture_ = av_frame_alloc();
}

VideoPipeline::~VideoPipeline()
{
    avcodec_free_context(&decoder_);
    av_packet_free(&packet_);
    av_frame_free(&picture_);
    sws_freeContext(scaler_);
}

void VideoPipeline::setWindow(void* window)
{
    std::unique_ptr<DrawTarget> target = window ? openDrawTarget(window) : nullptr;
    std::lock_guard<std::mutex> lock(drawMutex_);
    target_ = std::move(target);
}

bool VideoPipeline::openDecoder(protocol::VideoCodec codec)
{
    avcodec_free_context(&decoder_);
    const AVCodec* c = avcodec_find_decoder(codec == protocol::VideoCodec::H265 ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264);
    if (!c)
        return false;
    decoder_ = avcodec_alloc_context3(c);
    if (!decoder_)
        return false;
    decoder_->thread_count = kDecoderThreads;
    decoder_->thread_type = FF_THREAD_SLICE;
    decoder_->flags |= AV_CODEC_FLAG_LOW_DELAY;
    if (!extradata_.empty()) {
        decoder_->extradata = static_cast<std::uint8_t*>(av_mallocz(extradata_.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (decoder_->extradata) {
            std::copy(extradata_.begin(), extradata_.end(), decoder_->extradata);
            decoder_->extradata_size = int(extradata_.size());
        }
    }
    if (avcodec_open2(decoder_, c, nullptr) < 0) {
        avcodec_free_context(&decoder_);
        return false;
    }
    codec_ = codec;
    return true;
}

void VideoPipeline::handle(const protocol::VideoFrameInfo& info, const std::uint8_t* data, std::size_t size,
                           const Report& report)
{
    if (!packet_ || !picture_)
        return;
    if (!decoder_ || info.codec != codec_) {
        if (!openDecoder(info.codec))
            return;
        waitKey_ = true;
    }
    if (waitKey_ && !info.keyFrame)
        return; // nothing to decode it against
    waitKey_ = false;
    if (size > std::size_t(INT32_MAX - AV_INPUT_BUFFER_PADDING_SIZE) || av_new_packet(packet_, int(size)) < 0)
        return;
    std::copy(data, data + size, packet_->data);
    const auto started = std::chrono::steady_clock::now();
    const int sent = avcodec_send_packet(decoder_, packet_);
    av_packet_unref(packet_);
    if (sent < 0) {
        waitKey_ = true;
        return;
    }
    for (;;) {
        const int rc = avcodec_receive_frame(decoder_, picture_);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return;
        if (rc < 0) {
            waitKey_ = true;
            return;
        }
        const int decodeUs = int(
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started).count());
        SDK_TEST_FRAME_INFO frame{};
        frame.nCodec = int(info.codec);
        frame.nWidth = picture_->width;
        frame.nHeight = picture_->height;
        frame.nFrameNumber = info.number;
        frame.llCaptureMs = static_cast<long long>(info.timestampMs);
        frame.nDecodeUs = decodeUs;
        frame.bKeyFrame = info.keyFrame ? 1 : 0;
        frame.bDrawn = draw(picture_) ? 1 : 0;
        frame.llShownMs = wallClockMs();
        av_frame_unref(picture_);
        report(frame);
    }
}

bool VideoPipeline::draw(AVFrame* picture)
{
    std::lock_guard<std::mutex> lock(drawMutex_);
    if (!target_)
        return false;
    int width = 0, height = 0;
    if (!target_->size(width, height)) {
        target_.reset(); // the window is gone: decode only from now on
        return false;
    }
    if (width <= 0 || height <= 0)
        return false;
    int stride = 0;
    std::uint8_t* image = target_->image(width, height, stride);
    if (!image)
        return false;
    // The whole picture fills the window, as a camera view does.
    scaler_ = sws_getCachedContext(scaler_, picture->width, picture->height, AVPixelFormat(picture->format), width,
                                   height, AV_PIX_FMT_BGR0, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
    if (!scaler_)
        return false;
    std::uint8_t* planes[4] = {image, nullptr, nullptr, nullptr};
    int strides[4] = {stride, 0, 0, 0};
    sws_scale(scaler_, picture->data, picture->linesize, 0, picture->height, planes, strides);
    return target_->present();
}

void VideoPipeline::clear()
{
    std::lock_guard<std::mutex> lock(drawMutex_);
    if (target_)
        target_->clear();
}

} // namespace netsdk
