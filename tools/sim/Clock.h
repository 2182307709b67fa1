// Monotonic time in nanoseconds; every deadline of the simulator is absolute on this clock.
#pragma once

#include <cerrno>
#include <cstdint>
#include <ctime>

namespace sim {

inline int64_t nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// Absolute sleeps do not drift when a byte's work takes time of its own.
inline void sleepUntilNs(int64_t deadline)
{
    timespec ts{};
    ts.tv_sec = deadline / 1'000'000'000;
    ts.tv_nsec = deadline % 1'000'000'000;
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

// Line time of `bytes` bytes at `baud`, 10 bits per byte.
inline int64_t lineTimeNs(int64_t bytes, int64_t baud)
{
    return baud > 0 ? bytes * 10'000'000'000 / baud : 0;
}

} // namespace sim
