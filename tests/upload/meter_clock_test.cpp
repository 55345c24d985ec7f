#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <tuple>

#include "loamer/upload/meter_clock.h"
#include "tests/support/child_process.h"
#include "tests/support/link_fixture.h"

using namespace loamer;

namespace {

class RecordingDisplay final : public ClockDisplay {
public:
    void ShowClock(const ClockReading& reading) override {
        last = reading;
        shown.push_back(reading.text);
    }
    const ClockReading& ShownClock() const override { return last; }
    bool ClockTimerRunning() const override { return timers > 0; }
    void StartClockTimer() override { ++timers; }
    ClockReading last;
    std::vector<std::string> shown;
    int timers = 0;
};

// Local time is UTC and the date order that of the C locale (month first) unless a test says.
class MeterClockTest : public LinkTest {
protected:
    void SetUp() override {
        backend.onWrite = [this](const std::string& req) {
            if (req == "?\r\n") backend.SendLater("A\r\n", 2);
            if (req == "F\r\n") backend.SendLater(clockReply, 5);
            if (req[0] == 'H') backend.SendLater(ack, 5);
        };
    }
    loamer::testing::ScopedTimeZone utc{"UTC"};
    loamer::testing::ScopedLocale timeLocale{LC_TIME, "C"};
    std::string clockReply = "H2202403051407" "09\r\n";
    std::string ack = "A\r\n";
    RecordingDisplay display;
};

TEST(DateOrder, FromTheDateFormat) {
    EXPECT_EQ(DateOrderFromFormat("%m/%d/%y"), '0');
    EXPECT_EQ(DateOrderFromFormat("%d.%m.%Y"), '1');
    EXPECT_EQ(DateOrderFromFormat("%e/%m/%y"), '1');
    EXPECT_EQ(DateOrderFromFormat("%Y-%m-%d"), '2');
    EXPECT_EQ(DateOrderFromFormat("%y/%m/%d"), '2');
    EXPECT_EQ(DateOrderFromFormat("%F"), '2');
    EXPECT_EQ(DateOrderFromFormat("%D"), '0');
    EXPECT_EQ(DateOrderFromFormat("%Od.%Om.%EY"), '1');
    EXPECT_EQ(DateOrderFromFormat("day"), '0');
    EXPECT_EQ(DateOrderFromFormat(""), '0');
    EXPECT_EQ(DateOrderFromFormat(nullptr), '0');
    EXPECT_EQ(DateOrderFromFormat("%"), '0');
}

TEST(DateOrder, FromTheUsersLocale) {
    {
        loamer::testing::ScopedLocale german(LC_TIME, "de_DE.UTF-8");
        ASSERT_TRUE(german.Ok()) << "./run setup generates de_DE.UTF-8";
        EXPECT_EQ(UserDateOrder(), '1');
    }
    loamer::testing::ScopedLocale plain(LC_TIME, "C");
    EXPECT_EQ(UserDateOrder(), '0');
}

TEST(ClockRecord, FieldsAndRecord) {
    loamer::testing::ScopedTimeZone utc("UTC");
    const unsigned char reply[18] = {'H', '1', '2', '0', '2', '4', '0', '2', '2', '9',
                                     '2', '3', '5', '9', '5', '8', '\r', '\n'};
    ClockFields f;
    ASSERT_TRUE(ScanClockReply(reply, f));
    EXPECT_EQ(f.year, 2024);
    EXPECT_EQ(f.day, 29);
    EXPECT_EQ(FormatClockValue(ClockValueFromFields(f), '1'), "29/02/2024  23:59:58");
    EXPECT_EQ(FormatClockValue(ClockValueFromFields(f), '0'), "02/29/2024  23:59:58");
    EXPECT_EQ(FormatClockValue(ClockValueFromFields(f), '2'), "2024/02/29  23:59:58");
    EXPECT_EQ(FormatClockValue(ClockValueFromFields(f), 'x'), "29/02/2024  23:59:58");
    char record[19];
    BuildClockRecord('1', f, record);
    EXPECT_STREQ(record, "H120240229235958\r\n");
    EXPECT_EQ(std::memcmp(record, reply, 18), 0);
}

// Every record the upload builds for a calendar time scans back to the same time: month ends,
// leap days, the first and last years the four digits hold, and each field at its limits.
TEST(ClockRecord, BuiltRecordsScanBackUnchanged) {
    for (const int year : {1900, 1999, 2000, 2023, 2024, 2100, 9999}) {
        for (int month = 1; month <= 12; ++month) {
            for (const int day : {1, 28, 29, 30, 31}) {
                const ClockFields f{year, month, day, day % 24, (day * 7) % 60, 59 - day};
                if (!IsCalendarTime(f)) continue;
                char record[19];
                BuildClockRecord('2', f, record);
                unsigned char reply[18];
                std::memcpy(reply, record, sizeof reply);
                ClockFields back;
                ASSERT_TRUE(ScanClockReply(reply, back)) << record;
                EXPECT_EQ(std::tie(back.year, back.month, back.day, back.hour, back.minute, back.second),
                          std::tie(f.year, f.month, f.day, f.hour, f.minute, f.second))
                    << record;
            }
        }
    }
}

TEST(ClockRecord, ImpossibleDatesGiveTheDefaults) {
    for (const char* digits : {"20241305140709", "20240005140709", "20240300140709", "20240305240709",
                               "20230229120000", "20240305146009", "18990305140709"}) {
        unsigned char reply[18];
        std::memcpy(reply, "H1", 2);
        std::memcpy(reply + 2, digits, 14);
        std::memcpy(reply + 16, "\r\n", 2);
        ClockFields f;
        f.year = 1234;
        EXPECT_FALSE(ScanClockReply(reply, f)) << digits;
        EXPECT_EQ(f.year, 2000) << digits;
        EXPECT_EQ(f.second, 1) << digits;
    }
}

TEST_F(MeterClockTest, RefreshShowsTheMeterOrderAndStartsTheTimerOnce) {
    ASSERT_EQ(OpenCommPort(), ERR_NONE);
    EXPECT_EQ(RefreshClockDisplay(display), ERR_NONE);
    EXPECT_EQ(display.last.text, "2024/03/05  14:07:09");
    EXPECT_EQ(display.shown.back(), "2024/03/05  14:07:09");
    EXPECT_EQ(backend.written, "F\r\n");
    EXPECT_EQ(display.timers, 1);
    // The next tick follows the computer's order.
    ClockTick(display);
    EXPECT_EQ(display.last.text, "03/05/2024  14:07:10");
    EXPECT_EQ(RefreshClockDisplay(display), ERR_NONE);
    EXPECT_EQ(display.timers, 1);
}

TEST_F(MeterClockTest, FailedOrImpossibleClockShowsTheDefaults) {
    clockReply = "!\r\n";
    ASSERT_EQ(OpenCommPort(), ERR_NONE);
    EXPECT_EQ(ShowMeterClock(display), ERR_BAD_FRAME);
    EXPECT_EQ(display.last.text, "01/01/2000  01:01:01");
    clockReply = "H2202413051407" "09\r\n";
    EXPECT_EQ(ShowMeterClock(display), ERR_NONE);
    EXPECT_EQ(display.last.text, "2000/01/01  01:01:01");
    clockReply = "H22024030524" "0709\r\n";
    EXPECT_EQ(ShowMeterClock(display), ERR_NONE);
    EXPECT_EQ(display.last.text, "2000/01/01  01:01:01");
}

TEST_F(MeterClockTest, TickCrossesMidnightAndMonthEnds) {
    ClockFields f{2023, 12, 31, 23, 59, 59};
    display.last.value = ClockValueFromFields(f);
    ClockTick(display);
    EXPECT_EQ(display.last.text, "01/01/2024  00:00:00");
    display.last.value = ClockValueFromFields({2024, 2, 29, 23, 59, 58});
    ClockTick(display);
    EXPECT_EQ(display.last.text, "02/29/2024  23:59:59");
    ClockTick(display);
    EXPECT_EQ(display.last.text, "03/01/2024  00:00:00");
    loamer::testing::ScopedLocale german(LC_TIME, "de_DE.UTF-8");
    ASSERT_TRUE(german.Ok());
    display.last.value = ClockValueFromFields({2024, 4, 30, 23, 59, 59});
    ClockTick(display);
    EXPECT_EQ(display.last.text, "01/05/2024  00:00:00");
}

TEST_F(MeterClockTest, SetSendsTheRecordAndJudgesTheAnswer) {
    ASSERT_EQ(OpenCommPort(), ERR_NONE);
    EXPECT_EQ(SetMeterClock({2026, 12, 7, 9, 5, 3}, '1'), ERR_NONE);
    EXPECT_EQ(backend.written, "H120261207090503\r\n");
    EXPECT_EQ(ui.cursorDepth, 0);

    ack = "K\r\n";
    EXPECT_EQ(SetMeterClock({2026, 12, 7, 9, 5, 3}, '0'), ERR_METER_BUSY);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Sorry : Your TQ4 meter reports it is busy.\n\nTry again later.");
}

TEST_F(MeterClockTest, ComputerTimeComesFromTheClock) {
    clock.SetWallBase(ClockValueFromFields({2026, 12, 7, 13, 25, 0}));
    const ClockFields now = ComputerLocalTime();
    EXPECT_EQ(now.year, 2026);
    EXPECT_EQ(now.hour, 13);
    EXPECT_EQ(now.minute, 25);
}

}  // namespace
