#include "FileLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace px {

FileLock::FileLock(const std::string& file, std::chrono::milliseconds timeout)
{
    const int fd = ::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error_ = errno;
        return;
    }
    // A holder keeps the lock only for one read and one write; a short step is enough and keeps
    // a crashed holder (whose lock the kernel drops) from costing more than a moment.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            fd_ = fd;
            return;
        }
        error_ = errno;
        if ((error_ != EWOULDBLOCK && error_ != EINTR) ||
            std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::close(fd);
}

FileLock::~FileLock()
{
    // Closing the descriptor releases the lock; the lock file stays for the next process.
    if (fd_ >= 0) ::close(fd_);
}

} // namespace px
