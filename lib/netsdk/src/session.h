#pragma once

// One TCP connection to a device and the login session on it. The connection is driven only by
// the thread that holds the session's mutex, one request at a time; the receive buffer keeps
// whatever arrives beyond a frame, so a late answer is read (and skipped) by the next request.
// An asynchronous receiver would own the channel's reading side and hand answers to waiting
// requests by sequence number; the request/answer interface below stays the same.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <protocol/frame.h>

#include "deadline.h"
#include "socket_io.h"

namespace netsdk {

/// Frames over one TCP connection with deadlines. Owns the socket; closes it on destruction.
class FrameChannel
{
public:
    enum class Status
    {
        Ok,
        Timeout,
        Closed, ///< the peer closed the connection, or it failed
        Bad     ///< bytes that are not a valid frame arrived
    };

    explicit FrameChannel(net::Socket s);
    ~FrameChannel();
    FrameChannel(const FrameChannel&) = delete;
    FrameChannel& operator=(const FrameChannel&) = delete;

    /// Sends one frame. A frame sent only in part leaves the stream unusable: the channel is shut.
    Status send(const protocol::FrameHeader& header, const std::vector<std::uint8_t>& body, const Deadline& deadline);
    /// The same for a body that lies elsewhere; it is sent from there, not copied.
    Status send(const protocol::FrameHeader& header, const std::uint8_t* body, std::size_t bodySize,
                const Deadline& deadline);
    /// The same for a body of `bodySize` bytes at `offset` in the open file `file`, sent from the
    /// file. A file that ends before the body does leaves the frame unfinished: Closed.
    Status sendFile(const protocol::FrameHeader& header, int file, std::int64_t offset, std::size_t bodySize,
                    const Deadline& deadline);
    /// Reads the next whole frame.
    Status receive(protocol::Frame& frame, const Deadline& deadline);
    /// Stops all traffic; the descriptor itself is released by the destructor, so a thread that
    /// still uses the channel never touches a reused descriptor.
    void shut();
    bool isOpen() const { return open_.load(); }
    /// The device's address and port.
    bool peer(net::Endpoint& out) const { return net::peerOf(socket_, out); }

private:
    /// Drives `step` (which sends from `done` on and says how much went) until `total` bytes are out.
    Status sendAll(std::size_t total, const std::function<net::IoStatus(std::size_t done, std::size_t& n)>& step,
                   const Deadline& deadline);
    static std::vector<std::uint8_t> headerBytes(const protocol::FrameHeader& header, std::size_t bodySize);

    net::Socket socket_;
    std::atomic<bool> open_{true};
    std::vector<std::uint8_t> buffer_;
};

/// Connects to ip:port within the deadline, making up to `tries` attempts. Returns SDK_OK with
/// the connected socket, SDK_ERR_TIMEOUT, or SDK_ERR_NO_DEVICE (refused, unreachable).
int connectTcp(const net::Endpoint& to, int tries, const Deadline& deadline, net::Socket& out);

/// A logged-in device.
class Session
{
public:
    Session(std::unique_ptr<FrameChannel> channel, std::uint32_t sessionId, std::uint32_t lastSequence);

    /// Sends one request and waits for its answer: the frame with the request's sequence number.
    /// Frames with other sequence numbers (answers that came too late for an earlier request)
    /// are skipped. Returns SDK_OK, SDK_ERR_TIMEOUT (the session stays usable), SDK_ERR_SOCKET
    /// (the connection is gone), or SDK_ERR_PROTOCOL (a bad frame or an answer of the wrong kind:
    /// counted, and the connection is closed).
    int request(std::uint16_t requestId, const std::vector<std::uint8_t>& body, std::uint16_t answerId,
                const Deadline& deadline, protocol::Frame& answer);
    /// For a caller that found the answer's body malformed: counts it, closes the connection and
    /// returns SDK_ERR_PROTOCOL.
    int rejectAnswer();
    /// Closes the connection; later requests fail with SDK_ERR_SOCKET.
    void close();
    /// Sends the logout and waits for its answer until the deadline, then closes.
    void logout(const Deadline& deadline);

    /// What exclusive() lends: the connection, the session id and the sequence counter (the
    /// caller numbers its requests with ++sequence).
    using Exclusive = std::function<int(FrameChannel& channel, std::uint32_t sessionId, std::uint32_t& sequence)>;
    /// Runs `work` with the connection to itself, no other request in between (a transfer of
    /// many frames). Waits for another thread's request until `lockDeadline`, then answers
    /// SDK_ERR_TIMEOUT; SDK_ERR_SOCKET when the connection is gone; else what `work` returns.
    int exclusive(const Deadline& lockDeadline, const Exclusive& work);
    /// The device's address and service port (where media connections go).
    bool peer(net::Endpoint& out) const { return channel_->peer(out); }

private:
    int requestLocked(std::uint16_t requestId, const std::vector<std::uint8_t>& body, std::uint16_t answerId,
                      const Deadline& deadline, protocol::Frame& answer);

    std::timed_mutex mutex_; // one request at a time
    std::unique_ptr<FrameChannel> channel_;
    std::uint32_t sessionId_;
    std::uint32_t sequence_;
};

} // namespace netsdk
