// The binary configuration bodies: SetConfig (device side) and GetConfigAnswer (library side).
// Accepted bodies must re-encode to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "protocol/codec.h"
#include "protocol/messages.h"

using namespace protocol;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> input(data, data + size);

    SetConfigBody set;
    if (decodeSetConfig(data, size, set) == DecodeStatus::Ok) {
        if (set.record.size() > kMaxRecordSize || encodeSetConfig(set) != input)
            std::abort();
    } else if (size >= 8 && size - 8 <= kMaxRecordSize) {
        std::abort();
    }

    GetConfigAnswer answer;
    if (decodeGetConfigAnswer(data, size, answer) == DecodeStatus::Ok) {
        if (answer.record.size() > kMaxRecordSize || (answer.ret != kRetOk && !answer.record.empty()) ||
            encodeGetConfigAnswer(answer) != input)
            std::abort();
    }
    return 0;
}
