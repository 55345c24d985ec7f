#include "loamer/link/command_scope.h"

#include <deque>
#include <utility>

namespace loamer {

namespace {

bool g_running = false;
std::deque<std::function<void()>> g_deferred;

}  // namespace

MeterCommandScope::MeterCommandScope() {
    if (g_running) return;
    g_running = true;
    entered_ = true;
}

MeterCommandScope::~MeterCommandScope() {
    if (!entered_) return;
    g_running = false;
    // A task may start a command of its own; one that comes during it waits for the next turn.
    while (!g_running && !g_deferred.empty()) {
        std::function<void()> task = std::move(g_deferred.front());
        g_deferred.pop_front();
        task();
    }
}

bool MeterCommandRunning() { return g_running; }

void RunWhenIdle(std::function<void()> task) {
    if (g_running) {
        g_deferred.push_back(std::move(task));
        return;
    }
    task();
}

}  // namespace loamer
