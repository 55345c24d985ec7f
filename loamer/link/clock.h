// Time as meter operations see it: a millisecond counter for idle limits and pauses, and the
// computer's calendar time. Tests install a fake so that a 5-second limit costs nothing.
#pragma once

#include <cstdint>

namespace loamer {

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic milliseconds; only differences matter.
    virtual std::uint64_t NowMs() = 0;
    // Blocks the thread for about ms milliseconds without using the processor; may return
    // early when a signal arrives.
    virtual void SleepMs(std::uint32_t ms) = 0;
    // Calendar time in seconds since 1970-01-01 UTC.
    virtual std::int64_t WallTime() = 0;
};

// The process-wide clock; the system clock until another is installed.
Clock& LinkClock();
// Installs a clock (nullptr restores the system clock); returns the previous one.
Clock* SetLinkClock(Clock* clock);

// Installs a clock for a scope and puts the previous one back.
class ScopedClock {
public:
    explicit ScopedClock(Clock* clock) : previous_(SetLinkClock(clock)) {}
    ~ScopedClock() { SetLinkClock(previous_); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    Clock* previous_;
};

// The real clock (CLOCK_MONOTONIC, nanosleep, time()).
Clock& SystemClock();

}  // namespace loamer
