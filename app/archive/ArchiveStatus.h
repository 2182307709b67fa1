// The report of px740 --archive-status: where the archive is, punches per terminal, the newest
// punch, and how many downloaded records still wait in the journal.
#pragma once

#include "ArchiveDb.h"

#include <optional>
#include <string>

namespace px::archive {

struct Backlog {
    long long records = 0;
    std::string oldest; // download time of the first waiting record
};

// Records in the journal after the cursor (all of them without one, or with another journal's).
Backlog JournalBacklog(const std::string& journalFolder,
                       const std::optional<JournalCursor>& cursor);

// The lines of the report for an open database; false with *error when it cannot be read.
bool StatusReport(ArchiveDb& db, const ArchiveTarget& target, const std::string& journalFolder,
                  const CursorKey& key, std::string* report, std::string* error);

// The backlog line: "Behind: nothing waits in the journal" or how many wait since when.
std::string BacklogLine(const Backlog& backlog);

} // namespace px::archive
