// Ring buffer, Settings text and line-state translations: pure code, tables of cases.
#include "CJComm.h"
#include "CJQueue.h"
#include "CommConstants.h"
#include "LineEvents.h"
#include "SettingsString.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <numeric>
#include <vector>

using namespace serlo;

TEST(CJQueue, BurstLargerThanTheRingKeepsTheFirstBytes)
{
    CJQueue ring(256);
    std::vector<std::uint8_t> burst(300);
    std::iota(burst.begin(), burst.end(), 0);
    EXPECT_EQ(ring.Push(burst.data(), 300), 256);
    EXPECT_EQ(ring.Count(), 256);
    EXPECT_EQ(ring.Free(), 0);
    std::vector<std::uint8_t> out(300);
    EXPECT_EQ(ring.Take(out.data(), 300), 256);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(out[static_cast<std::size_t>(i)], static_cast<std::uint8_t>(i));
    EXPECT_EQ(ring.TakeByte(), 0);
}

TEST(CJQueue, WrapsAroundWithoutLosingOrder)
{
    CJQueue ring(8);
    std::uint8_t next = 0, expect = 0;
    for (int round = 0; round < 50; ++round) {
        std::uint8_t in[5];
        for (auto& b : in)
            b = next++;
        ASSERT_EQ(ring.Push(in, 5), 5);
        std::uint8_t out[5];
        ASSERT_EQ(ring.Take(out, 5), 5);
        for (auto b : out)
            ASSERT_EQ(b, expect++);
    }
    EXPECT_EQ(ring.Count(), 0);
}

TEST(CJQueue, RecreateDiscardsAndBadCapacityGivesAnEmptyRing)
{
    CJQueue ring(16);
    const std::uint8_t data[] = {1, 2, 3};
    ring.Push(data, 3);
    ring.Create(32);
    EXPECT_EQ(ring.Count(), 0);
    EXPECT_EQ(ring.Capacity(), 32);
    ring.Create(0);
    EXPECT_EQ(ring.Push(data, 3), 0);
    ring.Create(-5);
    EXPECT_EQ(ring.Capacity(), 0);
    EXPECT_EQ(ring.TakeByte(), 0);
}

TEST(SettingsString, ParsesFixedPositions)
{
    struct Case {
        const char* text;
        int parity, data, stop;
    } cases[] = {
        {"N,8,1", 0, 8, 1},         {"e,7,2", 2, 7, 2}, {"O,7,1", 1, 7, 1}, {"m,8,1", 3, 8, 1},
        {"S,8,1", 4, 8, 1},         {"N,8,5", 0, 8, 5}, {"N", 0, 0, 0},     {"N;8;2", 0, 8, 2},
        {"NX8Y1trailing", 0, 8, 1}, {"E,x,1", 2, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto f = ParseSettings(c.text);
        ASSERT_TRUE(f.has_value());
        EXPECT_EQ(f->parity, c.parity);
        EXPECT_EQ(f->dataBits, c.data);
        EXPECT_EQ(f->stopCode, c.stop);
    }
    EXPECT_FALSE(ParseSettings("X,8,1"));
    EXPECT_FALSE(ParseSettings(""));
    EXPECT_FALSE(ParseSettings(std::string(100000, 'Z')));
}

TEST(LineEvents, ModemLineChangesBecomeEvents)
{
    EXPECT_EQ(ModemStatusFromTiocm(TIOCM_CTS | TIOCM_CD), MS_CTS_ON | MS_RLSD_ON);
    EXPECT_EQ(ModemStatusFromTiocm(TIOCM_DSR | TIOCM_RI), MS_DSR_ON | MS_RING_ON);
    EXPECT_EQ(ModemEvents(0, MS_CTS_ON), static_cast<std::uint32_t>(EV_CTS));
    EXPECT_EQ(ModemEvents(MS_CTS_ON | MS_DSR_ON, MS_CTS_ON), static_cast<std::uint32_t>(EV_DSR));
    EXPECT_EQ(ModemEvents(0, MS_RLSD_ON), static_cast<std::uint32_t>(EV_RLSD));
    // The ring event marks the end of a ring.
    EXPECT_EQ(ModemEvents(0, MS_RING_ON), 0u);
    EXPECT_EQ(ModemEvents(MS_RING_ON, 0), static_cast<std::uint32_t>(EV_RING));
    EXPECT_EQ(ModemEvents(MS_CTS_ON, MS_CTS_ON), 0u);
}

TEST(LineEvents, GrowingCountersBecomeErrors)
{
    ErrorCounters before;
    ErrorCounters after = before;
    after.frame = 2;
    after.parity = 1;
    auto e = ErrorsFromCounters(before, after);
    EXPECT_EQ(e.errors, static_cast<std::uint32_t>(CE_FRAME | CE_RXPARITY));
    EXPECT_EQ(e.events, static_cast<std::uint32_t>(EV_ERR));

    after = before;
    after.brk = 1;
    e = ErrorsFromCounters(before, after);
    EXPECT_EQ(e.errors, static_cast<std::uint32_t>(CE_BREAK));
    EXPECT_EQ(e.events, static_cast<std::uint32_t>(EV_BREAK));

    after = before;
    after.overrun = 1;
    after.bufOverrun = 3;
    e = ErrorsFromCounters(before, after);
    EXPECT_EQ(e.errors, static_cast<std::uint32_t>(CE_OVERRUN | CE_RXOVER));
    EXPECT_EQ(ErrorsFromCounters(after, after).errors, 0u);
}

TEST(Rs485, DrainWaitIsBoundedByTheLineTime)
{
    EXPECT_EQ(CJComm::Rs485DrainBoundMs(133, 19200), 2 * 84 + 100);
    EXPECT_EQ(CJComm::Rs485DrainBoundMs(1, 115200), 2 * 1 + 100);
    EXPECT_EQ(CJComm::Rs485DrainBoundMs(1000000, 300), 60000); // capped
}
