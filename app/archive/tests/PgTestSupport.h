// The private PostgreSQL server that testing/pg_server.py starts for a test command: a fresh
// database for each test, raw queries on it, and the server taken away and brought back.
#pragma once

#include <libpq-fe.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace px::archive::testing {

inline std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

class PgTestDb {
public:
    PgTestDb()
    {
        if (Env("PX_PG_URL").empty()) {
            ADD_FAILURE() << "no server: run this test through testing/pg_server.py";
            return;
        }
        static std::atomic<int> counter = 0;
        name_ = "px_t" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
        if (!Admin("CREATE DATABASE " + name_)) return;
        url_ =
            "postgresql://" + Env("PX_PG_USER") + "@" + Encoded(Env("PX_PG_SOCKET")) + "/" + name_;
    }
    ~PgTestDb()
    {
        if (!url_.empty() && !std::getenv("PX_KEEP_TEST_FILES"))
            Admin("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
    }
    PgTestDb(const PgTestDb&) = delete;
    PgTestDb& operator=(const PgTestDb&) = delete;

    const std::string& url() const { return url_; }

    // The first value of the first row ("" when none); ADD_FAILURE on an error.
    std::string Value(const std::string& sql) const { return Run(url_, sql); }
    long long Count(const std::string& sql) const { return std::atoll(Value(sql).c_str()); }

    // The server taken away and back (pg_ctl stop -m fast / start).
    static bool Stop()
    {
        return std::system((Env("PX_PG_CONTROL") + " stop >/dev/null").c_str()) == 0;
    }
    static bool Start()
    {
        return std::system((Env("PX_PG_CONTROL") + " start >/dev/null").c_str()) == 0;
    }

    static std::string Encoded(const std::string& path)
    {
        std::string out;
        for (char c : path)
            out += c == '/' ? std::string("%2F") : std::string(1, c);
        return out;
    }

private:
    static bool Admin(const std::string& sql)
    {
        Run(Env("PX_PG_URL"), sql);
        return !::testing::Test::HasFailure();
    }
    static std::string Run(const std::string& url, const std::string& sql)
    {
        PGconn* c = PQconnectdb(url.c_str());
        std::string out;
        if (PQstatus(c) != CONNECTION_OK) {
            ADD_FAILURE() << PQerrorMessage(c);
        } else {
            PGresult* r = PQexec(c, sql.c_str());
            const auto s = PQresultStatus(r);
            if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK)
                ADD_FAILURE() << sql << ": " << PQresultErrorMessage(r);
            else if (PQntuples(r) > 0)
                out = PQgetvalue(r, 0, 0);
            PQclear(r);
        }
        PQfinish(c);
        return out;
    }

    std::string name_;
    std::string url_;
};

} // namespace px::archive::testing
