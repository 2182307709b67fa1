// An exclusive lock between processes around a read-modify-write of a shared file (the port map,
// the registry). The lock is taken on "<file>.lock" beside it, not on the file itself, because the
// atomic writer replaces the file by rename and a lock on the old inode would guard nothing.
#pragma once

#include <chrono>
#include <string>

namespace px {

class FileLock {
public:
    // Waits up to timeout for the lock; creates the lock file (and nothing else) when missing.
    explicit FileLock(const std::string& file,
                      std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool Locked() const { return fd_ >= 0; }
    // errno of the failure when not locked (EWOULDBLOCK: held elsewhere for the whole timeout).
    int Error() const { return error_; }

private:
    int fd_ = -1;
    int error_ = 0;
};

} // namespace px
