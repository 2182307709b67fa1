// The PostgreSQL archive on a real server: the same checks as SQLite, a newer schema refused and
// untouched, two PCs (two program folders) shipping into one database at once, an empty database
// met by two PCs at the same moment, and the connection failures a user can make, each named.
#include "PgDb.h"
#include "ArchiveDb.h"
#include "Shipping.h"

#include "Archive.h"
#include "ArchiveTestSupport.h"
#include "DbChecks.h"
#include "PgTestSupport.h"

#include <gtest/gtest.h>

#include <thread>

using namespace px::archive;
using namespace px::archive::testing;

namespace {

const CursorKey kKey{"pc1", "/srv/px740"};

class Pg : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(pg.url().empty());
        std::string error;
        ASSERT_TRUE(db->Open(&error)) << error;
    }
    std::unique_ptr<ArchiveDb> Connect() const
    {
        std::string error;
        return MakeArchiveDb(*ParseArchiveUrl(pg.url(), "x", &error));
    }

    PgTestDb pg;
    std::unique_ptr<ArchiveDb> db = Connect();
};

} // namespace

TEST_F(Pg, ACreatedDatabaseHasTheSchema)
{
    EXPECT_EQ(db->FoundVersion(), 0);
    EXPECT_EQ(pg.Value("SELECT max(version) FROM schema_version"), "1");
    auto again = Connect();
    std::string error;
    ASSERT_TRUE(again->Open(&error)) << error;
    EXPECT_EQ(again->FoundVersion(), 1);
    EXPECT_EQ(pg.Count("SELECT count(*) FROM schema_version"), 1);
}

TEST_F(Pg, ARecordStoredTwiceIsStoredOnce)
{
    CheckRepeatsAreNoOps(*db, kKey);
}

TEST_F(Pg, TheCursorMovesWithItsRowsAndNeverBack)
{
    CheckCursor(*db, kKey);
}

TEST_F(Pg, EveryByteOfTheRawRecordIsKeptAndTextColumnsAreUtf8)
{
    CheckBytes(*db, kKey);
    EXPECT_EQ(pg.Value("SELECT encode(raw, 'hex') FROM punch"),
              "41303030372c3132e934000d0a2c312c323032362f30332f30352c30383a30313a3032");
}

TEST_F(Pg, QueriesFilterByDateTerminalAndCardAndOrderAsAsked)
{
    CheckQueries(*db, kKey);
}

TEST_F(Pg, ANewerSchemaIsRefusedAndLeftUntouched)
{
    std::string error;
    ASSERT_TRUE(db->Ship({Sample(1, 0)}, kKey, {"j", {1, 1}}, &error)) << error;
    pg.Value("INSERT INTO schema_version VALUES (2, 'later')");
    auto older = Connect();
    EXPECT_FALSE(older->Open(&error));
    EXPECT_NE(error.find("schema version 2, newer than this program's 1"), std::string::npos)
        << error;
    EXPECT_EQ(pg.Count("SELECT count(*) FROM schema_version"), 2);
    EXPECT_EQ(pg.Count("SELECT count(*) FROM punch"), 1);
}

// Two program folders (the same as two PCs) ship overlapping punches at the same moment; an empty
// database is created by whichever comes first, once.
TEST(PgTwoFolders, ShipIntoOneDatabaseAtOnce)
{
    PgTestDb pg;
    ASSERT_FALSE(pg.url().empty());
    Folder a, b;
    // Both polled terminal 1 (the same records); each also has a terminal of its own.
    for (const Folder* f : {&a, &b}) {
        JournalWriter w(JournalFolderOf(f->path()));
        std::string error;
        for (long i = 0; i < 300; ++i) {
            ASSERT_TRUE(w.Append(Sample(1, i), &error)) << error;
            ASSERT_TRUE(w.Append(Sample(f == &a ? 2 : 3, i), &error)) << error;
        }
    }
    const auto ship = [&pg](const Folder& f, JournalShipping::Outcome* outcome, std::string* why) {
        ShippingConfig c;
        c.target = ParseArchiveUrl(pg.url(), "x", &c.targetError);
        c.journalFolder = JournalFolderOf(f.path());
        c.key = OwnerKey(f.path());
        c.batch = 50;
        JournalShipping s(c);
        *outcome = s.ShipAll(std::chrono::steady_clock::now() + std::chrono::seconds(60));
        *why = s.Error();
    };
    JournalShipping::Outcome oa{}, ob{};
    std::string ea, eb;
    std::thread ta(ship, std::cref(a), &oa, &ea), tb(ship, std::cref(b), &ob, &eb);
    ta.join();
    tb.join();
    EXPECT_EQ(oa, JournalShipping::Outcome::Idle) << ea;
    EXPECT_EQ(ob, JournalShipping::Outcome::Idle) << eb;
    EXPECT_EQ(pg.Count("SELECT count(*) FROM punch"), 900);
    EXPECT_EQ(pg.Count("SELECT count(*) FROM punch WHERE terminal_id = 1"), 300);
    EXPECT_EQ(pg.Count("SELECT count(*) FROM (SELECT terminal_id, record_index FROM punch"
                       " GROUP BY 1, 2 HAVING count(*) > 1) d"),
              0);
    EXPECT_EQ(pg.Count("SELECT count(*) FROM journal_cursor"), 2);
    EXPECT_EQ(pg.Count("SELECT count(*) FROM schema_version"), 1);
}

TEST(PgConnection, EveryFailureNamesItsCause)
{
    PgTestDb pg;
    ASSERT_FALSE(pg.url().empty());
    const std::string socket = PgTestDb::Encoded(Env("PX_PG_SOCKET"));
    struct Case {
        std::string url, says;
    } cases[] = {
        {"postgresql://nobody_here@" + socket + "/px_test", "role \"nobody_here\" does not exist"},
        {"postgresql://px@" + socket + "/no_such_db", "database \"no_such_db\" does not exist"},
        {"postgresql://px@no-such-host.invalid/px_test", "could not translate host name"},
        {"postgresql://px@" + socket + ":notaport/px_test", "invalid integer value"},
        {"postgresql://px@%2Fno%2Fsuch%2Ffolder/px_test", "No such file or directory"},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto target = ParseArchiveUrl(c.url, "x", &error);
        ASSERT_TRUE(target) << error;
        auto db = MakeArchiveDb(*target);
        EXPECT_FALSE(db->Open(&error)) << c.url;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.url << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_EQ(error.rfind(c.url, 0), 0u) << "names the URL first: " << error;
    }
}
