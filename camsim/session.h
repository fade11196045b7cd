#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <json/json.h>

#include "media.h"
#include "protocol/frame.h"

namespace camsim {

class Camera;

/// What the connection does once an answer has left.
enum class After
{
    Nothing,
    Close,         ///< close the connection (logout, failed login, busy)
    Reboot,        ///< reboot the camera (control action 0)
    WriteFirmware, ///< a checked package arrived: write camera.pendingFirmware, report, reboot
    Die,           ///< the camera dies at once and comes back as after a reboot (fault injection)
    Media          ///< a media claim was accepted: the connection now carries claimedMedia()
};

struct Outgoing
{
    std::vector<std::uint8_t> bytes; ///< may be empty when only the action matters
    After after = After::Nothing;
};

/// One TCP connection on a camera's service port, without the socket: bytes in, answers out.
/// Login (hello, challenge, proof, result), then configuration, keep-alive, logout and control.
class Session
{
public:
    /// `busy`: the camera had no room for this connection; its hello is answered with Ret 7.
    Session(Camera& camera, bool busy);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    struct Result
    {
        std::vector<Outgoing> out;
        bool abort = false; ///< a bad frame arrived: close at once, answer nothing more
    };
    /// Takes the next bytes of the stream. Whole frames are handled in order; a partial frame
    /// waits in the buffer (never larger than the largest frame the protocol allows).
    Result feed(const std::uint8_t* data, std::size_t size, std::int64_t nowMs);

    /// The zero-copy way in, for a socket reader: receiveSpace() says where the next stream bytes
    /// go and how many the session takes there (at least one, at most the rest of the current
    /// frame, so nothing is read ahead); received() takes the `size` bytes written there. The body
    /// of an accepted upgrade chunk lands directly in the package.
    std::uint8_t* receiveSpace(std::size_t& room);
    Result received(std::size_t size, std::int64_t nowMs);

    bool loggedIn() const { return state_ == State::LoggedIn; }
    std::uint32_t sessionId() const { return sessionId_; }
    /// Bytes of a frame received and not handled yet (an upgrade chunk's body excluded: it is
    /// already in the package).
    std::size_t buffered() const { return filled_; }
    /// Sequence number of the last upgrade request: the firmware-write reports repeat it.
    std::uint32_t upgradeSequence() const;
    /// Gives the session slot back (also done by the destructor).
    void release();
    /// What an accepted media claim on this connection grants (After::Media).
    const MediaGrant& claimedMedia() const { return claimed_; }

private:
    enum class State
    {
        AwaitHello,
        AwaitProof,
        LoggedIn,
        Closed
    };

    /// Bytes still needed to complete what the buffer holds: the header, then the whole frame.
    std::size_t wanted() const;
    /// True when a frame with this header would be handled as an accepted upgrade chunk.
    bool takesUpgradeBody(const protocol::FrameHeader& header) const;
    void fail(Result& result);
    /// False: the frame is bad.
    bool handle(const protocol::Frame& frame, std::int64_t nowMs, Result& result);
    bool handleHello(const protocol::Frame& frame, Result& result);
    bool handleProof(const protocol::Frame& frame, std::int64_t nowMs, Result& result);
    bool handleRequest(const protocol::Frame& frame, Result& result);
    bool handleUpgradeStart(const Json::Value& body, std::uint32_t sequence, Result& result);
    bool handleUpgradeData(const protocol::Frame& frame, Result& result);
    /// An upgrade chunk's body is complete in the package: fault injection, then the check.
    void upgradeChunkDone(Result& result);
    void dropPackage();
    bool handleMediaOpen(const Json::Value& body, std::uint32_t sequence, Result& result);
    bool handleMediaClaim(const protocol::Frame& frame, Result& result);
    void answer(Result& result, std::uint16_t messageId, std::uint32_t sequence, const Json::Value& body,
                After after = After::Nothing);
    void answerBinary(Result& result, std::uint16_t messageId, std::uint32_t sequence,
                      const std::vector<std::uint8_t>& body);
    Json::Value withSessionId(Json::Value reply) const;

    Camera& camera_;
    bool busy_;
    State state_ = State::AwaitHello;
    // One frame at a time: buffer_ holds the first filled_ bytes of it; its capacity is kept.
    std::vector<std::uint8_t> buffer_;
    std::size_t filled_ = 0;
    protocol::FrameHeader header_; ///< of the frame in buffer_, once headerKnown_
    bool headerKnown_ = false;
    std::size_t bodyLeft_ = 0; ///< bytes of an upgrade chunk's body still to land in the package
    std::string user_;
    std::string clientNonce_;
    std::string nonce_;
    std::uint32_t sessionId_ = 0;
    bool holdsSlot_ = false;
    // Upgrade transfer in progress on this connection.
    bool receiving_ = false;
    bool dying_ = false;
    std::uint32_t upgradeSequence_ = 0;
    std::size_t upgradeSize_ = 0;
    struct FreePackage
    {
        void operator()(std::uint8_t* p) const;
    };
    // Allocated once from the announced size, left uninitialised: pages cost only as data arrives.
    std::unique_ptr<std::uint8_t, FreePackage> package_;
    std::size_t packageSize_ = 0;
    MediaGrant claimed_;
};

} // namespace camsim
