// Settings, Clock against a scripted meter on the fake backend and clock: the record sent for
// "Set to System" and for a hand-picked time, Cancel, an unreachable meter, and the one-second
// tick of the status box across day, month and year ends.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>
#include <ctime>

#include "loamer/link/comm_port.h"
#include "loamer/link/error_codes.h"
#include "loamer/shell/main_dialog.h"
#include "loamer/shell/set_time_dialog.h"
#include "tests/shell/shell_test.h"

using namespace loamer;

namespace {

// The clock record a meter must receive for a calendar time, computed without the program's
// code: local time by the offset of a fixed time zone.
std::string ExpectedRecord(char order, std::int64_t wall, int utcOffsetSeconds) {
    const std::time_t shifted = static_cast<std::time_t>(wall + utcOffsetSeconds);
    std::tm fields{};
    gmtime_r(&shifted, &fields);
    char digits[32];
    std::strftime(digits, sizeof digits, "%Y%m%d%H%M%S", &fields);
    return std::string("H") + order + digits + "\r\n";
}

std::vector<std::string> ClockRecords(const std::vector<std::string>& requests) {
    std::vector<std::string> records;
    for (const std::string& r : requests)
        if (r.size() == 18 && r[0] == 'H') records.push_back(r);
    return records;
}

}  // namespace

class ClockCommandTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(f_.SetUp()); }
    void cleanup() { f_.TearDown(); }

    void setToSystemSendsTheComputersLocalTime() {
        // Half an hour off a whole hour, so that UTC sent for local time cannot pass.
        ScopedTimeZone zone("IST-5:30");
        f_.link().clock.SetWallBase(1'709'647'629);
        std::int64_t wallAtOpening = 0;
        bool openedTicked = false;
        bool pickersDisabled = false;
        ModalAnswerer answerer([&](QWidget* window) {
            auto* setTime = qobject_cast<CSetTime*>(window);
            QVERIFY(setTime);
            QCOMPARE(setTime->windowTitle(), QStringLiteral("Set Time"));
            openedTicked = setTime->findChild<QCheckBox*>(QStringLiteral("setToSystem"))->isChecked();
            pickersDisabled = !setTime->findChild<QDateEdit*>(QStringLiteral("date"))->isEnabled() &&
                              !setTime->findChild<QTimeEdit*>(QStringLiteral("time"))->isEnabled();
            wallAtOpening = f_.link().clock.WallTime();
            setTime->findChild<QPushButton*>(QStringLiteral("ok"))->click();
        });
        f_.Action("clock")->trigger();

        QVERIFY(answerer.unexpected.isEmpty());
        QVERIFY(answerer.boxes.empty());
        QVERIFY(openedTicked);
        QVERIFY(pickersDisabled);
        const std::string expected = ExpectedRecord('0', wallAtOpening, 5 * 3600 + 30 * 60);
        // Wake, check the clock, set it (the acknowledgement read shows it), then wake and refresh.
        const std::vector<std::string> order = {"?\r\n", "F\r\n", expected, "F\r\n", "?\r\n", "F\r\n"};
        QCOMPARE(f_.link().meter.requests, order);
        // The status box shows the time just set, in the order sent.
        QCOMPARE(f_.StatusText(),
                 QStringLiteral("%1/%2/%3  %4:%5:%6")
                     .arg(QString::fromStdString(expected.substr(6, 2)), QString::fromStdString(expected.substr(8, 2)),
                          QString::fromStdString(expected.substr(2, 4)), QString::fromStdString(expected.substr(10, 2)),
                          QString::fromStdString(expected.substr(12, 2)), QString::fromStdString(expected.substr(14, 2))));
        QVERIFY(f_.dialog().ClockTimerRunning());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void handPickedDateAndTimeAreSentTogether() {
        ScopedTimeLocale dayMonthYear("de_DE.UTF-8");
        QVERIFY2(dayMonthYear.ok(), "the de_DE.UTF-8 locale is missing (./run setup generates it)");
        ModalAnswerer answerer([&](QWidget* window) {
            auto* setTime = qobject_cast<CSetTime*>(window);
            QVERIFY(setTime);
            setTime->findChild<QCheckBox*>(QStringLiteral("setToSystem"))->click();
            auto* date = setTime->findChild<QDateEdit*>(QStringLiteral("date"));
            auto* time = setTime->findChild<QTimeEdit*>(QStringLiteral("time"));
            QVERIFY(date->isEnabled() && time->isEnabled());
            date->setDate(QDate(2025, 12, 31));
            time->setTime(QTime(23, 59, 58));
            // The picker timer is stopped: the chosen values stay.
            QTest::qWait(700);
            setTime->findChild<QPushButton*>(QStringLiteral("ok"))->click();
        });
        f_.Action("clock")->trigger();

        QVERIFY(answerer.unexpected.isEmpty());
        QCOMPARE(ClockRecords(f_.link().meter.requests), std::vector<std::string>{"H120251231235958\r\n"});
        QCOMPARE(f_.StatusText(), QStringLiteral("31/12/2025  23:59:58"));
    }

    void cancelSendsNothing() {
        f_.dialog().ShowClock({ERR_NONE, 0, "before"});
        ModalAnswerer answerer([&](QWidget* window) {
            QVERIFY(qobject_cast<CSetTime*>(window));
            window->findChild<QPushButton*>(QStringLiteral("cancel"))->click();
        });
        f_.Action("clock")->trigger();

        QVERIFY(answerer.unexpected.isEmpty());
        QCOMPARE(f_.link().meter.requests, (std::vector<std::string>{"?\r\n", "F\r\n"}));
        QCOMPARE(f_.StatusText(), QStringLiteral("before"));
        QVERIFY(!f_.dialog().ClockTimerRunning());
    }

    void unreachableMeterReportsTwiceAndOpensNothing() {
        f_.link().meter.silent = true;
        ModalAnswerer answerer;
        f_.Action("clock")->trigger();

        QVERIFY(answerer.unexpected.isEmpty());
        const QString timeout = QString::fromStdString(FormatErrorReport(ERR_TIMEOUT));
        QCOMPARE(answerer.boxes.size(), std::size_t{2});
        QCOMPARE(answerer.boxes[0].text, timeout);
        QCOMPARE(answerer.boxes[1].text, timeout);
        QCOMPARE(answerer.boxes[1].icon, QMessageBox::Warning);
        // The handshakes time out, then the clock query is asked all the same.
        QCOMPARE(f_.link().meter.requests, (std::vector<std::string>{"?\r\n", "?\r\n", "F\r\n"}));
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void tickRunsOnAcrossDayMonthAndYearEnds_data() {
        QTest::addColumn<QString>("meter");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("ticked");
        QTest::newRow("month end") << "H220240131235959" << "2024/01/31  23:59:59" << "02/01/2024  00:00:00";
        QTest::newRow("leap day") << "H020240228235959" << "02/28/2024  23:59:59" << "02/29/2024  00:00:00";
        QTest::newRow("year end") << "H120231231235959" << "31/12/2023  23:59:59" << "01/01/2024  00:00:00";
    }

    void tickRunsOnAcrossDayMonthAndYearEnds() {
        QFETCH(QString, meter);
        QFETCH(QString, shown);
        QFETCH(QString, ticked);
        ScopedTimeZone zone("UTC0");
        f_.link().meter.clock = meter.toStdString() + "\r\n";
        ModalAnswerer answerer;
        f_.Button("version")->click();
        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QCOMPARE(f_.StatusText(), shown);
        // The real one-second timer; the computer's order is month-day-year under LC_TIME=C.
        QTRY_COMPARE_WITH_TIMEOUT(f_.StatusText(), ticked, 2500);
    }

private:
    MainDialogFixture f_;
};

SHELL_TEST(ClockCommandTest);
#include "clock_command_test.moc"
