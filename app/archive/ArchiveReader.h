// Pages of punches for the archive view, read on a thread of its own with its own connection,
// so that a slow or unreachable server never holds the window. A new request replaces one that
// has not started yet; each answer carries the ticket of its request.
#pragma once

#include "ArchiveDb.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace px::archive {

class ArchiveReader {
public:
    using Done =
        std::function<void(long long ticket, std::vector<StoredPunch> rows, std::string error)>;

    // done runs on the reader's thread.
    ArchiveReader(ArchiveTarget target, Done done);
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    void Request(long long ticket, PunchQuery query);

private:
    void Run();

    ArchiveTarget target_;
    Done done_;
    std::unique_ptr<ArchiveDb> db_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<std::pair<long long, PunchQuery>> next_;
    bool stop_ = false;
    std::thread thread_;
};

} // namespace px::archive
