// The scheduled run with the archive on a PostgreSQL server: the same checks as with SQLite, and
// the server stopped in the middle of a run and started again: the run is neither held up nor
// failed, and every record arrives once when the server is back.
#include "PgTestSupport.h"
#include "RunFixture.h"

#include <thread>

using namespace px::archive;
using namespace px::archive::testing;

namespace {

class PgRun : public ArchiveRun {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(pg.url().empty());
        Prepare(pg.url());
    }
    std::string ArchiveUrl() const override { return pg.url(); }
    void ClearArchive() override { pg.Value("DELETE FROM punch; DELETE FROM journal_cursor"); }

    PgTestDb pg;
};

} // namespace

TEST_F(PgRun, RunRecordsAreArchivedOnceEach)
{
    RunRecordsAreArchivedOnce();
}

TEST_F(PgRun, ExportingTheRunsPunchesGivesItsOutputFile)
{
    ExportReproducesTheRunsOutput();
}

TEST_F(PgRun, TheServerStoppedInTheMiddleOfARunThenStarted)
{
    auto sim = h.StartPtySim(5, {"--id", "5", "--records", "80", "--delay", "15", "--quiet"});
    ASSERT_TRUE(sim->ok());
    Directory("5,Gate,,5,19200,0.0.0.0,1001\r\n");
    bool stopped = false;
    // The server goes away once some records have arrived.
    std::thread stopper([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        const auto arrived = [this] {
            return pg.Count("SELECT count(*) FROM pg_tables WHERE tablename = 'punch'") > 0 &&
                   pg.Count("SELECT count(*) FROM punch") >= 10;
        };
        while (std::chrono::steady_clock::now() < deadline && !arrived())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        stopped = PgTestDb::Stop();
    });
    run.TSChkDevice();
    stopper.join();
    ASSERT_TRUE(stopped);
    EXPECT_TRUE(run.LastRunComplete()) << Log();
    EXPECT_EQ(px::testing::Lines(Output()).size(), 80u);
    ASSERT_TRUE(px::waitUntil([&] { return Log().find("Archive behind") != std::string::npos; },
                              std::chrono::seconds(20)));
    ASSERT_TRUE(PgTestDb::Start());
    ASSERT_TRUE(px::waitUntil([&] { return Log().find("Archive caught up") != std::string::npos; },
                              std::chrono::seconds(60)))
        << Log();
    const auto archived = Archived();
    EXPECT_EQ(archived.size(), 80u);
    EXPECT_EQ(archived, BackedUp());
    const std::string log = Log();
    EXPECT_EQ(log.find("Archive behind"), log.rfind("Archive behind")) << "said once: " << log;
    EXPECT_EQ(log.find("Archive caught up"), log.rfind("Archive caught up")) << log;
}
