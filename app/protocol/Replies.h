// Every reply the program reads from a terminal, parsed in one place: clock, record count, poll,
// version, registers, table slots, refusal codes and record lines. Pure functions over the reply
// text (STX, checksum and CR already removed), without I/O or Qt, so they are tested with tables
// and fuzzed on their own.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace px {

// A terminal clock reading or setting.
struct Stamp {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    // 1 = Sunday .. 7 = Saturday; 0 when the date is not valid.
    int Weekday() const;
    bool Valid() const;
};

// A terminal's reply that accepts the command begins with "A".
inline bool IsAccepted(std::string_view reply)
{
    return !reply.empty() && reply[0] == 'A';
}

// "hh:mm" from an hour and a minute text ("7" and "5" give "07:05"), or "" when they do not form
// a valid time.
std::string TimeFromCells(std::string_view hour, std::string_view minute);

namespace reply {

// "A" + YYYYMMDDhhmmss: the clock, when the reply is accepted and names a valid moment.
std::optional<Stamp> ParseTime(std::string_view reply);

// "A" + four hexadecimal digits, nothing more: the number of stored records, else -1.
long ParseRecordCount(std::string_view reply);

// An accepted poll reply naming the terminal model: the ID it answered with (two hexadecimal
// digits after the "A"; -1 when they are not) and the model text from "PX74" on.
struct PollReply {
    int id = -1;
    std::string model;
};
std::optional<PollReply> ParsePoll(std::string_view reply);

// "A" + version, optionally followed by the extension in parentheses: "A1.7R (JIS-II)".
struct VersionReply {
    std::string version;
    std::string ext;
};
std::optional<VersionReply> ParseVersion(std::string_view reply);

// A register read back: accepted and two decimal (or hexadecimal) digits after the "A", else -1.
int ParseDecimalRegister(std::string_view reply);
int ParseHexRegister(std::string_view reply);

// A table slot's event register: the event code when the reply is one the table's mask lists
// ("A01" in "A00A01"), else nullopt. Its time register: "hh:mm" from "A" + hhmm, else "".
std::optional<std::string> ParseSlotEvent(std::string_view reply, std::string_view eventMask);
std::string ParseSlotTime(std::string_view reply);

// The reason of a refusal "Nnn": the leading decimal digits of at most two characters.
int RefusalCode(std::string_view reply);

// One punch record: "A" + index (4 hex digits) + "," + card ID + "," + event + "," + date + ","
// + time, the card ID of any length and every other field fixed.
struct RecordLine {
    std::string text; // as received; the backup file and the record store keep it so
    // The fixed layout holds (at least 30 characters, commas in their places): then index,
    // event, date and time are set. A line without it shows as an empty row.
    bool fixedLayout = false;
    std::string index;
    std::string event;
    std::string date;
    std::string time;
    // The card ID lies between the first comma from position 6 and the last comma at or before
    // position L-21; the tail is the rest of the line from that comma on. Without both commas
    // the line cannot be rebuilt with another separator.
    bool hasCardId = false;
    std::string head; // before the card ID's comma
    std::string cardId;
    std::string tail;
};

// The record line split once.
RecordLine SplitRecord(std::string_view line);

// A GetRecord reply is a record when it is accepted, carries the index asked for, and behind the
// last comma at or before position L-19 the ten characters that follow, and the ten (or fewer)
// from the second character after those, are each a date or a time. The record, split, or
// nullopt.
std::optional<RecordLine> AcceptRecord(std::string_view reply, int index);

// The record index read as a hexadecimal number; -1 when it is not one.
int RecordIndex(std::string_view digits);

// The line rebuilt with another separator and the given card ID: what precedes the card ID,
// separator, card ID, then the tail with every "," replaced by the separator; "" when the line
// has no card ID.
std::string RebuildRecord(const RecordLine& record, std::string_view separator,
                          std::string_view cardId);

// The card ID kept by the card-ID filter: length characters from position start (from 1).
std::string FilterCardId(std::string_view cardId, long start, long length);

} // namespace reply
} // namespace px
