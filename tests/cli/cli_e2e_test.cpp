// loamer-cli as a user runs it, against the meter emulator on a pseudo-terminal.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/tq4sim/emulator.h"


extern char** environ;

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs loamer-cli with args; interruptAfterMs > 0 sends SIGINT then, as Ctrl-C would.
Result RunCli(const std::vector<std::string>& args, int interruptAfterMs = 0) {
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    std::vector<char*> argv;
    std::string program = LOAMER_CLI;
    argv.push_back(program.data());
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, LOAMER_CLI, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    Result r;
    if (rc != 0) return r;
    const auto start = std::chrono::steady_clock::now();
    bool interrupted = false;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start).count();
        if (interruptAfterMs > 0 && !interrupted && elapsed >= interruptAfterMs) {
            kill(pid, SIGINT);
            interrupted = true;
        }
        if (poll(fds, 2, 20) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buf[512];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? r.out : r.err).append(buf, static_cast<std::size_t>(n));
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

class CliTest : public ::testing::Test {
protected:
    void Serve(std::vector<std::string> extra = {}) {
        extra.insert(extra.begin(), {"--memory", std::string(LOAMER_SOURCE_DIR) + "/examples/meter.json",
                                     "--transcript", transcript});
        std::string error;
        ASSERT_EQ(tq4sim::ParseCommandLine(extra, &options, &error), tq4sim::ParseOutcome::Run) << error;
        ASSERT_TRUE(meter.Start(options, &slave, &error)) << error;
    }
    std::string Received() {
        std::ifstream in(transcript);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void SetUp() override {
        char dir[] = "/tmp/loamer-cli-test-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        scratch = dir;
        transcript = scratch + "/received.txt";
        setenv("XDG_CONFIG_HOME", (scratch + "/config").c_str(), 1);
    }
    void TearDown() override {
        meter.Stop();
        std::system(("rm -rf " + scratch).c_str());
    }

    tq4sim::EmulatorOptions options;
    tq4sim::MeterEmulator meter;
    std::string slave;
    std::string scratch;
    std::string transcript;
};

TEST_F(CliTest, TheFourStatusViews) {
    Serve();
    Result r = RunCli({"--port", slave, "version"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "TQ4 firmware Version : V2.13  \n");
    EXPECT_EQ(r.err, "");
    r = RunCli({"--port", slave, "battery"});
    EXPECT_EQ(r.out, "Battery Life = 87.0 Percent\n");
    r = RunCli({"--port", slave, "memory"});
    EXPECT_EQ(r.out, "Memory Used     = 6.7 Percent\n\nReadings stored = 0\n");
    r = RunCli({"--port", slave, "tables"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "TQ4 Linearisation Tables Status:\n\n"
                     "KR5 Loam      \tReady         \n"
                     "VP4 Sand      \tReady         \n\n");
}

TEST_F(CliTest, SetClockThenReadItBack) {
    Serve();
    Result r = RunCli({"--port", slave, "set-clock", "2026-12-07", "09:05:03"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    // The C locale's date order is month first: '0'.
    EXPECT_NE(Received().find("H020261207090503\\r\\n"), std::string::npos) << Received();
    r = RunCli({"--port", slave, "clock"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 17), "12/07/2026  09:05") << r.out;
}

TEST_F(CliTest, BusyMeterIsReportedWithItsCode) {
    Serve({"--busy", "3"});
    const Result r = RunCli({"--port", slave, "version"});
    EXPECT_EQ(r.status, 8);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Communications Error\n\n Code: 8\n\nThe TQ4 appears to be busy.\n");
}

TEST_F(CliTest, PortThatCannotOpen) {
    const Result r = RunCli({"--port", scratch + "/no-such-port", "--verbose", "memory"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("Communications Error\n\n Code: 2\n\nAn error occurred trying to open", 0), 0u);
    EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
}

TEST_F(CliTest, CtrlCDuringAnExchangeIsTheAbort) {
    Serve({"--silent-handshakes", "3"});
    const auto start = std::chrono::steady_clock::now();
    const Result r = RunCli({"--port", slave, "battery"}, 300);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(r.status, 27);
    EXPECT_EQ(r.err, "Code: 27 \n\nThe instruction was aborted\n\n");
}

TEST_F(CliTest, UsageErrorsNeverReachTheMeter) {
    Serve();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"--port", slave, "fly"}, {"--port", slave, "set-clock", "2026-13-07 09:05:03"},
          {"--port", slave, "set-clock", "yesterday"}, {"--port", slave, "version", "extra"}, {"--port"}}) {
        const Result r = RunCli(args);
        EXPECT_EQ(r.status, 64);
        EXPECT_NE(r.err.find("usage: loamer-cli"), std::string::npos);
    }
    EXPECT_EQ(Received().find("\\r\\n"), std::string::npos) << Received();
}

TEST_F(CliTest, StoredPort) {
    EXPECT_EQ(RunCli({"port"}).out, "COM1\n");
    EXPECT_EQ(RunCli({"port", "/dev/ttyUSB3"}).status, 0);
    EXPECT_EQ(RunCli({"port"}).out, "/dev/ttyUSB3\n");
    EXPECT_EQ(RunCli({"--port", "COM4", "port"}).out, "COM4\n");
    std::ifstream conf(scratch + "/config/Norvane/Loamer.conf");
    std::stringstream s;
    s << conf.rdbuf();
    EXPECT_NE(s.str().find("[SETTINGS]"), std::string::npos);
    EXPECT_NE(s.str().find("ComPortName=/dev/ttyUSB3"), std::string::npos) << s.str();
}

}  // namespace
