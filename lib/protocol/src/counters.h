#pragma once

#include <atomic>
#include <cstdint>

namespace protocol::detail {

// Process-wide refusal counters behind parserCounters().
extern std::atomic<std::uint64_t> badFrames;
extern std::atomic<std::uint64_t> badJsonBodies;
extern std::atomic<std::uint64_t> badSearchAnswers;
extern std::atomic<std::uint64_t> badBinaryBodies;

inline void count(std::atomic<std::uint64_t>& counter)
{
    counter.fetch_add(1, std::memory_order_relaxed);
}

} // namespace protocol::detail
