// What the benchmarks measure with: this process's processor time.
#pragma once

#include <sys/resource.h>

namespace loamer::bench {

// User and system time of this process so far, in seconds.
inline double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace loamer::bench
