#include <time.h>

#include <ctime>

#include "loamer/link/clock.h"

namespace loamer {

namespace {

class SystemClockImpl final : public Clock {
public:
    std::uint64_t NowMs() override {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    }

    // A signal ends the sleep early, so that Ctrl-C is seen at once.
    void SleepMs(std::uint32_t ms) override {
        timespec pause{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
        nanosleep(&pause, nullptr);
    }

    std::int64_t WallTime() override { return static_cast<std::int64_t>(std::time(nullptr)); }
};

}  // namespace

Clock& SystemClock() {
    static SystemClockImpl clock;
    return clock;
}

}  // namespace loamer
