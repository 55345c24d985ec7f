// The meter emulator and loamer-cli as a user runs it, shared by the command line's tests.
#pragma once

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "tools/tq4sim/emulator.h"

namespace loamer::testing {

using Args = std::vector<std::string>;

inline std::string Join(const Args& args) {
    std::string joined;
    for (const std::string& a : args) joined += "[" + a + "]";
    return joined;
}

inline void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The line as the next program to open the port finds it: held exclusively or not, and its
// settings.
inline std::string PortState(const std::string& path) {
    // Root opens a port held exclusively all the same; anyone else is refused.
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return "cannot open: " + std::string(std::strerror(errno));
    int exclusive = -1;
    termios t{};
    const bool ok = ioctl(fd, TIOCGEXCL, &exclusive) == 0 && tcgetattr(fd, &t) == 0;
    close(fd);
    if (!ok) return "cannot read its state";
    char text[200];
    std::snprintf(text, sizeof text, "exclusive %d, iflag %x oflag %x cflag %x lflag %x speed %u", exclusive,
                  t.c_iflag, t.c_oflag, t.c_cflag, t.c_lflag, static_cast<unsigned>(cfgetospeed(&t)));
    std::string state = text;
    for (const cc_t c : t.c_cc) state += " " + std::to_string(c);
    return state;
}

// Line settings unlike those the program sets, so that a missing restore shows.
inline void SetUnusualLineSettings(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    cfsetspeed(&t, B4800);
    t.c_cc[VSTART] = 021;
    t.c_cc[VSTOP] = 023;
    EXPECT_EQ(tcsetattr(fd, TCSANOW, &t), 0);
    close(fd);
}

class CliTest : public ::testing::Test {
protected:
    // The inter-program sockets go to a private folder of the test's own.
    CliTest() { ::mkdir(runtime_.c_str(), 0700); }

    // A fresh emulator with the given faults, holding examples/meter.json or memory.
    void Serve(const Args& faults = {}, const std::string& memory = LOAMER_SOURCE_DIR "/examples/meter.json") {
        meter_.reset();
        Args args = {"--memory", memory, "--transcript", transcript_};
        args.insert(args.end(), faults.begin(), faults.end());
        tq4sim::EmulatorOptions options;
        std::string error;
        ASSERT_EQ(tq4sim::ParseCommandLine(args, &options, &error), tq4sim::ParseOutcome::Run) << error;
        meter_ = std::make_unique<tq4sim::MeterEmulator>();
        ASSERT_TRUE(meter_->Start(options, &slave_, &error)) << error;
    }

    ChildOptions Cli(const Args& args) const {
        ChildOptions options;
        options.argv = {LOAMER_CLI};
        options.argv.insert(options.argv.end(), args.begin(), args.end());
        // The locale second and the runtime folder last, for tests that change them.
        options.setEnv = {{"XDG_CONFIG_HOME", config_}, {"LC_ALL", "C"}, {"XDG_RUNTIME_DIR", runtime_}};
        return options;
    }
    RunResult Run(const Args& args) const { return RunProgram(Cli(args)); }

    std::string Received() const { return ReadFile(transcript_); }

    // loamer-cli serve with args, once it said that it answers; null (and a failure) when it did not.
    std::unique_ptr<ChildProcess> StartGateway(const Args& args) const {
        Args command = args;
        command.push_back("serve");
        auto gateway = std::make_unique<ChildProcess>(Cli(command));
        const std::string line = gateway->ReadLine(5000);
        if (line.rfind("Answering requests from other programs as ", 0) == 0) return gateway;
        ADD_FAILURE() << "serve did not start: " << line << gateway->Err();
        return nullptr;
    }
    std::string SocketOf(const std::string& name) const { return runtime_ + "/loamer/" + name + ".sock"; }

    ScratchDir scratch_;
    const std::string config_ = scratch_ / "config";
    const std::string settingsFile_ = config_ + "/Norvane/Loamer.conf";
    const std::string transcript_ = scratch_ / "received.txt";
    const std::string runtime_ = scratch_ / "run";
    std::unique_ptr<tq4sim::MeterEmulator> meter_;
    std::string slave_;
};

}  // namespace loamer::testing
