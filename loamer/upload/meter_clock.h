// The meter's clock: shown in the main window's status box, kept running by a one-second tick,
// and set from the computer's time or a chosen one.
#pragma once

#include <cstdint>
#include <string>

#include "loamer/link/error_codes.h"
#include "loamer/link/status_queries.h"

namespace loamer {

// One reading of the displayed meter time: the query's code, the value in seconds of calendar
// time and the text of the status box.
struct ClockReading {
    ErrorCode code = ERR_NONE;
    std::int64_t value = 0;
    std::string text;
};

// The window that shows the clock: a status box and a one-second display timer.
class ClockDisplay {
public:
    virtual ~ClockDisplay() = default;
    // Shows the reading in the status box and keeps it for the next tick.
    virtual void ShowClock(const ClockReading& reading) = 0;
    // The reading shown last; value 0 and no text until the first refresh.
    virtual const ClockReading& ShownClock() const = 0;
    // The one-second display timer: started once, never restarted while it runs.
    virtual bool ClockTimerRunning() const = 0;
    virtual void StartClockTimer() = 0;
};

// A local date and time as the meter keeps it.
struct ClockFields {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 1;
    int minute = 1;
    int second = 1;
};

// '0' month-day-year, '1' day-month-year, '2' year-month-day, from a date format such as
// nl_langinfo(D_FMT) gives; '0' when it names none of them.
char DateOrderFromFormat(const char* dateFormat);
// The date order of the computer's user (LC_TIME), '0' when it cannot be read.
char UserDateOrder();
// The status box format for a date-order character.
const char* ClockDisplayFormat(char order);
// The clock value as local time in the format of the order; empty when it cannot be formatted.
std::string FormatClockValue(std::int64_t value, char order);

// True for a date and time of the calendar that the meter's four-digit year can hold.
bool IsCalendarTime(const ClockFields& fields);
// Reads the fields of a clock reply, each with its own width; a field that does not scan keeps
// its default. False when the fields are not a date and time of the calendar: then fields holds
// the defaults.
bool ScanClockReply(const unsigned char (&reply)[kClockRecordSize], ClockFields& fields);
// Local time to calendar time; daylight saving as the C library decides.
std::int64_t ClockValueFromFields(const ClockFields& fields);
ClockFields FieldsFromClockValue(std::int64_t value);
// 'H', order, "%Y%m%d%H%M%S", "\r\n".
void BuildClockRecord(char order, const ClockFields& fields, char (&record)[kClockRecordSize + 1]);

// Reads the meter's clock (the caller has woken the meter). A failed query, or an impossible
// date, reads as 01/01/2000  01:01:01 with the query's code.
ClockReading ReadMeterClockReading();
// The reading one second later, shown in the given date order.
ClockReading NextSecond(const ClockReading& shown, char order);

// Reads the meter's clock into the display; returns the query's code.
ErrorCode ShowMeterClock(ClockDisplay& display);
// After a successful command: ShowMeterClock, then start the one-second timer once. Returns 0.
ErrorCode RefreshClockDisplay(ClockDisplay& display);
// The one-second timer: advance by a second and show in the computer's date order.
void ClockTick(ClockDisplay& display);

// Sends the clock record with the user's date order and reads the meter's acknowledgement. Does
// not wake the meter: the caller has just done so.
[[nodiscard]] ErrorCode SetMeterClock(const ClockFields& chosen, char order);
// The computer's current local time (through the link's clock, so tests can fix it).
ClockFields ComputerLocalTime();

}  // namespace loamer
