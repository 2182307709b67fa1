// Where the punch archive lives, from the setting Archive/URL: empty for the SQLite file in the
// program folder, "off", or a PostgreSQL URL (postgresql://user@host:port/dbname). A password
// never comes from the settings store: libpq reads ~/.pgpass and its environment.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace px::archive {

struct ArchiveTarget {
    enum class Kind { Off, Sqlite, Postgres };
    Kind kind = Kind::Off;
    std::string sqlitePath; // Sqlite
    std::string conninfo;   // Postgres: the URL as libpq takes it
    std::string shown;      // for messages and logs: the file, or the URL (never a password)
};

// nullopt with *error saying why when the setting cannot be used.
std::optional<ArchiveTarget>
ParseArchiveUrl(std::string_view setting, const std::string& defaultSqlitePath, std::string* error);

} // namespace px::archive
