// One connection to the punch archive's database, SQLite or PostgreSQL behind one interface:
// opening creates or migrates the schema (a schema newer than the program is refused, never
// written), shipping stores punches and the journal cursor in one transaction, and queries
// stream matching punches in the order asked for. A connection is used by one thread only.
#pragma once

#include "ArchiveUrl.h"
#include "Journal.h"
#include "Punch.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace px::archive {

// The schema this program writes; a database at a higher version is refused.
inline constexpr int kSchemaVersion = 1;

// Whose journal a cursor belongs to: one per PC and program folder.
struct CursorKey {
    std::string host;
    std::string folder;
};

struct JournalCursor {
    std::string journal; // the journal's ID
    JournalPos pos;
};

struct StoredPunch : Punch {
    std::int64_t id = 0;
};

struct PunchQuery {
    enum class Order {
        Export, // record index, then arrival
        Time    // punch time, then arrival: the archive view
    };
    std::string from, to; // "YYYY-MM-DD", inclusive; both empty: any date (and none)
    std::optional<int> terminal;
    std::string card; // card IDs containing this text; "" any
    Order order = Order::Export;
    // Time order only: the rows after this one (its punch time and ID), for paging.
    std::optional<std::pair<std::string, std::int64_t>> after;
    long limit = -1; // -1: all
    // Only the ID, terminal, index and raw record of each punch (what an export needs).
    bool lean = false;
};

struct TerminalSummary {
    int terminalId = 0;
    std::string name;
    long long punches = 0;
    long long undated = 0; // punches whose record carried no valid date
    std::string newest;    // latest punch time
};

class ArchiveDb {
public:
    virtual ~ArchiveDb() = default;
    ArchiveDb() = default;
    ArchiveDb(const ArchiveDb&) = delete;
    ArchiveDb& operator=(const ArchiveDb&) = delete;

    // Connects and brings the schema to kSchemaVersion.
    virtual bool Open(std::string* error) = 0;
    // The version the database had when it was opened.
    virtual int FoundVersion() const = 0;
    // The stored cursor of this journal's owner; nullopt with *error empty when there is none.
    virtual std::optional<JournalCursor> Cursor(const CursorKey& key, std::string* error) = 0;
    // The punches (repeats are no-ops) and the cursor, in one transaction.
    virtual bool Ship(const std::vector<Punch>& punches, const CursorKey& key,
                      const JournalCursor& cursor, std::string* error) = 0;
    // Matching punches in order; row returns false to stop early.
    virtual bool Select(const PunchQuery& query, const std::function<bool(const StoredPunch&)>& row,
                        std::string* error) = 0;
    // Per terminal, in ID order.
    virtual bool Terminals(std::vector<TerminalSummary>* terminals, std::string* error) = 0;
};

// A connection for the target (SQLite or PostgreSQL); nullptr when the archive is off.
std::unique_ptr<ArchiveDb> MakeArchiveDb(const ArchiveTarget& target);

// Text columns hold UTF-8: 8-bit record text is read as Latin-1, and NUL, CR and LF are shown
// as <NUL>, <CR> and <LF>. The raw record keeps every byte.
std::string TextColumn(std::string_view bytes);

} // namespace px::archive
