#pragma once

// Test peers for the device library's unit tests: a TCP "device" and a UDP "camera", written with
// plain POSIX sockets so each runs its script on its own thread while the library call under test
// blocks the test thread. Every wait is a poll() with a deadline; nothing sleeps.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <cerrno>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QObject>
#include <QtTest>

#include <json/json.h>

#include <netsdk/netsdk.h>

#include <protocol/codec.h>
#include <protocol/frame.h>
#include <protocol/messages.h>

namespace peer {

constexpr int kPeerWaitMs = 10000;

/// What every scripted-peer test shares: the library started afresh for each test function, with
/// loopback only on and a 5 s wait for calls without one of their own, and cleaned up after it.
class Fixture : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        qputenv("VANTREL_LOOPBACK_ONLY", "1");
        QCOMPARE(sdkInit(nullptr, nullptr), 1L);
        QCOMPARE(sdkSetup(5000, 1), 1L);
    }
    void cleanup() { sdkCleanup(); }
};

inline std::vector<std::uint8_t> frameBytes(std::uint16_t id, std::uint32_t session, std::uint32_t sequence,
                                            const std::vector<std::uint8_t>& body)
{
    protocol::FrameHeader h;
    h.messageId = id;
    h.sessionId = session;
    h.sequence = sequence;
    return protocol::encodeFrame(h, body);
}

inline std::vector<std::uint8_t> jsonFrame(std::uint16_t id, std::uint32_t session, std::uint32_t sequence,
                                           const Json::Value& body)
{
    return frameBytes(id, session, sequence, protocol::encodeJson(body));
}

inline Json::Value json(const protocol::Frame& f)
{
    Json::Value v;
    protocol::decodeJsonObject(f.body.data(), f.body.size(), v);
    return v;
}

inline bool contains(const std::vector<std::uint8_t>& haystack, const std::string& needle)
{
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

/// One accepted connection on the device side.
class Connection
{
public:
    explicit Connection(int fd) : fd_(fd) {}
    ~Connection() { ::close(fd_); }

    /// The next frame from the library; false on time-out, close or bad bytes.
    bool read(protocol::Frame& frame, int ms = kPeerWaitMs)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            const protocol::ParseResult r = protocol::parseFrame(buffer_.data(), buffer_.size());
            if (r.status == protocol::ParseStatus::Ok) {
                frame = r.frame;
                buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(r.used));
                return true;
            }
            if (r.status == protocol::ParseStatus::Bad || !fill(end))
                return false;
        }
    }
    /// Whether a further frame's bytes are already waiting, without waiting for any.
    bool pending()
    {
        pollfd p{fd_, POLLIN, 0};
        return !buffer_.empty() || (::poll(&p, 1, 0) > 0 && (p.revents & POLLIN));
    }
    void send(const std::vector<std::uint8_t>& bytes) { ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    /// Sends `bytes` again and again, as fast as the library takes them, until `stop` is set, the
    /// library closes the connection or kPeerWaitMs have passed.
    void flood(const std::vector<std::uint8_t>& bytes, const std::atomic<bool>& stop)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPeerWaitMs);
        while (!stop && std::chrono::steady_clock::now() < end) {
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, 20) > 0 && ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 &&
                errno != EAGAIN)
                return;
        }
    }
    /// Waits until the library closes the connection; true when it did.
    bool waitClosed(int ms = kPeerWaitMs)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (fill(end)) {
        }
        return closed_;
    }
    /// Every byte the library sent on this connection.
    const std::vector<std::uint8_t>& received() const { return all_; }

private:
    bool fill(std::chrono::steady_clock::time_point end)
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd p{fd_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return false;
        std::uint8_t chunk[65536];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) {
            closed_ = true;
            return false;
        }
        buffer_.insert(buffer_.end(), chunk, chunk + n);
        all_.insert(all_.end(), chunk, chunk + n);
        return true;
    }

    int fd_;
    bool closed_ = false;
    std::vector<std::uint8_t> buffer_;
    std::vector<std::uint8_t> all_;
};

/// A TCP listener on 127.0.0.1 (ephemeral port) that runs `script` on the first connection,
/// on its own thread. The destructor waits for the script to end.
class Device
{
public:
    explicit Device(std::function<void(Connection&)> script) : script_(std::move(script))
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 8);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~Device()
    {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    std::uint16_t port() const { return port_; }
    bool accepted() const { return accepted_; }

private:
    void run()
    {
        // Polls in short rounds only so that a test that never connects can end the peer.
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0)
                continue;
            accepted_ = true;
            Connection conn(c);
            script_(conn);
            return;
        }
    }

    std::function<void(Connection&)> script_;
    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> accepted_{false};
    std::thread thread_;
};

/// A UDP socket bound to 0.0.0.0 on an ephemeral port, as the cameras bind theirs, so that a
/// datagram to 127.255.255.255 at that port reaches it.
class Camera
{
public:
    Camera()
    {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        const int on = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~Camera()
    {
        if (thread_.joinable())
            thread_.join();
        ::close(fd_);
    }
    std::uint16_t port() const { return port_; }

    /// Runs `script` on the peer's own thread.
    void start(std::function<void(Camera&)> script)
    {
        thread_ = std::thread([this, script] { script(*this); });
    }
    void join() { thread_.join(); }

    /// The next datagram, parsed; false on time-out or when it is not a frame. The sender is kept
    /// for reply().
    bool read(protocol::Frame& frame, int ms = kPeerWaitMs)
    {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0)
            return false;
        std::uint8_t data[65536];
        socklen_t len = sizeof from_;
        const ssize_t n = ::recvfrom(fd_, data, sizeof data, 0, reinterpret_cast<sockaddr*>(&from_), &len);
        if (n <= 0)
            return false;
        all_.insert(all_.end(), data, data + n);
        const protocol::ParseResult r = protocol::parseFrame(data, static_cast<std::size_t>(n));
        if (r.status != protocol::ParseStatus::Ok)
            return false;
        frame = r.frame;
        return true;
    }
    bool pending()
    {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
    }
    void reply(const std::vector<std::uint8_t>& bytes)
    {
        ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&from_), sizeof from_);
    }
    const std::vector<std::uint8_t>& received() const { return all_; }
    /// reply() again and again, 32 datagrams a call, until `stop` is set or kPeerWaitMs have passed.
    void flood(const std::vector<std::uint8_t>& bytes, const std::atomic<bool>& stop)
    {
        iovec part{const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
        mmsghdr batch[32] = {};
        for (mmsghdr& m : batch)
            m.msg_hdr = msghdr{&from_, sizeof from_, &part, 1, nullptr, 0, 0};
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPeerWaitMs);
        while (!stop && std::chrono::steady_clock::now() < end)
            ::sendmmsg(fd_, batch, 32, 0);
    }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
    sockaddr_in from_{};
    std::thread thread_;
    std::vector<std::uint8_t> all_;
};

/// The device side of a login: checks the proof against `password`, answers -11301 when it does
/// not match. True when the library proved the password.
inline bool acceptLogin(Connection& c, const std::string& user, const std::string& password, std::uint32_t sessionId,
                        const Json::Value& deviceInfo = Json::Value(Json::objectValue))
{
    protocol::Frame hello;
    if (!c.read(hello) || hello.header.messageId != protocol::MsgLoginHello)
        return false;
    const Json::Value h = json(hello);
    const std::string nonce = protocol::randomNonce();
    Json::Value challenge;
    challenge["Ret"] = protocol::kRetOk;
    challenge["Nonce"] = nonce;
    c.send(jsonFrame(protocol::MsgLoginChallenge, 0, hello.header.sequence, challenge));
    protocol::Frame proof;
    if (!c.read(proof) || proof.header.messageId != protocol::MsgLoginProof)
        return false;
    const Json::Value p = json(proof);
    const std::string expected =
        protocol::loginProof(protocol::deriveKey(user, password), nonce, h["ClientNonce"].asString());
    const bool ok = h["UserName"].asString() == user && p["UserName"].asString() == user &&
                    protocol::constantTimeEqual(p["Proof"].asString(), expected);
    Json::Value result;
    result["Ret"] = ok ? protocol::kRetOk : -11301;
    if (ok) {
        result["SessionID"] = sessionId;
        result["DeviceInfo"] = deviceInfo;
    }
    c.send(jsonFrame(protocol::MsgLoginResult, 0, proof.header.sequence, result));
    return ok;
}

/// Serves requests after a login: `handle` answers each (false ends the connection); a logout is
/// answered here and ends it too.
inline void serve(Connection& c, const std::function<bool(Connection&, const protocol::Frame&)>& handle)
{
    protocol::Frame f;
    while (c.read(f)) {
        if (f.header.messageId == protocol::MsgLogout) {
            Json::Value ok;
            ok["Ret"] = protocol::kRetOk;
            c.send(jsonFrame(protocol::MsgLogoutAnswer, f.header.sessionId, f.header.sequence, ok));
            c.waitClosed();
            return;
        }
        if (!handle(c, f))
            return;
    }
}

} // namespace peer
