#include "Shipping.h"

#include "FileLock.h"

namespace px::archive {

JournalShipping::Outcome JournalShipping::Fail(std::string error)
{
    error_ = std::move(error);
    // A connection that failed may be half-broken: the next step starts with a fresh one.
    db_.reset();
    return Outcome::Failed;
}

JournalShipping::Outcome JournalShipping::Step()
{
    if (!config_.target) return Fail(config_.targetError);
    const std::string id = reader_.Id();
    if (id.empty()) return Outcome::Idle; // nothing was ever journaled
    // One shipper per journal at a time; another process's shipper does the same work.
    const FileLock lock(config_.journalFolder + "/ship", std::chrono::milliseconds(200));
    if (!lock.Locked()) return Outcome::Busy;
    std::string error;
    if (!db_) {
        db_ = MakeArchiveDb(*config_.target);
        if (!db_) return Outcome::Idle; // switched off
        if (!db_->Open(&error)) return Fail(error);
    }
    const auto cursor = db_->Cursor(config_.key, &error);
    if (!cursor && !error.empty()) return Fail(error);
    // A cursor of another journal (this one was deleted and begun again) covers nothing here.
    const JournalPos from = cursor && cursor->journal == id ? cursor->pos : JournalPos{};
    JournalBatch batch = reader_.Read(from, config_.batch);
    if (batch.punches.empty() && batch.end == from) {
        reader_.DropBefore(from);
        error_.clear();
        return Outcome::Idle;
    }
    if (!db_->Ship(batch.punches, config_.key, {id, batch.end}, &error)) return Fail(error);
    WriteShippedHint(config_.journalFolder, id, batch.end);
    shipped_ += static_cast<long long>(batch.punches.size());
    damaged_ += batch.damaged;
    error_.clear();
    return Outcome::Shipped;
}

JournalShipping::Outcome JournalShipping::ShipAll(std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        const Outcome outcome = Step();
        if (outcome != Outcome::Shipped || std::chrono::steady_clock::now() >= deadline)
            return outcome;
    }
}

} // namespace px::archive
