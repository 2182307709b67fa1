// Runs one px74x-sim process for a test: reads its output lines on a thread of its own, sends it
// control commands, and ends exactly the process it started when it goes out of scope.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace px::testing {

class SimProcess {
public:
    // Starts the simulator with these arguments and waits for its first line ("PTY ..." or
    // "TCP ..."). ok() tells whether that worked.
    explicit SimProcess(std::vector<std::string> args);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool ok() const { return !endpoint_.empty(); }
    // The pty device path, or "addr:port" in device-server mode.
    const std::string& endpoint() const { return endpoint_; }

    // Sends a control command and waits (pumping the Qt event loop) for its OK; false on ERR or
    // time-out.
    bool command(const std::string& line,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // Waits, pumping the event loop, until an output line satisfies pred; returns that line or ""
    // on time-out. Lines that were already seen and consumed are not offered again.
    std::string waitLine(const std::function<bool(const std::string&)>& pred,
                         std::chrono::milliseconds timeout = std::chrono::seconds(5));
    std::string waitPrefix(const std::string& prefix,
                           std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // Every output line so far (for assertions on the RX/TX log), without consuming them.
    std::vector<std::string> lines() const;
    void clearLines();

    pid_t pid() const { return pid_; }
    static std::string binary();

private:
    void readerLoop();

    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::string endpoint_;
    std::thread reader_;
    mutable std::mutex lock_;
    std::condition_variable arrived_;
    std::deque<std::string> pending_; // not yet consumed by waitLine
    std::vector<std::string> all_;
    bool eof_ = false;
};

// A free TCP or UDP port on 127.0.0.1 at the moment of the call.
int freeLoopbackPort(bool udp = false);

} // namespace px::testing
