// The archive as the core uses it: records taken are journaled and shipped by the shipper thread;
// the event log says once that the archive is behind, with the cause, and once that it caught up;
// a record without a valid date, an unwritable journal and a setting that cannot be used are
// logged and cost no record.
#include "Archive.h"
#include "Replies.h"

#include "ArchiveTestSupport.h"
#include "Wait.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace px::archive;
using px::archive::testing::Folder;
using px::archive::testing::RawSqlite;
using px::archive::testing::Record;
namespace fs = std::filesystem;

namespace {

class ArchiveCase : public ::testing::Test {
protected:
    std::unique_ptr<Archive> Make(const std::string& url = "")
    {
        auto a = std::make_unique<Archive>();
        a->log = [this](const std::string& line) { log.push_back(line); };
        a->Configure(url, dir.path());
        return a;
    }
    static void Take(Archive& a, int terminal, long from, long to,
                     const std::string& date = "2026/03/05")
    {
        for (long i = from; i < to; ++i)
            a.Take(terminal, "Gate", i,
                   {px::reply::SplitRecord(Record(i, "00" + std::to_string(1000 + i), '1', date))});
    }
    long long Rows()
    {
        return RawSqlite(DefaultDatabaseOf(dir.path())).Count("SELECT count(*) FROM punch");
    }
    bool CaughtUp(Archive& a, long long rows)
    {
        return px::waitUntil([&] { return a.Status().idle && Rows() == rows; },
                             std::chrono::seconds(20));
    }
    int Lines(const std::string& text) const
    {
        int n = 0;
        for (const auto& l : log)
            n += l.find(text) != std::string::npos;
        return n;
    }

    Folder dir;
    std::vector<std::string> log;
};

} // namespace

TEST_F(ArchiveCase, RecordsTakenReachTheDatabaseQuietly)
{
    auto a = Make();
    Take(*a, 1, 0, 25);
    ASSERT_TRUE(CaughtUp(*a, 25));
    RawSqlite raw(DefaultDatabaseOf(dir.path()));
    EXPECT_EQ(raw.Value("SELECT raw FROM punch WHERE record_index = 3"), Record(3, "001003"));
    EXPECT_EQ(raw.Value("SELECT punched_at FROM punch WHERE record_index = 3"),
              "2026-03-05 08:01:02");
    EXPECT_EQ(raw.Value("SELECT terminal_name || '/' || card_id || '/' || event FROM punch"
                        " WHERE record_index = 3"),
              "Gate/001003/1");
    EXPECT_EQ(raw.Value("SELECT host FROM punch LIMIT 1"), OwnerKey(dir.path()).host);
    EXPECT_TRUE(log.empty()) << log.front();
}

TEST_F(ArchiveCase, TheLogSaysOnceBehindWithTheCauseAndOnceCaughtUp)
{
    auto a = Make();
    Take(*a, 1, 0, 2);
    ASSERT_TRUE(CaughtUp(*a, 2));
    RawSqlite other(DefaultDatabaseOf(dir.path()));
    ASSERT_TRUE(other.Exec("BEGIN EXCLUSIVE"));
    Take(*a, 1, 2, 5);
    ASSERT_TRUE(px::waitUntil([&] { return Lines("behind") > 0; }, std::chrono::seconds(20)));
    Take(*a, 1, 5, 8);
    px::waitFor(std::chrono::milliseconds(3000)); // more failed attempts meanwhile
    EXPECT_EQ(Lines("Archive behind ("), 1);
    EXPECT_EQ(Lines("database is locked"), 1);
    EXPECT_TRUE(fs::exists(JournalFolderOf(dir.path()) + "/behind"));
    ASSERT_TRUE(other.Exec("COMMIT"));
    ASSERT_TRUE(CaughtUp(*a, 8));
    ASSERT_TRUE(px::waitUntil([&] { return Lines("caught up") > 0; }, std::chrono::seconds(5)));
    Take(*a, 1, 8, 9);
    ASSERT_TRUE(CaughtUp(*a, 9));
    px::waitFor(std::chrono::milliseconds(200));
    EXPECT_EQ(Lines("Archive caught up"), 1);
    EXPECT_EQ(log.size(), 2u);
    EXPECT_FALSE(fs::exists(JournalFolderOf(dir.path()) + "/behind"));
}

TEST_F(ArchiveCase, ASettingThatCannotBeUsedKeepsEveryRecordUntilItIsMended)
{
    {
        auto a = Make("sqlite:punches.db");
        Take(*a, 4, 0, 3);
        ASSERT_TRUE(px::waitUntil([&] { return Lines("behind") > 0; }, std::chrono::seconds(10)));
        EXPECT_NE(log.front().find("Archive/URL \"sqlite:punches.db\" is neither"),
                  std::string::npos)
            << log.front();
    }
    EXPECT_EQ(JournalReader(JournalFolderOf(dir.path())).Count({}, nullptr), 3);
    // The next start with the setting mended: the records go in, and the log says so.
    log.clear();
    auto a = Make();
    a->Start();
    ASSERT_TRUE(CaughtUp(*a, 3));
    ASSERT_TRUE(px::waitUntil([&] { return Lines("caught up") > 0; }, std::chrono::seconds(5)));
    EXPECT_EQ(Lines("behind"), 0) << "already said by the run before";
}

TEST_F(ArchiveCase, ARecordWithoutAValidDateIsKeptAndSaidOncePerTerminal)
{
    auto a = Make();
    Take(*a, 1, 0, 3, "2026/02/30");
    Take(*a, 2, 0, 1, "2026/02/31");
    Take(*a, 1, 3, 4);
    ASSERT_TRUE(CaughtUp(*a, 5));
    EXPECT_EQ(Lines("carries no valid date and time (2026/02/30 08:01:02)"), 1);
    EXPECT_EQ(Lines("of terminal 002 carries no valid date"), 1);
    EXPECT_EQ(RawSqlite(DefaultDatabaseOf(dir.path()))
                  .Count("SELECT count(*) FROM punch WHERE punched_at IS NULL"),
              4);
}

TEST_F(ArchiveCase, AJournalThatCannotBeWrittenIsLoggedAndTheDownloadGoesOn)
{
    fs::create_directories(dir / "Records");
    std::ofstream(dir / "Records/Journal") << "in the way";
    {
        auto a = Make();
        Take(*a, 1, 0, 4);
        EXPECT_EQ(a->JournalFailures(), 4);
    }
    EXPECT_EQ(Lines("journal: cannot write record #1 of terminal 001"), 1);
    EXPECT_EQ(Lines("4 records were not journaled"), 1);
    EXPECT_EQ(log.size(), 2u);
}

TEST_F(ArchiveCase, OffJournalsNothing)
{
    auto a = Make("off");
    EXPECT_FALSE(a->Enabled());
    Take(*a, 1, 0, 3);
    EXPECT_FALSE(fs::exists(JournalFolderOf(dir.path())));
    EXPECT_FALSE(fs::exists(DefaultDatabaseOf(dir.path())));
}

TEST_F(ArchiveCase, AProgramThatEndsShipsWhatItTookFirst)
{
    {
        auto a = Make();
        Take(*a, 1, 0, 200);
    }
    EXPECT_EQ(Rows(), 200);
}
