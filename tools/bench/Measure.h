// What the benchmarks measure with: seconds on the steady clock, and the
// most memory the process has held. POSIX only.
#pragma once

#include <chrono>
#include <sys/resource.h>

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// The process's peak resident memory so far, in MiB.
inline double PeakMiB()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}
