// The record pipeline: event log, record counters, writers and names, and the record upload from
// a simulated terminal into the grid and the backup file.
#include "CoreHarness.h"
#include "DeviceOps.h"
#include "EventLog.h"
#include "FileAppend.h"
#include "Frame.h"
#include "Identify.h"
#include "Ini.h"
#include "ManualSave.h"
#include "ManualUpload.h"
#include "OutputNames.h"
#include "RecordCommands.h"
#include "RecordLines.h"
#include "RecordOutput.h"
#include "RecordStore.h"
#include "RecordUpload.h"
#include "Saver.h"
#include "TestFiles.h"

#include <QTimer>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

using px::testing::CoreHarness;
using px::testing::Lines;
using px::testing::LinesOfFiles;
using px::testing::ReadAll;
using px::testing::SimProcess;
namespace fs = std::filesystem;

namespace {

std::string Sum(const std::string& text)
{
    return text + px::frame::Checksum(text);
}

} // namespace

TEST(EventLog, SilentLinesGoToTheFileOnlyAndOrderIsKept)
{
    CoreHarness h;
    fs::create_directories(h.home() + "/logs");
    px::EventLog log;
    std::string shown;
    log.viewText = [&](const std::string& t) { shown = t; };
    ASSERT_TRUE(log.OpenFile(h.home() + "/logs/2026-12-log.txt"));
    EXPECT_EQ(log.FileName(), "2026-12-log.txt");
    EXPECT_TRUE(log.WriteLog("first", false));
    EXPECT_TRUE(log.WriteLog("quiet", true));
    EXPECT_TRUE(log.WriteLog("second", false));
    EXPECT_EQ(ReadAll(log.Path()), "first\r\nquiet\r\nsecond\r\n");
    EXPECT_EQ(shown, "first\r\nsecond\r\n");
    px::EventLog noFile;
    EXPECT_FALSE(noFile.WriteLog("lost", false));
    EXPECT_EQ(noFile.ViewText(), "lost\r\n"); // the view is still updated
}

TEST(EventLog, ViewIsTrimmedToItsLastThird)
{
    px::EventLog log;
    log.MaxView = 5120;
    std::size_t before = 0;
    int i = 0;
    // Lines of 11 characters and CR LF: the view passes 5120 at the 394th line.
    while (log.ViewText().size() >= before) {
        before = log.ViewText().size();
        log.WriteLog("line " + std::to_string(100000 + i++), false);
        ASSERT_LT(i, 1000);
    }
    const std::string& view = log.ViewText();
    EXPECT_GT(before + 13, 5120u);
    EXPECT_LE(view.size(), 5120u / 3 + 13);
    EXPECT_GE(view.size(), 5120u / 3 - 13);
    EXPECT_EQ(view.rfind("\r\n", 0), 0u); // starts at a line break
    EXPECT_EQ(view.substr(view.size() - 13), "line " + std::to_string(100000 + i - 1) + "\r\n");
    px::EventLog off;
    off.MaxView = 100; // below 101: never trimmed
    for (int i = 0; i < 50; ++i)
        off.WriteLog("0123456789", false);
    EXPECT_EQ(off.ViewText().size(), 50u * 12);
}

TEST(RecordStore, CountersAndTheEmptyConvention)
{
    CoreHarness h;
    fs::create_directories(h.home() + "/rec");
    px::RecordStore store;
    store.FilePath = h.home() + "/rec/PX740.INI";
    store.MachineID = 25;
    EXPECT_EQ(store.GetRecordName(), "Machine-25");
    EXPECT_EQ(store.LastCount(), -1);
    ASSERT_TRUE(store.SetLastCount(-1));
    EXPECT_NE(ReadAll(store.FilePath).find("LastCount=\r\n"), std::string::npos);
    EXPECT_EQ(store.LastCount(), -1);
    ASSERT_TRUE(store.SetLastCount(0));
    EXPECT_EQ(store.LastCount(), 0);
    store.SetFields("LastCount", "abc");
    EXPECT_EQ(store.LastCount(), -1);
    store.SetLastCount(7);
    store.SetFirstRecord("A0000,1,0,2026/01/05,08:00:00");
    px::RecordStore same = store; // another terminal with the same ID shares the section
    EXPECT_EQ(same.LastCount(), 7);
    ASSERT_TRUE(store.Delete());
    EXPECT_EQ(same.LastCount(), -1);
    EXPECT_EQ(same.FirstRecord(), "");

    // Progress is one write: the record text and the count always agree.
    ASSERT_TRUE(store.SaveProgress(0, "A0000,r0"));
    EXPECT_EQ(store.FirstRecord(), "A0000,r0");
    EXPECT_EQ(store.LastCount(), 1);
    ASSERT_TRUE(store.SaveProgress(4, "A0004,r4"));
    EXPECT_EQ(store.LastRecord(), "A0004,r4");
    EXPECT_EQ(store.LastCount(), 5);
    EXPECT_EQ(store.FirstRecord(), "A0000,r0");

    std::vector<long> errors;
    px::RecordStore broken;
    broken.FilePath = h.home() + "/no/such/folder/PX740.INI";
    broken.OnError = [&](long n, const std::string&) { errors.push_back(n); };
    EXPECT_FALSE(broken.SetLastCount(3));
    EXPECT_EQ(broken.ErrorNo(), 9);
    EXPECT_FALSE(broken.SaveProgress(3, "x"));
    // A counter file that cannot be read is never replaced by one holding only this terminal.
    px::RecordStore unreadable;
    unreadable.FilePath = h.home() + "/rec";
    EXPECT_FALSE(unreadable.SaveProgress(0, "x"));
    EXPECT_TRUE(fs::is_directory(unreadable.FilePath));
    EXPECT_EQ(errors, (std::vector<long>{9, 9}));
    EXPECT_FALSE(px::ini::Document::tryLoad(h.home() + "/rec").has_value());
    EXPECT_TRUE(px::ini::Document::tryLoad(h.home() + "/missing.ini").has_value());
}

// Whatever bytes a terminal's record holds, the counters give it back exactly, so the next
// run's resume check matches; counter files of earlier versions read as they always did.
TEST(RecordStore, AnyRecordTextRoundTripsAndOldFilesStillRead)
{
    CoreHarness h;
    px::RecordStore store;
    store.FilePath = h.home() + "/PX740.INI";
    store.MachineID = 3;
    using namespace std::string_literals;
    const std::string records[] = {
        "A0000,12\0"
        "34,0,2026/01/05,08:00:00"s,
        "A0001,12\n34,0,2026/01/05,08:00:00",
        "A0002,12\r34,0,2026/01/05,08:00:00",
        "A0003,\"quoted\"",
        "\"A0004\"",
        " A0005 ",
        "%41",
        "A%0A",
        "'A'",
        "",
        "A" + std::string(700, '7'),
        "A\xff\x01\x7f=;[x]",
    };
    long index = 1;
    for (const auto& r : records) {
        ASSERT_TRUE(store.SaveProgress(index, r));
        EXPECT_EQ(store.LastRecord(), r) << index;
        EXPECT_EQ(store.LastCount(), index + 1);
        ASSERT_TRUE(store.SetFirstRecord(r));
        EXPECT_EQ(store.FirstRecord(), r) << index;
        ++index;
    }
    // Nothing in the file breaks its lines.
    const std::string text = ReadAll(store.FilePath);
    EXPECT_EQ(text.find('\0'), std::string::npos);
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
        EXPECT_EQ(text[at - 1], '\r');
    // A plain record is written as it stands, as earlier versions did.
    ASSERT_TRUE(store.SaveProgress(0, "A0000,0000012345,0,2026/01/05,08:00:00"));
    EXPECT_NE(
        ReadAll(store.FilePath).find("FirstRecord=A0000,0000012345,0,2026/01/05,08:00:00\r\n"),
        std::string::npos);

    // A file an earlier version wrote.
    std::ofstream(store.FilePath, std::ios::binary)
        << "[Machine-3]\r\nFirstRecord=A0000,0000012345,0,2026/01/05,08:00:00\r\n"
           "LastRecord=A0041,0000099999,3,2026/01/05,08:41:00\r\nLastCount=42\r\n";
    EXPECT_EQ(store.FirstRecord(), "A0000,0000012345,0,2026/01/05,08:00:00");
    EXPECT_EQ(store.LastRecord(), "A0041,0000099999,3,2026/01/05,08:41:00");
    EXPECT_EQ(store.LastCount(), 42);
    // Counts no terminal holds read as no count.
    ASSERT_TRUE(store.SetFields("LastCount", "99999999999"));
    EXPECT_EQ(store.LastCount(), -1);
}

// A written line stays one line: NUL, CR and LF are shown, not written.
TEST(Saver, LineBreakBytesAreShownNotWritten)
{
    CoreHarness h;
    const std::string file = h.home() + "/out.txt";
    px::Saver writer;
    ASSERT_TRUE(writer.OpenFile(file));
    using namespace std::string_literals;
    ASSERT_TRUE(writer.WriteFile("a\0b\rc\nd"s));
    ASSERT_TRUE(writer.WriteFile("plain"));
    EXPECT_EQ(ReadAll(file), "a<NUL>b<CR>c<LF>d\r\nplain\r\n");
}

TEST(Saver, AFailedWriteLeavesNoPartialLine)
{
    CoreHarness h;
    const std::string file = h.home() + "/out.txt";
    px::Saver writer;
    ASSERT_TRUE(writer.OpenFile(file));
    EXPECT_TRUE(writer.Enable());
    ASSERT_TRUE(writer.WriteFile(std::string(98, 'a')));
    EXPECT_EQ(writer.FileSize(), 100);
    // A file-size limit makes the next write stop short, as a full disk would.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 130;
    setrlimit(RLIMIT_FSIZE, &small);
    const bool ok = writer.WriteFile(std::string(50, 'b'));
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(ok);
    EXPECT_NE(writer.ErrorNo(), 0);
    EXPECT_FALSE(writer.Error().empty());
    EXPECT_EQ(writer.FileSize(), 100);
    EXPECT_TRUE(writer.WriteFile("c"));
    EXPECT_EQ(ReadAll(file), std::string(98, 'a') + "\r\nc\r\n");
    EXPECT_FALSE(writer.OpenFile("  "));
    EXPECT_FALSE(writer.OpenFile(h.home() + "/missing/folder/x.txt"));
    EXPECT_TRUE(writer.Enable()); // once opened, the writer stays enabled on its last path
}

TEST(OutputNames, FixedAndDatedNames)
{
    CoreHarness h;
    px::Options o;
    const auto now = px::MakeDateTime(2026, 3, 5, 8, 1, 2);
    o.optFixName = false;
    o.dateName = "YYYY-MM-DD";
    o.subName = "TXT";
    EXPECT_EQ(px::OutputFileName(o, now), "2026-03-05.TXT");
    o.dateName = "YYYY/MM/DD";
    EXPECT_EQ(px::OutputFileName(o, now), "20260305.TXT");
    o.optFixName = true;
    o.fixName = "Att{Date,'YYYYMM'}.txt";
    EXPECT_EQ(px::OutputFileName(o, now), "Att202603.txt");
    o.fixName = "a:b?c<d>e|f\"g*h.txt";
    EXPECT_EQ(px::OutputFileName(o, now), "abcdefgh.txt");
    o.fixName = "PX740Rec.txt";
    EXPECT_EQ(px::OutputFileName(o, now), "PX740Rec.txt");
    EXPECT_EQ(px::BackupFilePath(h.core->paths(), now),
              h.core->paths().folder + "/Records/202603.BAK");
    EXPECT_EQ(px::MailFilePath(h.core->paths(), "x.txt"),
              h.core->paths().folder + "/Records/MailFile/x.txt");
    // A folder typed without its final separator still gets one.
    EXPECT_EQ(px::JoinPath("/data/out", "f.txt"), "/data/out/f.txt");
    EXPECT_EQ(px::JoinPath("/data/out/", "f.txt"), "/data/out/f.txt");
}

TEST(OutputNames, OptionBoxFilters)
{
    EXPECT_FALSE(px::AcceptFixNameKey(':'));
    EXPECT_TRUE(px::AcceptFixNameKey('.'));
    EXPECT_FALSE(px::AcceptSubNameKey('.'));
    EXPECT_TRUE(px::AcceptDigitalKey('9', "99"));
    EXPECT_FALSE(px::AcceptDigitalKey('0', "100"));
    EXPECT_FALSE(px::AcceptDigitalKey('a', "1a"));
    int n = 0;
    EXPECT_EQ(px::DigitalChanged("08", &n), "8");
    EXPECT_EQ(n, 8);
    EXPECT_EQ(px::DigitalLeft(""), "14");
    EXPECT_EQ(px::DigitalLeft("150"), "99");
}

TEST(Header, OnlyIntoAnEmptyFile)
{
    CoreHarness h;
    const std::string ini = h.home() + "/Format.ini";
    std::ofstream(ini, std::ios::binary)
        << "[CSV]\r\nFormat={UID};{CID}\r\nHeader=TRUE\r\n[Custom]\r\nHeader=\\tID\\\\No\r\n";
    px::fmt::FmtData f;
    ASSERT_TRUE(f.LoadTemplate("{UID};{CID}"));
    px::Saver w;
    ASSERT_TRUE(w.OpenFile(h.home() + "/csv.txt"));
    ASSERT_TRUE(px::WriteHeaderIfEmpty(w, ini, "CSV", f));
    w.WriteFile("001;5");
    ASSERT_TRUE(px::WriteHeaderIfEmpty(w, ini, "CSV", f));
    EXPECT_EQ(ReadAll(w.Path()), "UID;CID\r\n001;5\r\n");
    EXPECT_EQ(px::HeaderFor("\\tID\\\\No", f), "\tID\\No");
    EXPECT_EQ(px::HeaderFor("false", f), "");
}

TEST(RecordLines, FieldsAndAcceptance)
{
    using px::RecordUpload;
    const std::string line30 = "A001F,12,1,2026/03/05,08:01:02";
    ASSERT_EQ(line30.size(), 30u);
    EXPECT_EQ(RecordUpload::RecordField(line30, 0), "001F");
    EXPECT_EQ(RecordUpload::RecordField(line30, 1), "12");
    EXPECT_EQ(RecordUpload::RecordField(line30, 2), "1");
    EXPECT_EQ(RecordUpload::RecordField(line30, 3), "2026/03/05");
    EXPECT_EQ(RecordUpload::RecordField(line30, 4), "08:01:02");
    EXPECT_EQ(RecordUpload::RecordField(line30, 5), "");
    const std::string line29 = "A001F,1,1,2026/03/05,08:01:02";
    EXPECT_EQ(RecordUpload::RecordField(line29, 1), "");
    EXPECT_EQ(RecordUpload::FormatRecordLine("A0000,0012345678,1,2026/03/05,08:01:02",
                                             std::string(1, '\0'), true, 3, 4),
              std::string("A0000\0"
                          "1234\0"
                          "1\0"
                          "2026/03/05\0"
                          "08:01:02",
                          32));
    EXPECT_EQ(RecordUpload::FormatRecordLine("short", ";", false, 0, 0), "");
}

namespace {

class Upload : public ::testing::Test {
protected:
    void Start(std::vector<std::string> args)
    {
        ASSERT_TRUE(h.linkReady) << h.linkError;
        std::string error;
        ASSERT_TRUE(h.core->paths().EnsureFolders(&error)) << error;
        sim = h.StartPtySim(5, args);
        ASSERT_TRUE(sim->ok());
        h.core->session().link().SetCommPort(5);
        h.core->session().link().SetVNetTimeout(500);
        h.core->session().link().SetPortOpen(true);
        ASSERT_TRUE(px::PollingID(h.core->session(), h.core->directory(), 1));
    }
    px::RecordUpload& up() { return h.core->session().records(); }
    CoreHarness h;
    std::unique_ptr<SimProcess> sim;
};

} // namespace

TEST_F(Upload, RecordsLandInTheGridAndTheBackupByteForByte)
{
    Start({"--id", "1", "--records", "5000", "--quiet"});
    ASSERT_TRUE(px::UploadRecord(h.core->session(), h.core->Records().Upload()));
    auto& grid = h.core->recordGrid();
    ASSERT_EQ(grid.RecordCount(), 5000u);
    EXPECT_EQ(grid.rows[31][0], "32"); // index 0x001F is record 32
    const auto backup = LinesOfFiles(h.core->paths().In("Records"), ".BAK");
    ASSERT_EQ(backup.size(), 5000u);
    for (int i : {0, 1, 31, 2500, 4999}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(backup[static_cast<std::size_t>(i)],
                  "001," + h.core->session().link().GetRecord(i));
    }
    EXPECT_EQ(h.view.countLabel, "05000 / 05000");

    // A manual save through a Format.ini type with its header.
    const std::string ini = h.core->paths().In("Format.ini");
    std::ofstream(ini, std::ios::binary)
        << "[Semi]\r\nFormat={UID};{CID,'&12D'};{RecordNo}\r\nHeader=TRUE\r\n";
    h.core->szFormatIni = ini;
    h.core->options().format = "Semi";
    h.core->options().nIDLen = 0;
    const std::string out = h.home() + "/manual.txt";
    ASSERT_TRUE(px::SaveRecord(h.core->session(), h.core->Records(), out));
    const auto saved = Lines(out);
    ASSERT_EQ(saved.size(), 5001u);
    EXPECT_EQ(saved[0], "UID;CID;RECORDNO");
    EXPECT_EQ(saved[1], "001;" + std::string(2, '0') + grid.rows[0][1] + ";1");
    EXPECT_EQ(saved[5000].substr(saved[5000].rfind(';')), ";5000");
}

TEST_F(Upload, ContinuesAfterTheRowsAlreadyThereAndStopsOnRequest)
{
    Start({"--id", "1", "--records", "10"});
    ASSERT_TRUE(px::UploadRecord(h.core->session(), h.core->Records().Upload()));
    EXPECT_EQ(h.core->recordGrid().RecordCount(), 10u);
    sim->clearLines();
    ASSERT_TRUE(px::UploadRecord(
        h.core->session(),
        h.core->Records().Upload())); // 10 in the grid, 10 in the terminal: nothing is read
    ASSERT_TRUE(sim->command("add 1 40"));
    ASSERT_TRUE(sim->command("delay 20"));
    int seen = 0;
    h.core->recordGrid().changed = [&] {
        if (++seen == 5) h.core->session().state().bStopUpload = true;
    };
    EXPECT_TRUE(px::UploadRecord(h.core->session(), h.core->Records().Upload()));
    h.core->recordGrid().changed = nullptr;
    EXPECT_EQ(h.core->recordGrid().RecordCount(), 15u);
    EXPECT_EQ(h.core->recordGrid().rows[10][0], "11");
    EXPECT_FALSE(h.core->session().state().bStopUpload);
}

// The backup becomes unwritable during a manual upload: the grid and the terminal still hold
// every record, so the upload goes on, and the lost lines are reported once with their cause.
TEST_F(Upload, ABackupThatCannotBeWrittenIsLoggedWithItsCause)
{
    Start({"--id", "1", "--records", "5"});
    ASSERT_TRUE(h.core->eventLog().OpenFile(h.core->paths().In("Logfiles/test-log.txt")));
    int seen = 0;
    h.core->recordGrid().changed = [&] {
        if (++seen != 2) return;
        const std::string backup = h.core->backupWriter().Path();
        fs::remove(backup);
        fs::create_directory(backup); // appending to it fails from now on
    };
    EXPECT_TRUE(px::UploadRecord(h.core->session(), h.core->Records().Upload()));
    h.core->recordGrid().changed = nullptr;
    EXPECT_EQ(h.core->recordGrid().RecordCount(), 5u);
    const std::string log = ReadAll(h.core->eventLog().Path());
    EXPECT_NE(log.find("can't write backup file!("), std::string::npos) << log;
    EXPECT_EQ(log.find("can't write backup file!(", log.find("can't write backup file!(") + 1),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("3 lines not written to the backup file"), std::string::npos) << log;
}

TEST_F(Upload, ARecordLineIsAcceptedOnlyForTheIndexAskedFor)
{
    Start({"--id", "1", "--records", "3"});
    const std::string other = Sum("A0002,0012345678,1,2026/03/05,08:01:02");
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(sim->command("reply-once \\x02" + other + "\\r"));
    bool ok = true;
    std::string line;
    up().ReadRecord(1, ok, line);
    EXPECT_FALSE(ok);
    EXPECT_EQ(line, "");
    up().ReadRecord(1, ok, line);
    EXPECT_TRUE(ok);
    EXPECT_EQ(line.substr(0, 6), "A0001,");
}

TEST_F(Upload, CardIdFilterFromFormatIni)
{
    Start({"--id", "1", "--records", "2"});
    const std::string ini = h.core->paths().In("Format.ini");
    std::ofstream(ini, std::ios::binary)
        << "[General]\r\nCardIDFilterEnabled=TRUE\r\nCardIDStart=3\r\nCardIDLength=4\r\n";
    auto filter = px::ReadCardIdFilter(ini);
    EXPECT_TRUE(filter.on);
    EXPECT_EQ(filter.Apply("0012345678"), "1234");
    std::ofstream(ini, std::ios::binary)
        << "[General]\r\nCardIDFilterEnabled=TRUE\r\nCardIDStart=3\r\nCardIDLength=0\r\n";
    filter = px::ReadCardIdFilter(ini);
    EXPECT_FALSE(filter.on);
    EXPECT_EQ(filter.Apply("0012345678"), "0012345678");
}

TEST_F(Upload, StoredCountOfTwoComparesRecordZeroOnly)
{
    Start({"--id", "1", "--records", "5"});
    auto& store = h.core->recordStore();
    store.FilePath = h.core->paths().In("Records/PX740.INI");
    store.MachineID = 1;
    bool ok = false;
    std::string r0;
    up().ReadRecord(0, ok, r0);
    ASSERT_TRUE(ok);
    store.SetFirstRecord(r0);
    store.SetLastRecord("not what the terminal holds");
    store.SetLastCount(2);
    EXPECT_TRUE(up().MatchStoredRecords(store.Counters(), ok));
    EXPECT_TRUE(ok);
    store.SetLastCount(3);
    EXPECT_FALSE(up().MatchStoredRecords(store.Counters(), ok)); // now record 2 is compared too
    store.SetFirstRecord("changed");
    store.SetLastCount(2);
    EXPECT_FALSE(up().MatchStoredRecords(store.Counters(), ok));
    store.SetLastCount(0);
    EXPECT_FALSE(up().MatchStoredRecords(store.Counters(), ok));
}

TEST_F(Upload, ManualSaveOfABackupFileNeverUploadsMore)
{
    Start({"--id", "1", "--records", "3"});
    auto& grid = h.core->recordGrid();
    grid.Append({"1", "12345", "1", "2026/03/05", "08:01:02"});
    h.core->options().nIDLen = 8;
    ASSERT_TRUE(px::SaveRecord(h.core->session(), h.core->Records(), h.home() + "/copy.bak"));
    EXPECT_EQ(Lines(h.home() + "/copy.bak"),
              std::vector<std::string>{"001,00012345,1,2026/03/05,08:01:02"});
    EXPECT_EQ(grid.RecordCount(), 1u); // no further records were fetched

    grid.Clear();
    grid.Append({"1", "12345", "1", "2026/03/05", "08:01:02"});
    h.core->options().nIDLen = 3;
    ASSERT_TRUE(px::SaveRecord(h.core->session(), h.core->Records(), h.home() + "/short.txt"));
    EXPECT_EQ(Lines(h.home() + "/short.txt")[0], "001,345,1,2026/03/05,08:01:02");
    EXPECT_EQ(grid.RecordCount(), 3u); // the terminal had more: they were uploaded and saved
    EXPECT_EQ(Lines(h.home() + "/short.txt").size(), 3u);
}
