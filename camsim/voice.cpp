#include "voice.h"

#include <cmath>

#include "protocol/media.h"

namespace camsim {

std::uint8_t linearToAlaw(std::int16_t sample)
{
    // Segment ends of the 13-bit magnitude (G.711, A-law).
    static const int kSegmentEnd[8] = {0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};
    int pcm = sample >> 3;
    std::uint8_t mask;
    if (pcm >= 0) {
        mask = 0xD5; // sign bit set, even bits inverted
    } else {
        mask = 0x55;
        pcm = -pcm - 1;
    }
    int segment = 0;
    while (segment < 8 && pcm > kSegmentEnd[segment])
        ++segment;
    if (segment >= 8)
        return static_cast<std::uint8_t>(0x7F ^ mask);
    std::uint8_t code = static_cast<std::uint8_t>(segment << 4);
    code |= static_cast<std::uint8_t>(segment < 2 ? (pcm >> 1) & 0x0F : (pcm >> segment) & 0x0F);
    return static_cast<std::uint8_t>(code ^ mask);
}

std::vector<std::uint8_t> ToneSource::nextFrame()
{
    constexpr double kTwoPi = 6.283185307179586;
    std::uint8_t audio[protocol::kVoicePayload];
    for (std::uint8_t& a : audio) {
        const double phase = kTwoPi * kFrequencyHz * double(sample_++ % kSampleRate) / kSampleRate;
        a = linearToAlaw(static_cast<std::int16_t>(std::lround(kAmplitude * 32767.0 * std::sin(phase))));
    }
    return protocol::encodeVoiceFrame(audio, sizeof audio);
}

} // namespace camsim
