// Checks that every database behind ArchiveDb must pass alike, run on SQLite and on PostgreSQL.
#pragma once

#include "ArchiveDb.h"

#include "ArchiveTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace px::archive::testing {

inline std::vector<StoredPunch> All(ArchiveDb& db, const PunchQuery& q = {})
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

// A record stored twice is stored once; the same index with another record is a new punch.
inline void CheckRepeatsAreNoOps(ArchiveDb& db, const CursorKey& key)
{
    std::string error;
    const std::vector<Punch> batch = {Sample(1, 0), Sample(1, 1), Sample(2, 0)};
    ASSERT_TRUE(db.Ship(batch, key, {"j", {1, 100}}, &error)) << error;
    ASSERT_TRUE(db.Ship(batch, key, {"j", {1, 200}}, &error)) << error;
    EXPECT_EQ(All(db).size(), 3u);
    ASSERT_TRUE(db.Ship({Sample(1, 0, "0099")}, key, {"j", {1, 300}}, &error)) << error;
    EXPECT_EQ(All(db).size(), 4u);
}

// The cursor of one owner moves with its rows, never back within a journal, and starts again for
// a new journal; other owners have their own.
inline void CheckCursor(ArchiveDb& db, const CursorKey& key)
{
    std::string error;
    EXPECT_FALSE(db.Cursor(key, &error));
    EXPECT_EQ(error, "");
    ASSERT_TRUE(db.Ship({Sample(1, 0)}, key, {"j1", {2, 500}}, &error)) << error;
    auto c = db.Cursor(key, &error);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->journal, "j1");
    EXPECT_EQ(c->pos, (JournalPos{2, 500}));
    ASSERT_TRUE(db.Ship({Sample(1, 0)}, key, {"j1", {2, 100}}, &error)) << error;
    EXPECT_EQ(db.Cursor(key, &error)->pos, (JournalPos{2, 500}));
    ASSERT_TRUE(db.Ship({}, key, {"j2", {1, 10}}, &error)) << error;
    EXPECT_EQ(db.Cursor(key, &error)->journal, "j2");
    EXPECT_FALSE(db.Cursor({key.host + "x", key.folder}, &error));
    EXPECT_FALSE(db.Cursor({key.host, key.folder + "x"}, &error));
}

// Every byte of the raw record comes back; text columns are UTF-8.
inline void CheckBytes(ArchiveDb& db, const CursorKey& key)
{
    std::string error;
    Punch p = Sample(3, 7,
                     "12\xE9"
                     "4");
    p.raw = std::string("A0007,12\xE9"
                        "4\0\r\n,1,2026/03/05,08:01:02",
                        35);
    p.terminalName = "Caf\xE9";
    p.cardId += std::string("\0", 1);
    ASSERT_TRUE(db.Ship({p}, key, {"j", {1, 1}}, &error)) << error;
    const auto rows = All(db);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].raw, p.raw);
    EXPECT_EQ(rows[0].cardId, "12\xC3\xA9"
                              "4<NUL>");
    EXPECT_EQ(rows[0].terminalName, "Caf\xC3\xA9");
    EXPECT_EQ(rows[0].punchedAt, "2026-03-05 08:01:02");
    EXPECT_EQ(rows[0].downloadedAt, "2026-03-05T07:01:02.123Z");
}

// Date range (inclusive, by the punch's own date), terminal and card filters, both orders and
// paging after a row; punches without a date only without a range.
inline void CheckQueries(ArchiveDb& db, const CursorKey& key)
{
    std::string error;
    ASSERT_TRUE(db.Ship(
        {Sample(2, 1, "0077", "2026-03-05 09:00:00"), Sample(1, 5, "0012", "2026-03-04 23:59:59"),
         Sample(1, 4, "0013", "2026-03-05 00:00:00"), Sample(2, 0, "0012", "2026-03-06 12:00:00"),
         Sample(1, 6, "0014", "2026-03-07 00:00:00"), Sample(1, 7, "0015", "")},
        key, {"j", {1, 1}}, &error))
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
    // What an export reads: the place and the record, nothing else.
    PunchQuery lean;
    lean.lean = true;
    lean.terminal = 2;
    rows = All(db, lean);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].recordIndex, 1);
    EXPECT_EQ(rows[1].raw, Sample(2, 1, "0077", "2026-03-05 09:00:00").raw);
    EXPECT_EQ(rows[1].cardId, "");
    int seen = 0;
    ASSERT_TRUE(db.Select(
        {}, [&](const StoredPunch&) { return ++seen < 2; }, &error))
        << error;
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(All(db).size(), 6u) << "a query stopped early leaves the connection usable";
}

} // namespace px::archive::testing
