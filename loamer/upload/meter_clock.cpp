#include "loamer/upload/meter_clock.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "loamer/link/clock.h"
#include "loamer/link/comm_port.h"
#include "loamer/link/meter_commands.h"
#include "loamer/link/meter_protocol.h"
#include "loamer/link/ui.h"

namespace loamer {

namespace {

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// A field of the reply read with a width of its own; false leaves value alone.
bool ScanField(const unsigned char* record, RecordField field, int& value) {
    char text[5] = {};
    std::memcpy(text, record + field.offset, field.width < sizeof text ? field.width : sizeof text - 1);
    const char* format = field.width == 4 ? "%4d%n" : "%2d%n";
    int v = 0;
    int consumed = 0;
    if (std::sscanf(text, format, &v, &consumed) != 1 || consumed < 1) return false;
    value = v;
    return true;
}

}  // namespace

bool IsCalendarTime(const ClockFields& f) {
    return f.year >= 1900 && f.year <= 9999 && f.month >= 1 && f.month <= 12 && f.day >= 1 &&
           f.day <= DaysInMonth(f.year, f.month) && f.hour >= 0 && f.hour <= 23 && f.minute >= 0 &&
           f.minute <= 59 && f.second >= 0 && f.second <= 59;
}

char DateOrderFromFormat(const char* dateFormat) {
    if (!dateFormat) return '0';
    for (const char* p = dateFormat; *p; ++p) {
        if (*p != '%' || p[1] == '\0') continue;
        char c = *++p;
        // Skip the E and O modifiers of alternative representations.
        if ((c == 'E' || c == 'O') && p[1] != '\0') c = *++p;
        switch (c) {
        case 'd':
        case 'e': return '1';
        case 'm':
        case 'D': return '0';
        case 'Y':
        case 'y':
        case 'F': return '2';
        default: break;
        }
    }
    return '0';
}

const char* ClockDisplayFormat(char order) {
    switch (order) {
    case '0': return "%m/%d/%Y  %H:%M:%S";
    case '2': return "%Y/%m/%d  %H:%M:%S";
    default: return "%d/%m/%Y  %H:%M:%S";
    }
}

std::string FormatClockValue(std::int64_t value, char order) {
    const std::time_t t = static_cast<std::time_t>(value);
    std::tm local{};
    if (!localtime_r(&t, &local)) return {};
    char text[128];
    if (std::strftime(text, sizeof text, ClockDisplayFormat(order), &local) == 0) return {};
    return text;
}

bool ScanClockReply(const unsigned char (&reply)[kClockRecordSize], ClockFields& fields) {
    ClockFields f;
    using namespace clock_record;
    ScanField(reply, kYear, f.year);
    ScanField(reply, kMonth, f.month);
    ScanField(reply, kDay, f.day);
    ScanField(reply, kHour, f.hour);
    ScanField(reply, kMinute, f.minute);
    ScanField(reply, kSecond, f.second);
    if (!IsCalendarTime(f)) {
        fields = ClockFields{};
        return false;
    }
    fields = f;
    return true;
}

std::int64_t ClockValueFromFields(const ClockFields& f) {
    std::tm local{};
    local.tm_year = f.year - 1900;
    local.tm_mon = f.month - 1;
    local.tm_mday = f.day;
    local.tm_hour = f.hour;
    local.tm_min = f.minute;
    local.tm_sec = f.second;
    local.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&local));
}

ClockFields FieldsFromClockValue(std::int64_t value) {
    const std::time_t t = static_cast<std::time_t>(value);
    std::tm local{};
    ClockFields f;
    if (!localtime_r(&t, &local)) return f;
    f.year = local.tm_year + 1900;
    f.month = local.tm_mon + 1;
    f.day = local.tm_mday;
    f.hour = local.tm_hour;
    f.minute = local.tm_min;
    f.second = local.tm_sec;
    return f;
}

void BuildClockRecord(char order, const ClockFields& f, char (&record)[kClockRecordSize + 1]) {
    // Each field keeps to its width, whatever it holds; the pickers only give calendar times.
    const auto width2 = [](int v) { return v < 0 ? 0 : v % 100; };
    const int year = f.year < 0 ? 0 : f.year % 10000;
    char text[80];
    std::snprintf(text, sizeof text, "%c%c%04d%02d%02d%02d%02d%02d\r\n", kClockSet.letter, order, year,
                  width2(f.month), width2(f.day), width2(f.hour), width2(f.minute), width2(f.second));
    std::memcpy(record, text, kClockRecordSize);
    record[kClockRecordSize] = '\0';
}

ClockReading ReadMeterClockReading() {
    unsigned char reply[kClockRecordSize] = {};
    ClockFields fields;
    ClockReading reading;
    reading.code = GetMeterClock(reply);
    // A reply outside the calendar shows the defaults, like a failed query.
    if (reading.code == ERR_NONE) (void)ScanClockReply(reply, fields);
    reading.value = ClockValueFromFields(fields);
    reading.text = FormatClockValue(reading.value, reading.code == ERR_NONE ? static_cast<char>(reply[clock_record::kOrder]) : '\0');
    return reading;
}

ClockReading NextSecond(const ClockReading& shown, char order) {
    ClockReading next = shown;
    next.value += 1;
    next.text = FormatClockValue(next.value, order);
    return next;
}

ErrorCode ShowMeterClock(ClockDisplay& display) {
    const ClockReading reading = ReadMeterClockReading();
    display.ShowClock(reading);
    return reading.code;
}

ErrorCode RefreshClockDisplay(ClockDisplay& display) {
    (void)ShowMeterClock(display);
    if (!display.ClockTimerRunning()) display.StartClockTimer();
    return ERR_NONE;
}

void ClockTick(ClockDisplay& display) { display.ShowClock(NextSecond(display.ShownClock(), UserDateOrder())); }

ErrorCode SetMeterClock(const ClockFields& chosen, char order) {
    char record[kClockRecordSize + 1];
    BuildClockRecord(order, chosen, record);
    if (OpenCommPort() != ERR_NONE) return ERR_PORT_OPEN;
    const ErrorCode written = WriteCommPort(record, kClockSet.request);
    WaitCursorScope cursor;
    if (written != ERR_NONE) return written;
    return ReadMeterAck();
}

ClockFields ComputerLocalTime() { return FieldsFromClockValue(LinkClock().WallTime()); }

}  // namespace loamer
