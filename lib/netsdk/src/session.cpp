#include "session.h"

#include <algorithm>

#include <protocol/codec.h>
#include <protocol/messages.h>

#include "library_state.h"
#include "netsdk/netsdk.h"

namespace netsdk {

namespace {
constexpr std::size_t kReadChunk = 64 * 1024;
// Where the body length sits in a frame header (see protocol/frame.h).
constexpr std::size_t kBodyLengthOffset = 16;
// A refused connection is retried after this pause (a device that is just starting up).
constexpr int kRetryPauseMs = 200;
} // namespace

FrameChannel::FrameChannel(net::Socket s) : socket_(s) {}

FrameChannel::~FrameChannel()
{
    net::closeSocket(socket_);
}

void FrameChannel::shut()
{
    if (open_.exchange(false))
        net::shutdownSocket(socket_);
}

FrameChannel::Status FrameChannel::send(const protocol::FrameHeader& header, const std::vector<std::uint8_t>& body,
                                        const Deadline& deadline)
{
    return send(header, body.data(), body.size(), deadline);
}

std::vector<std::uint8_t> FrameChannel::headerBytes(const protocol::FrameHeader& header, std::size_t bodySize)
{
    // The header alone, with the body's length patched in: the body goes out from where it lies.
    std::vector<std::uint8_t> head = protocol::encodeFrame(header, nullptr, 0);
    const std::uint32_t length = static_cast<std::uint32_t>(bodySize);
    for (std::size_t i = 0; i < 4; ++i)
        head[kBodyLengthOffset + i] = static_cast<std::uint8_t>(length >> (8 * i));
    return head;
}

FrameChannel::Status FrameChannel::send(const protocol::FrameHeader& header, const std::uint8_t* body,
                                        std::size_t bodySize, const Deadline& deadline)
{
    const std::vector<std::uint8_t> head = headerBytes(header, bodySize);
    return sendAll(
        head.size() + bodySize,
        [&](std::size_t done, std::size_t& n) {
            if (done < head.size())
                return net::sendPair(socket_, head.data() + done, head.size() - done, body, bodySize, n);
            return net::sendSome(socket_, body + (done - head.size()), bodySize - (done - head.size()), n);
        },
        deadline);
}

FrameChannel::Status FrameChannel::sendFile(const protocol::FrameHeader& header, int file, std::int64_t offset,
                                            std::size_t bodySize, const Deadline& deadline)
{
    const std::vector<std::uint8_t> head = headerBytes(header, bodySize);
    return sendAll(
        head.size() + bodySize,
        [&](std::size_t done, std::size_t& n) {
            if (done < head.size())
                return net::sendSomeMore(socket_, head.data() + done, head.size() - done, n);
            const std::size_t bodyDone = done - head.size();
            return net::sendFileSome(socket_, file, offset + static_cast<std::int64_t>(bodyDone), bodySize - bodyDone,
                                     n);
        },
        deadline);
}

FrameChannel::Status FrameChannel::sendAll(std::size_t total,
                                           const std::function<net::IoStatus(std::size_t, std::size_t&)>& step,
                                           const Deadline& deadline)
{
    std::size_t done = 0;
    while (done < total) {
        if (!open_.load())
            return Status::Closed;
        std::size_t n = 0;
        const net::IoStatus st = step(done, n);
        if (st == net::IoStatus::Ok) {
            done += n;
            continue;
        }
        if (st != net::IoStatus::WouldBlock) {
            shut();
            return Status::Closed;
        }
        const net::WaitResult w = net::waitWritable(socket_, deadline.remainingMs());
        if (w == net::WaitResult::Timeout) {
            // Half a frame on the wire would make every later frame unreadable to the device.
            if (done > 0)
                shut();
            return Status::Timeout;
        }
        if (w == net::WaitResult::Failed) {
            shut();
            return Status::Closed;
        }
    }
    return Status::Ok;
}

FrameChannel::Status FrameChannel::receive(protocol::Frame& frame, const Deadline& deadline)
{
    // The deadline is checked on every pass, not only when nothing is waiting: a peer that keeps
    // sending must not hold the call. Once it has passed, what is already waiting is looked at once
    // more (a zero deadline means "take a frame if one is there").
    bool lastLook = false;
    for (;;) {
        if (!buffer_.empty()) {
            protocol::ParseResult r = protocol::parseFrame(buffer_.data(), buffer_.size());
            if (r.status == protocol::ParseStatus::Ok) {
                frame = std::move(r.frame);
                buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(r.used));
                return Status::Ok;
            }
            if (r.status == protocol::ParseStatus::Bad)
                return Status::Bad;
        }
        if (!open_.load())
            return Status::Closed;
        if (deadline.expired()) {
            if (lastLook)
                return Status::Timeout;
            lastLook = true;
        }
        const net::WaitResult w = net::waitReadable(socket_, deadline.remainingMs());
        if (w == net::WaitResult::Timeout)
            return Status::Timeout;
        if (w == net::WaitResult::Failed)
            return Status::Closed;
        // parseFrame bounds the buffer: it answers Bad as soon as a header announces more than
        // the message may carry, so at most one frame plus one chunk is ever held.
        const std::size_t old = buffer_.size();
        buffer_.resize(old + kReadChunk);
        std::size_t n = 0;
        const net::IoStatus st = net::recvSome(socket_, buffer_.data() + old, kReadChunk, n);
        buffer_.resize(old + n);
        if (st == net::IoStatus::WouldBlock)
            continue;
        if (st != net::IoStatus::Ok)
            return Status::Closed;
    }
}

int connectTcp(const net::Endpoint& to, int tries, const Deadline& deadline, net::Socket& out)
{
    out = net::kInvalidSocket;
    tries = std::max(tries, 1);
    bool timedOut = true;
    for (int attempt = 0; attempt < tries; ++attempt) {
        if (attempt > 0 && deadline.expired())
            break;
        // Each attempt gets its share of the remaining time, so a lost first attempt leaves room
        // for the next ones.
        const Deadline slice = deadline.capped(deadline.remainingMs() / (tries - attempt));
        const net::Socket s = net::openTcp();
        if (s == net::kInvalidSocket)
            return SDK_ERR_SOCKET;
        net::IoStatus st = net::startConnect(s, to);
        if (st == net::IoStatus::WouldBlock) {
            const net::WaitResult w = net::waitWritable(s, slice.remainingMs());
            st = w == net::WaitResult::Ready     ? net::finishConnect(s)
                 : w == net::WaitResult::Timeout ? net::IoStatus::WouldBlock
                                                 : net::IoStatus::Failed;
        }
        if (st == net::IoStatus::Ok) {
            out = s;
            return SDK_OK;
        }
        net::closeSocket(s);
        timedOut = st == net::IoStatus::WouldBlock;
        if (!timedOut && attempt + 1 < tries)
            net::pause(std::min(kRetryPauseMs, slice.remainingMs()));
    }
    return timedOut ? SDK_ERR_TIMEOUT : SDK_ERR_NO_DEVICE;
}

Session::Session(std::unique_ptr<FrameChannel> channel, std::uint32_t sessionId, std::uint32_t lastSequence)
    : channel_(std::move(channel)), sessionId_(sessionId), sequence_(lastSequence)
{
}

int Session::request(std::uint16_t requestId, const std::vector<std::uint8_t>& body, std::uint16_t answerId,
                     const Deadline& deadline, protocol::Frame& answer)
{
    // Waiting for another thread's request on this session counts against this call's time too.
    if (!mutex_.try_lock_until(deadline.point()))
        return SDK_ERR_TIMEOUT;
    std::lock_guard<std::timed_mutex> lock(mutex_, std::adopt_lock);
    return requestLocked(requestId, body, answerId, deadline, answer);
}

int Session::requestLocked(std::uint16_t requestId, const std::vector<std::uint8_t>& body, std::uint16_t answerId,
                           const Deadline& deadline, protocol::Frame& answer)
{
    if (!channel_->isOpen())
        return SDK_ERR_SOCKET;
    protocol::FrameHeader header;
    header.sessionId = sessionId_;
    header.sequence = ++sequence_;
    header.messageId = requestId;
    switch (channel_->send(header, body, deadline)) {
    case FrameChannel::Status::Ok:
        break;
    case FrameChannel::Status::Timeout:
        return SDK_ERR_TIMEOUT;
    default:
        close();
        return SDK_ERR_SOCKET;
    }
    for (;;) {
        protocol::Frame frame;
        switch (channel_->receive(frame, deadline)) {
        case FrameChannel::Status::Ok:
            if (frame.header.sequence != header.sequence) {
                // The answer to an earlier request that timed out; a stream of them ends at the deadline.
                if (deadline.expired())
                    return SDK_ERR_TIMEOUT;
                continue;
            }
            if (frame.header.messageId != answerId)
                return rejectAnswer();
            answer = std::move(frame);
            return SDK_OK;
        case FrameChannel::Status::Timeout:
            return SDK_ERR_TIMEOUT;
        case FrameChannel::Status::Bad:
            return rejectAnswer();
        case FrameChannel::Status::Closed:
            close();
            return SDK_ERR_SOCKET;
        }
    }
}

int Session::rejectAnswer()
{
    countBadFrame();
    close();
    return SDK_ERR_PROTOCOL;
}

void Session::close()
{
    channel_->shut();
}

void Session::logout(const Deadline& deadline)
{
    if (mutex_.try_lock_until(deadline.point())) {
        std::lock_guard<std::timed_mutex> lock(mutex_, std::adopt_lock);
        if (channel_->isOpen()) {
            protocol::Frame answer;
            requestLocked(protocol::MsgLogout, protocol::encodeJson(Json::Value(Json::objectValue)),
                          protocol::MsgLogoutAnswer, deadline, answer);
        }
    }
    // Without the lock another thread is inside a request: shutting the connection wakes it.
    close();
}

int Session::exclusive(const Deadline& lockDeadline, const Exclusive& work)
{
    if (!mutex_.try_lock_until(lockDeadline.point()))
        return SDK_ERR_TIMEOUT;
    std::lock_guard<std::timed_mutex> lock(mutex_, std::adopt_lock);
    if (!channel_->isOpen())
        return SDK_ERR_SOCKET;
    return work(*channel_, sessionId_, sequence_);
}

} // namespace netsdk
