// Reading a terminal's punch records over a session's link: one record fetched and validated,
// and the check the scheduled run uses to resume where it stopped.
#pragma once

#include "Replies.h"

#include <optional>
#include <string>

namespace px {

class TerminalSession;
struct StoredCounters;

class RecordUpload {
public:
    explicit RecordUpload(TerminalSession& session) : session_(session) {}

    // Up to five attempts; ok tells whether a valid reply for this index arrived.
    void ReadRecord(int index, bool& ok, std::string& line);
    // The same, with the accepted line split.
    std::optional<reply::RecordLine> FetchRecord(int index);
    // The reply of the last GetRecord (for the "N07" database message).
    const std::string& LastReply() const { return lastReply_; }

    // Field 0 index, 1 card ID, 2 event, 3 date, 4 time; "" for a malformed line.
    static std::string RecordField(const std::string& line, int field);
    // The line with "," replaced by the separator and the card ID filtered.
    static std::string FormatRecordLine(const std::string& line, const std::string& separator,
                                        bool filter, long start, long length);

    // Whether the terminal still holds the records the counters were written after: its first
    // record and, from three on, its last counted one are unchanged. ok is false when a record
    // could not be read.
    bool MatchStoredRecords(const StoredCounters& stored, bool& ok);

private:
    TerminalSession& session_;
    std::string lastReply_;
};

} // namespace px
