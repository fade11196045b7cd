// Scans arbitrary bytes as a media connection would: frame after frame until the parser stops,
// and the voice frames inside every audio frame as a playback port reads them. Views must stay
// inside the input; an accepted video frame's fixed part must survive a re-encode.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "protocol/frame.h"
#include "protocol/media.h"
#include "protocol/messages.h"

using namespace protocol;

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

void scanVoice(const std::uint8_t* data, std::size_t size)
{
    std::size_t pos = 0;
    while (pos < size) {
        const VoiceFrame v = parseVoiceFrame(data + pos, size - pos);
        if (v.status == ParseStatus::Incomplete)
            break;
        if (v.status == ParseStatus::Bad) {
            ++pos; // resynchronise as a reader of a byte stream does
            continue;
        }
        check(v.used == kVoiceHeaderSize + v.payloadSize && v.used <= size - pos);
        check(v.payload == data + pos + kVoiceHeaderSize && v.payloadSize <= kMaxVoicePayload);
        pos += v.used;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::size_t pos = 0;
    for (;;) {
        const MediaFrame m = parseMediaFrame(data + pos, size - pos);
        if (m.status != ParseStatus::Ok)
            break;
        const std::uint8_t* end = data + size;
        check(m.used == kHeaderSize + m.bodySize && m.used <= size - pos);
        check(m.bodySize <= maxBodyLength(m.header.messageId));
        check(m.body == data + pos + kHeaderSize);
        if (m.header.messageId == MsgVideoFrame) {
            check(m.payload > m.body && m.payload + m.payloadSize == m.body + m.bodySize && m.payloadSize > 0);
            const std::vector<std::uint8_t> head = encodeVideoFrameHead(m.video);
            check(std::equal(head.begin(), head.end(), m.body));
        } else if (m.header.messageId == MsgAudioFrame) {
            check(m.payload == m.body && m.payloadSize == m.bodySize && m.payload + m.payloadSize <= end);
            scanVoice(m.payload, m.payloadSize);
        }
        pos += m.used;
    }
    scanVoice(data, size);
    return 0;
}
