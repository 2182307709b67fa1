// The SQLite archive: created with its schema in WAL mode, a record stored twice is stored once,
// the cursor moves with its rows, a newer schema is refused without a byte written, a lock held
// elsewhere fails a write with the cause, and queries filter and order as asked.
#include "SqliteDb.h"
#include "ArchiveDb.h"
#include "Schema.h"

#include "ArchiveTestSupport.h"
#include "DbChecks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>

using namespace px::archive;
using namespace px::archive::testing;

namespace {

const CursorKey kKey{"pc1", "/srv/px740"};

std::string FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class Sqlite : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(db.Open(&error)) << error;
    }
    Folder dir;
    std::string path = dir / "Records/punches.db";
    SqliteDb db{path};
};

} // namespace

TEST_F(Sqlite, ACreatedDatabaseHasTheSchemaInWalMode)
{
    EXPECT_EQ(db.FoundVersion(), 0);
    RawSqlite raw(path);
    EXPECT_EQ(raw.Value("PRAGMA journal_mode"), "wal");
    EXPECT_EQ(raw.Value("SELECT max(version) FROM schema_version"), "1");
    EXPECT_EQ(raw.Count("SELECT count(*) FROM punch"), 0);
    SqliteDb again(path);
    std::string error;
    ASSERT_TRUE(again.Open(&error)) << error;
    EXPECT_EQ(again.FoundVersion(), 1);
    EXPECT_EQ(raw.Count("SELECT count(*) FROM schema_version"), 1) << "no step runs twice";
}

TEST_F(Sqlite, ARecordStoredTwiceIsStoredOnce)
{
    CheckRepeatsAreNoOps(db, kKey);
}

TEST_F(Sqlite, TheCursorMovesWithItsRowsAndNeverBack)
{
    CheckCursor(db, kKey);
}

TEST_F(Sqlite, EveryByteOfTheRawRecordIsKeptAndTextColumnsAreUtf8)
{
    CheckBytes(db, kKey);
    EXPECT_EQ(TextColumn(std::string("a\0b\rc\nd", 7)), "a<NUL>b<CR>c<LF>d");
}

TEST_F(Sqlite, ANewerSchemaIsRefusedAndLeftUntouched)
{
    {
        RawSqlite raw(path);
        ASSERT_TRUE(raw.Exec("INSERT INTO schema_version VALUES (2, 'later')"));
        ASSERT_TRUE(raw.Exec("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    SqliteDb older(path);
    const std::string before = FileBytes(path);
    std::string error;
    EXPECT_FALSE(older.Open(&error));
    EXPECT_NE(error.find("schema version 2, newer than this program's 1"), std::string::npos)
        << error;
    EXPECT_EQ(FileBytes(path), before);
}

TEST_F(Sqlite, ALockHeldElsewhereFailsAWriteWithTheCauseAndNothingHalfDone)
{
    RawSqlite other(path);
    ASSERT_TRUE(other.Exec("BEGIN EXCLUSIVE"));
    std::string error;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(db.Ship({Sample(1, 0)}, kKey, {"j", {1, 10}}, &error));
    EXPECT_NE(error.find("database is locked"), std::string::npos) << error;
    EXPECT_GE(std::chrono::steady_clock::now() - t0,
              std::chrono::milliseconds(SqliteDb::kBusyMs / 2));
    // A reader (an export) still gets in and reads.
    SqliteDb reader(path);
    ASSERT_TRUE(reader.Open(&error)) << error;
    EXPECT_TRUE(All(reader).empty());
    ASSERT_TRUE(other.Exec("COMMIT"));
    EXPECT_FALSE(db.Cursor(kKey, &error));
    EXPECT_TRUE(All(db).empty());
    ASSERT_TRUE(db.Ship({Sample(1, 0)}, kKey, {"j", {1, 10}}, &error)) << error;
    EXPECT_EQ(All(db).size(), 1u);
}

TEST_F(Sqlite, QueriesFilterByDateTerminalAndCardAndOrderAsAsked)
{
    CheckQueries(db, kKey);
}

// Steps are applied in order, each recorded, and one that fails leaves the version as it was.
TEST(SchemaSteps, ForwardStepsOnARealDatabase)
{
    Folder dir;
    RawSqlite raw(dir / "m.db");
    class Session : public SchemaSession {
    public:
        explicit Session(RawSqlite& db) : db_(db) {}
        bool Exec(const std::string& sql, std::string* error) override
        {
            if (db_.Exec(sql)) return true;
            *error = sqlite3_errmsg(db_.handle());
            return false;
        }
        std::optional<int> Version(std::string*) override
        {
            if (db_.Count("SELECT count(*) FROM sqlite_master WHERE name = 'schema_version'") == 0)
                return 0;
            return static_cast<int>(db_.Count("SELECT max(version) FROM schema_version"));
        }

    private:
        RawSqlite& db_;
    } session(raw);
    std::vector<Migration> steps = {{1, {"CREATE TABLE a (x)"}, {}},
                                    {2, {"ALTER TABLE a ADD COLUMN y"}, {}}};
    int found = -1;
    std::string error;
    ASSERT_TRUE(raw.Exec("BEGIN"));
    ASSERT_TRUE(Migrate(session, Dialect::Sqlite, {steps[0]}, &found, &error)) << error;
    ASSERT_TRUE(raw.Exec("COMMIT"));
    EXPECT_EQ(found, 0);
    ASSERT_TRUE(raw.Exec("BEGIN"));
    ASSERT_TRUE(Migrate(session, Dialect::Sqlite, steps, &found, &error)) << error;
    ASSERT_TRUE(raw.Exec("COMMIT"));
    EXPECT_EQ(found, 1);
    EXPECT_EQ(raw.Count("SELECT max(version) FROM schema_version"), 2);
    EXPECT_TRUE(raw.Exec("INSERT INTO a (x, y) VALUES (1, 2)"));
    steps.push_back({3, {"CREATE TABLE b (z)", "THIS IS NOT SQL"}, {}});
    ASSERT_TRUE(raw.Exec("BEGIN"));
    EXPECT_FALSE(Migrate(session, Dialect::Sqlite, steps, &found, &error));
    ASSERT_TRUE(raw.Exec("ROLLBACK"));
    EXPECT_EQ(raw.Count("SELECT max(version) FROM schema_version"), 2);
    EXPECT_EQ(raw.Count("SELECT count(*) FROM sqlite_master WHERE name = 'b'"), 0);
    EXPECT_FALSE(Migrate(session, Dialect::Sqlite, {steps[0]}, &found, &error));
    EXPECT_NE(error.find("newer than this program's 1"), std::string::npos) << error;
}
