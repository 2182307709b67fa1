// Reading the terminal's punch records: one record fetched and validated, the interactive upload
// into the record grid and the monthly backup, the card-ID filter, and the checks the scheduled
// run uses to resume where it stopped.
#pragma once

#include "Replies.h"

#include <array>
#include <optional>
#include <string>

namespace px {

class Core;

class RecordUpload {
public:
    explicit RecordUpload(Core& core) : core_(core) {}

    // The card-ID filter in force (from Format.ini, section General).
    bool bCIDFilter = false;
    long lCIDStart = 0;
    long lCIDLength = 0;

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
    // The card ID as the filter shows it.
    std::string FilteredCardId(const std::string& cardId) const;
    // Number, card ID, event, date and time of the records grid.
    std::array<std::string, 5> GridRow(const reply::RecordLine& record) const;

    bool UploadRecord();
    void SetCardIDFilter();
    bool MatchStoredRecords(bool& ok);
    void EnableRecordControls(bool flag);

private:
    Core& core_;
    std::string lastReply_;
};

} // namespace px
