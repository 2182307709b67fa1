#include "PgDb.h"

#include "Schema.h"

#include <libpq-fe.h>

#include <array>
#include <memory>

namespace px::archive {

namespace {

using Result = std::unique_ptr<PGresult, void (*)(PGresult*)>;

Result Take(PGresult* r)
{
    return Result(r, PQclear);
}

bool Ok(const Result& r)
{
    const auto status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

// libpq's messages span lines; a log line holds one.
std::string OneLineMessage(const char* text)
{
    std::string out;
    for (const char* p = text ? text : ""; *p; ++p) {
        if (*p == '\n') {
            if (p[1]) out += "; ";
        } else {
            out += *p;
        }
    }
    return out.empty() ? std::string("no answer") : out;
}

std::string Value(const PGresult* r, int row, int column)
{
    return std::string(PQgetvalue(r, row, column),
                       static_cast<std::size_t>(PQgetlength(r, row, column)));
}

std::string Bytes(const PGresult* r, int row, int column)
{
    std::size_t length = 0;
    unsigned char* bytes = PQunescapeBytea(
        reinterpret_cast<const unsigned char*>(PQgetvalue(r, row, column)), &length);
    if (!bytes) return {};
    std::string out(reinterpret_cast<const char*>(bytes), length);
    PQfreemem(bytes);
    return out;
}

void Quiet(void*, const char*) {}

const char* kColumns =
    "id, terminal_id, terminal_name, record_index, card_id, event,"
    " to_char(punched_at, 'YYYY-MM-DD HH24:MI:SS'), raw,"
    " to_char(downloaded_at AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'), host";

} // namespace

class PgSchemaSession : public SchemaSession {
public:
    explicit PgSchemaSession(PgDb& db) : db_(db) {}
    bool Exec(const std::string& sql, std::string* error) override { return db_.Exec(sql, error); }
    std::optional<int> Version(std::string* error) override { return db_.Version(error); }

private:
    PgDb& db_;
};

PgDb::~PgDb()
{
    Close();
}

void PgDb::Close()
{
    if (conn_) PQfinish(conn_);
    conn_ = nullptr;
}

bool PgDb::Fail(std::string* error, const std::string& detail)
{
    if (error)
        *error =
            shown_ + ": " +
            (detail.empty() ? OneLineMessage(conn_ ? PQerrorMessage(conn_) : nullptr) : detail);
    return false;
}

bool PgDb::Exec(const std::string& sql, std::string* error)
{
    const Result r = Take(PQexec(conn_, sql.c_str()));
    return Ok(r) || Fail(error);
}

std::optional<int> PgDb::Version(std::string* error)
{
    // A plain query sees what another PC's migration has just committed; a catalog lookup
    // through to_regclass may not.
    const Result exists = Take(PQexec(conn_, "SELECT EXISTS (SELECT 1 FROM pg_catalog.pg_tables"
                                             " WHERE schemaname = current_schema()"
                                             " AND tablename = 'schema_version')"));
    if (!Ok(exists) || PQntuples(exists.get()) != 1) {
        Fail(error);
        return std::nullopt;
    }
    if (Value(exists.get(), 0, 0) != "t") return 0;
    const Result v = Take(PQexec(conn_, "SELECT coalesce(max(version), 0) FROM schema_version"));
    if (!Ok(v) || PQntuples(v.get()) != 1) {
        Fail(error);
        return std::nullopt;
    }
    return std::stoi(Value(v.get(), 0, 0));
}

bool PgDb::Open(std::string* error)
{
    Close();
    const std::string timeout = std::to_string(kConnectTimeout);
    // Settings given before the URL are defaults that the URL may override.
    const std::array<const char*, 4> keys = {"connect_timeout", "application_name", "dbname",
                                             nullptr};
    const std::array<const char*, 4> values = {timeout.c_str(), "px740 archive", conninfo_.c_str(),
                                               nullptr};
    conn_ = PQconnectdbParams(keys.data(), values.data(), 1);
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK) return Fail(error);
    PQsetNoticeProcessor(conn_, Quiet, nullptr);
    if (PQsetClientEncoding(conn_, "UTF8") != 0) return Fail(error);
    const auto version = Version(error);
    if (!version) return false;
    if (*version > kSchemaVersion) {
        found_ = *version;
        return Fail(error, NewerSchemaMessage(*version, kSchemaVersion));
    }
    found_ = *version;
    if (*version < kSchemaVersion) {
        if (!Exec("BEGIN", error)) return false;
        PgSchemaSession session(*this);
        if (!Exec("SELECT pg_advisory_xact_lock(740740740)", error) ||
            !Migrate(session, Dialect::Postgres, Migrations(), &found_, error) ||
            !Exec("COMMIT", error)) {
            Exec("ROLLBACK", nullptr);
            return false;
        }
    }
    const Result insert = Take(PQprepare(
        conn_, "px_insert",
        "INSERT INTO punch (terminal_id, terminal_name, record_index, card_id, event, punched_at,"
        " raw, downloaded_at, host) VALUES ($1::smallint, $2, $3::integer, $4, $5,"
        " $6::timestamp, $7::bytea, $8::timestamptz, $9) ON CONFLICT DO NOTHING",
        9, nullptr));
    const Result cursor = Take(PQprepare(
        conn_, "px_cursor",
        "INSERT INTO journal_cursor (host, folder, journal, segment, position, shipped_at)"
        " VALUES ($1, $2, $3, $4::bigint, $5::bigint, now())"
        " ON CONFLICT (host, folder) DO UPDATE SET journal = excluded.journal,"
        " segment = excluded.segment, position = excluded.position,"
        " shipped_at = excluded.shipped_at"
        " WHERE excluded.journal <> journal_cursor.journal"
        " OR (excluded.segment, excluded.position) >"
        " (journal_cursor.segment, journal_cursor.position)",
        5, nullptr));
    return (Ok(insert) && Ok(cursor)) || Fail(error);
}

std::optional<JournalCursor> PgDb::Cursor(const CursorKey& key, std::string* error)
{
    if (error) error->clear();
    const std::array<const char*, 2> params = {key.host.c_str(), key.folder.c_str()};
    const Result r = Take(PQexecParams(conn_,
                                       "SELECT journal, segment, position FROM journal_cursor"
                                       " WHERE host = $1 AND folder = $2",
                                       2, nullptr, params.data(), nullptr, nullptr, 0));
    if (!Ok(r)) {
        Fail(error);
        return std::nullopt;
    }
    if (PQntuples(r.get()) == 0) return std::nullopt;
    return JournalCursor{Value(r.get(), 0, 0),
                         {std::stol(Value(r.get(), 0, 1)), std::stoll(Value(r.get(), 0, 2))}};
}

bool PgDb::Ship(const std::vector<Punch>& punches, const CursorKey& key,
                const JournalCursor& cursor, std::string* error)
{
    if (!Exec("BEGIN", error)) return false;
    const auto rollback = [this] { Exec("ROLLBACK", nullptr); };
    for (const Punch& p : punches) {
        const std::string id = std::to_string(p.terminalId);
        const std::string index = std::to_string(p.recordIndex);
        const std::string name = TextColumn(p.terminalName), card = TextColumn(p.cardId),
                          event = TextColumn(p.event), host = TextColumn(p.host);
        const std::array<const char*, 9> values = {
            id.c_str(),    name.c_str(),
            index.c_str(), card.c_str(),
            event.c_str(), p.punchedAt.empty() ? nullptr : p.punchedAt.c_str(),
            p.raw.data(),  p.downloadedAt.c_str(),
            host.c_str()};
        std::array<int, 9> lengths{};
        std::array<int, 9> formats{};
        lengths[6] = static_cast<int>(p.raw.size());
        formats[6] = 1; // the raw record goes as bytes, NULs and all
        const Result r = Take(PQexecPrepared(conn_, "px_insert", 9, values.data(), lengths.data(),
                                             formats.data(), 0));
        if (!Ok(r)) {
            Fail(error);
            rollback();
            return false;
        }
    }
    const std::string segment = std::to_string(cursor.pos.segment);
    const std::string offset = std::to_string(cursor.pos.offset);
    const std::array<const char*, 5> values = {key.host.c_str(), key.folder.c_str(),
                                               cursor.journal.c_str(), segment.c_str(),
                                               offset.c_str()};
    const Result r =
        Take(PQexecPrepared(conn_, "px_cursor", 5, values.data(), nullptr, nullptr, 0));
    if (!Ok(r)) {
        Fail(error);
        rollback();
        return false;
    }
    if (!Exec("COMMIT", error)) {
        rollback();
        return false;
    }
    return true;
}

bool PgDb::Select(const PunchQuery& q, const std::function<bool(const StoredPunch&)>& row,
                  std::string* error)
{
    std::string sql = std::string("SELECT ") + kColumns + " FROM punch WHERE true";
    std::vector<std::string> params;
    const auto param = [&params](std::string value) {
        params.push_back(std::move(value));
        std::string ref = "$"; // appended, which GCC 12 does not misread as an overlapping copy
        ref += std::to_string(params.size());
        return ref;
    };
    if (!q.from.empty()) sql += " AND punched_at >= " + param(q.from + " 00:00:00") + "::timestamp";
    if (!q.to.empty()) sql += " AND punched_at <= " + param(q.to + " 23:59:59") + "::timestamp";
    if (q.terminal) sql += " AND terminal_id = " + std::to_string(*q.terminal);
    if (!q.card.empty()) sql += " AND strpos(card_id, " + param(q.card) + ") > 0";
    if (q.order == PunchQuery::Order::Time && q.after)
        sql += " AND (punched_at, id) > (" + param(q.after->first) + "::timestamp, " +
               std::to_string(q.after->second) + ")";
    sql += q.order == PunchQuery::Order::Time ? " ORDER BY punched_at, id"
                                              : " ORDER BY terminal_id, record_index, id";
    if (q.limit >= 0) sql += " LIMIT " + std::to_string(q.limit);
    std::vector<const char*> values;
    for (const auto& p : params)
        values.push_back(p.c_str());
    if (!PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                           values.data(), nullptr, nullptr, 0) ||
        !PQsetSingleRowMode(conn_))
        return Fail(error);
    bool ok = true, stopped = false;
    StoredPunch p;
    while (PGresult* raw = PQgetResult(conn_)) {
        const Result r = Take(raw);
        const auto status = PQresultStatus(r.get());
        if (status == PGRES_SINGLE_TUPLE && !stopped) {
            const PGresult* t = r.get();
            p.id = std::stoll(Value(t, 0, 0));
            p.terminalId = std::stoi(Value(t, 0, 1));
            p.terminalName = Value(t, 0, 2);
            p.recordIndex = std::stol(Value(t, 0, 3));
            p.cardId = Value(t, 0, 4);
            p.event = Value(t, 0, 5);
            p.punchedAt = Value(t, 0, 6);
            p.raw = Bytes(t, 0, 7);
            p.downloadedAt = Value(t, 0, 8);
            p.host = Value(t, 0, 9);
            if (!row(p)) {
                // The rest is not wanted: the server stops sending it.
                stopped = true;
                if (PGcancel* cancel = PQgetCancel(conn_)) {
                    char buf[256];
                    (void)PQcancel(cancel, buf, sizeof buf);
                    PQfreeCancel(cancel);
                }
            }
        } else if (status != PGRES_TUPLES_OK && status != PGRES_SINGLE_TUPLE && !stopped) {
            ok = Fail(error, OneLineMessage(PQresultErrorMessage(r.get())));
        }
    }
    return ok;
}

bool PgDb::Terminals(std::vector<TerminalSummary>* terminals, std::string* error)
{
    const Result r =
        Take(PQexec(conn_, "SELECT terminal_id, max(terminal_name), count(*),"
                           " count(*) FILTER (WHERE punched_at IS NULL),"
                           " coalesce(to_char(max(punched_at), 'YYYY-MM-DD HH24:MI:SS'), '')"
                           " FROM punch GROUP BY terminal_id ORDER BY terminal_id"));
    if (!Ok(r)) return Fail(error);
    terminals->clear();
    for (int i = 0; i < PQntuples(r.get()); ++i)
        terminals->push_back({std::stoi(Value(r.get(), i, 0)), Value(r.get(), i, 1),
                              std::stoll(Value(r.get(), i, 2)), std::stoll(Value(r.get(), i, 3)),
                              Value(r.get(), i, 4)});
    return true;
}

} // namespace px::archive
