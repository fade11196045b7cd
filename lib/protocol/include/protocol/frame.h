#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace protocol {

/// Every message on every transport (UDP discovery, TCP sessions, the upgrade-progress port)
/// is one 20-byte header followed by the body. All integers are little-endian.
///
///  off size field
///    0    1 start byte, always 0xFF
///    1    1 version (kVersion)
///    2    2 reserved, zero
///    4    4 session id (0 before login)
///    8    4 sequence number (an answer repeats its request's)
///   12    2 reserved, zero
///   14    2 message id
///   16    4 body length
constexpr std::size_t kHeaderSize = 20;
constexpr std::uint8_t kStartByte = 0xFF;
constexpr std::uint8_t kVersion = 1;

struct FrameHeader
{
    std::uint8_t version = kVersion;
    std::uint32_t sessionId = 0;
    std::uint32_t sequence = 0;
    std::uint16_t messageId = 0;
    std::uint32_t bodyLength = 0;
};

struct Frame
{
    FrameHeader header;
    std::vector<std::uint8_t> body;
};

enum class ParseStatus
{
    Ok,         ///< a whole frame was parsed; `used` bytes were consumed
    Incomplete, ///< more bytes are needed; nothing was consumed
    Bad         ///< the bytes cannot start a valid frame; the caller drops the connection or datagram
};

enum class BadReason
{
    None,
    StartByte,      ///< first byte is not 0xFF
    Version,        ///< unknown protocol version
    UnknownMessage, ///< message id not in the table
    TooLong,        ///< body length above the message's limit
};

struct ParseResult
{
    ParseStatus status = ParseStatus::Incomplete;
    BadReason reason = BadReason::None;
    Frame frame;          ///< valid when status == Ok
    std::size_t used = 0; ///< bytes consumed when status == Ok
};

/// Parses one frame from the front of `data`. Checks the start byte, the version, the message id
/// and the body length against the message's limit before looking at any body byte, so a hostile
/// length never causes an allocation.
ParseResult parseFrame(const std::uint8_t* data, std::size_t size);

/// Parses only the header (needs kHeaderSize bytes); same checks as parseFrame.
ParseResult parseHeader(const std::uint8_t* data, std::size_t size);

/// Serialises header + body; header.bodyLength is taken from body.size().
std::vector<std::uint8_t> encodeFrame(FrameHeader header, const std::uint8_t* body, std::size_t bodySize);
std::vector<std::uint8_t> encodeFrame(FrameHeader header, const std::vector<std::uint8_t>& body);

/// Reassembles frames from a byte stream (a TCP connection): append what the socket delivered,
/// then call next() until it stops returning Ok. After a Bad result the stream stays broken (the
/// caller closes the connection) and holds no bytes.
class FrameStream
{
public:
    void append(const std::uint8_t* data, std::size_t size);
    /// Ok: `frame` is the next whole frame. Incomplete: wait for more bytes. Bad: give up.
    ParseResult next();
    /// Bytes received and not yet returned as a frame.
    std::size_t buffered() const;
    bool broken() const;
    void reset();

private:
    std::vector<std::uint8_t> buffer_;
    std::size_t start_ = 0; ///< bytes at the front of buffer_ already returned as frames
    bool broken_ = false;
    BadReason reason_ = BadReason::None;
};

} // namespace protocol
