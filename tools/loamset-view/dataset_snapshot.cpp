// The snapshot's own small logic: series names, result severities and their words, times.
#include "tools/loamset-view/dataset_snapshot.h"

#include <cstdio>

#include "loamset/kxdataset.h"
#include "tools/common/civil_time.h"

namespace loamset_view {

std::string SeriesInfo::Plot() const {
    const std::size_t dot = sensorName.find('.');
    return dot == std::string::npos ? std::string() : sensorName.substr(0, dot);
}

std::string SeriesInfo::Quantity() const {
    const std::size_t dot = sensorName.find('.');
    return dot == std::string::npos ? sensorName : sensorName.substr(dot + 1);
}

std::string SeriesInfo::DisplayName() const {
    std::string name;
    for (const std::string* part : {&sensorType, &sensorName, &channel}) {
        if (part->empty()) continue;
        if (!name.empty()) name += ' ';
        name += *part;
    }
    return name;
}

const ResultValue* DatasetSnapshot::Find(std::size_t record, std::int32_t seriesIndex) const {
    if (record >= records.size()) return nullptr;
    const RecordEntry& entry = records[record];
    for (std::uint32_t k = 0; k < entry.resultCount; ++k) {
        const ResultValue& result = results[entry.firstResult + k];
        if (result.series == seriesIndex) return &result;
    }
    return nullptr;
}

Severity SeverityOf(std::uint32_t error) {
    if (error == 0) return Severity::None;
    switch (error & KXRESERROR_SEVMASK) {
        case KXRESERROR_SEVINFO: return Severity::Information;
        case KXRESERROR_SEVWARN: return Severity::Warning;
        case KXRESERROR_SEVERROR: return Severity::Error;
        default: return Severity::Fatal;
    }
}

bool HasValue(std::uint32_t error) {
    return SeverityOf(error) != Severity::Fatal;
}

bool IsGap(std::uint32_t error) {
    const Severity severity = SeverityOf(error);
    return severity == Severity::Error || severity == Severity::Fatal;
}

std::string ErrorText(std::uint32_t error) {
    if (error == 0) return "";
    const std::uint32_t code = error & KXRESERROR_CODEMASK;
    switch (code) {
        case 0: break;
        case 1: return "no reading";
        case KXRESERROR_OUTSIDELIMITS: return "outside the limits";
        case KXRESERROR_ABOVELIMIT: return "above the limit";
        case KXRESERROR_BELOWLIMIT: return "below the limit";
        case KXRESERROR_OUTSIDERANGE: return "outside the range";
        case KXRESERROR_OVERRANGE: return "over range";
        case KXRESERROR_UNDERRANGE: return "under range";
        case KXRESERROR_OVERRUN: return "overrun";
        case KXRESERROR_NOISY: return "noisy";
        case KXRESERROR_UNKNOWN: return "unknown";
        case KXRESERROR_BELOWTABLE: return "below the table";
        case KXRESERROR_ABOVETABLE: return "above the table";
        case KXRESERROR_CORRUPT: return "corrupt";
        case KXRESERROR_MATHERR: return "calculation error";
        case KXRESERROR_NOSENSOR: return "no sensor";
        case KXRESERROR_NOTABLE: return "no table";
        case KXRESERROR_TOODRY: return "too dry";
        case KXRESERROR_SYSERROR: return "system error";
        case KXRESERROR_NAN: return "not a number";
        case KXRESERROR_OVERFLOW: return "overflow";
        case KXRESERROR_UNDERFLOW: return "underflow";
        default: return "code " + std::to_string(code);
    }
    // A severity without a code: the severity is all there is to say.
    switch (SeverityOf(error)) {
        case Severity::Information: return "note";
        case Severity::Warning: return "warning";
        case Severity::Error: return "error";
        default: return "no value";
    }
}

namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
// 1601-01-01 to 1970-01-01.
constexpr std::int64_t kUnixEpochTicks = 116'444'736'000'000'000;

}  // namespace

std::string IsoTime(std::int64_t ticks) {
    const loamer_tools::CivilTime t = loamer_tools::CivilTimeFromSeconds(loamer_tools::FloorDiv(ticks, kTicksPerSecond));
    char text[48];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld", static_cast<long long>(t.year),
                  static_cast<long long>(t.month), static_cast<long long>(t.day), static_cast<long long>(t.hour),
                  static_cast<long long>(t.minute), static_cast<long long>(t.second));
    return text;
}

double TicksToChartX(std::int64_t ticks) {
    // Whole milliseconds first: the tick count itself is beyond a double's exact integers.
    const std::int64_t sinceEpoch = ticks - kUnixEpochTicks;
    return static_cast<double>(sinceEpoch / 10'000) + static_cast<double>(sinceEpoch % 10'000) / 10'000.0;
}

}  // namespace loamset_view
