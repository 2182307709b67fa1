// The scheduled run against simulated terminals: resuming where the last run stopped, links that
// drop at every record position (each record must reach the output exactly once and in order),
// memory erased between runs, unwritable output, the erase by fill ratio, ID recovery and the
// default-port retry.
#include "CoreHarness.h"
#include "DeviceOps.h"
#include "Mailer.h"
#include "OutputNames.h"
#include "ScheduledRun.h"
#include "Scheduler.h"
#include "TestFiles.h"

#include "Wait.h"
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

using px::testing::CoreHarness;
using px::testing::Lines;
using px::testing::LinesOfFiles;
using px::testing::ReadAll;
using px::testing::SimProcess;
namespace fs = std::filesystem;

namespace {

class RunBase : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(h.linkReady) << h.linkError;
        std::string error;
        ASSERT_TRUE(h.core->paths().EnsureFolders(&error)) << error;
        ASSERT_TRUE(h.core->eventLog().OpenFile(h.core->paths().In("Logfiles/test-log.txt")));
        h.core->linkTimeoutMs = 300;
        h.core->session().link().SetVNetTimeout(300);
        auto& o = h.core->options();
        o.tsavePath = h.core->paths().RecordsDir();
        o.optFixName = true;
        o.fixName = "out.txt";
        o.idLenText = "0"; // the standard template: lines stay comparable
        h.core->directory().LoadDeviceInfo(h.home() + "/none.txt");
        h.core->directory().ResetDefaultEntry(1);
    }
    // A directory entry; returns its machine ID.
    int Entry(int com, const std::string& address = "0.0.0.0", int port = 1001)
    {
        auto& d = h.core->directory();
        d.Add();
        const int id = d.Lines().back().itemData;
        auto& e = d.table[static_cast<std::size_t>(id)];
        e.ComPort = static_cast<std::int16_t>(com);
        e.IPAddr = address;
        e.IPPort = port;
        return id;
    }
    std::unique_ptr<SimProcess> Pty(std::vector<std::string> args)
    {
        auto sim = h.StartPtySim(5, std::move(args));
        EXPECT_TRUE(sim->ok());
        return sim;
    }
    std::string Output() const { return h.core->paths().In("Records/out.txt"); }
    std::string Log() const { return ReadAll(h.core->eventLog().Path()); }
    // The record numbers of the output lines, in file order (the sixth field of the raw record
    // is not in the standard output; the card ID identifies the record).
    std::vector<std::string> CardIds() const
    {
        std::vector<std::string> ids;
        for (const auto& l : Lines(Output()))
            ids.push_back(l.substr(4, l.find(',', 4) - 4));
        return ids;
    }

    CoreHarness h;
    px::Mailer mailer;
    px::ScheduledRun run{h.core->ForRun(), mailer};
};

// Every run test with the default number of sessions and with one (a sequential run).
class Run : public RunBase, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override
    {
        RunBase::SetUp();
        h.core->options().parallel = GetParam();
    }
    bool Sequential() const { return GetParam() == 1; }
};

// The card IDs the simulator gives unit 1's records 0..n-1.
std::vector<std::string> ExpectedIds(int n, std::unique_ptr<SimProcess>& sim, CoreHarness& h)
{
    (void)sim;
    std::vector<std::string> ids;
    auto& link = h.core->session().link();
    const bool wasOpen = link.PortOpen();
    if (!wasOpen) {
        link.SetCommPort(5);
        link.SetPortOpen(true);
    }
    link.Polling(1);
    for (int i = 0; i < n; ++i) {
        const std::string r = link.GetRecord(i);
        const auto a = r.find(',');
        const auto b = r.find(',', a + 1);
        ids.push_back(r.substr(a + 1, b - a - 1));
    }
    link.SetPortOpen(false);
    return ids;
}

} // namespace

TEST_P(Run, ResumesWhereTheLastRunStopped)
{
    auto sim = Pty({"--id", "1", "--records", "5"});
    Entry(5);
    run.TSChkDevice();
    EXPECT_TRUE(run.LastRunComplete());
    EXPECT_EQ(Lines(Output()).size(), 5u);
    ASSERT_TRUE(sim->command("add 1 3"));
    run.TSChkDevice();
    EXPECT_EQ(Lines(Output()).size(), 8u);
    EXPECT_NE(Log().find("continue save data from 5 to 8"), std::string::npos);
    run.TSChkDevice();
    EXPECT_NE(Log().find("No new record, record count still at 8"), std::string::npos);
    EXPECT_EQ(Lines(Output()).size(), 8u);
    EXPECT_EQ(CardIds(), ExpectedIds(8, sim, h));
    EXPECT_EQ(LinesOfFiles(h.core->paths().In("Records"), ".BAK").size(), 8u);
}

// A whole run's event log, byte for byte: a terminal that saves its records, one whose memory is
// empty and a serial entry whose port does not open.
TEST_P(Run, TheLogOfARunLineByLine)
{
    auto sim = Pty({"--id", "1", "--records", "3"});
    Entry(5);
    Entry(7); // no such port
    run.now = [] { return px::MakeDateTime(2026, 3, 5, 8, 1, 2); };
    run.TSChkDevice();
    const std::string out = Output();
    const std::string expected = "\r\n03/05 08:01 Start Time scheduler...\r\n"
                                 "     08:01 Detect 001-Machine-1\r\n"
                                 "          001-Machine-1 connected!\r\n"
                                 "          start upload and save data!\r\n"
                                 "          save record count: 3\r\n"
                                 "          save file path: " +
                                 out +
                                 "\r\n"
                                 "          save data OK!\r\n"
                                 "     08:01 Detect 002-Machine-2\r\n"
                                 "          can't open COM:7 (COM7: not in the port map " +
                                 h.home() + "/config/serlo/ports.ini)\r\n";
    EXPECT_EQ(Log(), expected);
    EXPECT_FALSE(run.LastRunComplete());

    ASSERT_TRUE(sim->command("erase 1"));
    ASSERT_TRUE(h.core->directory().SelectId(2));
    h.core->directory().Delete();
    run.TSChkDevice();
    EXPECT_EQ(Log().substr(expected.size()), "\r\n03/05 08:01 Start Time scheduler...\r\n"
                                             "     08:01 Detect 001-Machine-1\r\n"
                                             "          001-Machine-1 connected!\r\n"
                                             "          no record!\r\n");
    EXPECT_TRUE(run.LastRunComplete());
}

// Drops the link at each record position of a short download, then runs again: across the runs
// every record is in the output exactly once and in order.
class LinkDrop : public RunBase,
                 public ::testing::WithParamInterface<std::tuple<std::string, int>> {};

TEST_P(LinkDrop, EveryRecordExactlyOnce)
{
    const auto [kind, position] = GetParam();
    const int records = 5;
    std::unique_ptr<SimProcess> sim;
    std::string address;
    int port = 0;
    if (kind == "tcp") {
        sim = h.StartTcpSim({"--id", "1", "--records", std::to_string(records)}, &address, &port);
        ASSERT_TRUE(sim->ok());
        Entry(0, address, port);
    } else {
        sim = Pty({"--id", "1", "--records", std::to_string(records)});
        Entry(5);
    }
    if (kind == "silent") {
        // D01, V, N (run), N (upload) and the resume reads come before record reads; going
        // silent after them and `position` records stops the download there.
        ASSERT_TRUE(sim->command("silent-after " + std::to_string(4 + position)));
    } else {
        ASSERT_TRUE(sim->command("drop-at-record " + std::to_string(position)));
    }
    run.TSChkDevice();
    const auto partial = Lines(Output());
    if (kind == "tcp") {
        // A reset stream is reconnected at once, so the run may even finish.
        EXPECT_LE(partial.size(), static_cast<std::size_t>(records));
    } else {
        EXPECT_FALSE(run.LastRunComplete());
        EXPECT_EQ(partial.size(), static_cast<std::size_t>(position));
    }

    if (kind == "pty") {
        // The hang-up gave the simulator a new pseudo-terminal.
        const std::string line = sim->waitPrefix("PTY ");
        ASSERT_FALSE(line.empty());
        h.MapPort(5, line.substr(4));
    }
    if (kind == "silent") {
        ASSERT_TRUE(sim->command("silent off"));
    }
    run.TSChkDevice();
    EXPECT_TRUE(run.LastRunComplete()) << Log();
    EXPECT_EQ(CardIds().size(), static_cast<std::size_t>(records));
    if (kind != "tcp") {
        EXPECT_EQ(CardIds(), ExpectedIds(records, sim, h));
    } else {
        // Unit 1's generated card IDs rise with the record index.
        const auto ids = CardIds();
        EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
        EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), ids.size());
    }
}

INSTANTIATE_TEST_SUITE_P(AtEachPosition, LinkDrop,
                         ::testing::Combine(::testing::Values("pty", "tcp", "silent"),
                                            ::testing::Values(0, 1, 2, 3, 4)),
                         [](const auto& info) {
                             return std::get<0>(info.param) + "_at_" +
                                    std::to_string(std::get<1>(info.param));
                         });

TEST_P(Run, AHangUpAtTheRealTimeOutIsStillSavedOnce)
{
    h.core->linkTimeoutMs = 10000; // the program's own value
    h.core->session().link().SetVNetTimeout(10000);
    auto sim = Pty({"--id", "1", "--records", "3"});
    Entry(5);
    ASSERT_TRUE(sim->command("drop-at-record 1"));
    const auto t0 = px::tickCount();
    run.TSChkDevice();
    EXPECT_LT(px::tickCount() - t0, 30000);
    EXPECT_EQ(Lines(Output()).size(), 1u);
    EXPECT_NE(Log().find("COM Port is close!"), std::string::npos);
    h.MapPort(5, sim->waitPrefix("PTY ").substr(4));
    run.TSChkDevice();
    EXPECT_EQ(CardIds(), ExpectedIds(3, sim, h));
}

TEST_P(Run, ErasedAndRefilledMemoryIsSavedAgainFromRecordZero)
{
    auto sim = Pty({"--id", "1", "--records", "4"});
    Entry(5);
    run.TSChkDevice();
    ASSERT_EQ(Lines(Output()).size(), 4u);
    ASSERT_TRUE(sim->command("erase 1"));
    ASSERT_TRUE(sim->command("add 1 2")); // other punches now sit at indices 0 and 1
    run.TSChkDevice();
    EXPECT_EQ(Lines(Output()).size(), 6u);
    auto& store = h.core->recordStore();
    EXPECT_EQ(store.LastCount(), 2);
}

TEST_P(Run, AnUnwritableOutputFileSavesNothing)
{
    auto sim = Pty({"--id", "1", "--records", "3"});
    Entry(5);
    fs::create_directories(Output()); // a folder where the file should be: cannot be opened
    run.TSChkDevice();
    EXPECT_FALSE(run.LastRunComplete());
    const std::string log = Log();
    EXPECT_NE(log.find("can't open file!"), std::string::npos);
    EXPECT_NE(log.find("          save data NG!"), std::string::npos);
    EXPECT_EQ(h.core->recordStore().LastCount(), -1);
    EXPECT_TRUE(LinesOfFiles(h.core->paths().In("Records"), ".BAK").empty());
}

TEST_P(Run, EraseByFillRatioDeletesCountersOnlyWhenTheEraseWorked)
{
    // 1 % of 8184 records: anything above 81 records is erased after a complete download.
    std::ofstream(h.core->paths().In("PX740.ini"), std::ios::binary)
        << "[General]\r\nEraseDBWhileMemUsed=1%\r\n";
    auto sim = Pty({"--id", "1", "--records", "100"});
    Entry(5);
    ASSERT_TRUE(sim->command("refuse E 07"));
    run.TSChkDevice();
    EXPECT_NE(Log().find("can't delete record!"), std::string::npos);
    EXPECT_EQ(h.core->recordStore().LastCount(), 100);
    ASSERT_TRUE(sim->command("refuse off"));
    ASSERT_TRUE(sim->command("add 1 1"));
    run.TSChkDevice();
    EXPECT_NE(Log().find("delete record OK!"), std::string::npos);
    EXPECT_EQ(h.core->recordStore().LastCount(), -1); // the section is gone
    EXPECT_EQ(Lines(Output()).size(), 101u);
}

TEST_P(Run, APunchJustBeforeTheEraseIsSavedNotErased)
{
    std::ofstream(h.core->paths().In("PX740.ini"), std::ios::binary)
        << "[General]\r\nEraseDBWhileMemUsed=1%\r\n";
    auto sim = Pty({"--id", "1", "--records", "90"});
    Entry(5);
    // Count answers: the run's, the upload's, the one after the pass; the punch lands right
    // after that third one, so the check before the erase sees it.
    ASSERT_TRUE(sim->command("grow-after 3 1"));
    run.TSChkDevice();
    EXPECT_EQ(Lines(Output()).size(), 91u);
    EXPECT_NE(Log().find("delete record OK!"), std::string::npos);
}

TEST_P(Run, TwentyPassesAtMost)
{
    auto sim = Pty({"--id", "1", "--records", "2", "--quiet"});
    Entry(5);
    ASSERT_TRUE(sim->command("grow 1")); // every count is stale by one record
    run.TSChkDevice();
    EXPECT_NE(Log().find("save data break out at record #"), std::string::npos);
    EXPECT_FALSE(run.LastRunComplete());
    ASSERT_TRUE(sim->command("grow 0"));
    run.TSChkDevice();
    EXPECT_TRUE(run.LastRunComplete());
    const auto ids = CardIds();
    EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), ids.size());
    EXPECT_EQ(static_cast<long>(ids.size()), h.core->recordStore().LastCount());
}

TEST_P(Run, MachineIdIsRecoveredOnlyWhenAloneOnTheLink)
{
    auto sim = Pty({"--id", "1", "--records", "2"});
    Entry(5);
    ASSERT_TRUE(sim->command("id 1 9"));
    run.TSChkDevice();
    EXPECT_TRUE(run.LastRunComplete()) << Log();
    EXPECT_NE(Log().find("Warning Machine ID Change from 1 to 9"), std::string::npos);
    EXPECT_NE(Log().find("Auto Recovery Machine ID from 9 to 1"), std::string::npos);
    EXPECT_EQ(Lines(Output()).size(), 2u);
    // The directory was left as it was.
    EXPECT_EQ(h.core->directory().table[1].ComPort, 5);
    EXPECT_EQ(h.core->directory().table[9].ID, 0);

    ASSERT_TRUE(sim->command("id 1 9"));
    Entry(5); // a second entry on the same port
    run.TSChkDevice();
    EXPECT_NE(Log().find("Multiple Machine ID use COM5 Can't Auto Recovery ID"), std::string::npos);
    EXPECT_NE(Log().find("001-Machine-1 no echo!(ID:1 COM5)"), std::string::npos);
    EXPECT_FALSE(run.LastRunComplete());
}

TEST_P(Run, DefaultPortIsTriedWhenTheEntrysPortDoesNotOpen)
{
    const std::string address = CoreHarness::UniqueLoopbackAddress();
    auto sim = std::make_unique<SimProcess>(
        std::vector<std::string>{"--tcp", address + ":1001", "--id", "1", "--records", "2"});
    ASSERT_TRUE(sim->ok());
    Entry(0, address, 2345);
    run.TSChkDevice();
    EXPECT_TRUE(run.LastRunComplete()) << Log();
    EXPECT_EQ(Lines(Output()).size(), 2u);
}

TEST_P(Run, EntriesThatCannotBeReachedAreLoggedAndMakeTheRunIncomplete)
{
    auto sim = Pty({"--id", "2", "--records", "1"});
    Entry(0, "0.0.0.0");         // TCP without an address
    const int second = Entry(5); // the reachable one
    ASSERT_EQ(second, 2);
    Entry(7); // a COM port that is not in the port map
    run.TSChkDevice();
    const std::string log = Log();
    EXPECT_NE(log.find("001-Machine-1 is empty!"), std::string::npos);
    EXPECT_NE(log.find("can't open COM:7"), std::string::npos);
    EXPECT_NE(log.find("save data OK!"), std::string::npos);
    EXPECT_FALSE(run.LastRunComplete());
    EXPECT_EQ(Lines(Output()).size(), 1u);
}

TEST_P(Run, AnInvalidTemplateWritesPlainLines)
{
    auto sim = Pty({"--id", "1", "--records", "2"});
    Entry(5);
    const std::string ini = h.core->paths().In("Format.ini");
    std::ofstream(ini, std::ios::binary) << "[Broken]\r\nFormat={UID}{{CID}\r\n";
    h.core->szFormatIni = ini;
    h.core->options().format = "Broken";
    run.TSChkDevice();
    const auto lines = Lines(Output());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].find('\0'), std::string::npos);
    EXPECT_EQ(lines[0].rfind("001,", 0), 0u);
    EXPECT_EQ(lines[0].substr(lines[0].size() - 2), ",1"); // the record number comes last
    EXPECT_NE(Log().find("invalid template"), std::string::npos);
}

TEST_P(Run, AStopDuringAnExchangeIsNotLost)
{
    auto quiet = Pty({"--id", "1", "--records", "1"});
    Entry(5);
    ASSERT_TRUE(quiet->command("silent on")); // every exchange with it waits its time-out
    const std::string address = CoreHarness::UniqueLoopbackAddress();
    auto other = std::make_unique<SimProcess>(
        std::vector<std::string>{"--tcp", address + ":0", "--id", "2", "--records", "1"});
    ASSERT_TRUE(other->ok());
    const int port = std::stoi(other->endpoint().substr(other->endpoint().rfind(':') + 1));
    Entry(0, address, port);
    px::Scheduler scheduler(h.core->ForScheduler());
    scheduler.stopRun = [&] { run.StopSessions(); };
    scheduler.run = [&] { run.TSChkDevice(); };
    // The Stop click arrives while the first poll waits; later exchanges clear bStopComm.
    QTimer::singleShot(100, [&] { scheduler.StartStop(); });
    scheduler.StartStop();
    EXPECT_FALSE(h.core->state().bTSRunning);
    EXPECT_FALSE(run.LastRunComplete());
    EXPECT_NE(Log().find("User stop Time scheduler"), std::string::npos);
    if (Sequential()) {
        EXPECT_EQ(Log().find("Detect 002"), std::string::npos) << Log();
    }
    // Without the stop the quiet terminal would be polled ten times (five attempts, each with
    // its own ID and 0); the stop ends its session's attempts.
    std::size_t polls = 0;
    for (const auto& line : quiet->lines())
        if (line.rfind("RX \\x02D", 0) == 0) ++polls;
    EXPECT_LT(polls, 10u);
}

// Stop pressed while two terminals download: each ends at a record boundary with what it took
// written and counted, and the next run takes exactly the rest.
TEST_P(Run, AStopMidDownloadLosesAndRepeatsNothing)
{
    auto serial = Pty({"--id", "1", "--records", "150", "--baud", "19200", "--quiet"});
    Entry(5);
    const std::string address = CoreHarness::UniqueLoopbackAddress();
    auto tcp = std::make_unique<SimProcess>(std::vector<std::string>{
        "--tcp", address + ":0", "--id", "2", "--records", "150", "--baud", "19200", "--quiet"});
    ASSERT_TRUE(tcp->ok());
    Entry(0, address, std::stoi(tcp->endpoint().substr(tcp->endpoint().rfind(':') + 1)));
    h.core->linkTimeoutMs = 2000; // paced answers on a busy machine are not time-outs
    px::Scheduler scheduler(h.core->ForScheduler());
    scheduler.stopRun = [&] { run.StopSessions(); };
    scheduler.run = [&] { run.TSChkDevice(); };
    QTimer::singleShot(1500, [&] { scheduler.StartStop(); });
    scheduler.StartStop();
    EXPECT_FALSE(run.LastRunComplete());
    std::map<std::string, std::size_t> taken; // lines per terminal
    for (const auto& line : Lines(Output()))
        ++taken[line.substr(0, 3)];
    // The stop met the first terminal mid-download; with sessions side by side, the second too.
    EXPECT_GT(taken["001"], 0u);
    EXPECT_LT(taken["001"], 150u);
    if (!Sequential()) {
        EXPECT_GT(taken["002"], 0u);
        EXPECT_LT(taken["002"], 150u);
    }

    scheduler.StartStop(); // started again, it runs at once, to the end
    EXPECT_TRUE(run.LastRunComplete()) << Log();
    scheduler.StartStop();
    const auto lines = Lines(Output());
    EXPECT_EQ(lines.size(), 300u);
    EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()).size(), lines.size());
}

// Card IDs with NUL and LF bytes: every output line stays one line and shows them, the record is
// logged once, and the counters keep the exact text, so the next run resumes instead of fetching
// everything again.
TEST_P(Run, RecordsWithNulAndLineFeedBytesAreSavedOnceAndResume)
{
    const std::string file = h.home() + "/records.txt";
    std::ofstream(file, std::ios::binary) << "00000\\x0000001,0,2026/01/05,08:00:00\n"
                                             "0000000002,1,2026/01/05,08:01:00\n"
                                             "0000000003,0,2026/01/05,08:02:00\n"
                                             "00000\\n00004,1,2026/01/05,08:03:00\n";
    auto sim = Pty({"--id", "1", "--records-file", file});
    Entry(5);
    run.TSChkDevice();
    EXPECT_TRUE(run.LastRunComplete()) << Log();
    const std::string text = ReadAll(Output());
    EXPECT_EQ(text.find('\0'), std::string::npos);
    auto lines = Lines(Output());
    ASSERT_EQ(lines.size(), 4u) << text;
    EXPECT_NE(lines[0].find("00000<NUL>00001"), std::string::npos) << lines[0];
    EXPECT_NE(lines[3].find("00000<LF>00004"), std::string::npos) << lines[3];
    for (const auto& bak : LinesOfFiles(h.core->paths().In("Records"), ".BAK"))
        EXPECT_EQ(bak.find('\0'), std::string::npos);
    EXPECT_EQ(LinesOfFiles(h.core->paths().In("Records"), ".BAK").size(), 4u);
    const auto logged = [this] {
        const std::string log = Log();
        std::size_t n = 0;
        for (auto at = log.find("holds NUL, CR or LF"); at != std::string::npos;
             at = log.find("holds NUL, CR or LF", at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(logged(), 2u);

    run.TSChkDevice();
    EXPECT_NE(Log().find("No new record, record count still at 4"), std::string::npos) << Log();
    EXPECT_EQ(Lines(Output()).size(), 4u);
    ASSERT_TRUE(sim->command("add 1 2"));
    run.TSChkDevice();
    EXPECT_NE(Log().find("continue save data from 4 to 6"), std::string::npos) << Log();
    lines = Lines(Output());
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()).size(), 6u);
    EXPECT_EQ(logged(), 2u);
}

// The counter file turns read-only in the middle of a download: the terminal stops with the cause
// instead of reporting success, and once it is writable again every record is there exactly once.
TEST_P(Run, ACounterFileThatTurnsReadOnlyStopsTheTerminalWithItsCause)
{
    // Paced, so that the writer takes the records one at a time.
    auto sim = Pty({"--id", "1", "--records", "5", "--baud", "2400"});
    Entry(5);
    auto& store = h.core->recordStore();
    store.OnChange = [&](const std::string& key) {
        if (key == "LastRecord") // record 1 is counted
            fs::permissions(store.FilePath, fs::perms::owner_read | fs::perms::group_read);
    };
    run.TSChkDevice();
    EXPECT_FALSE(run.LastRunComplete());
    const std::string log = Log();
    EXPECT_NE(log.find("save data NG!(" + store.FilePath + ": "), std::string::npos) << log;
    EXPECT_NE(log.find("Record counters - " + store.FilePath), std::string::npos) << log;
    EXPECT_EQ(log.find("save data OK!"), std::string::npos) << log;
    EXPECT_EQ(Lines(Output()).size(), 3u); // the third line was written, its counter was not
    EXPECT_EQ(store.LastCount(), 2);

    store.OnChange = nullptr;
    fs::permissions(store.FilePath, fs::perms::owner_read | fs::perms::owner_write);
    run.TSChkDevice();
    EXPECT_TRUE(run.LastRunComplete()) << Log();
    EXPECT_EQ(CardIds(), ExpectedIds(5, sim, h));
    EXPECT_EQ(LinesOfFiles(h.core->paths().In("Records"), ".BAK").size(), 5u);
}

// The marks of a download cannot be cleared after its last record: the terminal is reported as
// not saved, as for any counter write that fails, and the next run neither loses nor repeats a
// line.
TEST_P(Run, MarksThatCannotBeClearedStopTheTerminalLikeACounter)
{
    auto sim = Pty({"--id", "1", "--records", "3", "--baud", "2400"});
    Entry(5);
    auto& store = h.core->recordStore();
    store.OnChange = [&](const std::string& key) {
        if (key == "LastCount" && store.LastCount() == 3)
            fs::permissions(store.FilePath, fs::perms::owner_read | fs::perms::group_read);
    };
    run.TSChkDevice();
    store.OnChange = nullptr;
    EXPECT_FALSE(run.LastRunComplete());
    const std::string log = Log();
    EXPECT_NE(log.find("save data NG!(" + store.FilePath + ": "), std::string::npos) << log;
    EXPECT_EQ(log.find("save data OK!"), std::string::npos) << log;
    EXPECT_EQ(Lines(Output()).size(), 3u);

    fs::permissions(store.FilePath, fs::perms::owner_read | fs::perms::owner_write);
    run.TSChkDevice();
    EXPECT_TRUE(run.LastRunComplete()) << Log();
    EXPECT_NE(Log().find("No new record, record count still at 3"), std::string::npos) << Log();
    EXPECT_EQ(CardIds(), ExpectedIds(3, sim, h));
}

// A run that starts on the last evening of a month and ends in the next: each line goes to the
// file of the month it was written in.
TEST_P(Run, ARunAcrossTheMonthsEndLogsIntoBothMonths)
{
    auto sim = Pty({"--id", "1", "--records", "3"});
    Entry(5);
    auto clock = px::MakeDateTime(2026, 1, 31, 23, 59, 50);
    ASSERT_TRUE(h.core->eventLog().OpenMonth(h.core->paths().In("Logfiles"), clock));
    run.now = [&clock] {
        const auto t = clock;
        clock = px::AddSeconds(clock, 4);
        return t;
    };
    run.TSChkDevice();
    EXPECT_TRUE(run.LastRunComplete());
    const std::string january = ReadAll(h.core->paths().In("Logfiles/2026-01-log.txt"));
    const std::string february = ReadAll(h.core->paths().In("Logfiles/2026-02-log.txt"));
    EXPECT_NE(january.find("01/31 23:59 Start Time scheduler..."), std::string::npos) << january;
    EXPECT_EQ(january.find("save data OK!"), std::string::npos) << january;
    EXPECT_NE(february.find("save data OK!"), std::string::npos) << february;
    EXPECT_EQ(h.core->eventLog().FileName(), "2026-02-log.txt");
}

// The monthly backup becomes unwritable during a download: the output line stays the record of
// truth, so the download goes on, and the backup's failure is logged once with its cause.
TEST_P(Run, ABackupThatCannotBeWrittenIsLoggedWithItsCause)
{
    // Paced, so that the writer takes the records one at a time.
    auto sim = Pty({"--id", "1", "--records", "4", "--baud", "2400"});
    Entry(5);
    auto& store = h.core->recordStore();
    store.OnChange = [&](const std::string& key) {
        if (key != "FirstRecord") return;
        const std::string backup = h.core->backupWriter().Path();
        fs::remove(backup);
        fs::create_directory(backup); // appending to it fails from now on
    };
    run.TSChkDevice();
    store.OnChange = nullptr;
    EXPECT_TRUE(run.LastRunComplete()) << Log();
    const std::string log = Log();
    EXPECT_NE(log.find("can't write backup file!("), std::string::npos) << log;
    EXPECT_NE(log.find("3 lines not written to the backup file"), std::string::npos) << log;
    EXPECT_NE(log.find("save data OK!"), std::string::npos) << log;
    EXPECT_EQ(CardIds(), ExpectedIds(4, sim, h));
    EXPECT_EQ(store.LastCount(), 4);
}

INSTANTIATE_TEST_SUITE_P(Sessions, Run, ::testing::Values(0, 1), [](const auto& info) {
    return info.param == 0 ? std::string("default") : std::string("sequential");
});
