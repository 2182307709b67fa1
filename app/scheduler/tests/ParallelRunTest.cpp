// A run that polls its terminals at the same time writes what a sequential run writes: six
// terminals (two on one serial line, four behind device servers of which one never answers and
// one refuses the connection), once with one session and once with the default, and every file
// compared byte for byte with the clock times masked; also with paced lines, where later
// terminals wait with their records for earlier ones to be written.
#include "CoreHarness.h"
#include "Mailer.h"
#include "ScheduledRun.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

using px::testing::CoreHarness;
using px::testing::ReadAll;
using px::testing::SimProcess;
namespace fs = std::filesystem;

namespace {

// Times of day and dates in the event log differ between two runs; nothing else may.
std::string MaskClock(const std::string& text)
{
    static const std::regex date(R"(\d\d/\d\d \d\d:\d\d)");
    static const std::regex time(R"(\b\d\d:\d\d)");
    static const std::regex took(R"(after \d+ ms)"); // the mail client's connect time
    return std::regex_replace(
        std::regex_replace(std::regex_replace(text, date, "MM/DD hh:nn"), time, "hh:nn"), took,
        "after N ms");
}

struct Files {
    std::string output, mail, backup, log;
};

class ParallelRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(h.linkReady) << h.linkError;
        std::string error;
        ASSERT_TRUE(h.core->paths().EnsureFolders(&error)) << error;
        h.core->linkTimeoutMs = 300;
        auto& o = h.core->options();
        o.tsavePath = h.core->paths().RecordsDir();
        o.optFixName = true;
        o.fixName = "out.txt";
        o.mailToChecked = true; // mailing fails (nothing listens): the mail copy stays
        o.mailTo = "ops@example.org";
        mailer.settings.smtpUrl = "smtp://127.0.0.1:9";
        mailer.settings.connectTimeoutS = 2;
        h.core->directory().LoadDeviceInfo(h.home() + "/none.txt");
        h.core->directory().ResetDefaultEntry(1);
    }

    // A directory entry; its line's number is its machine ID.
    void Entry(int com, const std::string& address = "0.0.0.0", int port = 1001)
    {
        auto& d = h.core->directory();
        d.Add();
        auto& e = d.table[static_cast<std::size_t>(d.Lines().back().itemData)];
        e.ComPort = static_cast<std::int16_t>(com);
        e.IPAddr = address;
        e.IPPort = port;
    }

    // Units 1 and 3 share COM5; 2, 4 and 5 are behind device servers of their own, 4 silent;
    // nothing listens for 6. The directory order mixes the links.
    void SixTerminals(const std::vector<std::string>& pace)
    {
        auto args = [&](std::vector<std::string> a) {
            a.insert(a.end(), pace.begin(), pace.end());
            return a;
        };
        line = h.StartPtySim(5, args({"--id", "1,3", "--records", "40", "--quiet"}));
        ASSERT_TRUE(line->ok());
        const int units[3] = {2, 4, 5};
        const int records[3] = {20, 30, 27};
        std::string address[3];
        int port[3] = {0, 0, 0};
        for (int i = 0; i < 3; ++i) {
            servers[i] = h.StartTcpSim(args({"--id", std::to_string(units[i]), "--records",
                                             std::to_string(records[i]), "--quiet"}),
                                       &address[i], &port[i]);
            ASSERT_TRUE(servers[i]->ok());
        }
        ASSERT_TRUE(servers[1]->command("silent on"));
        Entry(5);                                             // 1
        Entry(0, address[0], port[0]);                        // 2
        Entry(5);                                             // 3
        Entry(0, address[1], port[1]);                        // 4, silent
        Entry(0, address[2], port[2]);                        // 5
        Entry(0, CoreHarness::UniqueLoopbackAddress(), 1001); // 6, refused
    }

    Files RunWith(int parallel, const std::string& logName)
    {
        h.core->options().parallel = parallel;
        EXPECT_TRUE(h.core->eventLog().OpenFile(h.core->paths().In("Logfiles/" + logName)));
        px::ScheduledRun run{h.core->ForRun(), mailer};
        run.TSChkDevice();
        EXPECT_FALSE(run.LastRunComplete()); // units 5 and 6 cannot be saved
        Files f;
        const std::string records = h.core->paths().In("Records");
        f.output = ReadAll(records + "/out.txt");
        f.mail = ReadAll(records + "/MailFile/out.txt");
        for (const auto& entry : fs::directory_iterator(records))
            if (entry.path().extension() == ".BAK") f.backup += ReadAll(entry.path().string());
        f.log = MaskClock(ReadAll(h.core->eventLog().Path()));
        return f;
    }

    // Everything a run wrote goes, so that the next run downloads the same records again.
    void Forget()
    {
        for (const auto& entry : fs::recursive_directory_iterator(h.core->paths().In("Records")))
            if (entry.is_regular_file()) fs::remove(entry.path());
    }

    void ExpectSameFiles(const std::vector<std::string>& pace)
    {
        SixTerminals(pace);
        const Files sequential = RunWith(1, "sequential.txt");
        Forget();
        const Files parallel = RunWith(0, "parallel.txt");
        ASSERT_FALSE(sequential.output.empty());
        EXPECT_EQ(parallel.output, sequential.output);
        EXPECT_EQ(parallel.mail, sequential.mail);
        EXPECT_EQ(parallel.backup, sequential.backup);
        EXPECT_EQ(parallel.log, sequential.log);
        // 40 + 20 + 40 + 27 records, the silent and the refused terminal none.
        EXPECT_EQ(std::count(sequential.output.begin(), sequential.output.end(), '\n'), 127);
        EXPECT_NE(sequential.log.find("006-Machine-6"), std::string::npos) << sequential.log;
    }

    CoreHarness h;
    px::Mailer mailer;
    std::unique_ptr<SimProcess> line;
    std::unique_ptr<SimProcess> servers[3];
};

TEST_F(ParallelRun, WritesWhatASequentialRunWrites)
{
    ExpectSameFiles({});
}

// Paced lines: the later terminals finish downloading while the first ones are still written, and
// their records wait in memory for their turn.
TEST_F(ParallelRun, RecordsThatWaitForEarlierTerminalsAreWrittenInTurn)
{
    ExpectSameFiles({"--baud", "38400"});
}

TEST(ParallelSessions, OnePerLinkUpToEightUnlessSet)
{
    EXPECT_EQ(px::ScheduledRun::SessionsFor(0, 0), 1);
    EXPECT_EQ(px::ScheduledRun::SessionsFor(0, 3), 3);
    EXPECT_EQ(px::ScheduledRun::SessionsFor(0, 40), 8);
    EXPECT_EQ(px::ScheduledRun::SessionsFor(1, 40), 1);
    EXPECT_EQ(px::ScheduledRun::SessionsFor(12, 40), 12);
    EXPECT_EQ(px::ScheduledRun::LinkOf(5, "10.0.0.1", 1001), "COM5");
    EXPECT_EQ(px::ScheduledRun::LinkOf(0, "10.0.0.1", 1001), "10.0.0.1:1001");
    EXPECT_EQ(px::ScheduledRun::LinkOf(0, "10.0.0.1", -25536), "10.0.0.1:40000");
    EXPECT_EQ(px::ScheduledRun::LinkOf(0, "0.0.0.0", 1001), "");
}

} // namespace
