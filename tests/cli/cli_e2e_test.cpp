// loamer-cli as a user runs it, against the meter emulator on a pseudo-terminal.
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "loamer/version.h"
#include "tests/cli/cli_fixture.h"

namespace {

using namespace loamer::testing;
namespace fs = std::filesystem;

constexpr int kNobody = 65534;
const std::string kAbortReport = "Code: 27 \n\nThe instruction was aborted\n\n";

// A raw pseudo-terminal for a child's stdout or stderr; Screen() is what reached it.
class Terminal {
public:
    Terminal() {
        if (openpty(&master_, &terminal_, name_, nullptr, nullptr) != 0) return;
        termios raw{};
        tcgetattr(terminal_, &raw);
        cfmakeraw(&raw);
        tcsetattr(terminal_, TCSANOW, &raw);
        fcntl(master_, F_SETFL, O_NONBLOCK);
    }
    ~Terminal() {
        if (master_ >= 0) close(master_);
        if (terminal_ >= 0) close(terminal_);
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    bool Ok() const { return master_ >= 0; }
    // The program run through a shell that sends descriptor fd (1 or 2) to the terminal.
    ChildOptions Around(ChildOptions options, int fd) const {
        const std::string redirect = "exec \"$0\" \"$@\" " + std::to_string(fd) + ">\"$TERMINAL\"";
        options.argv.insert(options.argv.begin(), {"/bin/sh", "-c", redirect});
        options.setEnv.emplace_back("TERMINAL", name_);
        return options;
    }
    std::string Screen() const {
        std::string screen;
        char buffer[4096];
        for (ssize_t n; (n = read(master_, buffer, sizeof buffer)) > 0;)
            screen.append(buffer, static_cast<std::size_t>(n));
        return screen;
    }

private:
    int master_ = -1;
    int terminal_ = -1;
    char name_[64] = {};
};

TEST_F(CliTest, TheFourStatusViews) {
    Serve();
    const struct {
        const char* command;
        std::string out;
    } cases[] = {
        {"version", "TQ4 firmware Version : V2.13  \n"},
        {"battery", "Battery Life = 87.0 Percent\n"},
        {"memory", "Memory Used     = 6.7 Percent\n\nReadings stored = 0\n"},
        {"tables", ReadFile(TestDataPath("cli/tables.txt"))},
    };
    for (const auto& c : cases) {
        const RunResult r = Run({"--port", slave_, c.command});
        EXPECT_EQ(r.status, 0) << c.command << ": " << r.err;
        EXPECT_EQ(r.out, c.out) << c.command;
        EXPECT_EQ(r.err, "") << c.command;
    }
}

TEST_F(CliTest, SetClockThenReadItBack) {
    Serve();
    RunResult r = Run({"--port", slave_, "set-clock", "2026-12-07", "09:05:03"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    // The C locale's date order is month first: '0'.
    EXPECT_NE(Received().find("H020261207090503\\r\\n"), std::string::npos) << Received();
    r = Run({"--port", slave_, "clock"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 17), "12/07/2026  09:05") << r.out;
}

TEST_F(CliTest, NumbersStayInTheCLocaleWhileDatesFollowTheUser) {
    ASSERT_TRUE(ScopedLocale(LC_ALL, "de_DE.UTF-8").Ok()) << "de_DE.UTF-8 is missing: ./run setup generates it";
    Serve();
    for (const Args& args : {Args{"battery"}, Args{"set-clock", "2026-12-07 09:05:03"}}) {
        ChildOptions options = Cli({"--port", slave_});
        options.argv.insert(options.argv.end(), args.begin(), args.end());
        options.setEnv[1].second = "de_DE.UTF-8";
        const RunResult r = RunProgram(options);
        EXPECT_EQ(r.status, 0) << r.err;
        if (args[0] == "battery") {
            EXPECT_EQ(r.out, "Battery Life = 87.0 Percent\n");
        }
    }
    // Day first, as the German date format has it: '1'.
    EXPECT_NE(Received().find("H120261207090503\\r\\n"), std::string::npos) << Received();
}

TEST_F(CliTest, BusyMeterIsReportedWithItsCode) {
    Serve({"--busy", "3"});
    const RunResult r = Run({"--port", slave_, "version"});
    EXPECT_EQ(r.status, 8);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Communications Error\n\n Code: 8\n\nThe TQ4 appears to be busy.\n");
}

TEST_F(CliTest, VerboseAddsTheSystemsReason) {
    const RunResult r = Run({"--port", scratch_ / "no-such-port", "--verbose", "memory"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("Communications Error\n\n Code: 2\n\nAn error occurred trying to open", 0), 0u);
    EXPECT_NE(r.err.find("no-such-port: No such file or directory\n"), std::string::npos) << r.err;
}

// A run that ends early, by a signal or by a reader that went away, still closes the port:
// it is not left exclusive, and its settings are those it had before.
TEST_F(CliTest, EndingEarlyLeavesThePortAsItWas) {
    const std::string battery = "?\\r\\n\nI\\r\\n\n";
    const struct {
        int signal;  // 0: the reader of standard output goes away instead
        Args args;
        int status;
        std::string err;
        std::string requests;
    } cases[] = {
        {SIGINT, {"battery"}, 27, kAbortReport, battery},
        {SIGTERM, {"battery"}, 27, kAbortReport, battery},
        {SIGHUP, {"battery"}, 27, kAbortReport, battery},
        {0, {"battery"}, 1, "loamer-cli: cannot write the output: Broken pipe\n", battery},
        // Asked to end, set-clock does not go on after its failed wake-up as it would otherwise.
        {SIGTERM, {"set-clock", "--system"}, 27, kAbortReport, "?\\r\\n\n"},
    };
    for (const auto& c : cases) {
        // The replies come late: the signal, or the closed pipe, meets a waiting exchange.
        Serve({"--delay", "I:600", "--silent-handshakes", c.args[0] == "battery" ? "0" : "1"});
        SetUnusualLineSettings(slave_);
        const std::string before = PortState(slave_);
        const auto start = std::chrono::steady_clock::now();
        Args args = {"--port", slave_};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ChildProcess cli(Cli(args));
        if (c.signal == 0) {
            cli.CloseStdoutPipe();
        } else {
            Pause(200);
            cli.Signal(c.signal);
        }
        const std::string label = "signal " + std::to_string(c.signal) + " " + Join(c.args);
        EXPECT_EQ(cli.Wait(5000), c.status) << label;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << label;
        EXPECT_EQ(cli.Err(), c.err) << label;
        EXPECT_EQ(PortState(slave_), before) << label;
        EXPECT_EQ(Received(), c.requests) << label;
    }
}

// A stop signal outside an exchange: the program goes on to the close all the same. Here it
// comes while the settings file, a named pipe, keeps the program waiting before the port is
// open; the first exchange then ends with the abort, and the port is closed as it was found.
TEST_F(CliTest, StopSignalOutsideAnExchangeStillLeadsToTheClose) {
    Serve();
    SetUnusualLineSettings(slave_);
    const std::string before = PortState(slave_);
    fs::create_directories(fs::path(settingsFile_).parent_path());
    ASSERT_EQ(mkfifo(settingsFile_.c_str(), 0600), 0);
    ChildProcess cli(Cli({"version"}));
    Pause(200);
    cli.Signal(SIGTERM);
    Pause(100);
    // Answers every open of the settings file from now on.
    std::atomic<bool> done{false};
    std::thread settings([&] {
        const std::string content = "[SETTINGS]\nComPortName=" + slave_ + "\n";
        while (!done) {
            if (const int fd = open(settingsFile_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); fd >= 0) {
                (void)!write(fd, content.data(), content.size());
                close(fd);
            }
            Pause(5);
        }
    });
    EXPECT_EQ(cli.Wait(5000), 27);
    done = true;
    settings.join();
    EXPECT_EQ(cli.Err(), kAbortReport);
    // The wake-up was the last request (its bytes may have gone with the close's purge).
    EXPECT_EQ(Received().find("I\\r\\n"), std::string::npos) << Received();
    EXPECT_EQ(PortState(slave_), before);
}

// A program started with descriptor 1 or 2 closed must not open the port in its place and
// write its own texts to the meter.
TEST_F(CliTest, ClosedStandardDescriptorsNeverBecomeThePort) {
    const struct {
        bool closeStdout;
        Args faults;
        Args args;
        int status;
        std::string requests;
    } cases[] = {
        // The version text goes to stdout.
        {true, {}, {"version"}, 0, "?\\r\\n\nI\\r\\n\n"},
        // The report of the failed wake-up goes to stderr, and the command goes on.
        {false,
         {"--refuse", "3"},
         {"set-clock", "2026-12-07 09:05:03"},
         9,
         "?\\r\\n\n?\\r\\n\n?\\r\\n\nF\\r\\n\nH020261207090503\\r\\n\n?\\r\\n\n"},
    };
    for (const auto& c : cases) {
        Args faults = c.faults;
        faults.insert(faults.end(), {"--drop-partial", "50"});
        Serve(faults);
        Args args = {"--port", slave_};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ChildOptions options = Cli(args);
        options.closeStdout = c.closeStdout;
        options.closeStderr = !c.closeStdout;
        EXPECT_EQ(RunProgram(options).status, c.status) << Join(args);
        // Time for the emulator to note a stray partial line.
        Pause(200);
        EXPECT_EQ(Received(), c.requests) << Join(args);
    }
}

// Meter bytes are printed as they came into a pipe, and defused on a terminal.
TEST_F(CliTest, ControlBytesFromTheMeterNeverReachATerminal) {
    Serve({}, TestDataPath("cli/control_bytes.json"));
    const Terminal terminal;
    ASSERT_TRUE(terminal.Ok());

    const struct {
        const char* command;
        std::string piped;
        std::string onTerminal;
    } cases[] = {
        {"version", "TQ4 firmware Version : \x1b[31mV \n", "TQ4 firmware Version : ?[31mV \n"},
        {"tables", ReadFile(TestDataPath("cli/control_bytes_tables.txt")),
         ReadFile(TestDataPath("cli/control_bytes_tables_terminal.txt"))},
    };
    for (const auto& c : cases) {
        const RunResult piped = Run({"--port", slave_, c.command});
        EXPECT_EQ(piped.status, 0) << piped.err;
        EXPECT_EQ(piped.out, c.piped);

        const RunResult shown = RunProgram(terminal.Around(Cli({"--port", slave_, c.command}), 1));
        EXPECT_EQ(shown.status, 0) << shown.err;
        EXPECT_EQ(terminal.Screen(), c.onTerminal);
    }
}

// The data record file that tests/data/cli/retrieve_small.json gives, with this program's version.
std::string SmallMemoryFile() {
    std::string text = ReadFile(TestDataPath("cli/retrieve_small.csv"));
    const std::string mark = "@VERSION@";
    if (const std::size_t at = text.find(mark); at != std::string::npos)
        text.replace(at, mark.size(), LOAMER_FILE_VERSION);
    return text;
}

TEST_F(CliTest, RetrieveWritesTheDataRecordFile) {
    Serve({}, TestDataPath("cli/retrieve_small.json"));
    const std::string file = scratch_ / "LOAMER.CSV";
    const RunResult r = Run({"--port", slave_, "retrieve", file});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Your readings were saved to disk.\n");
    // No progress into a pipe.
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ReadFile(file), SmallMemoryFile());
}

// Without --force, anything at the path (a dangling link too) is kept and the meter is not woken.
TEST_F(CliTest, AnExistingFileIsReplacedOnlyWithForce) {
    Serve({}, TestDataPath("cli/retrieve_small.json"));
    const std::string file = scratch_ / "old.csv";
    const std::string link = scratch_ / "link.csv";
    std::ofstream(file, std::ios::binary) << "yesterday's readings\r\n";
    ASSERT_EQ(symlink((scratch_ / "nowhere.csv").c_str(), link.c_str()), 0);
    for (const std::string& path : {file, link}) {
        const RunResult r = Run({"--port", slave_, "retrieve", path});
        EXPECT_EQ(r.status, 1) << path;
        EXPECT_EQ(r.out, "") << path;
        EXPECT_EQ(r.err, "loamer-cli: " + path + " exists; retrieve --force replaces it\n");
    }
    EXPECT_EQ(ReadFile(file), "yesterday's readings\r\n");
    EXPECT_FALSE(fs::exists(scratch_ / "nowhere.csv"));
    EXPECT_EQ(Received(), "");

    const RunResult r = Run({"--port", slave_, "retrieve", "--force", file});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(file), SmallMemoryFile());
}

// A failure at record N: the file keeps everything before N, and the exit status is the
// report's code.
TEST_F(CliTest, RetrievalFailureKeepsTheRecordsBeforeIt) {
    const struct {
        Args faults;
        int status;
        std::string firstLost;  // where the file stops: the start of record N's chunk
    } cases[] = {
        {{"--corrupt-at", "3"}, 28, "\r\n2024/06/18  09:05:40"},
        // A reading of another kind than its data set's.
        {{"--record-kind", "5:3"}, 6, "\r\n2024/06/18  10:30:00"},
        {{"--hangup-at-record", "4"}, 5, "\r\nDevice >>,FLX"},
    };
    const std::string whole = SmallMemoryFile();
    for (const auto& c : cases) {
        Serve(c.faults, TestDataPath("cli/retrieve_small.json"));
        const std::string file = scratch_ / ("failed-" + c.faults[1] + ".csv");
        const RunResult r = Run({"--port", slave_, "retrieve", file});
        const std::string label = Join(c.faults);
        EXPECT_EQ(r.status, c.status) << label << r.err;
        EXPECT_EQ(r.out, "") << label;
        EXPECT_NE(r.err.find(" Code: " + std::to_string(c.status) + "\n"), std::string::npos) << label << r.err;
        ASSERT_NE(whole.find(c.firstLost), std::string::npos) << label;
        EXPECT_EQ(ReadFile(file), whole.substr(0, whole.find(c.firstLost))) << label;
    }
}

// Ctrl-C, SIGTERM and SIGHUP in the middle of a long retrieval: the abort report, and a file of
// whole lines.
TEST_F(CliTest, StopSignalsEndARetrievalBetweenLines) {
    const std::string own = SmallMemoryFile();
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        Serve({"--generate-readings", "2000", "--pace", "9600"}, TestDataPath("cli/retrieve_small.json"));
        const std::string file = scratch_ / ("stopped-" + std::to_string(signal) + ".csv");
        ChildProcess cli(Cli({"--port", slave_, "retrieve", file}));
        // Stopped once the generated readings have begun.
        for (int waited = 0; ReadFile(file).size() <= own.size() && waited < 5000; waited += 20) Pause(20);
        cli.Signal(signal);
        EXPECT_EQ(cli.Wait(5000), 27) << signal;
        EXPECT_EQ(cli.Err(), kAbortReport) << signal;
        EXPECT_EQ(cli.Out(), "") << signal;
        const std::string kept = ReadFile(file);
        EXPECT_GT(kept.size(), own.size()) << signal;
        EXPECT_EQ(kept.compare(0, own.size(), own), 0) << signal;
        EXPECT_EQ(kept.substr(kept.size() - 2), "\r\n") << signal;
    }
}

// /dev/full exists, so it takes --force; its first write fails.
TEST_F(CliTest, AFullDiskEndsTheRetrievalWithTheWriteReport) {
    Serve({}, TestDataPath("cli/retrieve_small.json"));
    const RunResult r = Run({"--port", slave_, "retrieve", "--force", "/dev/full"});
    EXPECT_EQ(r.status, 21);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("Cannot write to /dev/full:\nNo space left on device\nFile Error\n\n Code: 21\n", 0), 0u)
        << r.err;
    // Nothing is asked after the failed write.
    EXPECT_EQ(Received().find("R00001"), std::string::npos) << Received();
}

// On a terminal the bar goes from 0 to one step per record asked for (five and the end), and is
// gone before the program ends.
TEST_F(CliTest, RetrievalProgressIsDrawnOnATerminal) {
    Serve({}, TestDataPath("cli/retrieve_small.json"));
    const Terminal terminal;
    ASSERT_TRUE(terminal.Ok());
    const std::string file = scratch_ / "LOAMER.CSV";
    const RunResult r = RunProgram(terminal.Around(Cli({"--port", slave_, "retrieve", file}), 2));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Your readings were saved to disk.\n");
    const std::string screen = terminal.Screen();
    const std::string first = "\r[........................................]   0%";
    const std::string last = "\r[##......................................]   6%\r\033[K";
    EXPECT_EQ(screen.rfind(first, 0), 0u) << screen;
    EXPECT_TRUE(screen.size() > last.size() && screen.compare(screen.size() - last.size(), last.size(), last) == 0)
        << screen;
    EXPECT_EQ(ReadFile(file), SmallMemoryFile());
}

// Whether the transcript holds a request that starts with the letter.
bool Requested(const std::string& transcript, char letter) {
    return ("\n" + transcript).find(std::string("\n") + letter) != std::string::npos;
}

const std::string kAllSlots = LOAMER_SOURCE_DIR "/examples/all-slots.json";
const std::string kExamples = LOAMER_SOURCE_DIR "/examples/";

// Each table goes into its sensor's slot, as the tables status then shows; SENSOR in any case.
TEST_F(CliTest, AnInstalledTableShowsInTheTablesStatus) {
    Serve({}, kAllSlots);
    const struct {
        const char* sensor;
        const char* file;
        const char* shown;  // the slot's line in the tables status
    } cases[] = {
        {"kr7", "KR7.LIN", "\nKR7 Gravel    \tReady"},
        {"VP4-Special", "VP4-Special.LIN", "\nVP4S Bark     \tReady"},
        {"Gx310", "GX310.LIN", "\nGX310 Temp    \tReady"},
    };
    for (const auto& c : cases) {
        const RunResult r = Run({"--port", slave_, "install-table", c.sensor, kExamples + c.file});
        EXPECT_EQ(r.status, 0) << c.sensor << r.err;
        EXPECT_EQ(r.out, "This Linearisation Table was sent to TQ4.\n") << c.sensor;
        EXPECT_EQ(r.err, "") << c.sensor;
        const RunResult tables = Run({"--port", slave_, "tables"});
        EXPECT_NE(tables.out.find(c.shown), std::string::npos) << c.sensor << tables.out;
    }
}

TEST_F(CliTest, ACalibrationIsInstalledForItsProbeKind) {
    const struct {
        const char* kind;
        const char* file;
        std::string note;
    } cases[] = {
        {"orbis", "orbis.cal", "# calibration for the Orbis probe (2), name \"orbis       \"\n"},
        {"FLX", "flx.cal", "# calibration for the FLX sensor (3), name \"flx         \"\n"},
    };
    for (const auto& c : cases) {
        Serve({}, kAllSlots);
        const RunResult r = Run({"--port", slave_, "install-cal", c.kind, kExamples + c.file});
        EXPECT_EQ(r.status, 0) << c.kind << r.err;
        EXPECT_EQ(r.out, "Orbis/FLX calibration file '" + std::string(c.file) + "' installed\nin the TQ4, ok.\n");
        EXPECT_NE(Received().find(c.note), std::string::npos) << c.kind << Received();
    }
}

// The installs check the meter before they look at the file, as the dialog asks for it only then;
// whatever stops them, nothing is uploaded.
TEST_F(CliTest, InstallChecksComeBeforeTheFile) {
    const std::string missing = scratch_ / "missing";
    const std::string reason = ": No such file or directory\n";
    const struct {
        std::string memory;
        Args faults;
        Args args;
        int status;
        std::string out;
        std::string errStart;
        std::string errEnd;  // with --verbose
    } cases[] = {
        {kAllSlots, {"--generate-readings", "5"}, {"install-table", "KR5", missing + ".LIN"}, 50, "",
         "Linearisation Table Error\n\n Code: 50\n", "\n"},
        {kAllSlots, {"--generate-readings", "5"}, {"install-cal", "orbis", missing + ".cal"}, 50, "",
         "Linearisation Table Error\n\n Code: 50\n", "\n"},
        // examples/meter.json has slots for KR5 and VP4 only.
        {LOAMER_SOURCE_DIR "/examples/meter.json", {}, {"install-table", "KR7", missing + ".LIN"}, 1,
         "This TQ4 does not support the KR7 Linearisatation Table.\n\n", "", ""},
        {kAllSlots, {}, {"install-table", "KR5", missing + ".LIN"}, 30, "", "Linearisation Table Error\n\n Code: 30\n",
         missing + ".LIN" + reason},
        {kAllSlots, {}, {"install-cal", "flx", missing + ".cal"}, 1, "",
         "Error opening calibration file 'missing.cal'\n", missing + ".cal" + reason},
    };
    for (const auto& c : cases) {
        Serve(c.faults, c.memory);
        Args args = {"--port", slave_, "--verbose"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = Run(args);
        const std::string label = Join(c.faults) + Join(c.args);
        EXPECT_EQ(r.status, c.status) << label << r.err;
        EXPECT_EQ(r.out, c.out) << label;
        EXPECT_EQ(r.err.rfind(c.errStart, 0), 0u) << label << r.err;
        EXPECT_EQ(r.err.substr(r.err.size() - std::min(r.err.size(), c.errEnd.size())), c.errEnd) << label << r.err;
        const std::string received = Received();
        EXPECT_FALSE(Requested(received, 'B') || Requested(received, 'W')) << label << received;
        // The table slots are read only when no readings are stored.
        EXPECT_EQ(Requested(received, 'T'), c.args[0] == "install-table" && c.status != 50) << label << received;
    }
}

// An existing file is kept without --force, and the meter not woken; with it the file is replaced
// whole by the meter's memory. The bar is drawn on a terminal and gone at the end.
TEST_F(CliTest, DebugSavesTheMeterMemoryOverAnOldFileOnlyWithForce) {
    Serve({}, kAllSlots);
    const std::string file = scratch_ / "TQ4 DEBUG.BIN";
    const std::string old(40000, 'x');
    std::ofstream(file, std::ios::binary) << old;
    const RunResult refused = Run({"--port", slave_, "debug", file});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "loamer-cli: " + file + " exists; debug --force replaces it\n");
    EXPECT_TRUE(ReadFile(file) == old);
    EXPECT_EQ(Received(), "");

    const Terminal terminal;
    ASSERT_TRUE(terminal.Ok());
    const RunResult r = RunProgram(terminal.Around(Cli({"--port", slave_, "debug", "--force", file}), 2));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("TQ4 DEBUG Report:\n\nA Debug Report named TQ4 DEBUG.BIN\nwas saved to file.\n", 0), 0u)
        << r.out;
    const std::string dump = ReadFile(file);
    EXPECT_EQ(dump.size(), 32768u);
    EXPECT_TRUE(dump == meter_->Snapshot().memory['2']);
    const std::string screen = terminal.Screen();
    EXPECT_EQ(screen.rfind("\r[........................................]   0%", 0), 0u) << screen;
    EXPECT_EQ(screen.substr(screen.size() - std::min<std::size_t>(screen.size(), 4)), "\r\033[K") << screen;
}

TEST_F(CliTest, UsageErrorsNeverReachTheMeter) {
    Serve();
    // The stored port leads to the meter, so that a command that ran anyway would be seen there.
    ASSERT_EQ(Run({"port", slave_}).status, 0);
    const std::string stored = ReadFile(settingsFile_);
    // So is a gateway, for a request sent anyway.
    const auto gateway = StartGateway({});
    ASSERT_TRUE(gateway);
    const std::string flx = LOAMER_SOURCE_DIR "/examples/Data.flx";
    const auto sendX = [&flx](const std::string& record, const std::string& first, const std::string& code) {
        return Args{"send", "x", flx, record, first, "2", code};
    };
    const Args cases[] = {
        {},
        {"fly"},
        {"--bogus", "version"},
        {"version", "extra"},
        {"--port"},
        {"--port", "", "version"},
        {"--port=", "version"},
        {"port", ""},
        {"port", "COM2", "COM3"},
        {"set-clock", "2026-13-07 09:05:03"},
        {"set-clock", "yesterday"},
        {"set-clock", "2026-12-07", "09:05"},
        {"set-clock", "--system", "2026-12-07 09:05:03"},
        {"set-clock", "2026-12-07", "09:05:03", "x"},
        {"retrieve"},
        {"retrieve", "-"},
        {"retrieve", ""},
        {"retrieve", "a.csv", "b.csv"},
        {"debug"},
        {"debug", ""},
        {"debug", "a.bin", "b.bin"},
        {"install-table"},
        {"install-table", "KR5"},
        {"install-table", "KR8", "KR8.LIN"},
        {"install-table", "VP4 Special", "VP4.LIN"},
        {"install-table", "KR5", "-"},
        {"install-cal", "orbis"},
        {"install-cal", "tdr", "tdr.cal"},
        {"install-cal", "flx", ""},
        {"install-cal", "flx", "a.cal", "b.cal"},
        {"serve", "--title", "a/b"},
        {"serve", "extra"},
        {"send"},
        {"send", "fax", flx},
        {"send", "cal", "tdr", "tdr.cal"},
        {"send", "cal", "flx"},
        {"send", "cal", "flx", "-"},
        {"send", "--to", "a/b", "cal", "flx", "flx.cal"},
        {"send", "--to", "", "cal", "flx", "flx.cal"},
        {"send", "x", flx, "0", "6", "2"},
        {"send", "x", flx, "0", "6", "2", "1", "1"},
        sendX("-1", "6", "1"),
        sendX("first", "6", "1"),
        sendX("0", "6,5", "1"),
        sendX("0", "", "1"),
        sendX("0", "inf", "1"),
        sendX("0", "1e999", "1"),
        sendX("0", "0x10", "1"),
        sendX("0", "6", "256"),
        sendX("0", "6", "-1"),
        sendX("0", "6", "0x1"),
        sendX("0", "6", "1.0"),
    };
    for (const Args& args : cases) {
        const RunResult r = Run(args);
        EXPECT_EQ(r.status, 64) << Join(args);
        EXPECT_EQ(r.out, "") << Join(args);
        // One line that names the problem, then the usage.
        EXPECT_EQ(r.err.rfind("loamer-cli: ", 0), 0u) << Join(args) << r.err;
        EXPECT_EQ(r.err.find("\nusage: loamer-cli "), r.err.find('\n')) << Join(args) << r.err;
    }
    EXPECT_EQ(Received(), "");
    EXPECT_EQ(ReadFile(settingsFile_), stored);
    gateway->Signal(SIGTERM);
    EXPECT_EQ(gateway->Wait(5000), 0);
}

TEST_F(CliTest, HelpAndVersion) {
    const RunResult help = Run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, ReadFile(TestDataPath("cli/usage.txt")));
    EXPECT_EQ(Run({"fly"}).err, "loamer-cli: unknown command fly\n" + help.out);
    for (const std::string synopsis :
          {"set-clock [--system | YYYY-MM-DD HH:MM:SS]", "install-table SENSOR FILE.LIN",
          "install-cal orbis|flx FILE.cal", "debug FILE [--force]", "serve [--title T]",
          "send [--to T] cal orbis|flx FILE.cal | x FILE RECORD P1 P2 CODE"}) {
        const RunResult command = Run({synopsis.substr(0, synopsis.find(' ')), "--help"});
        EXPECT_EQ(command.status, 0);
        EXPECT_EQ(command.out.rfind("usage: loamer-cli [--port NAME] [--verbose] " + synopsis + "\n", 0), 0u)
            << command.out;
    }
    EXPECT_EQ(Run({"--version"}).out, LOAMER_PRODUCT_NAME " " LOAMER_FILE_VERSION "\n" LOAMER_COPYRIGHT "\n");
}

// The stored port, shared with the desktop program. A settings file that cannot be read or
// written is said on stderr; the command goes on with COM1, and a port that could not be stored
// fails the command.
TEST_F(CliTest, StoredPortAndSettingsProblems) {
    // Another user has to reach the settings folder.
    ASSERT_EQ(chmod(scratch_.Path().c_str(), 0755), 0);
    enum class Place { None, File, Folder, UnreadableFile, ReadOnlyFolder };
    const std::string damaged = "The settings file " + settingsFile_ + " is damaged; using port COM1.\n";
    const std::string unreadable = "The settings file " + settingsFile_ + " cannot be read; using port COM1.\n";
    const std::string unstored = "The port could not be stored in the settings file " + settingsFile_ + ".\n";
    const struct {
        Place place;
        std::string content;
        Args args;
        int status;
        std::string out;
        std::string err;
    } cases[] = {
        {Place::None, "", {"port"}, 0, "COM1\n", ""},
        {Place::None, "", {"port", "/dev/ttyUSB3"}, 0, "", ""},
        {Place::File, "[SETTINGS]\nComPortName=/dev/ttyUSB1\n", {"port"}, 0, "/dev/ttyUSB1\n", ""},
        {Place::File, "[SETTINGS]\nCOMPORT=3\n", {"port"}, 0, "COM3\n", ""},
        {Place::File, "not a settings line\n[SETTINGS]\nComPortName=/dev/ttyUSB1\n", {"port"}, 0, "COM1\n", damaged},
        {Place::File, "[SETTINGS]\nComPortName=\x01\x02/dev/ttyUSB1\n", {"port"}, 0, "COM1\n", damaged},
        {Place::File, "[SETTINGS]\nComPortName=\"/dev/ttyUSB1\n", {"port"}, 0, "COM1\n", damaged},
        {Place::Folder, "", {"port"}, 0, "COM1\n", unreadable},
        {Place::UnreadableFile, "[SETTINGS]\nComPortName=/dev/ttyUSB1\n", {"port"}, 0, "COM1\n", unreadable},
        // With --port the stored setting is not needed, nor read.
        {Place::Folder, "", {"--port", "COM4", "port"}, 0, "COM4\n", ""},
        {Place::File, "not a settings line\n", {"port", "/dev/ttyUSB3"}, 0, "", ""},
        {Place::Folder, "", {"port", "/dev/ttyUSB3"}, 1, "", unstored},
        {Place::UnreadableFile, "[SETTINGS]\nComPortName=/dev/ttyUSB1\n", {"port", "/dev/ttyUSB3"}, 1, "", unstored},
        {Place::ReadOnlyFolder, "", {"port", "/dev/ttyUSB3"}, 1, "", unstored},
        {Place::ReadOnlyFolder, "not a settings line\n", {"port", "/dev/ttyUSB3"}, 1, "", unstored},
    };
    for (const auto& c : cases) {
        const std::string label = c.content + Join(c.args);
        fs::remove_all(config_);
        fs::create_directories(fs::path(settingsFile_).parent_path());
        if (c.place == Place::Folder) {
            fs::create_directory(settingsFile_);
        } else if (c.place != Place::None) {
            std::ofstream(settingsFile_, std::ios::binary) << c.content;
        }
        // Root reads and writes anything: these run as another user.
        const bool asNobody = c.place == Place::UnreadableFile || c.place == Place::ReadOnlyFolder;
        for (const fs::path& p : {fs::path(config_), fs::path(settingsFile_).parent_path()})
            ASSERT_EQ(chown(p.c_str(), kNobody, kNobody), 0);
        if (c.place == Place::UnreadableFile) {
            ASSERT_EQ(chmod(settingsFile_.c_str(), 0), 0);
        }
        if (c.place == Place::ReadOnlyFolder) {
            ASSERT_EQ(chmod(fs::path(settingsFile_).parent_path().c_str(), 0555), 0);
        }

        ChildOptions options = Cli(c.args);
        if (asNobody) options.uid = kNobody;
        const RunResult r = RunProgram(options);
        EXPECT_EQ(r.status, c.status) << label << r.err;
        EXPECT_EQ(r.out, c.out) << label;
        EXPECT_EQ(r.err, c.err) << label;
        if (c.status == 0 && c.args.size() == 2 && c.args[0] == "port") {
            EXPECT_EQ(Run({"port"}).out, c.args[1] + "\n") << label;
            EXPECT_NE(ReadFile(settingsFile_).find("[SETTINGS]\nComPortName=" + c.args[1] + "\n"), std::string::npos);
        }
    }
}

}  // namespace
