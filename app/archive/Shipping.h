// Moving journal lines into the database: each step reads the next batch after the cursor the
// database holds for this journal and stores the punches and the new cursor in one
// transaction, so a kill at any moment ships every line exactly once. One step at a time, on the
// calling thread; the Shipper runs it on a thread of its own, the command line directly.
#pragma once

#include "ArchiveDb.h"
#include "ArchiveUrl.h"
#include "Journal.h"

#include <chrono>
#include <memory>
#include <string>

namespace px::archive {

struct ShippingConfig {
    std::optional<ArchiveTarget> target; // nullopt: the setting is wrong (targetError says why)
    std::string targetError;
    std::string journalFolder;
    CursorKey key;
    std::size_t batch = 1000;
};

class JournalShipping {
public:
    explicit JournalShipping(ShippingConfig config)
        : config_(std::move(config)), reader_(config_.journalFolder)
    {
    }

    enum class Outcome {
        Shipped, // a batch went in; more may follow
        Idle,    // everything is in the database
        Busy,    // another process is shipping this journal right now
        Failed   // the database cannot take records now (Error() says why)
    };
    Outcome Step();
    // Steps until the journal is shipped, shipping fails, or the deadline passes.
    Outcome ShipAll(std::chrono::steady_clock::time_point deadline);

    const std::string& Error() const { return error_; }
    long long Shipped() const { return shipped_; }
    long long Damaged() const { return damaged_; }
    // Drops the connection (the next step opens a new one).
    void Disconnect() { db_.reset(); }

private:
    Outcome Fail(std::string error);

    ShippingConfig config_;
    JournalReader reader_;
    std::unique_ptr<ArchiveDb> db_;
    std::string error_;
    long long shipped_ = 0;
    long long damaged_ = 0;
};

} // namespace px::archive
