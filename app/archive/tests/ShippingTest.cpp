// Shipping the journal into SQLite: everything arrives once, also when a shipper starts again
// from an older position or a journal begins anew; shipped segments are dropped; a setting that
// cannot be used, or another process shipping, is reported and costs nothing.
#include "Shipping.h"
#include "Archive.h"
#include "Journal.h"
#include "SqliteDb.h"

#include "ArchiveTestSupport.h"
#include "FileLock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace px::archive;
using px::archive::testing::Folder;
using px::archive::testing::RawSqlite;
using px::archive::testing::Sample;
using Outcome = JournalShipping::Outcome;
using Clock = std::chrono::steady_clock;

namespace {

class Shipping : public ::testing::Test {
protected:
    ShippingConfig Config(std::size_t batch = 1000)
    {
        ShippingConfig c;
        std::string error;
        c.target = ParseArchiveUrl("", DefaultDatabaseOf(dir.path()), &error);
        c.journalFolder = JournalFolderOf(dir.path());
        c.key = OwnerKey(dir.path());
        c.batch = batch;
        return c;
    }
    void Append(long from, long to, int terminal = 1)
    {
        std::string error;
        for (long i = from; i < to; ++i)
            ASSERT_TRUE(writer.Append(Sample(terminal, i), &error)) << error;
    }
    long long Rows()
    {
        return RawSqlite(DefaultDatabaseOf(dir.path())).Count("SELECT count(*) FROM punch");
    }

    Folder dir;
    JournalWriter writer{JournalFolderOf(dir.path()), 2000};
};

} // namespace

TEST_F(Shipping, EveryLineArrivesOnceAndShippedSegmentsGo)
{
    JournalShipping shipping(Config(7));
    EXPECT_EQ(shipping.Step(), Outcome::Idle) << "no journal yet";
    Append(0, 40);
    EXPECT_EQ(shipping.ShipAll(Clock::now() + std::chrono::seconds(30)), Outcome::Idle);
    EXPECT_EQ(shipping.Shipped(), 40);
    EXPECT_EQ(Rows(), 40);
    EXPECT_EQ(JournalReader(JournalFolderOf(dir.path())).Segments().size(), 1u);
    Append(40, 45);
    EXPECT_EQ(shipping.ShipAll(Clock::now() + std::chrono::seconds(30)), Outcome::Idle);
    EXPECT_EQ(Rows(), 45);
    RawSqlite raw(DefaultDatabaseOf(dir.path()));
    EXPECT_EQ(raw.Count("SELECT count(DISTINCT record_index) FROM punch"), 45);
}

TEST_F(Shipping, AShipperStartingAgainTakesItsPlaceFromTheDatabase)
{
    Append(0, 10);
    {
        JournalShipping first(Config(4));
        EXPECT_EQ(first.Step(), Outcome::Shipped);
        EXPECT_EQ(Rows(), 4);
    } // gone, as in a kill after a commit
    JournalShipping second(Config(4));
    EXPECT_EQ(second.ShipAll(Clock::now() + std::chrono::seconds(30)), Outcome::Idle);
    EXPECT_EQ(second.Shipped(), 6);
    EXPECT_EQ(Rows(), 10);
}

TEST_F(Shipping, AJournalBegunAnewIsShippedFromItsStart)
{
    Append(0, 5);
    JournalShipping shipping(Config());
    ASSERT_EQ(shipping.ShipAll(Clock::now() + std::chrono::seconds(30)), Outcome::Idle);
    // Someone removes the journal: the cursor in the database belongs to the old one.
    std::filesystem::remove_all(JournalFolderOf(dir.path()));
    JournalWriter fresh(JournalFolderOf(dir.path()));
    std::string error;
    ASSERT_TRUE(fresh.Append(Sample(2, 0), &error)) << error;
    ASSERT_EQ(shipping.ShipAll(Clock::now() + std::chrono::seconds(30)), Outcome::Idle);
    EXPECT_EQ(Rows(), 6);
}

TEST_F(Shipping, AnotherShipperOfThisJournalMakesItWait)
{
    Append(0, 3);
    JournalShipping shipping(Config());
    {
        const px::FileLock held(JournalFolderOf(dir.path()) + "/ship");
        ASSERT_TRUE(held.Locked());
        EXPECT_EQ(shipping.Step(), Outcome::Busy);
    }
    EXPECT_EQ(shipping.ShipAll(Clock::now() + std::chrono::seconds(30)), Outcome::Idle);
    EXPECT_EQ(Rows(), 3);
}

TEST_F(Shipping, ASettingThatCannotBeUsedFailsWithItsReason)
{
    Append(0, 3);
    ShippingConfig c = Config();
    c.target = ParseArchiveUrl("sqlite:punches", "x", &c.targetError);
    JournalShipping shipping(c);
    EXPECT_EQ(shipping.Step(), Outcome::Failed);
    EXPECT_NE(shipping.Error().find("neither empty, off nor postgresql://"), std::string::npos)
        << shipping.Error();
    EXPECT_EQ(JournalReader(JournalFolderOf(dir.path())).Count({}, nullptr), 3);
}

TEST_F(Shipping, ALockedDatabaseFailsAndTheLinesWait)
{
    Append(0, 3);
    JournalShipping shipping(Config());
    ASSERT_EQ(shipping.ShipAll(Clock::now() + std::chrono::seconds(30)), Outcome::Idle);
    Append(3, 6);
    RawSqlite other(DefaultDatabaseOf(dir.path()));
    ASSERT_TRUE(other.Exec("BEGIN EXCLUSIVE"));
    EXPECT_EQ(shipping.Step(), Outcome::Failed);
    EXPECT_NE(shipping.Error().find("database is locked"), std::string::npos) << shipping.Error();
    ASSERT_TRUE(other.Exec("COMMIT"));
    EXPECT_EQ(shipping.ShipAll(Clock::now() + std::chrono::seconds(30)), Outcome::Idle);
    EXPECT_EQ(Rows(), 6);
}

TEST_F(Shipping, DamagedLinesAreSkippedAndCounted)
{
    Append(0, 2);
    {
        std::ofstream(SegmentPath(JournalFolderOf(dir.path()), 1), std::ios::app)
            << "P1\tnot a journal line\n";
    }
    Append(2, 4);
    JournalShipping shipping(Config());
    EXPECT_EQ(shipping.ShipAll(Clock::now() + std::chrono::seconds(30)), Outcome::Idle);
    EXPECT_EQ(Rows(), 4);
    EXPECT_EQ(shipping.Damaged(), 1);
}
