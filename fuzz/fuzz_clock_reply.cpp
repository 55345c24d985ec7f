// Clock replies of any bytes through the clock scan. Whatever scans as a calendar time must come
// back unchanged through the record the clock upload builds from it.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "loamer/link/status_queries.h"
#include "loamer/upload/meter_clock.h"

using namespace loamer;

namespace {

bool SameFields(const ClockFields& a, const ClockFields& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    unsigned char reply[kClockRecordSize] = {};
    std::memcpy(reply, data, size < sizeof reply ? size : sizeof reply);
    (void)CheckClockReply(reply);

    ClockFields fields;
    const bool calendar = ScanClockReply(reply, fields);
    if (!calendar && !SameFields(fields, ClockFields{})) __builtin_trap();
    if (!calendar) return 0;

    char record[kClockRecordSize + 1];
    BuildClockRecord(static_cast<char>(reply[1]), fields, record);
    unsigned char echoed[kClockRecordSize];
    std::memcpy(echoed, record, sizeof echoed);
    ClockFields back;
    if (!ScanClockReply(echoed, back) || !SameFields(fields, back)) __builtin_trap();
    // The record set and the record read share their frame.
    if (CheckClockReply(echoed) != ERR_NONE) __builtin_trap();
    return 0;
}
