#pragma once

#include <cstdint>
#include <vector>

namespace camsim {

/// G.711 A-law code of a 16-bit linear sample.
std::uint8_t linearToAlaw(std::int16_t sample);

/// The camera's "microphone": a steady sine tone, 8 kHz G.711 A-law, in voice frames of 160
/// samples (20 ms) with continuous phase from frame to frame.
class ToneSource
{
public:
    static constexpr int kSampleRate = 8000;
    static constexpr int kFrequencyHz = 1000;
    static constexpr double kAmplitude = 0.3; ///< of full scale

    /// The next voice frame (8-byte header and 160 A-law bytes).
    std::vector<std::uint8_t> nextFrame();

private:
    std::uint64_t sample_ = 0;
};

} // namespace camsim
