#include "PtyLine.h"

#include "Clock.h"
#include "Output.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sim {

PtyLine::~PtyLine()
{
    if (!linkPath_.empty() && !slavePath_.empty()) {
        char target[512];
        ssize_t n = readlink(linkPath_.c_str(), target, sizeof target - 1);
        if (n > 0 && slavePath_ == std::string(target, size_t(n))) unlink(linkPath_.c_str());
    }
    closeAll();
}

void PtyLine::closeAll()
{
    for (int* fd : {&watch_, &keeper_, &master_}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
}

bool PtyLine::open(std::string& error)
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    char name[256];
    if (master_ < 0 || grantpt(master_) < 0 || unlockpt(master_) < 0 ||
        ptsname_r(master_, name, sizeof name) != 0) {
        error = std::string("pseudo-terminal: ") + errnoText(errno);
        closeAll();
        return false;
    }
    slavePath_ = name;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    // The master's settings are the slave's line discipline: no byte may be translated.
    termios tio{};
    if (tcgetattr(master_, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(master_, TCSANOW, &tio);
    }
    keeper_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (keeper_ < 0) {
        error = slavePath_ + ": " + errnoText(errno);
        closeAll();
        return false;
    }
    watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    openers_ = 0;
    if (watch_ >= 0 && inotify_add_watch(watch_, name, IN_OPEN | IN_CLOSE) < 0) {
        close(watch_);
        watch_ = -1;
    }
    if (!updateLink(error)) {
        closeAll();
        return false;
    }
    emitLine("PTY " + slavePath_);
    return true;
}

bool PtyLine::updateLink(std::string& error)
{
    if (linkPath_.empty()) return true;
    // Replace the link in one step so that a reader never finds it missing.
    std::string tmp = linkPath_ + ".tmp" + std::to_string(getpid());
    unlink(tmp.c_str());
    if (symlink(slavePath_.c_str(), tmp.c_str()) < 0 ||
        rename(tmp.c_str(), linkPath_.c_str()) < 0) {
        error = "link " + linkPath_ + ": " + errnoText(errno);
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

void PtyLine::addPollFds(std::vector<pollfd>& fds, bool wantWrite) const
{
    if (master_ >= 0) fds.push_back({master_, short(POLLIN | (wantWrite ? POLLOUT : 0)), 0});
    if (watch_ >= 0) fds.push_back({watch_, POLLIN, 0});
}

void PtyLine::readWatch()
{
    alignas(inotify_event) char buf[4096];
    ssize_t n;
    bool closed = false;
    while (watch_ >= 0 && (n = read(watch_, buf, sizeof buf)) > 0) {
        for (ssize_t at = 0; at < n;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buf + at);
            at += ssize_t(sizeof(inotify_event) + ev->len);
            if (ev->mask & IN_Q_OVERFLOW) {
                // The count is lost; serve as if the port were always open.
                close(watch_);
                watch_ = -1;
                return;
            }
            if (ev->mask & IN_OPEN) {
                if (unannounced_ > 0)
                    --unannounced_; // already counted when its bytes came
                else
                    ++openers_;
            }
            if (!(ev->mask & IN_CLOSE)) continue;
            if (--openers_ <= 0) closed = true;
            openers_ = std::max(openers_, 0);
        }
    }
    // The events may be read only after the next opener's first frame has been answered: only a
    // port still closed after all of them has been closed, and the answer is not lost.
    if (!closed || openers_ > 0) return;
    unannounced_ = 0;
    // A closed port loses what it had not read. TIOCEXCL outlives the PC's close while we hold
    // the slave; clearing it lets an unprivileged PC open it again.
    tcflush(keeper_, TCIFLUSH);
    ioctl(keeper_, TIOCNXCL);
}

void PtyLine::handlePoll(const std::vector<pollfd>& fds)
{
    // Always first: the open that preceded the PC's first bytes must be counted.
    readWatch();
    const short rev = reventsFor(fds, master_);
    if (rev & POLLIN) {
        char buf[4096];
        // Bounded, so that a flood cannot starve the other sources.
        for (int i = 0; i < 16; ++i) {
            ssize_t n = read(master_, buf, sizeof buf);
            if (n <= 0) break;
            // Bytes from the PC prove that it has the port open, even when the event of that
            // open has not arrived yet: its answer must not go nowhere.
            if (watch_ >= 0 && openers_ == 0) {
                openers_ = 1;
                ++unannounced_;
            }
            events_.received(buf, size_t(n), nowNs());
        }
    } else if (rev & (POLLHUP | POLLERR)) {
        // Not expected while the keeper is open; a new pair avoids spinning on it.
        drop();
    }
}

ssize_t PtyLine::write(const char* data, size_t size)
{
    if (master_ < 0) return -1;
    // Nobody has the port open: the bytes go nowhere, as on a real line.
    if (watch_ >= 0 && openers_ == 0) return ssize_t(size);
    ssize_t n = ::write(master_, data, size);
    return n < 0 ? -1 : n;
}

void PtyLine::drop()
{
    std::string error;
    if (!hangup(error)) (void)std::fprintf(stderr, "px74x-sim: %s\n", error.c_str());
}

bool PtyLine::hangup(std::string& error)
{
    closeAll();
    events_.sessionChanged();
    return open(error);
}

} // namespace sim
