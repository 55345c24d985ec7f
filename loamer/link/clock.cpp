#include "loamer/link/clock.h"

namespace loamer {

namespace {
Clock* g_clock = nullptr;
}

Clock& LinkClock() { return g_clock ? *g_clock : SystemClock(); }

Clock* SetLinkClock(Clock* clock) {
    Clock* previous = g_clock;
    g_clock = clock;
    return previous;
}

}  // namespace loamer
