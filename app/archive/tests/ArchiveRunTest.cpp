// The scheduled run with the archive in its default place, the SQLite file of the program folder.
#include "RunFixture.h"

using namespace px::archive;
using namespace px::archive::testing;

namespace {

class SqliteRun : public ArchiveRun {
protected:
    void SetUp() override { Prepare(""); }
    std::string ArchiveUrl() const override { return ""; }
    void ClearArchive() override
    {
        RawSqlite(DefaultDatabaseOf(h.core->paths().folder))
            .Exec("DELETE FROM punch; DELETE FROM journal_cursor");
    }
};

} // namespace

TEST_F(SqliteRun, RunRecordsAreArchivedOnceEach)
{
    RunRecordsAreArchivedOnce();
    EXPECT_TRUE(std::filesystem::exists(h.core->paths().In("Records/punches.db")));
}

TEST_F(SqliteRun, ExportingTheRunsPunchesGivesItsOutputFile)
{
    ExportReproducesTheRunsOutput();
}

// A lock held on the database for the whole run: the run saves everything as always, the
// records wait in the journal, and arrive once the lock is gone.
TEST_F(SqliteRun, ALockedDatabaseNeverHoldsUpARun)
{
    auto sim = h.StartPtySim(5, {"--id", "5", "--records", "20", "--quiet"});
    ASSERT_TRUE(sim->ok());
    Directory("5,Gate,,5,19200,0.0.0.0,1001\r\n");
    run.TSChkDevice(); // creates the database
    Drain();
    ASSERT_EQ(Archived().size(), 20u);
    RawSqlite other(DefaultDatabaseOf(h.core->paths().folder));
    ASSERT_TRUE(other.Exec("BEGIN EXCLUSIVE"));
    ASSERT_TRUE(sim->command("add 5 15"));
    run.TSChkDevice();
    EXPECT_TRUE(run.LastRunComplete());
    EXPECT_EQ(px::testing::Lines(Output()).size(), 35u);
    ASSERT_TRUE(px::waitUntil([&] { return Log().find("Archive behind") != std::string::npos; },
                              std::chrono::seconds(20)));
    ASSERT_TRUE(other.Exec("COMMIT"));
    ASSERT_TRUE(px::waitUntil([&] { return Log().find("Archive caught up") != std::string::npos; },
                              std::chrono::seconds(30)))
        << Log();
    EXPECT_EQ(Archived(), BackedUp());
    EXPECT_NE(Log().find("database is locked"), std::string::npos);
}

// A manual upload alone, over more records than one batch of durable writes and not a multiple
// of it: every record it takes reaches the archive once, at its own index, as in the backup.
TEST_F(SqliteRun, AManualUploadArchivesEveryRecordItTakes)
{
    auto sim = h.StartPtySim(5, {"--id", "5", "--records", "150", "--quiet"});
    ASSERT_TRUE(sim->ok());
    Directory("5,Gate,,5,19200,0.0.0.0,1001\r\n");
    h.core->linkTimeoutMs = 3000;
    ASSERT_TRUE(h.core->OpenTerminal(1));
    ASSERT_TRUE(px::UploadRecord(h.core->session(), h.core->Records().Upload()));
    ASSERT_EQ(h.core->recordGrid().RecordCount(), 150u);
    h.core->session().link().SetPortOpen(false);
    Drain();
    EXPECT_EQ(Archived(), BackedUp());
    std::set<long> indexes;
    for (const auto& p : All(*Db()))
        indexes.insert(p.recordIndex);
    ASSERT_EQ(indexes.size(), 150u);
    EXPECT_EQ(*indexes.begin(), 0);
    EXPECT_EQ(*indexes.rbegin(), 149);
}
