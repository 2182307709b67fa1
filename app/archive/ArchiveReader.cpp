#include "ArchiveReader.h"

namespace px::archive {

ArchiveReader::ArchiveReader(ArchiveTarget target, Done done)
    : target_(std::move(target)), done_(std::move(done)), thread_([this] { Run(); })
{
}

ArchiveReader::~ArchiveReader()
{
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void ArchiveReader::Request(long long ticket, PunchQuery query)
{
    {
        const std::lock_guard lock(mutex_);
        next_ = std::make_pair(ticket, std::move(query));
    }
    wake_.notify_one();
}

void ArchiveReader::Run()
{
    for (;;) {
        std::pair<long long, PunchQuery> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || next_; });
            if (stop_) return;
            job = std::move(*next_);
            next_.reset();
        }
        std::string error;
        std::vector<StoredPunch> rows;
        if (!db_) {
            db_ = MakeArchiveDb(target_);
            if (db_ && !db_->Open(&error)) db_.reset();
            if (!db_ && error.empty()) error = "the archive is switched off";
        }
        if (db_ && !db_->Select(
                       job.second,
                       [&rows](const StoredPunch& p) {
                           rows.push_back(p);
                           return true;
                       },
                       &error))
            db_.reset(); // the next request connects again
        done_(job.first, std::move(rows), std::move(error));
    }
}

} // namespace px::archive
