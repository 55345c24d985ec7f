#include "loamset/dataset_values.h"

#include "loamset/kxdataset.h"

#include <cstdio>
#include <cstring>

#include "loamset/platform.h"

namespace loamset {
namespace {

// The cell as a C string for the library's scanner (cells hold at most 254 characters).
struct CellString {
    char text[256];
    explicit CellString(std::string_view cell)
    {
        const std::size_t n = cell.size() < sizeof text - 1 ? cell.size() : sizeof text - 1;
        if (n != 0)
            std::memcpy(text, cell.data(), n);
        text[n] = '\0';
    }
};

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

enum class Fast { Number, NoNumber, Unsure };

// Plain decimals: an optional sign, digits with at most one point, then nothing that could carry
// the number on (an exponent, a hexadecimal mark).  A mantissa of at most 2^53 divided by an exact
// power of ten up to 10^22 is correctly rounded, as the library's conversion is.
Fast ReadPlainDecimal(std::string_view cell, double& value)
{
    // The library skips white space, then wants a sign, a digit, a point, "inf" or "nan".
    if (cell.empty())
        return Fast::NoNumber;
    switch (cell.front()) {
    case '+': case '-': case '.': case 'i': case 'I': case 'n': case 'N':
    case ' ': case '\t': case '\n': case '\v': case '\f': case '\r':
        break;
    default:
        if (cell.front() < '0' || cell.front() > '9')
            return Fast::NoNumber;
    }
    const char* p = cell.data();
    const char* const end = p + cell.size();
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    std::uint64_t mantissa = 0;
    int significant = 0;
    int fractionDigits = 0;
    bool digits = false;
    bool point = false;
    for (; p < end; ++p) {
        const char c = *p;
        if (c >= '0' && c <= '9') {
            digits = true;
            if (mantissa != 0 || c != '0') {
                if (++significant > 19)
                    return Fast::Unsure;
            }
            mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
            if (point)
                ++fractionDigits;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!digits)
        return Fast::Unsure; // "inf", "nan", white space other than blanks, a lone sign or point
    if (p < end && (*p == 'e' || *p == 'E' || *p == 'x' || *p == 'X'))
        return Fast::Unsure;
    if (mantissa > (std::uint64_t{1} << 53) || fractionDigits > 22)
        return Fast::Unsure;
    double v = static_cast<double>(mantissa) / kPowersOfTen[fractionDigits];
    value = negative ? -v : v;
    return Fast::Number;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

unsigned Digits(const char* p, int n)
{
    unsigned v = 0;
    for (int i = 0; i < n; ++i)
        v = v * 10 + static_cast<unsigned>(p[i] - '0');
    return v;
}

// "dd:dd:dd" after a run of blanks at text[at].
bool ReadTime(std::string_view text, std::size_t at, unsigned* fields)
{
    std::size_t p = at;
    while (p < text.size() && text[p] == ' ')
        ++p;
    if (p == at || text.size() - p < 8)
        return false;
    const char* t = text.data() + p;
    if (!IsDigit(t[0]) || !IsDigit(t[1]) || t[2] != ':' || !IsDigit(t[3]) || !IsDigit(t[4]) || t[5] != ':' ||
        !IsDigit(t[6]) || !IsDigit(t[7]))
        return false;
    fields[0] = Digits(t, 2);
    fields[1] = Digits(t + 3, 2);
    fields[2] = Digits(t + 6, 2);
    return true;
}

} // namespace

bool ReadNumberCellByLibrary(std::string_view cell, double& value)
{
    CellString text(cell);
    const ScopedCLocale c;
    double v = 0;
    if (std::sscanf(text.text, "%lg", &v) != 1)
        return false;
    value = v;
    return true;
}

bool ReadNumberCell(std::string_view cell, double& value)
{
    switch (ReadPlainDecimal(cell, value)) {
    case Fast::Number:
        return true;
    case Fast::NoNumber:
        return false;
    case Fast::Unsure:
        break;
    }
    return ReadNumberCellByLibrary(cell, value);
}

void ScanDateCellByLibrary(std::string_view cell, DateScan& scan)
{
    CellString text(cell);
    const ScopedCLocale c;
    unsigned* y = scan.yearForm;
    unsigned* t = scan.twoDigitForm;
    int used = 0;
    scan.yearFirst = std::sscanf(text.text, "%04u/%02u/%02u %02u:%02u:%02u%n", &y[0], &y[1], &y[2], &y[3], &y[4],
                                 &y[5], &used) == 6;
    scan.twoDigitFirst = std::sscanf(text.text, "%02u/%02u/%04u %02u:%02u:%02u%n", &t[0], &t[1], &t[2], &t[3],
                                     &t[4], &t[5], &used) == 6;
}

void ScanDateCell(std::string_view cell, DateScan& scan)
{
    // The forms as the meter's files write them: all digits present, blanks between date and time.
    // Either form excludes the other (a year-first cell stops the other form at its third digit,
    // and the other way round the year-first form runs into the blank after the year).
    const char* t = cell.data();
    if (cell.size() >= 10 && IsDigit(t[0]) && IsDigit(t[1])) {
        if (IsDigit(t[2]) && IsDigit(t[3]) && t[4] == '/' && IsDigit(t[5]) && IsDigit(t[6]) && t[7] == '/' &&
            IsDigit(t[8]) && IsDigit(t[9]) && ReadTime(cell, 10, scan.yearForm + 3)) {
            scan.yearFirst = true;
            scan.twoDigitFirst = false;
            scan.yearForm[0] = Digits(t, 4);
            scan.yearForm[1] = Digits(t + 5, 2);
            scan.yearForm[2] = Digits(t + 8, 2);
            return;
        }
        if (t[2] == '/' && IsDigit(t[3]) && IsDigit(t[4]) && t[5] == '/' && IsDigit(t[6]) && IsDigit(t[7]) &&
            IsDigit(t[8]) && IsDigit(t[9]) && ReadTime(cell, 10, scan.twoDigitForm + 3)) {
            scan.yearFirst = false;
            scan.twoDigitFirst = true;
            scan.twoDigitForm[0] = Digits(t, 2);
            scan.twoDigitForm[1] = Digits(t + 3, 2);
            scan.twoDigitForm[2] = Digits(t + 6, 4);
            return;
        }
    }
    ScanDateCellByLibrary(cell, scan);
}

bool FileTimeFromFields(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                        unsigned second, std::uint64_t& fileTime)
{
    if (year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 ||
        second > 59)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const unsigned inMonth = kDays[month - 1] + (month == 2 && leap ? 1u : 0u);
    if (day > inMonth)
        return false;
    // Days since 1601-01-01 by the proleptic Gregorian calendar (a civil-to-days count from March).
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = y / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (static_cast<std::int64_t>(month) + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + static_cast<std::int64_t>(day) - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t daysFrom0000 = era * 146097 + doe;
    constexpr std::int64_t kDaysTo1601 = 584694; // the same count for 1601-01-01
    const std::int64_t days = daysFrom0000 - kDaysTo1601;
    const std::int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    fileTime = static_cast<std::uint64_t>(seconds) * 10000000u;
    return true;
}

std::uint32_t ErrorCodeOfCell(std::string_view cell)
{
    if (cell.size() != 1)
        return KXRESERROR_UNKNOWN;
    switch (cell.front()) {
    case 'H': return KXRESERROR_OVERRANGE;
    case 'L': return KXRESERROR_UNDERRANGE;
    case 'O': return KXRESERROR_BELOWTABLE;
    case 'I': return KXRESERROR_ABOVETABLE;
    case 'R': return KXRESERROR_CORRUPT;
    case 'C': return KXRESERROR_NOSENSOR;
    case 'T': return KXRESERROR_NOTABLE;
    case 'D': return KXRESERROR_TOODRY;
    case 'V': return KXRESERROR_SYSERROR;
    case 'N': return KXRESERROR_NAN;
    case 'W': return KXRESERROR_OVERFLOW;
    case 'U': return KXRESERROR_UNDERFLOW;
    default: return KXRESERROR_UNKNOWN;
    }
}

} // namespace loamset
