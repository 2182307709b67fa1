#include "Schema.h"

namespace px::archive {

const std::vector<Migration>& Migrations()
{
    static const std::vector<Migration> steps = {
        {1,
         {
             "CREATE TABLE punch ("
             " id INTEGER PRIMARY KEY,"
             " terminal_id INTEGER NOT NULL CHECK (terminal_id BETWEEN 0 AND 255),"
             " terminal_name TEXT NOT NULL,"
             " record_index INTEGER NOT NULL CHECK (record_index >= 0),"
             " card_id TEXT NOT NULL,"
             " event TEXT NOT NULL,"
             " punched_at TEXT,"
             " raw BLOB NOT NULL,"
             " downloaded_at TEXT NOT NULL,"
             " host TEXT NOT NULL,"
             " UNIQUE (terminal_id, record_index, raw))",
             "CREATE INDEX punch_time ON punch (punched_at)",
             "CREATE INDEX punch_terminal_time ON punch (terminal_id, punched_at)",
             "CREATE TABLE journal_cursor ("
             " host TEXT NOT NULL,"
             " folder TEXT NOT NULL,"
             " journal TEXT NOT NULL,"
             " segment INTEGER NOT NULL,"
             " position INTEGER NOT NULL,"
             " shipped_at TEXT NOT NULL,"
             " PRIMARY KEY (host, folder))",
         },
         {
             "CREATE TABLE punch ("
             " id BIGSERIAL PRIMARY KEY,"
             " terminal_id SMALLINT NOT NULL CHECK (terminal_id BETWEEN 0 AND 255),"
             " terminal_name TEXT NOT NULL,"
             " record_index INTEGER NOT NULL CHECK (record_index >= 0),"
             " card_id TEXT NOT NULL,"
             " event TEXT NOT NULL,"
             " punched_at TIMESTAMP WITHOUT TIME ZONE,"
             " raw BYTEA NOT NULL,"
             " downloaded_at TIMESTAMP WITH TIME ZONE NOT NULL,"
             " host TEXT NOT NULL,"
             " UNIQUE (terminal_id, record_index, raw))",
             "CREATE INDEX punch_time ON punch (punched_at, id)",
             "CREATE INDEX punch_terminal_time ON punch (terminal_id, punched_at)",
             "CREATE TABLE journal_cursor ("
             " host TEXT NOT NULL,"
             " folder TEXT NOT NULL,"
             " journal TEXT NOT NULL,"
             " segment BIGINT NOT NULL,"
             " position BIGINT NOT NULL,"
             " shipped_at TIMESTAMP WITH TIME ZONE NOT NULL,"
             " PRIMARY KEY (host, folder))",
         }},
    };
    return steps;
}

std::string NewerSchemaMessage(int found, int ours)
{
    return "the archive database has schema version " + std::to_string(found) +
           ", newer than this program's " + std::to_string(ours) +
           "; it is left untouched (a newer program writes to it)";
}

bool Migrate(SchemaSession& session, Dialect dialect, const std::vector<Migration>& steps,
             int* found, std::string* error)
{
    const auto version = session.Version(error);
    if (!version) return false;
    *found = *version;
    const int target = steps.empty() ? 0 : steps.back().version;
    if (*version > target) {
        *error = NewerSchemaMessage(*version, target);
        return false;
    }
    if (*version == 0 && !session.Exec("CREATE TABLE schema_version (version INTEGER PRIMARY KEY,"
                                       " applied_at TEXT NOT NULL)",
                                       error))
        return false;
    for (const Migration& step : steps) {
        if (step.version <= *version) continue;
        for (const std::string& sql : dialect == Dialect::Sqlite ? step.sqlite : step.postgres)
            if (!session.Exec(sql, error)) return false;
        const std::string now = dialect == Dialect::Sqlite
                                    ? "strftime('%Y-%m-%dT%H:%M:%fZ', 'now')"
                                    : "to_char(now() AT TIME ZONE 'UTC',"
                                      " 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')";
        if (!session.Exec("INSERT INTO schema_version (version, applied_at) VALUES (" +
                              std::to_string(step.version) + ", " + now + ")",
                          error))
            return false;
    }
    return true;
}

} // namespace px::archive
