#pragma once

// The ports' streams: what was fed and not decoded yet, and the decoded audio waiting for the
// sound output. Shared by the API (any thread) and the audio output (its own thread).

#include <cstddef>
#include <cstdint>

namespace mediaplay {

/// Takes up to `count` samples of the port's decoded audio into `out`; the rest is silence.
/// Never blocks on more than the port's lock.
void takeSamples(int port, std::int16_t* out, std::size_t count);

} // namespace mediaplay
