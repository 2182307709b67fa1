// The archive on a PostgreSQL server that several PCs write to at once; libpq finds the
// password in ~/.pgpass or its environment. Migrations hold an advisory lock, so two PCs that
// meet an empty database at the same moment do not both create the schema.
#pragma once

#include "ArchiveDb.h"

struct pg_conn;

namespace px::archive {

template <class Db> class SchemaSessionOn;

class PgDb : public ArchiveDb {
public:
    PgDb(std::string conninfo, std::string shown)
        : conninfo_(std::move(conninfo)), shown_(std::move(shown))
    {
    }
    ~PgDb() override;

    bool Open(std::string* error) override;
    int FoundVersion() const override { return found_; }
    std::optional<JournalCursor> Cursor(const CursorKey& key, std::string* error) override;
    bool Ship(const std::vector<Punch>& punches, const CursorKey& key, const JournalCursor& cursor,
              std::string* error) override;
    bool Select(const PunchQuery& query, const std::function<bool(const StoredPunch&)>& row,
                std::string* error) override;
    bool Terminals(std::vector<TerminalSummary>* terminals, std::string* error) override;

    // Seconds libpq waits for a server that does not answer.
    static constexpr int kConnectTimeout = 10;

private:
    bool Exec(const std::string& sql, std::string* error);
    bool SendInsert(const Punch& punch);
    bool TakePipelineResults(std::string* error);
    bool Fail(std::string* error, const std::string& detail = {});
    std::optional<int> Version(std::string* error);
    void Close();

    std::string conninfo_;
    std::string shown_;
    pg_conn* conn_ = nullptr;
    int found_ = 0;
    friend class SchemaSessionOn<PgDb>;
};

} // namespace px::archive
