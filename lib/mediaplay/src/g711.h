#pragma once

#include <cstdint>

namespace mediaplay {

/// 16-bit linear sample of a G.711 A-law code.
std::int16_t alawToLinear(std::uint8_t code);

} // namespace mediaplay
