#include "deadline.h"

#include <algorithm>
#include <limits>

namespace netsdk {

Deadline::Deadline(int ms) : end_(Clock::now() + std::chrono::milliseconds(std::max(ms, 0))) {}

int Deadline::remainingMs() const
{
    const auto left = end_ - Clock::now();
    if (left <= Clock::duration::zero())
        return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<long long>(ms, std::numeric_limits<int>::max()));
}

bool Deadline::expired() const
{
    return Clock::now() >= end_;
}

Deadline Deadline::capped(int ms) const
{
    const auto other = Clock::now() + std::chrono::milliseconds(std::max(ms, 0));
    return Deadline(std::min(end_, other));
}

} // namespace netsdk
