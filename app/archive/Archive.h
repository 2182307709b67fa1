// The punch archive as the program uses it: a downloaded record goes into the journal (after
// its text lines, before its counters), and the shipper thread moves it into the database. The
// event log hears once that the archive is behind, with the cause, and once that it has caught
// up. A failure here never fails a download: the text files remain the record of truth.
#pragma once

#include "ArchiveUrl.h"
#include "Journal.h"
#include "Mailbox.h"
#include "Replies.h"
#include "Shipper.h"

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace px::archive {

class Archive {
public:
    Archive();
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    // urlSetting is Archive/URL; the journal and the default database live in programFolder.
    void Configure(const std::string& urlSetting, const std::string& programFolder);
    // Where lines for the event log go; called on the thread that configured the archive.
    std::function<void(const std::string&)> log;

    // Starts shipping what earlier runs left in the journal.
    void Start();
    // Records first, first + 1, ... of a terminal, journaled with one durable write.
    void Take(int terminalId, const std::string& terminalName, long first,
              const std::vector<reply::RecordLine>& records);
    // Ships for at most drain (while the database takes records), then stops the shipper.
    void Stop(std::chrono::milliseconds drain);

    bool Enabled() const { return enabled_; }
    const std::string& JournalFolder() const { return journalFolder_; }
    const ShippingConfig& Config() const { return config_; }
    // The shipper's state; idle and not behind when it is not running.
    Shipper::Status Status() const;
    // Journal writes that failed since the last one that succeeded.
    long JournalFailures() const { return journalFailures_; }

    // Shipping time left to a program that ends.
    static constexpr std::chrono::milliseconds kExitDrain{10000};

private:
    void StartShipper();
    void ShipperChanged();
    void Log(const std::string& text) const;
    Punch MakePunch(int terminalId, const std::string& terminalName, long index,
                    const reply::RecordLine& record);

    bool enabled_ = false;
    std::string journalFolder_;
    ShippingConfig config_;
    std::unique_ptr<JournalWriter> writer_;
    std::unique_ptr<Mailbox> context_; // on the thread that made the archive
    std::unique_ptr<Shipper> shipper_;
    bool saidBehind_ = false;
    long long damagedSaid_ = 0;
    long journalFailures_ = 0;
    std::set<int> undatedSaid_;
};

// This PC's name, and the program folder as an absolute path: the owner of a journal cursor.
CursorKey OwnerKey(const std::string& programFolder);
// The journal folder and the default SQLite file of a program folder.
std::string JournalFolderOf(const std::string& programFolder);
std::string DefaultDatabaseOf(const std::string& programFolder);
// Now in UTC, "YYYY-MM-DDTHH:MM:SS.mmmZ".
std::string UtcNow();

} // namespace px::archive
