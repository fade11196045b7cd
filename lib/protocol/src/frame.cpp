#include "protocol/frame.h"

#include <algorithm>
#include <cstring>

#include "protocol/messages.h"
#include "bytes.h"
#include "counters.h"

namespace protocol {

namespace {

using bytes::readU16;
using bytes::readU32;
using bytes::writeU16;
using bytes::writeU32;

ParseResult bad(BadReason reason)
{
    ParseResult r;
    r.status = ParseStatus::Bad;
    r.reason = reason;
    return r;
}

// Constant offsets of the header fields.
constexpr std::size_t kOffVersion = 1;
constexpr std::size_t kOffSession = 4;
constexpr std::size_t kOffSequence = 8;
constexpr std::size_t kOffMessageId = 14;
constexpr std::size_t kOffBodyLength = 16;

} // namespace

namespace {

ParseResult headerImpl(const std::uint8_t* data, std::size_t size)
{
    // Reject as early as the bytes allow, so a stream of garbage is dropped after its first byte
    // instead of after twenty.
    if (size >= 1 && data[0] != kStartByte)
        return bad(BadReason::StartByte);
    if (size > kOffVersion && data[kOffVersion] != kVersion)
        return bad(BadReason::Version);
    if (size >= kOffMessageId + 2 && maxBodyLength(readU16(data + kOffMessageId)) == 0)
        return bad(BadReason::UnknownMessage);
    if (size < kHeaderSize)
        return ParseResult{};

    ParseResult r;
    FrameHeader& h = r.frame.header;
    h.version = data[kOffVersion];
    h.sessionId = readU32(data + kOffSession);
    h.sequence = readU32(data + kOffSequence);
    h.messageId = readU16(data + kOffMessageId);
    h.bodyLength = readU32(data + kOffBodyLength);
    if (h.bodyLength > maxBodyLength(h.messageId))
        return bad(BadReason::TooLong);
    r.status = ParseStatus::Ok;
    r.used = kHeaderSize;
    return r;
}

} // namespace

ParseResult parseHeader(const std::uint8_t* data, std::size_t size)
{
    ParseResult r = headerImpl(data, size);
    if (r.status == ParseStatus::Bad)
        detail::count(detail::badFrames);
    return r;
}

ParseResult parseFrame(const std::uint8_t* data, std::size_t size)
{
    ParseResult r = headerImpl(data, size);
    if (r.status == ParseStatus::Bad)
        detail::count(detail::badFrames);
    if (r.status != ParseStatus::Ok)
        return r;
    // bodyLength is at most maxBodyLength() here, far below SIZE_MAX - kHeaderSize.
    const std::size_t total = kHeaderSize + r.frame.header.bodyLength;
    if (size < total)
        return ParseResult{};
    r.frame.body.assign(data + kHeaderSize, data + total);
    r.used = total;
    return r;
}

std::vector<std::uint8_t> encodeFrame(FrameHeader header, const std::uint8_t* body, std::size_t bodySize)
{
    header.bodyLength = static_cast<std::uint32_t>(bodySize);
    std::vector<std::uint8_t> out(kHeaderSize + bodySize, 0);
    out[0] = kStartByte;
    out[kOffVersion] = header.version;
    writeU32(out.data() + kOffSession, header.sessionId);
    writeU32(out.data() + kOffSequence, header.sequence);
    writeU16(out.data() + kOffMessageId, header.messageId);
    writeU32(out.data() + kOffBodyLength, header.bodyLength);
    if (bodySize > 0)
        std::memcpy(out.data() + kHeaderSize, body, bodySize);
    return out;
}

std::vector<std::uint8_t> encodeFrame(FrameHeader header, const std::vector<std::uint8_t>& body)
{
    return encodeFrame(header, body.data(), body.size());
}

// ---- FrameStream -----------------------------------------------------------------------------

void FrameStream::append(const std::uint8_t* data, std::size_t size)
{
    if (size == 0 || broken_)
        return;
    // Drop what earlier frames consumed before growing, so the buffer holds at most one
    // partial frame plus the new bytes.
    if (start_ > 0) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    buffer_.insert(buffer_.end(), data, data + size);
}

ParseResult FrameStream::next()
{
    if (broken_) {
        ParseResult r;
        r.status = ParseStatus::Bad;
        r.reason = reason_;
        return r;
    }
    ParseResult r = parseFrame(buffer_.data() + start_, buffer_.size() - start_);
    if (r.status == ParseStatus::Ok) {
        start_ += r.used;
        if (start_ == buffer_.size()) {
            buffer_.clear();
            start_ = 0;
        }
    } else if (r.status == ParseStatus::Bad) {
        // A byte stream cannot resynchronise after a bad header: everything after it is suspect.
        broken_ = true;
        reason_ = r.reason;
        buffer_.clear();
        start_ = 0;
    }
    return r;
}

std::size_t FrameStream::buffered() const
{
    return buffer_.size() - start_;
}

bool FrameStream::broken() const
{
    return broken_;
}

void FrameStream::reset()
{
    buffer_.clear();
    start_ = 0;
    broken_ = false;
    reason_ = BadReason::None;
}

} // namespace protocol
