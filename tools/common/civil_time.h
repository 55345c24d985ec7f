// The calendar date and time of day of a file time, for the dataset component's clients.
// Header only: loamset-dump and loamset-view include it without a library between them.
#ifndef TOOLS_COMMON_CIVIL_TIME_H
#define TOOLS_COMMON_CIVIL_TIME_H

#include <cstdint>

namespace loamer_tools {

struct CivilTime {
    std::int64_t year = 0;
    std::int64_t month = 0;  // 1 to 12
    std::int64_t day = 0;    // 1 to 31
    std::int64_t hour = 0;
    std::int64_t minute = 0;
    std::int64_t second = 0;
};

inline std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

// Whole seconds since 1601-01-01 00:00 (the file time's origin; negative before it), proleptic
// Gregorian calendar, no time zone.
inline CivilTime CivilTimeFromSeconds(std::int64_t seconds) {
    constexpr std::int64_t kSecondsPerDay = 86'400;
    const std::int64_t days = FloorDiv(seconds, kSecondsPerDay);
    const std::int64_t inDay = seconds - days * kSecondsPerDay;
    // The civil date by 400-year eras counted from 0000-03-01, which lies 584'694 days before 1601-01-01.
    const std::int64_t z = days + 584'694;
    const std::int64_t era = FloorDiv(z, 146'097);
    const std::int64_t dayOfEra = z - era * 146'097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    CivilTime t;
    t.day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    t.month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    t.year = yearOfEra + era * 400 + (t.month <= 2 ? 1 : 0);
    t.hour = inDay / 3600;
    t.minute = inDay / 60 % 60;
    t.second = inDay % 60;
    return t;
}

}  // namespace loamer_tools

#endif  // TOOLS_COMMON_CIVIL_TIME_H
