#include "tools/tq4sim/meter_state.h"

#include <cstdint>
#include <cstdio>

namespace tq4sim {

int SlotIndex(char id) {
    for (std::size_t i = 0; i < kSlotIds.size(); ++i) {
        if (kSlotIds[i] == id) return static_cast<int>(i);
    }
    return -1;
}

namespace {

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (the usual era-based conversion).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

}  // namespace

bool IsValidCivil(const CivilTime& t) {
    return t.year >= 0 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
           t.day <= DaysInMonth(t.year, t.month) && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 &&
           t.minute <= 59 && t.second >= 0 && t.second <= 59;
}

std::int64_t CivilToSeconds(const CivilTime& t) {
    return DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) * 86400 +
           t.hour * 3600 + t.minute * 60 + t.second;
}

CivilTime SecondsToCivil(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    CivilTime t;
    t.year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
    t.month = static_cast<int>(m);
    t.day = static_cast<int>(d);
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

void MeterClock::Set(char order, const CivilTime& time, SteadyTime at) {
    order_ = order;
    base_ = CivilToSeconds(time);
    setAt_ = at;
}

CivilTime MeterClock::Read(SteadyTime now) const {
    auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - setAt_).count();
    if (elapsed < 0) elapsed = 0;
    // Four digits of year: after 9999 the clock starts again at year 0, keeping its replies
    // their length. The calendar repeats every 400 years, so every date stays a true one.
    static const std::int64_t kFirst = CivilToSeconds(CivilTime{0, 1, 1, 0, 0, 0});
    static const std::int64_t kSpan = CivilToSeconds(CivilTime{10000, 1, 1, 0, 0, 0}) - kFirst;
    return SecondsToCivil(kFirst + (base_ - kFirst + elapsed) % kSpan);
}

MeterState DefaultMeterState(const CivilTime& start, SteadyTime now) {
    MeterState state;
    state.clock.Set('1', start, now);
    state.memory[kExternalMemory] = MemoryPattern(0);
    return state;
}

std::string MemoryPattern(std::uint32_t seed) {
    // Spread the seed so that neighbouring seeds differ from the first byte; xorshift32 never
    // leaves 0, so that start is moved.
    std::uint32_t x = seed * 2654435761u + 0x9E3779B9u;
    if (x == 0) x = 1;
    std::string image;
    image.reserve(kMemoryImageSize);
    for (std::size_t block = 0; block < kMemoryImageSize / kMemoryBlockSize; ++block) {
        char label[16];
        std::snprintf(label, sizeof label, "blk%05zu", block);
        image += label;
        for (std::size_t i = 8; i < kMemoryBlockSize; ++i) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            image += static_cast<char>(x & 0xFFu);
        }
    }
    return image;
}

}  // namespace tq4sim
