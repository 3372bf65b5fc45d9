#pragma once
// Time since this process was launched, for the start-up probes. The
// launcher passes its monotonic clock reading, taken just before it
// started the program, in QDR_LAUNCH_NS; a program started by hand falls
// back to the kernel's start time of the process (10 ms steps).

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace launchclock {

/// The monotonic clock in nanoseconds, the clock the launcher reads.
inline long long nowNs(clockid_t clock = CLOCK_MONOTONIC)
{
    timespec t{};
    clock_gettime(clock, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

/// Milliseconds since the launch of this process.
inline double msSinceLaunch()
{
    if (const char *launch = std::getenv("QDR_LAUNCH_NS"))
        return double(nowNs() - std::atoll(launch)) / 1e6;
    // Field 22 of /proc/self/stat: start time in clock ticks after boot.
    unsigned long long ticks = 0;
    if (FILE *stat = std::fopen("/proc/self/stat", "r")) {
        char buffer[1024];
        const size_t n = std::fread(buffer, 1, sizeof buffer - 1, stat);
        std::fclose(stat);
        buffer[n] = '\0';
        // The command name may hold blanks: count fields after its ')'.
        const char *p = buffer;
        for (const char *q = buffer; *q; ++q)
            if (*q == ')')
                p = q + 1;
        int field = 2;
        while (*p && field < 22) {
            if (*p == ' ')
                ++field;
            ++p;
        }
        ticks = std::strtoull(p, nullptr, 10);
    }
    const double startedMs = double(ticks) * 1000.0 / double(sysconf(_SC_CLK_TCK));
    return double(nowNs(CLOCK_BOOTTIME)) / 1e6 - startedMs;
}

} // namespace launchclock
