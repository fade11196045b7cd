#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "encoder.h"
#include "media.h"

namespace camsim {

/// A stream's picture source: on a thread of its own, at the stream's frame rate, it draws the test
/// picture and encodes it (VideoEncoder); every access unit goes to `deliver` on that thread, and
/// `ended` is called there once when the thread ends (stopped, or the encoder failed: see error()).
/// The native stream (VideoSource) and the RTSP stream (RtspService) both run on it.
class EncodeLoop
{
public:
    using Deliver = std::function<void(VideoEncoder::Unit& unit, std::uint32_t number, std::uint64_t capturedMs)>;

    EncodeLoop(const StreamSettings& settings, std::string name, std::string address, Deliver deliver,
               std::function<void()> ended);
    /// Stops and joins the thread.
    ~EncodeLoop();
    EncodeLoop(const EncodeLoop&) = delete;
    EncodeLoop& operator=(const EncodeLoop&) = delete;

    void start();
    /// Asks the thread to end after the frame at hand; does not wait.
    void requestStop();
    bool finished() const { return finished_.load(); }
    std::string error() const;
    /// The next frame is encoded as a key frame.
    void forceKeyFrame() { forceKey_.store(true); }
    const StreamSettings& settings() const { return settings_; }

private:
    void run();

    const StreamSettings settings_;
    const std::string name_;
    const std::string address_;
    const Deliver deliver_;
    const std::function<void()> ended_;

    mutable std::mutex mutex_; // guards stop_, error_
    std::condition_variable wake_;
    bool stop_ = false;
    std::string error_;
    std::atomic<bool> finished_{false};
    std::atomic<bool> forceKey_{false};
    std::thread thread_;
};

/// One native live stream: the encode loop's access units as MsgVideoFrame frames, queued for the
/// owner's thread so that encoding never holds up the emulator's event loop; `ready` is called (on
/// the encoder thread) whenever the queue was empty and is not any more, and once more when the
/// thread ends.
class VideoSource
{
public:
    struct Frame
    {
        std::vector<std::uint8_t> bytes; ///< a whole protocol frame
        bool keyFrame = false;
    };

    VideoSource(const StreamSettings& settings, std::string name, std::string address, std::uint32_t sessionId,
                std::function<void()> ready);
    VideoSource(const VideoSource&) = delete;
    VideoSource& operator=(const VideoSource&) = delete;

    void start() { loop_.start(); }
    /// Asks the thread to end after the frame at hand; does not wait.
    void requestStop() { loop_.requestStop(); }
    /// The thread has ended (stopped, or the encoder failed: see error()).
    bool finished() const { return loop_.finished(); }
    std::string error() const { return loop_.error(); }

    /// Takes every frame queued so far (called by the owner's thread).
    std::vector<Frame> take();
    /// The next frame is encoded as a key frame (the owner dropped frames a viewer needs).
    void forceKeyFrame() { loop_.forceKeyFrame(); }

private:
    void queue(VideoEncoder::Unit& unit, std::uint32_t number, std::uint64_t capturedMs);

    const std::uint32_t sessionId_;
    const std::function<void()> ready_;

    std::mutex mutex_; // guards queue_, skipToKey_
    std::deque<Frame> queue_;
    bool skipToKey_ = false;
    EncodeLoop loop_; ///< last: its thread uses the members above until it is joined
};

} // namespace camsim
