// Shared by the archive's tests: a temporary folder, sample punches and records as a terminal
// sends them, and a second, raw SQLite connection for looking at or locking a database.
#pragma once

#include "Punch.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace px::archive::testing {

class Folder {
public:
    Folder()
    {
        char pattern[] = "/tmp/px-archive-test-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~Folder()
    {
        if (std::getenv("PX_KEEP_TEST_FILES")) return;
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The record line a terminal returns for index, card, event and moment.
inline std::string Record(long index, const std::string& card, char event = '1',
                          const std::string& date = "2026/03/05",
                          const std::string& time = "08:01:02")
{
    char head[8];
    std::snprintf(head, sizeof head, "A%04lX,", index);
    return head + card + "," + event + "," + date + "," + time;
}

inline Punch Sample(int terminal, long index, const std::string& card = "0012345678",
                    const std::string& punchedAt = "2026-03-05 08:01:02")
{
    Punch p;
    p.terminalId = terminal;
    p.recordIndex = index;
    p.terminalName = "T" + std::to_string(terminal);
    p.cardId = card;
    p.event = "1";
    p.punchedAt = punchedAt;
    p.downloadedAt = "2026-03-05T07:01:02.123Z";
    p.host = "pc1";
    const std::string date = punchedAt.size() >= 19 ? punchedAt.substr(0, 10) : "2026-13-45";
    p.raw = Record(index, card, '1', date, punchedAt.size() >= 19 ? punchedAt.substr(11) : "x");
    return p;
}

// A connection of its own to an SQLite file.
class RawSqlite {
public:
    explicit RawSqlite(const std::string& path)
    {
        sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    }
    ~RawSqlite() { sqlite3_close_v2(db_); }
    RawSqlite(const RawSqlite&) = delete;
    RawSqlite& operator=(const RawSqlite&) = delete;

    bool Exec(const std::string& sql)
    {
        return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    // The first column of the first row as text; "" when none or on error.
    std::string Value(const std::string& sql)
    {
        sqlite3_stmt* s = nullptr;
        std::string out;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr) == SQLITE_OK &&
            sqlite3_step(s) == SQLITE_ROW) {
            const auto* p = static_cast<const char*>(sqlite3_column_blob(s, 0));
            if (p) out.assign(p, static_cast<std::size_t>(sqlite3_column_bytes(s, 0)));
        }
        sqlite3_finalize(s);
        return out;
    }
    long long Count(const std::string& sql) { return std::atoll(Value(sql).c_str()); }
    sqlite3* handle() { return db_; }

private:
    sqlite3* db_ = nullptr;
};

} // namespace px::archive::testing
