// A real pseudo-terminal for tests: the test holds the master end and plays the far side of the
// line; the slave path is what the link opens.
#pragma once

#include <fcntl.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>

class PtyPair {
public:
    PtyPair()
    {
        int slave = -1;
        char name[128] = {};
        if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) return;
        path_ = name;
        termios t{};
        tcgetattr(master_, &t);
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
        // A full line must never block the test; a flood simply stops being accepted.
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        // Keep a slave reference so the master never sees a hang-up between opens.
        keeper_ = slave;
    }
    ~PtyPair()
    {
        if (keeper_ >= 0) ::close(keeper_);
        if (master_ >= 0) ::close(master_);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0; }
    const std::string& path() const { return path_; }
    int master() const { return master_; }

    void send(const std::string& bytes) const
    {
        std::size_t done = 0;
        for (int spins = 0; done < bytes.size() && spins < 1000; ++spins) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else
                break;
        }
    }
    // Everything the link wrote, waiting up to timeoutMs for at least `want` bytes.
    std::string receive(std::size_t want, int timeoutMs = 2000) const;
    // Closes both ends: the slave side sees a hang-up, like an unplugged adapter.
    void hangUp()
    {
        if (keeper_ >= 0) ::close(keeper_);
        if (master_ >= 0) ::close(master_);
        keeper_ = master_ = -1;
    }

private:
    int master_ = -1;
    int keeper_ = -1;
    std::string path_;
};

#include <poll.h>

inline std::string PtyPair::receive(std::size_t want, int timeoutMs) const
{
    std::string got;
    char buf[4096];
    while (got.size() < want) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) break;
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
}
