// Helpers of the window benchmarks: a private home, the event loop pumped for a while, and the
// longest stall of the event loop measured by a 1 ms timer.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double MsSince(Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// The longest gap between ticks of a 1 ms timer: how long the event loop was kept from running.
class StallMeter {
public:
    StallMeter()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const double now = clock_.nsecsElapsed() / 1e6;
            longest_ = std::max(longest_, now - last_);
            last_ = now;
        });
    }
    void Start()
    {
        longest_ = 0;
        clock_.start();
        last_ = 0;
        timer_.start(1);
    }
    double Stop()
    {
        timer_.stop();
        return longest_;
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    double last_ = 0;
    double longest_ = 0;
};

inline void Pump(int ms)
{
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

inline std::string MakeHome(const char* tag)
{
    std::string pattern = std::string("/tmp/px-bench-window-") + tag + "-XXXXXX";
    std::string home = mkdtemp(pattern.data());
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    setenv("PX740_HOME", (home + "/px740").c_str(), 1);
    std::filesystem::create_directories(home + "/config/serlo");
    std::filesystem::create_directories(home + "/px740");
    return home;
}

// The program's resident memory in MB.
inline double ResidentMb()
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    double kb = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmRSS: %lf kB", &kb) == 1) break;
    std::fclose(f);
    return kb / 1024;
}

} // namespace bench
