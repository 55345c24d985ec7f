#include "tests/support/child_process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace loamer::testing {

namespace {

using SteadyClock = std::chrono::steady_clock;

long long MsLeft(SteadyClock::time_point deadline) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
}

int DecodeStatus(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw); }

}  // namespace

ChildProcess::ChildProcess(const ChildOptions& options) {
    if (options.argv.empty()) return;
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return;
    }
    // Everything the child needs is built before fork: only async-signal-safe calls after it.
    std::vector<std::string> args = options.argv;
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool drop = false;
        for (const std::string& u : options.unsetEnv) drop = drop || u == name;
        for (const auto& s : options.setEnv) drop = drop || s.first == name;
        if (!drop) env.push_back(entry);
    }
    for (const auto& s : options.setEnv) env.push_back(s.first + "=" + s.second);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        if (options.closeStdin) close(0);
        if (options.closeStdout) close(1);
        if (options.closeStderr) close(2);
        if (options.uid >= 0) {
            const auto id = static_cast<uid_t>(options.uid);
            if (setgroups(0, nullptr) != 0 || setgid(id) != 0 || setuid(id) != 0) _exit(126);
        }
        // The test runner may ignore signals that the program must see as a user's would.
        signal(SIGPIPE, SIG_DFL);
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        signal(SIGHUP, SIG_DFL);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    if (pid_ < 0) {
        close(out[0]);
        close(err[0]);
        return;
    }
    outFd_ = out[0];
    errFd_ = err[0];
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (outFd_ >= 0) close(outFd_);
    if (errFd_ >= 0) close(errFd_);
}

void ChildProcess::Drain(int waitMs) {
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    if (poll(fds, 2, waitMs) <= 0) return;
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        char buffer[4096];
        const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        int& fd = i == 0 ? outFd_ : errFd_;
        if (n <= 0) {
            close(fd);
            fd = -1;
        } else {
            (i == 0 ? out_ : err_).append(buffer, static_cast<std::size_t>(n));
        }
    }
}

std::string ChildProcess::ReadLine(int limitMs) {
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(limitMs);
    while (true) {
        const std::size_t end = out_.find('\n', lineStart_);
        if (end != std::string::npos) {
            std::string line = out_.substr(lineStart_, end - lineStart_);
            lineStart_ = end + 1;
            return line;
        }
        const long long left = MsLeft(deadline);
        if (left <= 0 || (outFd_ < 0 && errFd_ < 0)) break;
        Drain(static_cast<int>(std::min(left, 50LL)));
        if (outFd_ < 0 && out_.find('\n', lineStart_) == std::string::npos) break;
    }
    std::string rest = out_.substr(lineStart_);
    lineStart_ = out_.size();
    return rest;
}

void ChildProcess::Signal(int signal) {
    if (pid_ > 0) kill(pid_, signal);
}

void ChildProcess::CloseStdoutPipe() {
    if (outFd_ >= 0) close(outFd_);
    outFd_ = -1;
}

int ChildProcess::Wait(int limitMs) {
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(limitMs);
    while (pid_ > 0) {
        int raw = 0;
        const pid_t done = waitpid(pid_, &raw, WNOHANG);
        if (done == pid_) {
            status_ = DecodeStatus(raw);
            pid_ = -1;
            break;
        }
        if (MsLeft(deadline) <= 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
            status_ = -1;
            return -1;
        }
        if (outFd_ >= 0 || errFd_ >= 0) {
            Drain(20);
        } else {
            usleep(5000);
        }
    }
    // What the child wrote last, and what a grandchild holding the pipes writes, within a bound.
    const auto drainEnd = SteadyClock::now() + std::chrono::milliseconds(1000);
    while ((outFd_ >= 0 || errFd_ >= 0) && MsLeft(drainEnd) > 0) Drain(20);
    return status_;
}

RunResult RunProgram(const ChildOptions& options, int limitMs) {
    ChildProcess child(options);
    RunResult r;
    r.status = child.Wait(limitMs);
    r.out = child.Out();
    r.err = child.Err();
    return r;
}

ScratchDir::ScratchDir() {
    char pattern[] = "/tmp/loamer-test-XXXXXX";
    if (mkdtemp(pattern)) path_ = pattern;
}

ScratchDir::~ScratchDir() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        hadValue_ = true;
        previous_ = old;
    }
    if (value) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}

ScopedEnv::~ScopedEnv() {
    if (hadValue_) {
        setenv(name_.c_str(), previous_.c_str(), 1);
    } else {
        unsetenv(name_.c_str());
    }
}

ScopedTimeZone::ScopedTimeZone(const char* tz) : env_(std::make_unique<ScopedEnv>("TZ", tz)) { tzset(); }

ScopedTimeZone::~ScopedTimeZone() {
    env_.reset();
    tzset();
}

ScopedLocale::ScopedLocale(int category, const char* name) : category_(category) {
    if (const char* now = std::setlocale(category, nullptr)) previous_ = now;
    ok_ = std::setlocale(category, name) != nullptr;
}

ScopedLocale::~ScopedLocale() { std::setlocale(category_, previous_.c_str()); }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string TestDataPath(const std::string& name) { return std::string(LOAMER_TEST_DATA_DIR) + "/" + name; }

}  // namespace loamer::testing
