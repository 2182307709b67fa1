// The time scheduler with a driven clock: interval and table decisions, stopping during a run,
// the short tick while a ping runs, the log file's month change, and the time table file.
#include "Scheduler.h"
#include "CoreHarness.h"
#include "OperationGuard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

using px::DateTime;
using px::MakeDateTime;
using px::Scheduler;
using px::testing::CoreHarness;

namespace {

class SchedulerFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(h.linkReady) << h.linkError;
        std::string error;
        ASSERT_TRUE(h.core->paths().EnsureFolders(&error)) << error;
        s.now = [this] { return clock; };
        s.run = [this] {
            ++runs;
            if (duringRun) duringRun();
        };
        h.core->options().intervalSeconds = 60;
    }
    void At(int hour, int minute, int second, int day = 7)
    {
        clock = MakeDateTime(2026, 12, day, hour, minute, second);
    }

    CoreHarness h;
    Scheduler s{h.core->ForScheduler()};
    DateTime clock = MakeDateTime(2026, 12, 7, 10, 0, 0);
    int runs = 0;
    std::function<void()> duringRun;
};

} // namespace

TEST(SchedulerClock, AddSecondsCrossesDaysAndYears)
{
    const auto t = px::AddSeconds(MakeDateTime(2026, 12, 31, 23, 59, 30), 45);
    EXPECT_EQ(px::FormatDate(t, "YYYY/MM/DD HH:NN:SS"), "2027/01/01 00:00:15");
    const auto back = px::AddSeconds(MakeDateTime(2024, 3, 1, 0, 0, 0), -1);
    EXPECT_EQ(px::FormatDate(back, "YYYY/MM/DD HH:NN:SS"), "2024/02/29 23:59:59");
}

TEST_F(SchedulerFixture, IntervalRunsAtOnceThenAtTheNextMinute)
{
    h.core->options().timeModeInterval = true;
    At(10, 0, 30);
    s.StartStop();
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(h.core->state().bTSRunning);
    EXPECT_TRUE(s.TimerEnabled());
    EXPECT_EQ(s.TimerInterval(), Scheduler::kTickMs);
    At(10, 0, 35);
    s.Tick();
    At(10, 0, 59);
    s.Tick();
    EXPECT_EQ(runs, 1);
    At(10, 1, 4);
    s.Tick();
    EXPECT_EQ(runs, 2);
    At(10, 1, 9);
    s.Tick();
    EXPECT_EQ(runs, 2);
}

TEST_F(SchedulerFixture, AnIntervalOfNoMinutesRunsOncePerMinuteNotAtEveryTick)
{
    // As a headless start reads it: nothing but the settings store sets the interval.
    ASSERT_TRUE(h.core->settings().Save("Time schedular", "IntervalTime", "00:00:00"));
    h.core->options() = px::LoadOptions(h.core->settings(), h.core->paths(), "202612.TXT");
    ASSERT_TRUE(h.core->options().timeModeInterval);
    At(10, 0, 30);
    s.StartStop();
    EXPECT_EQ(runs, 1);
    for (int second = 35; second < 60; second += 5) {
        At(10, 0, second);
        s.Tick();
    }
    EXPECT_EQ(runs, 1);
    At(10, 1, 0);
    s.Tick();
    EXPECT_EQ(runs, 2);
    // However the value got there, the run does not follow every tick.
    h.core->options().intervalSeconds = 0;
    At(10, 1, 5);
    s.Tick();
    At(10, 1, 10);
    s.Tick();
    EXPECT_EQ(runs, 2);
}

TEST_F(SchedulerFixture, ALongRunIsFollowedByTheNextAtOnce)
{
    h.core->options().timeModeInterval = true;
    At(10, 0, 0);
    duringRun = [this] { clock = px::AddSeconds(clock, 180); }; // the run takes 3 minutes
    s.StartStop();
    EXPECT_EQ(runs, 1);
    s.Tick(); // the first tick after the run returns
    EXPECT_EQ(runs, 2);
}

TEST_F(SchedulerFixture, TableEntriesFireOncePerMatchingMinute)
{
    h.core->options().timeModeInterval = false;
    s.table[0] = {"XX", "30"};
    s.table[1] = {"07", "XX"};
    s.table[2] = {"08", "15"};
    s.table[3] = {"08", "15"};
    At(7, 10, 0);
    s.StartStop();
    EXPECT_EQ(runs, 0); // "07:XX" never fires
    At(7, 30, 2);
    s.Tick();
    EXPECT_EQ(runs, 1);
    At(7, 30, 40);
    s.Tick();
    EXPECT_EQ(runs, 1); // once in that minute
    At(8, 15, 1);
    s.Tick();
    At(8, 15, 6);
    s.Tick();
    EXPECT_EQ(runs, 2); // two equal rows fire once
    At(8, 30, 0);
    s.Tick();
    EXPECT_EQ(runs, 3); // half past every hour
    At(8, 30, 0, 8);
    s.Tick();
    EXPECT_EQ(runs, 4); // the same time on the next day
}

TEST_F(SchedulerFixture, StopDuringARunIsLoggedAfterTheRunReturns)
{
    h.core->options().timeModeInterval = true;
    std::vector<std::string> order;
    duringRun = [&] {
        s.StartStop(); // the Stop click arrives while the run yields
        EXPECT_TRUE(h.core->session().state().bStopComm);
        EXPECT_TRUE(h.core->state().bTSRunning);
        h.core->eventLog().WriteLog("run ends", false);
    };
    bool stoppedSeen = false;
    s.stateChanged = [&](bool started) {
        if (!started) stoppedSeen = true;
    };
    s.StartStop();
    EXPECT_TRUE(stoppedSeen);
    EXPECT_FALSE(h.core->state().bTSRunning);
    EXPECT_FALSE(s.TimerEnabled());
    const std::string& view = h.core->eventLog().ViewText();
    const auto runEnds = view.find("run ends");
    const auto stopLine = view.find(" User stop Time scheduler");
    ASSERT_NE(runEnds, std::string::npos);
    ASSERT_NE(stopLine, std::string::npos);
    EXPECT_LT(runEnds, stopLine);
}

TEST_F(SchedulerFixture, StopWhileWaitingStopsAtOnce)
{
    h.core->options().timeModeInterval = true;
    s.StartStop();
    ASSERT_TRUE(s.TimerEnabled());
    s.StartStop();
    EXPECT_FALSE(h.core->state().bTSRunning);
    EXPECT_FALSE(s.TimerEnabled());
    EXPECT_EQ(runs, 1);
}

TEST_F(SchedulerFixture, OnceRunsOneRunAndEndsTheProgram)
{
    s.nTSCmdMode = 1;
    int ended = 0;
    s.endProgram = [&] { ++ended; };
    s.StartStop();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(h.core->state().bTSRunning);
}

TEST_F(SchedulerFixture, AWindowOperationHoldingTheLinkDefersRunsAndTheStop)
{
    h.core->options().timeModeInterval = true;
    At(10, 0, 30);
    auto guard = std::make_unique<px::OperationGuard>(*h.core); // a table transfer, say
    s.StartStop();
    // Started, but the run that is due waits for the link.
    EXPECT_TRUE(h.core->state().bTSRunning);
    EXPECT_TRUE(s.TimerEnabled());
    EXPECT_EQ(runs, 0);
    At(10, 0, 35);
    s.Tick();
    EXPECT_EQ(runs, 0);
    guard.reset();
    At(10, 0, 40);
    s.Tick();
    EXPECT_EQ(runs, 1); // the tick after the operation runs what fell due

    // The stop sequence closes the link: it waits for an operation as well.
    guard = std::make_unique<px::OperationGuard>(*h.core);
    s.StartStop();
    EXPECT_TRUE(h.core->state().bTSRunning);
    EXPECT_TRUE(s.TimerEnabled());
    guard.reset();
    s.Tick();
    EXPECT_FALSE(h.core->state().bTSRunning);
    EXPECT_FALSE(s.TimerEnabled());
    EXPECT_EQ(runs, 1);
}

TEST_F(SchedulerFixture, APingInProgressShortensTheTickThenStopsThePing)
{
    h.core->options().timeModeInterval = true;
    s.StartStop();
    h.core->session().state().pingsInProgress = 1;
    s.Tick();
    EXPECT_EQ(s.TimerInterval(), Scheduler::kPingTickMs);
    EXPECT_FALSE(h.core->session().state().bStopPing);
    s.Tick();
    EXPECT_TRUE(h.core->session().state().bStopPing);
    EXPECT_EQ(runs, 1);
    h.core->session().state().pingsInProgress = 0;
}

TEST_F(SchedulerFixture, LogFileMovesToTheNewMonthOnAnyTickAfterMidnight)
{
    auto& log = h.core->eventLog();
    clock = MakeDateTime(2026, 12, 31, 23, 59, 58);
    ASSERT_TRUE(log.OpenMonth(h.core->paths().In("Logfiles"), clock));
    h.core->options().timeModeInterval = true;
    s.StartStop();
    EXPECT_EQ(log.FileName(), "2026-12-log.txt");
    // A run held the timer through the whole 00:00 minute: the next tick still moves on.
    clock = MakeDateTime(2027, 1, 1, 0, 2, 3);
    s.Tick();
    EXPECT_EQ(log.FileName(), "2027-01-log.txt");
    EXPECT_TRUE(std::filesystem::exists(h.core->paths().In("Logfiles/2027-01-log.txt")));
}

TEST_F(SchedulerFixture, TimeTableFileSurvivesJunk)
{
    const std::string file = h.core->paths().In("TsTable.txt");
    std::ofstream(file, std::ios::binary)
        << "08,30\r\nXX,15\r\njunk\r\n7,5\r\n\x01\x02,\xff\r\n9,05";
    ASSERT_TRUE(s.TsTableFile(true));
    EXPECT_EQ(s.table[0].hour + s.table[0].minute, "0830");
    EXPECT_EQ(s.table[1].hour + s.table[1].minute, "XX15");
    EXPECT_EQ(s.table[2].hour + s.table[2].minute, "XXXX");
    EXPECT_EQ(s.table[4].hour + s.table[4].minute, "XXXX");
    EXPECT_EQ(s.table[31].hour + s.table[31].minute, "XXXX");
    s.table[5] = {"23", "59"};
    ASSERT_TRUE(s.TsTableFile(false));
    Scheduler other(h.core->ForScheduler());
    ASSERT_TRUE(other.TsTableFile(true));
    EXPECT_EQ(other.table[5].hour + other.table[5].minute, "2359");
    std::ifstream in(file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 32);
    EXPECT_EQ(text.rfind("08,30\r\nXX,15\r\nXX,XX\r\n", 0), 0u);
    EXPECT_EQ(Scheduler::CellFromValue(-1, 24), "XX");
    EXPECT_EQ(Scheduler::CellFromValue(24, 24), "00");
    EXPECT_EQ(Scheduler::CellFromValue(7, 60), "07");
}
