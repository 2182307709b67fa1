#include "SqliteDb.h"

#include "Schema.h"

#include <sqlite3.h>

#include <filesystem>

namespace px::archive {

namespace {

struct Statement {
    sqlite3_stmt* stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
    Statement() = default;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
};

void BindText(sqlite3_stmt* s, int i, const std::string& text)
{
    sqlite3_bind_text(s, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// Into an existing string: a row read after row reuses its buffers.
void Assign(std::string& to, sqlite3_stmt* s, int i)
{
    const auto* p = static_cast<const char*>(sqlite3_column_blob(s, i));
    to.assign(p ? p : "", p ? static_cast<std::size_t>(sqlite3_column_bytes(s, i)) : 0);
}

std::string Column(sqlite3_stmt* s, int i)
{
    const auto* p = static_cast<const char*>(sqlite3_column_blob(s, i));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(s, i))) : std::string();
}

const char* kLeanColumns = "id, terminal_id, record_index, raw";
const char* kColumns = "id, terminal_id, terminal_name, record_index, card_id, event, punched_at,"
                       " raw, downloaded_at, host";

} // namespace

SqliteDb::~SqliteDb()
{
    Close();
}

void SqliteDb::Close()
{
    sqlite3_finalize(insert_);
    sqlite3_finalize(cursor_);
    insert_ = cursor_ = nullptr;
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

bool SqliteDb::Fail(std::string* error, const std::string& what)
{
    if (error)
        *error = path_ + ": " + (what.empty() ? "" : what + ": ") +
                 (db_ ? sqlite3_errmsg(db_) : "out of memory");
    return false;
}

bool SqliteDb::Exec(const std::string& sql, std::string* error)
{
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
    if (error) *error = path_ + ": " + (message ? message : sqlite3_errmsg(db_));
    sqlite3_free(message);
    return false;
}

bool SqliteDb::Wal()
{
    Statement s;
    return sqlite3_prepare_v2(db_, "PRAGMA journal_mode", -1, &s.stmt, nullptr) == SQLITE_OK &&
           sqlite3_step(s.stmt) == SQLITE_ROW && Column(s.stmt, 0) == "wal";
}

std::optional<int> SqliteDb::Version(std::string* error)
{
    Statement s;
    if (sqlite3_prepare_v2(db_,
                           "SELECT (SELECT count(*) FROM sqlite_master WHERE type = 'table'"
                           " AND name = 'schema_version')",
                           -1, &s.stmt, nullptr) != SQLITE_OK ||
        sqlite3_step(s.stmt) != SQLITE_ROW) {
        Fail(error);
        return std::nullopt;
    }
    if (sqlite3_column_int(s.stmt, 0) == 0) return 0;
    Statement v;
    if (sqlite3_prepare_v2(db_, "SELECT coalesce(max(version), 0) FROM schema_version", -1, &v.stmt,
                           nullptr) != SQLITE_OK ||
        sqlite3_step(v.stmt) != SQLITE_ROW) {
        Fail(error);
        return std::nullopt;
    }
    return sqlite3_column_int(v.stmt, 0);
}

bool SqliteDb::Open(std::string* error)
{
    Close();
    std::error_code ec;
    const auto folder = std::filesystem::path(path_).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    if (sqlite3_open_v2(path_.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        Fail(error);
        Close();
        return false;
    }
    sqlite3_busy_timeout(db_, kBusyMs);
    // A newer schema is refused before anything, even the journal mode, is written.
    const auto version = Version(error);
    if (!version) return false;
    if (*version > kSchemaVersion) {
        found_ = *version;
        if (error) *error = path_ + ": " + NewerSchemaMessage(*version, kSchemaVersion);
        return false;
    }
    // A database at this program's version is opened without a write, so that a reader gets in
    // while another connection holds the write lock.
    if (!Wal() && !Exec("PRAGMA journal_mode = WAL", error)) return false;
    if (!Exec("PRAGMA synchronous = FULL", error)) return false;
    found_ = *version;
    if (*version < kSchemaVersion) {
        if (!Exec("BEGIN IMMEDIATE", error)) return false;
        SchemaSessionOn<SqliteDb> session(*this);
        if (!Migrate(session, Dialect::Sqlite, Migrations(), &found_, error) ||
            !Exec("COMMIT", error)) {
            Exec("ROLLBACK", nullptr);
            return false;
        }
    }
    if (sqlite3_prepare_v2(db_,
                           "INSERT INTO punch (terminal_id, terminal_name, record_index, card_id,"
                           " event, punched_at, raw, downloaded_at, host)"
                           " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT DO NOTHING",
                           -1, &insert_, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(
            db_,
            "INSERT INTO journal_cursor (host, folder, journal, segment, position, shipped_at)"
            " VALUES (?, ?, ?, ?, ?, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'))"
            " ON CONFLICT (host, folder) DO UPDATE SET journal = excluded.journal,"
            " segment = excluded.segment, position = excluded.position,"
            " shipped_at = excluded.shipped_at"
            " WHERE excluded.journal <> journal_cursor.journal"
            " OR (excluded.segment, excluded.position) >"
            " (journal_cursor.segment, journal_cursor.position)",
            -1, &cursor_, nullptr) != SQLITE_OK)
        return Fail(error);
    return true;
}

std::optional<JournalCursor> SqliteDb::Cursor(const CursorKey& key, std::string* error)
{
    if (error) error->clear();
    Statement s;
    if (sqlite3_prepare_v2(db_,
                           "SELECT journal, segment, position FROM journal_cursor"
                           " WHERE host = ? AND folder = ?",
                           -1, &s.stmt, nullptr) != SQLITE_OK) {
        Fail(error);
        return std::nullopt;
    }
    BindText(s.stmt, 1, key.host);
    BindText(s.stmt, 2, key.folder);
    const int rc = sqlite3_step(s.stmt);
    if (rc == SQLITE_DONE) return std::nullopt;
    if (rc != SQLITE_ROW) {
        Fail(error);
        return std::nullopt;
    }
    return JournalCursor{
        Column(s.stmt, 0),
        {static_cast<long>(sqlite3_column_int64(s.stmt, 1)), sqlite3_column_int64(s.stmt, 2)}};
}

bool SqliteDb::Ship(const std::vector<Punch>& punches, const CursorKey& key,
                    const JournalCursor& cursor, std::string* error)
{
    if (!Exec("BEGIN IMMEDIATE", error)) return false;
    for (const Punch& p : punches) {
        sqlite3_reset(insert_);
        sqlite3_bind_int(insert_, 1, p.terminalId);
        BindText(insert_, 2, TextColumn(p.terminalName));
        sqlite3_bind_int64(insert_, 3, p.recordIndex);
        BindText(insert_, 4, TextColumn(p.cardId));
        BindText(insert_, 5, TextColumn(p.event));
        if (p.punchedAt.empty())
            sqlite3_bind_null(insert_, 6);
        else
            BindText(insert_, 6, p.punchedAt);
        sqlite3_bind_blob(insert_, 7, p.raw.data(), static_cast<int>(p.raw.size()),
                          SQLITE_TRANSIENT);
        BindText(insert_, 8, p.downloadedAt);
        BindText(insert_, 9, TextColumn(p.host));
        if (sqlite3_step(insert_) != SQLITE_DONE) {
            Fail(error);
            sqlite3_reset(insert_);
            Exec("ROLLBACK", nullptr);
            return false;
        }
    }
    sqlite3_reset(insert_);
    sqlite3_reset(cursor_);
    BindText(cursor_, 1, key.host);
    BindText(cursor_, 2, key.folder);
    BindText(cursor_, 3, cursor.journal);
    sqlite3_bind_int64(cursor_, 4, cursor.pos.segment);
    sqlite3_bind_int64(cursor_, 5, cursor.pos.offset);
    const bool stored = sqlite3_step(cursor_) == SQLITE_DONE;
    if (!stored) Fail(error);
    sqlite3_reset(cursor_);
    if (!stored || !Exec("COMMIT", error)) {
        Exec("ROLLBACK", nullptr);
        return false;
    }
    return true;
}

bool SqliteDb::Select(const PunchQuery& q, const std::function<bool(const StoredPunch&)>& row,
                      std::string* error)
{
    std::string sql =
        std::string("SELECT ") + (q.lean ? kLeanColumns : kColumns) + " FROM punch WHERE 1";
    std::vector<std::string> texts;
    if (!q.from.empty()) {
        sql += " AND punched_at >= ?";
        texts.push_back(q.from + " 00:00:00");
    }
    if (!q.to.empty()) {
        sql += " AND punched_at <= ?";
        texts.push_back(q.to + " 23:59:59");
    }
    if (q.terminal) sql += " AND terminal_id = " + std::to_string(*q.terminal);
    if (!q.card.empty()) {
        sql += " AND instr(card_id, ?) > 0";
        texts.push_back(q.card);
    }
    if (q.order == PunchQuery::Order::Time && q.after) {
        sql += " AND (punched_at > ? OR (punched_at = ? AND id > " +
               std::to_string(q.after->second) + "))";
        texts.push_back(q.after->first);
        texts.push_back(q.after->first);
    }
    sql += q.order == PunchQuery::Order::Time ? " ORDER BY punched_at, id"
                                              : " ORDER BY terminal_id, record_index, id";
    if (q.limit >= 0) sql += " LIMIT " + std::to_string(q.limit);
    Statement s;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s.stmt, nullptr) != SQLITE_OK) return Fail(error);
    for (std::size_t i = 0; i < texts.size(); ++i)
        BindText(s.stmt, static_cast<int>(i + 1), texts[i]);
    StoredPunch p;
    int rc;
    while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW) {
        p.id = sqlite3_column_int64(s.stmt, 0);
        p.terminalId = sqlite3_column_int(s.stmt, 1);
        if (q.lean) {
            p.recordIndex = static_cast<long>(sqlite3_column_int64(s.stmt, 2));
            Assign(p.raw, s.stmt, 3);
            if (!row(p)) return true;
            continue;
        }
        Assign(p.terminalName, s.stmt, 2);
        p.recordIndex = static_cast<long>(sqlite3_column_int64(s.stmt, 3));
        Assign(p.cardId, s.stmt, 4);
        Assign(p.event, s.stmt, 5);
        Assign(p.punchedAt, s.stmt, 6);
        Assign(p.raw, s.stmt, 7);
        Assign(p.downloadedAt, s.stmt, 8);
        Assign(p.host, s.stmt, 9);
        if (!row(p)) return true;
    }
    return rc == SQLITE_DONE || Fail(error);
}

bool SqliteDb::Terminals(std::vector<TerminalSummary>* terminals, std::string* error)
{
    Statement s;
    if (sqlite3_prepare_v2(db_,
                           "SELECT terminal_id, max(terminal_name), count(*),"
                           " sum(punched_at IS NULL), coalesce(max(punched_at), '')"
                           " FROM punch GROUP BY terminal_id ORDER BY terminal_id",
                           -1, &s.stmt, nullptr) != SQLITE_OK)
        return Fail(error);
    terminals->clear();
    int rc;
    while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW)
        terminals->push_back({sqlite3_column_int(s.stmt, 0), Column(s.stmt, 1),
                              sqlite3_column_int64(s.stmt, 2), sqlite3_column_int64(s.stmt, 3),
                              Column(s.stmt, 4)});
    return rc == SQLITE_DONE || Fail(error);
}

} // namespace px::archive
