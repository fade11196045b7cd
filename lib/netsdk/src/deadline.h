#pragma once

#include <chrono>

namespace netsdk {

/// The moment a call must give up. Every blocking step of a call waits on the time that remains.
class Deadline
{
public:
    using Clock = std::chrono::steady_clock;

    explicit Deadline(int ms);

    /// Milliseconds left, rounded up so a wait never ends before the deadline; 0 once it has passed.
    int remainingMs() const;
    bool expired() const;
    /// The earlier of this deadline and `ms` from now.
    Deadline capped(int ms) const;
    Clock::time_point point() const { return end_; }

private:
    explicit Deadline(Clock::time_point end) : end_(end) {}

    Clock::time_point end_;
};

} // namespace netsdk
