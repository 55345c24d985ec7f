// A clock that only moves when the code under test waits or a test advances it.
#pragma once

#include "loamer/link/clock.h"

namespace loamer {

class FakeClock final : public Clock {
public:
    std::uint64_t NowMs() override { return now_; }
    void SleepMs(std::uint32_t ms) override {
        now_ += ms;
        slept_ += ms;
    }
    // Calendar time runs on from the wall base as the monotonic time does.
    std::int64_t WallTime() override { return wallBase_ + static_cast<std::int64_t>((now_ - kStart) / 1000); }

    void Advance(std::uint64_t ms) { now_ += ms; }
    void SetWallBase(std::int64_t t) { wallBase_ = t; }
    std::uint64_t slept() const { return slept_; }

private:
    static constexpr std::uint64_t kStart = 1'000'000;
    std::uint64_t now_ = kStart;
    std::uint64_t slept_ = 0;
    std::int64_t wallBase_ = 1'700'000'000;
};

}  // namespace loamer
