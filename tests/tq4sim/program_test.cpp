// The tq4sim program as scripts and other test processes run it.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include "tests/tq4sim/emulator_fixture.h"

extern char** environ;

namespace tq4sim::testing {
namespace {

// tq4sim running as a child process, its stdout on a pipe.
class Program {
public:
    explicit Program(std::vector<std::string> args) {
        args.insert(args.begin(), TQ4SIM_PROGRAM);
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        out_ = out[0];
    }
    ~Program() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
    }

    // The next line of its output (without the line feed), or what came within the limit.
    std::string ReadLine(int limitMs = 3000) {
        std::string line;
        auto deadline = Now() + std::chrono::milliseconds(limitMs);
        while (Now() < deadline) {
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            char c;
            if (read(out_, &c, 1) != 1 || c == '\n') break;
            line += c;
        }
        return line;
    }

    // Its exit status, or -1 when it has not ended within the limit.
    int Exit(int limitMs = 3000) {
        auto deadline = Now() + std::chrono::milliseconds(limitMs);
        while (Now() < deadline) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(10000);
        }
        return -1;
    }

    void Signal(int signal) { kill(pid_, signal); }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

using ProgramTest = EmulatorTest;

TEST_F(ProgramTest, AnnouncesItsLineServesThroughTheLinkAndCleansUpOnTerm) {
    std::string link = Path("tq4");
    Program program({"--link", link, "--memory", kExampleMeter, "--transcript", Path("t.txt")});
    std::string ready = program.ReadLine();
    ASSERT_EQ(ready.rfind("tq4sim: serving on /dev/pts/", 0), 0u) << ready;
    EXPECT_NE(ready.find(" (link " + link + ")"), std::string::npos) << ready;

    PtyLine port(link);
    EXPECT_EQ(port.Ask("I\r\n", 28), "NV2.13  872800002000000000\r\n");
    EXPECT_EQ(Lines(Path("t.txt")), std::vector<std::string>{"I\\r\\n"});

    program.Signal(SIGTERM);
    EXPECT_EQ(program.Exit(), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST_F(ProgramTest, EndsByItselfAfterTheHangUp) {
    Program program({"--hangup-after", "1"});
    std::string ready = program.ReadLine();
    ASSERT_EQ(ready.rfind("tq4sim: serving on ", 0), 0u) << ready;
    PtyLine port(ready.substr(std::string("tq4sim: serving on ").size()));
    EXPECT_EQ(port.Ask("?\r\n", 3), "A\r\n");
    EXPECT_EQ(program.ReadLine(), "tq4sim: hung up after 1 requests");
    EXPECT_EQ(program.Exit(), 0);
}

TEST_F(ProgramTest, HelpAndUsageErrors) {
    Program help({"--help"});
    std::string text;
    for (std::string line = help.ReadLine(); !line.empty() || text.empty(); line = help.ReadLine()) text += line + "\n";
    EXPECT_NE(text.find("Usage: tq4sim"), std::string::npos);
    EXPECT_EQ(help.Exit(), 0);

    Program wrong({"--split", "I"});
    EXPECT_EQ(wrong.Exit(), 64);
    Program missing({"--memory", Path("none.json")});
    EXPECT_EQ(missing.Exit(), 1);
}

}  // namespace
}  // namespace tq4sim::testing
