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

void Quiet(void*, const char*) {}

// A binary integer column (smallint, integer or bigint: 2, 4 or 8 bytes, big-endian).
long long Integer(const PGresult* r, int row, int column)
{
    const auto* p = reinterpret_cast<const unsigned char*>(PQgetvalue(r, row, column));
    const int n = PQgetlength(r, row, column);
    unsigned long long v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | p[i];
    const int bits = 8 * n;
    if (n > 0 && n < 8 && (v >> (bits - 1)) != 0) v |= ~0ULL << bits; // negative
    return static_cast<long long>(v);
}

const char* kLeanColumns = "id, terminal_id, record_index, raw";
const char* kColumns =
    "id, terminal_id, terminal_name, record_index, card_id, event,"
    " to_char(punched_at, 'YYYY-MM-DD HH24:MI:SS'), raw,"
    " to_char(downloaded_at AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'), host";

} // namespace

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
        SchemaSessionOn<PgDb> session(*this);
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

bool PgDb::SendInsert(const Punch& p)
{
    const std::string id = std::to_string(p.terminalId);
    const std::string index = std::to_string(p.recordIndex);
    const std::string name = TextColumn(p.terminalName), card = TextColumn(p.cardId),
                      event = TextColumn(p.event), host = TextColumn(p.host);
    const std::array<const char*, 9> values = {
        id.c_str(),   name.c_str(),           index.c_str(),
        card.c_str(), event.c_str(),          p.punchedAt.empty() ? nullptr : p.punchedAt.c_str(),
        p.raw.data(), p.downloadedAt.c_str(), host.c_str()};
    std::array<int, 9> lengths{};
    std::array<int, 9> formats{};
    lengths[6] = static_cast<int>(p.raw.size());
    formats[6] = 1; // the raw record goes as bytes, NULs and all
    return PQsendQueryPrepared(conn_, "px_insert", 9, values.data(), lengths.data(), formats.data(),
                               0) == 1;
}

// The results of a pipeline up to its sync point; the first failure's message, if any.
bool PgDb::TakePipelineResults(std::string* error)
{
    bool ok = true;
    for (;;) {
        PGresult* raw = PQgetResult(conn_);
        if (!raw) { // the end of one query's results, or of the connection
            if (PQstatus(conn_) == CONNECTION_BAD) return Fail(error);
            continue;
        }
        const Result r = Take(raw);
        const auto status = PQresultStatus(r.get());
        if (status == PGRES_PIPELINE_SYNC) return ok;
        if (ok && status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            ok = false;
            Fail(error, status == PGRES_PIPELINE_ABORTED
                            ? std::string("pipeline aborted")
                            : OneLineMessage(PQresultErrorMessage(r.get())));
        }
        if (PQstatus(conn_) == CONNECTION_BAD) return Fail(error);
    }
}

bool PgDb::Ship(const std::vector<Punch>& punches, const CursorKey& key,
                const JournalCursor& cursor, std::string* error)
{
    if (!Exec("BEGIN", error)) return false;
    // The rows go in a pipeline, a round trip per chunk instead of per row, still in the one
    // transaction with the cursor.
    constexpr std::size_t kChunk = 200;
    bool ok = PQenterPipelineMode(conn_) == 1 || Fail(error);
    for (std::size_t from = 0; ok && from <= punches.size(); from += kChunk) {
        const std::size_t to = std::min(punches.size(), from + kChunk);
        for (std::size_t i = from; ok && i < to; ++i)
            ok = SendInsert(punches[i]) || Fail(error);
        if (ok && to == punches.size()) {
            const std::string segment = std::to_string(cursor.pos.segment);
            const std::string offset = std::to_string(cursor.pos.offset);
            const std::array<const char*, 5> values = {key.host.c_str(), key.folder.c_str(),
                                                       cursor.journal.c_str(), segment.c_str(),
                                                       offset.c_str()};
            ok = PQsendQueryPrepared(conn_, "px_cursor", 5, values.data(), nullptr, nullptr, 0) ==
                     1 ||
                 Fail(error);
        }
        ok = ok && (PQpipelineSync(conn_) == 1 || Fail(error)) && TakePipelineResults(error);
        if (to == punches.size()) break;
    }
    if (PQpipelineStatus(conn_) != PQ_PIPELINE_OFF && PQexitPipelineMode(conn_) != 1 && ok)
        ok = Fail(error);
    if (!ok || !Exec("COMMIT", error)) {
        Exec("ROLLBACK", nullptr);
        return false;
    }
    return true;
}

bool PgDb::Select(const PunchQuery& q, const std::function<bool(const StoredPunch&)>& row,
                  std::string* error)
{
    std::string sql = std::string("DECLARE px_rows NO SCROLL CURSOR FOR SELECT ") +
                      (q.lean ? kLeanColumns : kColumns) + " FROM punch WHERE true";
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
    values.reserve(params.size());
    for (const auto& p : params)
        values.push_back(p.c_str());
    if (!Exec("BEGIN", error)) return false;
    const Result declared = Take(PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()),
                                              nullptr, values.data(), nullptr, nullptr, 0));
    bool ok = Ok(declared) || Fail(error);
    // The rows come in batches, in binary: numbers and bytes as they are stored.
    StoredPunch p;
    for (bool more = ok; more;) {
        const Result r = Take(PQexecParams(conn_, "FETCH 2000 FROM px_rows", 0, nullptr, nullptr,
                                           nullptr, nullptr, 1));
        if (!Ok(r)) {
            ok = Fail(error);
            break;
        }
        const PGresult* t = r.get();
        const int n = PQntuples(t);
        for (int i = 0; i < n && more; ++i) {
            p.id = Integer(t, i, 0);
            p.terminalId = static_cast<int>(Integer(t, i, 1));
            if (q.lean) {
                p.recordIndex = static_cast<long>(Integer(t, i, 2));
                p.raw.assign(PQgetvalue(t, i, 3), static_cast<std::size_t>(PQgetlength(t, i, 3)));
            } else {
                const std::array<std::string*, 8> to = {&p.terminalName, nullptr,      &p.cardId,
                                                        &p.event,        &p.punchedAt, &p.raw,
                                                        &p.downloadedAt, &p.host};
                p.recordIndex = static_cast<long>(Integer(t, i, 3));
                for (int c = 2; c < 10; ++c)
                    if (std::string* field = to[static_cast<std::size_t>(c - 2)])
                        field->assign(PQgetvalue(t, i, c),
                                      static_cast<std::size_t>(PQgetlength(t, i, c)));
            }
            more = row(p);
        }
        if (n == 0) more = false;
    }
    // Stopping early needs nothing more: the cursor ends with the transaction.
    if (!Exec(ok ? "COMMIT" : "ROLLBACK", ok ? error : nullptr)) ok = false;
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
