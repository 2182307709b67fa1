// The archive's own journal in the program folder: every downloaded record appended durably, in
// the lossless line form of JournalCodec, before the download's counters move on. Numbered
// segment files keep it short: once the database's cursor has passed a segment, the shipper
// deletes it. The journal's identity (a random ID file) tells a cursor of this journal from one
// of a journal that was deleted and started again.
#pragma once

#include "Punch.h"

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace px::archive {

// A place in the journal: segment number and byte offset. {0, 0} lies before everything.
struct JournalPos {
    long segment = 0;
    long long offset = 0;
    friend bool operator==(const JournalPos&, const JournalPos&) = default;
    friend auto operator<=>(const JournalPos&, const JournalPos&) = default;
};

// Segments start anew beyond this size, at a line boundary.
inline constexpr long long kSegmentBytes = 8LL << 20;

class JournalWriter {
public:
    explicit JournalWriter(std::string folder, long long segmentBytes = kSegmentBytes)
        : folder_(std::move(folder)), segmentBytes_(segmentBytes)
    {
    }

    // Appends the punches with one write and syncs them to disk. On failure *error says why and
    // the journal is as it was before the call.
    bool Append(const std::vector<Punch>& punches, std::string* error);
    bool Append(const Punch& punch, std::string* error)
    {
        return Append(std::vector<Punch>{punch}, error);
    }

    const std::string& Folder() const { return folder_; }

private:
    bool Prepare(std::string* error);

    std::string folder_;
    long long segmentBytes_;
    bool ready_ = false;
    long segment_ = 0;
    long long size_ = 0;
};

// What a read of the journal found after a position.
struct JournalBatch {
    std::vector<Punch> punches;
    JournalPos end;  // after the last line read (or skipped)
    int damaged = 0; // lines skipped because they are not whole journal lines
};

class JournalReader {
public:
    explicit JournalReader(std::string folder) : folder_(std::move(folder)) {}

    // The journal's identity; "" while nothing was ever written.
    std::string Id() const;
    // Segment numbers in ascending order.
    std::vector<long> Segments() const;
    // Up to max punches after from. A line still being written at the end is left for later.
    JournalBatch Read(JournalPos from, std::size_t max) const;
    // Punches after from, and the download time of the first of them ("" when none).
    long long Count(JournalPos from, std::string* oldest) const;
    // Deletes the segments wholly before pos (never the newest one).
    void DropBefore(JournalPos pos) const;

private:
    std::string folder_;
};

// The last cursor the shipper stored, kept beside the journal as a hint for a status report
// when the database cannot be asked. Not a promise: the database's cursor decides.
void WriteShippedHint(const std::string& folder, const std::string& journal, JournalPos pos);
std::optional<std::pair<std::string, JournalPos>> ReadShippedHint(const std::string& folder);

// Creates the journal's ID file when missing; the ID.
bool EnsureJournalId(const std::string& folder, std::string* id, std::string* error);
std::string SegmentPath(const std::string& folder, long segment);

} // namespace px::archive
