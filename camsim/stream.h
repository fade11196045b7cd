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

#include "media.h"

namespace camsim {

/// One live stream's picture source and encoder, on a thread of its own so that encoding never
/// holds up the emulator's event loop. At the stream's frame rate it draws the test picture,
/// encodes it and queues the finished MsgVideoFrame frame; `ready` is called (on the encoder
/// thread) whenever the queue was empty and is not any more, and once more when the thread ends.
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
    /// Stops and joins the thread.
    ~VideoSource();
    VideoSource(const VideoSource&) = delete;
    VideoSource& operator=(const VideoSource&) = delete;

    void start();
    /// Asks the thread to end after the frame at hand; does not wait.
    void requestStop();
    /// The thread has ended (stopped, or the encoder failed: see error()).
    bool finished() const { return finished_.load(); }
    std::string error() const;

    /// Takes every frame queued so far (called by the owner's thread).
    std::vector<Frame> take();
    /// The next frame is encoded as a key frame (the owner dropped frames a viewer needs).
    void forceKeyFrame() { forceKey_.store(true); }

private:
    void run();

    const StreamSettings settings_;
    const std::string name_;
    const std::string address_;
    const std::uint32_t sessionId_;
    const std::function<void()> ready_;

    mutable std::mutex mutex_; // guards queue_, stop_, error_
    std::condition_variable wake_;
    std::deque<Frame> queue_;
    bool stop_ = false;
    std::string error_;
    std::atomic<bool> finished_{false};
    std::atomic<bool> forceKey_{false};
    std::thread thread_;
};

} // namespace camsim
