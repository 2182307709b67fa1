// The archive in an SQLite file (WAL journal, synced commits, a short busy wait): the default,
// Records/punches.db in the program folder, created on first use.
#pragma once

#include "ArchiveDb.h"

struct sqlite3;
struct sqlite3_stmt;

namespace px::archive {

template <class Db> class SchemaSessionOn;

class SqliteDb : public ArchiveDb {
public:
    explicit SqliteDb(std::string path) : path_(std::move(path)) {}
    ~SqliteDb() override;

    bool Open(std::string* error) override;
    int FoundVersion() const override { return found_; }
    std::optional<JournalCursor> Cursor(const CursorKey& key, std::string* error) override;
    bool Ship(const std::vector<Punch>& punches, const CursorKey& key, const JournalCursor& cursor,
              std::string* error) override;
    bool Select(const PunchQuery& query, const std::function<bool(const StoredPunch&)>& row,
                std::string* error) override;
    bool Terminals(std::vector<TerminalSummary>* terminals, std::string* error) override;

    // How long a write waits for another connection's lock before it gives up.
    static constexpr int kBusyMs = 2000;

private:
    bool Exec(const std::string& sql, std::string* error);
    bool Fail(std::string* error, const std::string& what = {});
    std::optional<int> Version(std::string* error);
    bool Wal();
    void Close();

    std::string path_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    sqlite3_stmt* cursor_ = nullptr;
    int found_ = 0;
    friend class SchemaSessionOn<SqliteDb>;
};

} // namespace px::archive
