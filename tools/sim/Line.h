// The serial line as the simulated terminals see it: a pseudo-terminal or a TCP connection
// through a simulated device server. The event loop polls it and writes replies to it.
#pragma once

#include <poll.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sim {

struct LineEvents {
    std::function<void(const char* data, size_t size, int64_t now)> received;
    // The PC side changed (connected, disconnected, pty replaced): whatever was in flight
    // belonged to the previous session.
    std::function<void()> sessionChanged;
};

class Line {
public:
    virtual ~Line() = default;

    virtual void addPollFds(std::vector<pollfd>& fds, bool wantWrite) const = 0;
    virtual void handlePoll(const std::vector<pollfd>& fds) = 0;
    virtual bool connected() const = 0;
    // Bytes taken, or -1 when the line takes nothing now (full, or the session just broke).
    virtual ssize_t write(const char* data, size_t size) = 0;
    // Break the connection abruptly, as a cable pulled in the middle of a transfer.
    virtual void drop() = 0;
    // The control command "hangup"; false with a reason when it is not possible.
    virtual bool hangup(std::string& error) = 0;

    void setEvents(LineEvents events) { events_ = std::move(events); }

protected:
    LineEvents events_;
};

inline short reventsFor(const std::vector<pollfd>& fds, int fd)
{
    if (fd < 0) return 0;
    for (const pollfd& p : fds)
        if (p.fd == fd) return p.revents;
    return 0;
}

} // namespace sim
