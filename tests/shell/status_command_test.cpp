// The four status commands end to end: the emulated meter on a pseudo-terminal, the Qt
// services, the information box, then the meter's clock in the status box.
#include <QApplication>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <chrono>
#include <fstream>
#include <sstream>

#include "loamer/link/comm_port.h"
#include "loamer/link/error_codes.h"
#include "loamer/shell/main_dialog.h"
#include "tests/shell/shell_test.h"
#include "tools/tq4sim/emulator.h"

using namespace loamer;

namespace {

// The meter's clock at the start of each test; it runs on in real time.
constexpr tq4sim::CivilTime kMeterTime{2024, 3, 5, 14, 7, 9};

// Seconds field of a status text of the given layout ("YYYY/MM/DD  HH:MM:" or another order),
// -1 when the text has another shape.
int SecondsOf(const QString& text, const QString& dateAndMinute) {
    const QRegularExpression shape(QStringLiteral("^") + QRegularExpression::escape(dateAndMinute) +
                                   QStringLiteral("(\\d\\d)$"));
    const QRegularExpressionMatch match = shape.match(text);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

}  // namespace

class StatusCommandTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        std::ifstream file(LOAMER_EXAMPLES_DIR "/meter.json");
        std::stringstream json;
        json << file.rdbuf();
        const auto now = std::chrono::steady_clock::now();
        tq4sim::MeterState state;
        std::string error;
        QVERIFY2(tq4sim::LoadMeterState(json.str(), kMeterTime, now, &state, &error), error.c_str());
        state.clock.Set('2', kMeterTime, now);

        tq4sim::EmulatorOptions options;
        options.state = state;
        meter_ = std::make_unique<tq4sim::MeterEmulator>();
        QVERIFY2(meter_->Start(options, &slave_, &error), error.c_str());
        SetCommPortName(slave_);

        QVERIFY(f_.SetUp(false));
    }

    void cleanup() {
        f_.TearDown();
        meter_.reset();
    }

    void commandShowsItsTextThenTheMetersClock_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("text");
        QTest::newRow("version") << "version" << "TQ4 firmware Version : V2.13  ";
        QTest::newRow("battery") << "battery" << "Battery Life = 87.0 Percent";
        QTest::newRow("memory") << "memory" << "Memory Used     = 6.7 Percent\n\nReadings stored = 0";
        QTest::newRow("tables") << "tablesStatus"
                                << "TQ4 Linearisation Tables Status:\n\n"
                                   "KR5 Loam      \tReady         \n"
                                   "VP4 Sand      \tReady         \n";
    }

    void commandShowsItsTextThenTheMetersClock() {
        QFETCH(QString, button);
        QFETCH(QString, text);
        ModalAnswerer answerer;
        f_.dialog().findChild<QPushButton*>(button)->click();

        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QCOMPARE(answerer.boxes[0].title, QStringLiteral("Loamer"));
        QCOMPARE(answerer.boxes[0].icon, QMessageBox::Information);
        QCOMPARE(answerer.boxes[0].text, text);
        // The meter's own date order ('2'), read after the box was closed.
        const int seconds = SecondsOf(f_.StatusText(), QStringLiteral("2024/03/05  14:07:"));
        QVERIFY2(seconds >= 9 && seconds <= 20, qPrintable(f_.StatusText()));
        QVERIFY(f_.dialog().ClockTimerRunning());
        QCOMPARE(f_.dialog().clockTimerStarts(), 1);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QVERIFY(!f_.dialog().CommandRunning());
    }

    void clockRunsOnInTheComputersOrderAndIsStartedOnce() {
        ModalAnswerer answerer;
        f_.Button("version")->click();
        f_.Button("battery")->click();
        QCOMPARE(answerer.boxes.size(), std::size_t{2});
        QCOMPARE(f_.dialog().clockTimerStarts(), 1);
        const QString refreshed = f_.StatusText();
        QVERIFY2(SecondsOf(refreshed, QStringLiteral("2024/03/05  14:07:")) >= 9, qPrintable(refreshed));

        // The computer's order is month-day-year under LC_TIME=C.
        QTRY_VERIFY_WITH_TIMEOUT(SecondsOf(f_.StatusText(), QStringLiteral("03/05/2024  14:07:")) > 9,
                                 2500);
        const int ticked = SecondsOf(f_.StatusText(), QStringLiteral("03/05/2024  14:07:"));
        QCOMPARE(ticked, SecondsOf(refreshed, QStringLiteral("2024/03/05  14:07:")) + 1);
    }

    void failedCommandLeavesTheStatusBoxAlone() {
        SetCommPortName("/nonexistent/tq4");
        f_.dialog().ShowClock({ERR_NONE, 0, "03/05/2024  14:07:09"});
        ModalAnswerer answerer;
        f_.Button("memory")->click();

        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QCOMPARE(answerer.boxes[0].title, QStringLiteral("Loamer"));
        QCOMPARE(answerer.boxes[0].icon, QMessageBox::Warning);
        QCOMPARE(answerer.boxes[0].text, QString::fromStdString(FormatErrorReport(ERR_PORT_OPEN)));
        QCOMPARE(f_.StatusText(), QStringLiteral("03/05/2024  14:07:09"));
        QVERIFY(!f_.dialog().ClockTimerRunning());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

private:
    std::unique_ptr<tq4sim::MeterEmulator> meter_;
    MainDialogFixture f_;
    std::string slave_;
};

SHELL_TEST(StatusCommandTest);
#include "status_command_test.moc"
