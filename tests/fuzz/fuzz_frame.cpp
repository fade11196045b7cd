// Scans arbitrary bytes as a TCP stream would: frame after frame until the parser stops.
// Every frame it accepts must survive a re-encode unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "protocol/frame.h"
#include "protocol/messages.h"

using namespace protocol;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::size_t pos = 0;
    std::vector<Frame> frames;
    for (;;) {
        const ParseResult r = parseFrame(data + pos, size - pos);
        if (r.status != ParseStatus::Ok)
            break;
        if (r.used != kHeaderSize + r.frame.body.size() || r.used > size - pos ||
            r.frame.body.size() > maxBodyLength(r.frame.header.messageId))
            std::abort();
        const ParseResult header = parseHeader(data + pos, size - pos);
        if (header.status != ParseStatus::Ok || header.frame.header.bodyLength != r.frame.header.bodyLength)
            std::abort();
        const std::vector<std::uint8_t> again = encodeFrame(r.frame.header, r.frame.body);
        const ParseResult back = parseFrame(again.data(), again.size());
        if (back.status != ParseStatus::Ok || back.frame.body != r.frame.body ||
            back.frame.header.messageId != r.frame.header.messageId ||
            back.frame.header.sessionId != r.frame.header.sessionId ||
            back.frame.header.sequence != r.frame.header.sequence)
            std::abort();
        frames.push_back(r.frame);
        pos += r.used;
    }

    // The stream reassembler must agree with the loop above whatever way the bytes arrive.
    FrameStream stream;
    std::size_t got = 0;
    const std::size_t chunk = size > 0 ? 1 + data[0] % 7 : 1;
    for (std::size_t off = 0; off < size; off += chunk) {
        stream.append(data + off, chunk < size - off ? chunk : size - off);
        for (;;) {
            const ParseResult r = stream.next();
            if (r.status != ParseStatus::Ok)
                break;
            if (got >= frames.size() || r.frame.body != frames[got].body)
                std::abort();
            ++got;
        }
    }
    if (got != frames.size())
        std::abort();
    return 0;
}
