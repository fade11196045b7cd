#include "g711.h"

namespace mediaplay {

std::int16_t alawToLinear(std::uint8_t code)
{
    // G.711: the even bits are inverted on the wire; the top bit is the sign (set = positive),
    // then a 3-bit segment (exponent) and a 4-bit step within it.
    const std::uint8_t a = code ^ 0x55;
    int magnitude = (a & 0x0F) << 4;
    const int segment = (a & 0x70) >> 4;
    if (segment == 0)
        magnitude += 8;
    else
        magnitude = (magnitude + 0x108) << (segment - 1);
    return static_cast<std::int16_t>((a & 0x80) ? magnitude : -magnitude);
}

} // namespace mediaplay
