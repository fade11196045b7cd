// Search answers arrive from anyone on the LAN. An accepted answer must respect every limit and
// re-encode to an answer that decodes to the same values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "protocol/codec.h"

using namespace protocol;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    SearchInfo info;
    if (decodeSearchAnswer(data, size, info) != DecodeStatus::Ok)
        return 0;
    if (info.token.size() > 64 || info.hostName.size() > 63 || info.mac.size() > 31 || info.cloudId.size() > 38 ||
        info.version.size() > 127)
        std::abort();
    const std::vector<std::uint8_t> again = encodeSearchAnswer(info);
    SearchInfo back;
    if (decodeSearchAnswer(again.data(), again.size(), back) != DecodeStatus::Ok)
        std::abort();
    if (back.token != info.token || back.hostName != info.hostName || back.mac != info.mac ||
        back.cloudId != info.cloudId || back.version != info.version || back.flag != info.flag ||
        back.deviceKind != info.deviceKind || back.buildYear != info.buildYear || back.buildMonth != info.buildMonth ||
        back.buildDay != info.buildDay || std::memcmp(back.hostIp, info.hostIp, 4) != 0 ||
        std::memcmp(back.submask, info.submask, 4) != 0 || std::memcmp(back.gateway, info.gateway, 4) != 0 ||
        std::memcmp(back.ports, info.ports, sizeof(info.ports)) != 0)
        std::abort();
    return 0;
}
