#include "stream.h"

#include <chrono>

extern "C" {
#include <libavutil/frame.h>
}

#include "protocol/frame.h"
#include "protocol/media.h"
#include "protocol/messages.h"
#include "testpicture.h"

namespace camsim {

namespace {

// Frames waiting for the event loop beyond this (a loop that cannot keep up) are dropped, and
// the stream goes on from a key frame.
constexpr std::size_t kMaxQueued = 16;

std::uint64_t wallClockMs()
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
}

} // namespace

// ---- encode loop ----------------------------------------------------------------------------------

EncodeLoop::EncodeLoop(const StreamSettings& settings, std::string name, std::string address, Deliver deliver,
                       std::function<void()> ended)
    : settings_(settings), name_(std::move(name)), address_(std::move(address)), deliver_(std::move(deliver)),
      ended_(std::move(ended))
{
}

EncodeLoop::~EncodeLoop()
{
    requestStop();
    if (thread_.joinable())
        thread_.join();
}

void EncodeLoop::start()
{
    thread_ = std::thread([this] { run(); });
}

void EncodeLoop::requestStop()
{
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    wake_.notify_all();
}

std::string EncodeLoop::error() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

void EncodeLoop::run()
{
    using Clock = std::chrono::steady_clock;
    VideoEncoder encoder;
    std::string error;
    const bool opened = encoder.open(settings_, error);
    if (!opened) {
        std::lock_guard<std::mutex> lock(mutex_);
        error_ = error;
    }
    const TestPicture picture(settings_.width, settings_.height, settings_.frameRate, name_, address_);
    const auto interval = std::chrono::microseconds(1000000 / settings_.frameRate);
    auto due = Clock::now();
    std::uint32_t number = 0;
    while (opened) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait_until(lock, due, [this] { return stop_; });
            if (stop_)
                break;
        }
        const std::uint64_t captured = wallClockMs();
        AVFrame* frame = encoder.picture();
        std::vector<VideoEncoder::Unit> units;
        if (frame) {
            picture.draw(number, captured, frame->data[0], frame->linesize[0], frame->data[1], frame->linesize[1],
                         frame->data[2], frame->linesize[2]);
        }
        if (!frame || !encoder.encode(forceKey_.exchange(false), units)) {
            std::lock_guard<std::mutex> lock(mutex_);
            error_ = "the encoder failed";
            break;
        }
        for (VideoEncoder::Unit& unit : units)
            deliver_(unit, number, captured);
        ++number;
        // Behind by more than a frame (a slow encoder): go on from now instead of catching up.
        due += interval;
        if (Clock::now() > due + interval)
            due = Clock::now();
    }
    finished_.store(true);
    if (ended_)
        ended_();
}

// ---- native stream --------------------------------------------------------------------------------

VideoSource::VideoSource(const StreamSettings& settings, std::string name, std::string address, std::uint32_t sessionId,
                         std::function<void()> ready)
    : sessionId_(sessionId), ready_(std::move(ready)),
      loop_(
          settings, std::move(name), std::move(address),
          [this](VideoEncoder::Unit& unit, std::uint32_t number, std::uint64_t captured) {
              queue(unit, number, captured);
          },
          [this] { ready_(); })
{
}

std::vector<VideoSource::Frame> VideoSource::take()
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Frame> out(std::make_move_iterator(queue_.begin()), std::make_move_iterator(queue_.end()));
    queue_.clear();
    return out;
}

void VideoSource::queue(VideoEncoder::Unit& unit, std::uint32_t number, std::uint64_t captured)
{
    const StreamSettings& s = loop_.settings();
    protocol::VideoFrameInfo info;
    info.codec = s.h265 ? protocol::VideoCodec::H265 : protocol::VideoCodec::H264;
    info.keyFrame = unit.keyFrame;
    info.width = static_cast<std::uint16_t>(s.width);
    info.height = static_cast<std::uint16_t>(s.height);
    info.number = number;
    info.timestampMs = captured;
    std::vector<std::uint8_t> body = protocol::encodeVideoFrameHead(info);
    body.insert(body.end(), unit.bytes.begin(), unit.bytes.end());
    protocol::FrameHeader header;
    header.sessionId = sessionId_;
    header.messageId = protocol::MsgVideoFrame;
    Frame f{protocol::encodeFrame(header, body), unit.keyFrame};
    bool wasEmpty = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (queue_.size() >= kMaxQueued) {
            queue_.clear();
            skipToKey_ = true;
            loop_.forceKeyFrame();
        }
        // After a gap only a key frame can be decoded again.
        if (skipToKey_ && !unit.keyFrame)
            return;
        skipToKey_ = false;
        wasEmpty = queue_.empty();
        queue_.push_back(std::move(f));
    }
    if (wasEmpty)
        ready_();
}

} // namespace camsim
