// Numbers, dates and error letters of a data record file's cells, read the same way whatever the
// locale of the process that loaded the component.
#pragma once

#include <cstdint>
#include <string_view>

namespace loamset {

// A number cell, read as the formatted input conversion "%lg" reads it in the C locale: leading
// white space skipped, the longest prefix that forms a number taken, the rest ignored.  False when
// no number begins the cell.  Plain decimal cells take a fast path that gives the same double.
bool ReadNumberCell(std::string_view cell, double& value);
// The same through the C library's own conversion only (the reference for the fast path).
bool ReadNumberCellByLibrary(std::string_view cell, double& value);

// A date and time cell scanned with both accepted forms, "%04u/%02u/%02u %02u:%02u:%02u" (year
// first) and "%02u/%02u/%04u %02u:%02u:%02u" (two digits first), in the C locale.
struct DateScan {
    bool yearFirst = false;       // the year-first form matched all six fields
    bool twoDigitFirst = false;   // the two-digit-first form matched all six fields
    unsigned yearForm[6] = {};    // year, month, day, hour, minute, second
    unsigned twoDigitForm[6] = {}; // first, second, year, hour, minute, second
};
void ScanDateCell(std::string_view cell, DateScan& scan);
void ScanDateCellByLibrary(std::string_view cell, DateScan& scan);

// The calendar conversion to a file time (100-nanosecond intervals since 1601-01-01 00:00, no time
// zone).  False for a date the calendar rejects: month outside 1-12, a day the month lacks, hour
// above 23, minute or second above 59, a year before 1601 or after 30827.
bool FileTimeFromFields(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                        unsigned second, std::uint64_t& fileTime);

// The code of a non-empty Error cell: one letter of the table (upper and lower case differ), or
// KXRESERROR_UNKNOWN for any other letter and for two or more characters.
std::uint32_t ErrorCodeOfCell(std::string_view cell);

} // namespace loamset
