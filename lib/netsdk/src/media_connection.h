#pragma once

// A media connection (docs/protocol.md, "Media"): asked for on a login's connection, then a TCP
// connection of its own that carries one live stream or one voice talk. One thread reads it;
// any thread may send on it (sends are serialised); shut() from any thread wakes the reader.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <json/json.h>

#include <protocol/media.h>

#include "deadline.h"
#include "socket_io.h"

namespace netsdk {

class Session;

class MediaConnection
{
public:
    enum class Status
    {
        Ok,
        Timeout,
        Closed, ///< the device closed the connection, or it failed or was shut
        Bad     ///< bytes that are not a media frame arrived (counted)
    };

    /// Asks the login's device for `kind` ("Video" or "Voice") of channel/stream, connects and
    /// claims it. SDK_OK with the connection and the device's claim answer, else the error code:
    /// the device's refusal (e.g. -11601), SDK_ERR_TIMEOUT, SDK_ERR_SOCKET, SDK_ERR_NO_DEVICE,
    /// SDK_ERR_PROTOCOL, SDK_ERR_REFUSED_DEST.
    static int open(Session& session, const std::string& kind, int channel, int stream, const Deadline& deadline,
                    std::unique_ptr<MediaConnection>& out, Json::Value& claimAnswer);

    ~MediaConnection();
    MediaConnection(const MediaConnection&) = delete;
    MediaConnection& operator=(const MediaConnection&) = delete;

    /// The next frame; its views stay valid until the next call. One reading thread only.
    Status next(protocol::MediaFrame& frame, const Deadline& deadline);
    Status send(std::uint16_t messageId, const std::uint8_t* body, std::size_t size, const Deadline& deadline);
    /// Sends MsgMediaStop and stops sending; the reader goes on until the device closes.
    void stop(const Deadline& deadline);
    /// Stops all traffic and wakes the reader.
    void shut();

private:
    MediaConnection(net::Socket socket, std::uint32_t sessionId);

    net::Socket socket_;
    std::uint32_t sessionId_;
    std::atomic<bool> open_{true};
    std::mutex sendMutex_;
    std::vector<std::uint8_t> buffer_; ///< received bytes; [start_, end) not yet returned
    std::size_t start_ = 0;
    std::size_t returned_ = 0; ///< bytes of the frame handed out by the last next()
};

} // namespace netsdk
