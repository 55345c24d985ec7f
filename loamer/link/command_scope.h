// One meter command at a time, for every front end of the process. A waiting read pumps the
// interface's events, so a click, a signal or a request from another program can arrive in
// the middle of a command; starting a second exchange then would mix two conversations on
// one line. A front end either refuses the newcomer (the desktop program beeps) or defers it
// until the running command has ended (requests from other programs).
#pragma once

#include <functional>

namespace loamer {

class MeterCommandScope {
public:
    // Enters when no command runs; otherwise Entered() is false and the scope does nothing.
    MeterCommandScope();
    // Leaves, then runs the tasks deferred meanwhile, in the order they came.
    ~MeterCommandScope();
    MeterCommandScope(const MeterCommandScope&) = delete;
    MeterCommandScope& operator=(const MeterCommandScope&) = delete;

    bool Entered() const { return entered_; }

private:
    bool entered_ = false;
};

bool MeterCommandRunning();

// Runs task now when no command runs, else once the running command has ended.
void RunWhenIdle(std::function<void()> task);

}  // namespace loamer
