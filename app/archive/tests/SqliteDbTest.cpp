// The SQLite archive: created with its schema in WAL mode, a record stored twice is stored once,
// the cursor moves with its rows, a newer schema is refused without a byte written, a lock held
// elsewhere fails a write with the cause, and queries filter and order as asked.
#include "SqliteDb.h"
#include "ArchiveDb.h"
#include "Schema.h"

#include "ArchiveTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>

using namespace px::archive;
using px::archive::testing::Folder;
using px::archive::testing::RawSqlite;
using px::archive::testing::Sample;

namespace {

const CursorKey kKey{"pc1", "/srv/px740"};

std::string FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<StoredPunch> All(ArchiveDb& db, PunchQuery q = {})
{
    std::vector<StoredPunch> rows;
    std::string error;
    EXPECT_TRUE(db.Select(
        q,
        [&](const StoredPunch& p) {
            rows.push_back(p);
            return true;
        },
        &error))
        << error;
    return rows;
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
    std::string error;
    const std::vector<Punch> batch = {Sample(1, 0), Sample(1, 1), Sample(2, 0)};
    ASSERT_TRUE(db.Ship(batch, kKey, {"j", {1, 100}}, &error)) << error;
    ASSERT_TRUE(db.Ship(batch, kKey, {"j", {1, 200}}, &error)) << error;
    EXPECT_EQ(All(db).size(), 3u);
    // After an erase the same index holds another record: that is a punch of its own.
    ASSERT_TRUE(db.Ship({Sample(1, 0, "0099")}, kKey, {"j", {1, 300}}, &error)) << error;
    EXPECT_EQ(All(db).size(), 4u);
}

TEST_F(Sqlite, TheCursorMovesWithItsRowsAndNeverBack)
{
    std::string error;
    EXPECT_FALSE(db.Cursor(kKey, &error));
    EXPECT_EQ(error, "");
    ASSERT_TRUE(db.Ship({Sample(1, 0)}, kKey, {"j1", {2, 500}}, &error)) << error;
    auto c = db.Cursor(kKey, &error);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->journal, "j1");
    EXPECT_EQ(c->pos, (JournalPos{2, 500}));
    // A shipper that read an older position does not move the cursor back.
    ASSERT_TRUE(db.Ship({Sample(1, 0)}, kKey, {"j1", {2, 100}}, &error)) << error;
    EXPECT_EQ(db.Cursor(kKey, &error)->pos, (JournalPos{2, 500}));
    // A new journal starts its own count.
    ASSERT_TRUE(db.Ship({}, kKey, {"j2", {1, 10}}, &error)) << error;
    EXPECT_EQ(db.Cursor(kKey, &error)->journal, "j2");
    // Another PC or program folder has a cursor of its own.
    EXPECT_FALSE(db.Cursor({"pc2", "/srv/px740"}, &error));
    EXPECT_FALSE(db.Cursor({"pc1", "/srv/other"}, &error));
}

TEST_F(Sqlite, EveryByteOfTheRawRecordIsKeptAndTextColumnsAreUtf8)
{
    std::string error;
    Punch p = Sample(3, 7,
                     "12\xE9"
                     "4");
    p.raw = std::string("A0007,12\xE9"
                        "4\0\r\n,1,2026/03/05,08:01:02",
                        32);
    p.terminalName = "Caf\xE9";
    ASSERT_TRUE(db.Ship({p}, kKey, {"j", {1, 1}}, &error)) << error;
    const auto rows = All(db);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].raw, p.raw);
    EXPECT_EQ(rows[0].cardId, "12\xC3\xA9"
                              "4");
    EXPECT_EQ(rows[0].terminalName, "Caf\xC3\xA9");
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
    ASSERT_TRUE(other.Exec("COMMIT"));
    EXPECT_FALSE(db.Cursor(kKey, &error));
    EXPECT_TRUE(All(db).empty());
    ASSERT_TRUE(db.Ship({Sample(1, 0)}, kKey, {"j", {1, 10}}, &error)) << error;
    EXPECT_EQ(All(db).size(), 1u);
}

TEST_F(Sqlite, QueriesFilterByDateTerminalAndCardAndOrderAsAsked)
{
    std::string error;
    ASSERT_TRUE(db.Ship(
        {Sample(2, 1, "0077", "2026-03-05 09:00:00"), Sample(1, 5, "0012", "2026-03-04 23:59:59"),
         Sample(1, 4, "0013", "2026-03-05 00:00:00"), Sample(2, 0, "0012", "2026-03-06 12:00:00"),
         Sample(1, 6, "0014", "2026-03-07 00:00:00"), Sample(1, 7, "0015", "")},
        kKey, {"j", {1, 1}}, &error))
        << error;
    PunchQuery q;
    q.from = "2026-03-05";
    q.to = "2026-03-06";
    auto rows = All(db, q);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].terminalId, 1); // export order: terminal, then index
    EXPECT_EQ(rows[1].recordIndex, 0);
    EXPECT_EQ(rows[2].recordIndex, 1);
    q.order = PunchQuery::Order::Time;
    rows = All(db, q);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].punchedAt, "2026-03-05 00:00:00");
    EXPECT_EQ(rows[2].punchedAt, "2026-03-06 12:00:00");
    q.limit = 2;
    rows = All(db, q);
    ASSERT_EQ(rows.size(), 2u);
    q.after = std::make_pair(rows[1].punchedAt, rows[1].id);
    rows = All(db, q);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].punchedAt, "2026-03-06 12:00:00");
    PunchQuery t;
    t.terminal = 1;
    t.card = "001";
    EXPECT_EQ(All(db, t).size(), 4u) << "every card of terminal 1 holds 001, the undated one too";
    t.from = t.to = "2026-03-05";
    EXPECT_EQ(All(db, t).size(), 1u);
    std::vector<TerminalSummary> terminals;
    ASSERT_TRUE(db.Terminals(&terminals, &error)) << error;
    ASSERT_EQ(terminals.size(), 2u);
    EXPECT_EQ(terminals[0].punches, 4);
    EXPECT_EQ(terminals[0].undated, 1);
    EXPECT_EQ(terminals[0].newest, "2026-03-07 00:00:00");
    EXPECT_EQ(terminals[1].name, "T2");
}

TEST_F(Sqlite, AQueryStoppedEarlyEndsCleanly)
{
    std::string error;
    std::vector<Punch> many;
    for (long i = 0; i < 50; ++i)
        many.push_back(Sample(1, i));
    ASSERT_TRUE(db.Ship(many, kKey, {"j", {1, 1}}, &error)) << error;
    int seen = 0;
    ASSERT_TRUE(db.Select(
        {}, [&](const StoredPunch&) { return ++seen < 5; }, &error))
        << error;
    EXPECT_EQ(seen, 5);
    EXPECT_EQ(All(db).size(), 50u);
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
