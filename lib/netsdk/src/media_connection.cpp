#include "media_connection.h"

#include <algorithm>
#include <cstring>

#include <protocol/codec.h>
#include <protocol/messages.h>

#include "library_state.h"
#include "netsdk/netsdk.h"
#include "session.h"

namespace netsdk {

namespace {

constexpr std::size_t kReadChunk = 256 * 1024;
constexpr std::size_t kMaxKindLength = 16;
constexpr std::size_t kMaxTokenLength = 64;

bool retOf(const Json::Value& body, std::int64_t& ret)
{
    return protocol::getInt(body, "Ret", ret);
}

int deviceCode(std::int64_t ret)
{
    return ret < 0 && ret >= INT32_MIN ? static_cast<int>(ret) : SDK_ERR_GENERAL;
}

} // namespace

MediaConnection::MediaConnection(net::Socket socket, std::uint32_t sessionId) : socket_(socket), sessionId_(sessionId)
{
}

MediaConnection::~MediaConnection()
{
    net::closeSocket(socket_);
}

int MediaConnection::open(Session& session, const std::string& kind, int channel, int stream, const Deadline& deadline,
                          std::unique_ptr<MediaConnection>& out, Json::Value& claimAnswer)
{
    Json::Value request(Json::objectValue);
    request["Kind"] = kind.substr(0, kMaxKindLength);
    request["Channel"] = channel;
    request["Stream"] = stream;
    protocol::Frame answer;
    int rc = session.request(protocol::MsgMediaOpen, protocol::encodeJson(request), protocol::MsgMediaOpenAnswer,
                             deadline, answer);
    if (rc != SDK_OK)
        return rc;
    Json::Value body;
    std::int64_t ret = 0;
    std::string token;
    if (protocol::decodeJsonObject(answer.body.data(), answer.body.size(), body) != protocol::DecodeStatus::Ok ||
        !retOf(body, ret))
        return session.rejectAnswer();
    if (ret != protocol::kRetOk)
        return deviceCode(ret);
    if (!protocol::getString(body, "Token", token, kMaxTokenLength))
        return session.rejectAnswer();

    net::Endpoint device;
    if (!session.peer(device))
        return SDK_ERR_SOCKET;
    net::Socket socket = net::kInvalidSocket;
    rc = connectTcp(device, 1, deadline, socket);
    if (rc != SDK_OK)
        return rc;
    net::setNoDelay(socket);
    std::unique_ptr<MediaConnection> connection(new MediaConnection(socket, answer.header.sessionId));

    Json::Value claim(Json::objectValue);
    claim["Token"] = token;
    const std::vector<std::uint8_t> claimBody = protocol::encodeJson(claim);
    if (connection->send(protocol::MsgMediaClaim, claimBody.data(), claimBody.size(), deadline) != Status::Ok)
        return deadline.expired() ? SDK_ERR_TIMEOUT : SDK_ERR_SOCKET;
    protocol::MediaFrame frame;
    switch (connection->next(frame, deadline)) {
    case Status::Ok:
        break;
    case Status::Timeout:
        return SDK_ERR_TIMEOUT;
    case Status::Closed:
        return SDK_ERR_SOCKET;
    case Status::Bad:
        return SDK_ERR_PROTOCOL;
    }
    if (frame.header.messageId != protocol::MsgMediaClaimAnswer ||
        protocol::decodeJsonObject(frame.body, frame.bodySize, claimAnswer) != protocol::DecodeStatus::Ok ||
        !retOf(claimAnswer, ret)) {
        countBadFrame();
        return SDK_ERR_PROTOCOL;
    }
    if (ret != protocol::kRetOk)
        return deviceCode(ret);
    out = std::move(connection);
    return SDK_OK;
}

MediaConnection::Status MediaConnection::next(protocol::MediaFrame& frame, const Deadline& deadline)
{
    start_ += returned_;
    returned_ = 0;
    for (;;) {
        const protocol::MediaFrame m = protocol::parseMediaFrame(buffer_.data() + start_, buffer_.size() - start_);
        if (m.status == protocol::ParseStatus::Ok) {
            frame = m;
            returned_ = m.used;
            return Status::Ok;
        }
        if (m.status == protocol::ParseStatus::Bad) {
            countBadFrame();
            shut();
            return Status::Bad;
        }
        if (!open_.load())
            return Status::Closed;
        // Keep only the partial frame, at the front, before reading more behind it.
        if (start_ > 0) {
            buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
            start_ = 0;
        }
        const net::WaitResult w = net::waitReadable(socket_, deadline.remainingMs());
        if (w == net::WaitResult::Timeout)
            return Status::Timeout;
        if (w == net::WaitResult::Failed)
            return Status::Closed;
        // The parser refused any header announcing more than its message may carry, so the buffer
        // holds at most one frame and one chunk.
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

MediaConnection::Status MediaConnection::send(std::uint16_t messageId, const std::uint8_t* body, std::size_t size,
                                              const Deadline& deadline)
{
    protocol::FrameHeader header;
    header.sessionId = sessionId_;
    header.messageId = messageId;
    std::vector<std::uint8_t> wire = protocol::encodeFrame(header, body, size);
    std::lock_guard<std::mutex> lock(sendMutex_);
    std::size_t done = 0;
    while (done < wire.size()) {
        if (!open_.load())
            return Status::Closed;
        std::size_t n = 0;
        const net::IoStatus st = net::sendSome(socket_, wire.data() + done, wire.size() - done, n);
        if (st == net::IoStatus::Ok) {
            done += n;
            continue;
        }
        if (st != net::IoStatus::WouldBlock) {
            shut();
            return Status::Closed;
        }
        const net::WaitResult w = net::waitWritable(socket_, deadline.remainingMs());
        if (w != net::WaitResult::Ready) {
            // Half a frame on the wire would make every later one unreadable to the device.
            if (done > 0 || w == net::WaitResult::Failed)
                shut();
            return w == net::WaitResult::Timeout ? Status::Timeout : Status::Closed;
        }
    }
    return Status::Ok;
}

void MediaConnection::stop(const Deadline& deadline)
{
    const std::uint8_t empty[] = {'{', '}'};
    if (send(protocol::MsgMediaStop, empty, sizeof empty, deadline) == Status::Ok)
        net::shutdownSend(socket_);
    else
        shut();
}

void MediaConnection::shut()
{
    if (open_.exchange(false))
        net::shutdownSocket(socket_);
}

} // namespace netsdk
