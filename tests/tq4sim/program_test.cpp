// The tq4sim program as scripts and other test processes run it.
#include <signal.h>
#include <sys/wait.h>

#include "tests/support/child_process.h"
#include "tests/tq4sim/emulator_fixture.h"

namespace tq4sim::testing {
namespace {

using loamer::testing::ChildOptions;
using loamer::testing::ChildProcess;

using ProgramTest = EmulatorTest;

constexpr std::string_view kServing = "tq4sim: serving on ";

ChildOptions Tq4sim(std::vector<std::string> args) {
    args.insert(args.begin(), TQ4SIM_PROGRAM);
    ChildOptions options;
    options.argv = std::move(args);
    return options;
}

// True once the child has ended, without reaping it.
bool Ended(const ChildProcess& child) {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(child.Pid()), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == child.Pid();
}

TEST_F(ProgramTest, AnnouncesItsLineServesThroughTheLinkAndCleansUpOnTerm) {
    std::string link = Path("tq4");
    ChildProcess program(Tq4sim({"--link", link, "--memory", kExampleMeter, "--transcript", Path("t.txt")}));
    std::string ready = program.ReadLine();
    ASSERT_EQ(ready.rfind(kServing, 0), 0u) << ready;
    EXPECT_NE(ready.find(" (link " + link + ")"), std::string::npos) << ready;

    PtyLine port(link);
    EXPECT_EQ(port.Ask("I\r\n", 28), "NV2.13  872800002000000000\r\n");
    EXPECT_EQ(Lines(Path("t.txt")), std::vector<std::string>{"I\\r\\n"});

    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(3000), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST_F(ProgramTest, EndsByItselfAfterTheHangUpEvenWithASignalOnItsWayOut) {
    // A stop signal that arrives while the program is ending must find nothing gone.
    for (int run = 0; run < 30; ++run) {
        ChildProcess program(Tq4sim({"--hangup-after", "1"}));
        std::string ready = program.ReadLine();
        ASSERT_EQ(ready.rfind(kServing, 0), 0u) << ready;
        PtyLine port(ready.substr(kServing.size()));
        ASSERT_EQ(port.Ask("?\r\n", 3), "A\r\n");
        ASSERT_TRUE(port.HungUp(3000));
        // From the hang-up on, keep a signal pending for the whole way out.
        for (auto start = Now(); !Ended(program) && MsSince(start) < 2000;) program.Signal(SIGTERM);
        ASSERT_EQ(program.Wait(3000), 0) << "run " << run << "\n" << program.Err();
        EXPECT_EQ(program.Out().substr(program.Out().find('\n') + 1), "tq4sim: hung up after 1 requests\n");
    }
}

TEST_F(ProgramTest, StartedWithoutStandardOutputKeepsItsAnnouncementOffTheLine) {
    std::string link = Path("tq4");
    ChildOptions options = Tq4sim({"--link", link});
    options.closeStdout = true;
    ChildProcess program(options);
    for (auto start = Now(); !std::filesystem::is_symlink(link) && MsSince(start) < 3000;) usleep(10000);
    PtyLine port;
    ASSERT_TRUE(port.Open(link));
    EXPECT_EQ(port.Read(100, 300), "");
    EXPECT_EQ(port.Ask("I\r\n", 28), "NV2.13  872800002000000000\r\n");
}

TEST_F(ProgramTest, HelpAndUsageErrors) {
    loamer::testing::RunResult help = loamer::testing::RunProgram(Tq4sim({"--help"}), 3000);
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"Usage: tq4sim", "--record-silent N[:K]", "--record-kind N:C", "--corrupt-at N",
                               "--hangup-at-record N", "--generate-readings N", "--table-busy N",
                               "--table-refuse N", "--table-garbage N", "--cal-busy [N]", "--cal-refuse [N]",
                               "--block-silent N[:K]", "--block-letter N:C", "--x-busy [N]", "--x-refuse [N]",
                               "--x-broken KIND[:N]"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }

    EXPECT_EQ(loamer::testing::RunProgram(Tq4sim({"--split", "I"}), 3000).status, 64);
    EXPECT_EQ(loamer::testing::RunProgram(Tq4sim({"--memory", Path("none.json")}), 3000).status, 1);
}

}  // namespace
}  // namespace tq4sim::testing
