// Runs one of our programs as a child, the way a user or a script would: its standard output
// and error on pipes, optional closed descriptors, another user, signals, and a time limit
// so that a hanging program fails its test instead of the whole run.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace loamer::testing {

struct ChildOptions {
    std::vector<std::string> argv;  // argv[0] is the program's path
    std::vector<std::pair<std::string, std::string>> setEnv;
    std::vector<std::string> unsetEnv;
    bool closeStdin = false;   // start with descriptor 0 closed
    bool closeStdout = false;  // start with descriptor 1 closed
    bool closeStderr = false;  // start with descriptor 2 closed
    int uid = -1;              // when >= 0 (and we are root), run as this user and group
};

class ChildProcess {
public:
    explicit ChildProcess(const ChildOptions& options);
    // Kills a child still running and reaps it.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0 || status_ != -1; }
    pid_t Pid() const { return pid_; }

    // The next line of standard output without its line feed; what came when the limit passed.
    std::string ReadLine(int limitMs = 3000);
    void Signal(int signal);
    // Closes our end of its standard output: its next write meets a closed pipe.
    void CloseStdoutPipe();

    // Collects both streams until the child has ended. Returns the exit code, 128 + the signal
    // that ended it, or -1 when it still ran at the limit (it is then killed).
    int Wait(int limitMs = 30000);

    const std::string& Out() const { return out_; }
    const std::string& Err() const { return err_; }

private:
    void Drain(int waitMs);

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    int status_ = -1;
    std::string out_;
    std::string err_;
    std::size_t lineStart_ = 0;
};

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Starts, waits, collects.
RunResult RunProgram(const ChildOptions& options, int limitMs = 30000);

// A private folder under /tmp, removed with everything in it at the end of the scope.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Sets (or, with nullptr, removes) an environment variable for a scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::string previous_;
    bool hadValue_ = false;
};

// TZ for a scope, with tzset() on the way in and out.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz);
    ~ScopedTimeZone();

private:
    std::unique_ptr<ScopedEnv> env_;
};

// One locale category for a scope. Ok() is false when the locale is not installed.
class ScopedLocale {
public:
    ScopedLocale(int category, const char* name);
    ~ScopedLocale();
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;
    bool Ok() const { return ok_; }

private:
    int category_;
    std::string previous_;
    bool ok_ = false;
};

// Reads a file whole ("" when it cannot be read).
std::string ReadFile(const std::string& path);
// The path of a file under tests/data/.
std::string TestDataPath(const std::string& name);

}  // namespace loamer::testing
