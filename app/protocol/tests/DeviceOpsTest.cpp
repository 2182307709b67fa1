// Device operations against simulated terminals: clock, record count, polls and identification,
// the directory ties, registers and table transfer, and opening entries as the double-click does.
#include "DeviceOps.h"
#include "Connect.h"
#include "CoreHarness.h"
#include "Frame.h"
#include "Identify.h"
#include "TableTransfer.h"
#include "TimeTables.h"
#include "VbText.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using px::DeviceOps;
using px::testing::CoreHarness;
using px::testing::SimProcess;

namespace {

std::string Sum(const std::string& text)
{
    return text + px::frame::Checksum(text);
}

int CountPrefix(const SimProcess& sim, const std::string& prefix)
{
    int n = 0;
    for (const auto& l : sim.lines())
        if (l.rfind(prefix, 0) == 0) ++n;
    return n;
}

class Device : public ::testing::Test {
protected:
    void Open(std::vector<std::string> args = {"--id", "1"})
    {
        ASSERT_TRUE(h.linkReady) << h.linkError;
        sim = h.StartPtySim(5, args);
        ASSERT_TRUE(sim->ok());
        link().SetCommPort(5);
        link().SetVNetTimeout(500);
        link().SetPortOpen(true);
        ASSERT_TRUE(link().PortOpen());
    }
    px::SerloClient& link() { return h.core->session().link(); }
    DeviceOps& dev() { return h.core->session().device(); }
    px::DeviceDirectory& dir() { return h.core->directory(); }

    CoreHarness h;
    std::unique_ptr<SimProcess> sim;
};

} // namespace

TEST_F(Device, ClockReplyNeedsFifteenCharacters)
{
    Open();
    ASSERT_TRUE(sim->command("reply-once \\x02"
                             "A20031231235959\\r"));
    px::Stamp t;
    ASSERT_TRUE(dev().GetPXTime(&t));
    EXPECT_EQ(t.year, 2003);
    EXPECT_EQ(t.month, 12);
    EXPECT_EQ(t.day, 31);
    EXPECT_EQ(t.hour, 23);
    EXPECT_EQ(t.minute, 59);
    EXPECT_EQ(t.second, 59);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(sim->command("reply-once \\x02"
                                 "A2003123123595\\r"));
    EXPECT_FALSE(dev().GetPXTime(&t));
    ASSERT_TRUE(sim->command("silent off"));
    EXPECT_EQ(CountPrefix(*sim, "RX \\x02T"), 4);
}

TEST_F(Device, ClockIsSetWithSundayAsDayOne)
{
    Open();
    px::Stamp t{2003, 12, 31, 23, 59, 59};
    EXPECT_EQ(t.Weekday(), 4);                                  // a Wednesday
    EXPECT_EQ((px::Stamp{2026, 12, 6, 0, 0, 0}.Weekday()), 1);  // Sunday
    EXPECT_EQ((px::Stamp{2026, 12, 12, 0, 0, 0}.Weekday()), 7); // Saturday
    ASSERT_TRUE(dev().SetPXTime(t));
    EXPECT_FALSE(sim->waitPrefix("RX \\x02S200312312359594\\x0D").empty());
    px::Stamp back;
    ASSERT_TRUE(dev().GetPXTime(&back));
    EXPECT_EQ(back.year, 2003);
}

TEST_F(Device, RecordCountReplies)
{
    Open({"--id", "1", "--records", "500"});
    EXPECT_EQ(dev().GetPXRecordCount(), 500);
    ASSERT_TRUE(sim->command("reply-once \\x02" + Sum("AFFFF") + "\\r"));
    EXPECT_EQ(dev().GetPXRecordCount(), 65535);
    ASSERT_TRUE(sim->command("reply-once \\x02" + Sum("A12") + "\\r"));
    EXPECT_EQ(dev().GetPXRecordCount(), 500); // the short reply was retried
    ASSERT_TRUE(sim->command("silent off"));  // every earlier log line is in once this answers
    EXPECT_EQ(CountPrefix(*sim, "RX \\x02N"), 4);
    link().SetPortOpen(false);
    EXPECT_EQ(dev().GetPXRecordCount(), -1);
}

TEST_F(Device, PollReadsIdModelVersionAndCapacity)
{
    Open({"--id", "10", "--version", "V1.7", "--ext", "(JIS-II)"});
    const std::string reply = dev().PollingPX74X(10);
    EXPECT_EQ(reply.substr(0, 3), "A0A");
    EXPECT_FALSE(sim->waitPrefix("RX \\x02"
                                 "D0A\\x0D")
                     .empty());
    EXPECT_EQ(dev().nPolledID, 10);
    EXPECT_EQ(dev().sModel.rfind("PX74", 0), 0u);
    EXPECT_EQ(dev().sVersion, "V1.7");
    EXPECT_EQ(dev().sExt, "(JIS-II)");
    EXPECT_EQ(dev().lMaxCount, 4092);
    EXPECT_NE(h.core->MonitorText().find("     MaxCount=4092, EraseDBWhileMemUsed=80%(3273)"),
              std::string::npos);
    EXPECT_EQ(dev().PollingPX74X(11), ""); // nobody answers as 11
    EXPECT_EQ(dev().nPolledID, -1);
}

TEST(DeviceTables, CapacityAndEraseRatio)
{
    EXPECT_EQ(DeviceOps::CapacityFor("V1.6", "", 0), 8188);
    EXPECT_EQ(DeviceOps::CapacityFor("V1.5", "(JIS-II)", 0), 4094);
    EXPECT_EQ(DeviceOps::CapacityFor("V1.7", "(JIS-II)", 0), 4092);
    EXPECT_EQ(DeviceOps::CapacityFor("V1.7", "", 0), 8184);
    EXPECT_EQ(DeviceOps::CapacityFor("V1.8R", "", 0), 8168);
    EXPECT_EQ(DeviceOps::CapacityFor("V1.65", "", 1234), 1234);
    EXPECT_DOUBLE_EQ(DeviceOps::EraseRatioFrom("95%"), 0.8);
    EXPECT_DOUBLE_EQ(DeviceOps::EraseRatioFrom("50"), 0.8);
    EXPECT_DOUBLE_EQ(DeviceOps::EraseRatioFrom("0"), 0.0);
    EXPECT_DOUBLE_EQ(DeviceOps::EraseRatioFrom("7.5%abc"), 0.075);
    EXPECT_DOUBLE_EQ(DeviceOps::EraseRatioFrom(" 30% "), 0.3);
    EXPECT_DOUBLE_EQ(DeviceOps::EraseRatioFrom("-5%"), 0.0);
}

TEST(DeviceInfoFile, CreatedWithItsThreeLines)
{
    CoreHarness h;
    std::filesystem::create_directories(h.core->paths().folder);
    ASSERT_TRUE(h.core->session().device().ReadPX74XInfo(h.core->paths().In("PX740.ini")));
    std::ifstream in(h.core->paths().In("PX740.ini"), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.rfind("[General]\r\n;After Time Schedular", 0), 0u);
    EXPECT_NE(text.find("\r\nEraseDBWhileMemUsed=80%\r\n"), std::string::npos);
    EXPECT_DOUBLE_EQ(h.core->session().device().dEraseRatio, 0.8);
}

TEST_F(Device, DiscoveryThroughTheDefaultEntry)
{
    Open({"--id", "7"});
    dir().LoadDeviceInfo(h.home() + "/none.txt");
    dir().ResetDefaultEntry(5);
    for (int i = 0; i < 7; ++i)
        dir().Add();
    dir().Select(0);
    ASSERT_TRUE(px::PollingID(h.core->session(), h.core->directory(), 0));
    EXPECT_EQ(h.core->session().state().iCurrentID, 7);
    EXPECT_EQ(dir().table[7].ComPort, 5);
    EXPECT_EQ(dir().table[7].Name, "Machine-7");
    EXPECT_EQ(dir().SelectedId(), 7);
    EXPECT_EQ(h.view.caption, "PX740  007-Machine-7");

    // Entry 7 is registered on another port: the answer is not tied to it.
    dir().table[7].ComPort = 3;
    dir().Select(0);
    ASSERT_TRUE(px::PollingID(h.core->session(), h.core->directory(), 0));
    EXPECT_EQ(h.core->session().state().iCurrentID, 0);
    EXPECT_EQ(dir().SelectedId(), 0);
    EXPECT_EQ(h.view.caption, "PX740  000-Default");
}

TEST_F(Device, ATerminalThatAnswersOnlyTheThirdPollIsFound)
{
    Open({"--id", "1"});
    ASSERT_TRUE(sim->command("skip 2"));
    EXPECT_TRUE(px::PollingID(h.core->session(), h.core->directory(), 1));
    EXPECT_EQ(h.core->session().state().iCurrentID, 1);
    ASSERT_TRUE(sim->command("skip 3"));
    EXPECT_FALSE(px::PollingID(h.core->session(), h.core->directory(), 1));
    EXPECT_EQ(h.view.status, "Not Unit Found");
    EXPECT_FALSE(link().PortOpen());
}

TEST_F(Device, SetIdExchangesTheEntriesAndPollsAgain)
{
    Open({"--id", "1"});
    dir().LoadDeviceInfo(h.home() + "/none.txt");
    dir().Add();
    dir().Add();
    dir().table[1].ComPort = 5;
    dir().table[1].Name = "Gate";
    dir().Select(1);
    ASSERT_TRUE(px::PollingID(h.core->session(), h.core->directory(), 1));
    ASSERT_TRUE(px::ChangeMachineId(h.core->session(), h.core->directory(), 2));
    EXPECT_EQ(h.core->session().state().iCurrentID, 2);
    EXPECT_EQ(dir().table[2].ComPort, 5);
    EXPECT_EQ(dir().table[2].Name, "Gate");
    EXPECT_EQ(dir().table[2].ID, 2);
    EXPECT_EQ(dir().table[1].Name, "Machine-2");
    EXPECT_EQ(dir().table[1].ID, 1);
    EXPECT_EQ(dir().SelectedId(), 2);
    EXPECT_EQ(dir().Lines()[2].text, "002-Gate");
}

TEST_F(Device, SharedConnectionsAreDetected)
{
    Open();
    auto& t = dir().table;
    t[3] = {3, "A", "", 0, 0, "10.0.0.5", 1001};
    t[4] = {4, "B", "", 0, 0, "10.0.0.5", 1001};
    t[5] = {5, "C", "", 0, 0, "10.0.0.5", 1002};
    t[6] = {6, "D", "", 5, 0, "0.0.0.0", 1001};
    EXPECT_TRUE(dir().SharedLink(0, "10.0.0.5", 1001));
    EXPECT_FALSE(dir().SharedLink(0, "10.0.0.5", 1002));
    EXPECT_FALSE(dir().SharedLink(5, "", 0)); // only entry 6 uses COM5
    t[7] = {7, "E", "", 5, 0, "0.0.0.0", 1001};
    EXPECT_TRUE(dir().SharedLink(5, "", 0));
}

TEST_F(Device, RegistersAndMessages)
{
    Open();
    EXPECT_TRUE(dev().SetBellDuration(10));
    EXPECT_FALSE(sim->waitPrefix("RX \\x02" + Sum("C01,0A")).empty());
    EXPECT_EQ(dev().ReadBellDuration(), 10);
    EXPECT_TRUE(dev().SetDisplayMode(1));
    EXPECT_EQ(dev().ReadDisplayMode(), 1);
    dev().SetModeRegister(px::DeviceOps::kRecordModeRegister, 3);
    EXPECT_FALSE(sim->waitPrefix("RX \\x02" + Sum("C42,03")).empty());
    EXPECT_EQ(dev().ReadRecordMode(), 3);
    dev().SetModeRegister(px::DeviceOps::kRelayModeRegister, 2);
    EXPECT_FALSE(sim->waitPrefix("RX \\x02" + Sum("C43,02")).empty());
    EXPECT_TRUE(link().PortOpen());
    ASSERT_TRUE(sim->command("refuse R 07"));
    EXPECT_FALSE(dev().ResetTerminal());
    ASSERT_FALSE(h.view.messages.empty());
    EXPECT_NE(h.view.messages.back().find("resetting the device"), std::string::npos);
    EXPECT_FALSE(link().PortOpen()); // off line after the failure

    link().SetPortOpen(true);
    link().SetVNetTimeout(200);
    ASSERT_TRUE(sim->command("silent on"));
    EXPECT_EQ(dev().ReadDisplayMode(), -1);
    EXPECT_NE(h.view.messages.back().find("Communications with PX740 failed"), std::string::npos);
    EXPECT_FALSE(link().PortOpen());
}

TEST_F(Device, BellTableIsWrittenSortedAndDeduplicated)
{
    Open();
    px::TimeTable bell(px::TimeTable::Kind::Bell);
    bell.rows[4] = {"12", "00", "", false};
    bell.rows[1] = {"07", "30", "", false};
    bell.rows[2] = {"7", "30", "", false}; // the same time again
    bell.rows[6] = {"09", "", "", false};  // only an hour: free
    sim->clearLines();
    ASSERT_TRUE(px::DownloadTable(h.core->session(), bell));
    ASSERT_TRUE(sim->command("silent off")); // its OK follows every line of the download
    const auto lines = sim->lines();
    std::vector<std::string> frames;
    for (const auto& l : lines)
        if (l.rfind("RX \\x02C", 0) == 0) // "RX \x02" text checksum "\x0D"
            frames.push_back(l.substr(7, l.size() - 7 - 4 - 2));
    ASSERT_GE(frames.size(), 34u);
    EXPECT_EQ(frames[0], "C22,01");
    EXPECT_EQ(frames[1], "C02,0730");
    EXPECT_EQ(frames[2], "C23,01");
    EXPECT_EQ(frames[3], "C03,1200");
    EXPECT_EQ(frames[4], "C24,00");
    EXPECT_EQ(frames.back(), "C41,00");
    EXPECT_EQ(frames.size(), 34u); // 2 active slots with times, 30 disabled without

    px::TimeTable back(px::TimeTable::Kind::Bell);
    ASSERT_TRUE(px::UploadTable(h.core->session(), back));
    EXPECT_EQ(back.rows[0].hour + ":" + back.rows[0].minute, "07:30");
    EXPECT_EQ(back.rows[1].hour + ":" + back.rows[1].minute, "12:00");
    EXPECT_EQ(back.rows[2].hour, "  ");
    EXPECT_EQ(back.rows[31].minute, "  ");

    ASSERT_TRUE(px::DisableBellTable(h.core->session(), back));
    EXPECT_TRUE(back.rows[0].grey);
    EXPECT_EQ(back.rows[0].hour, "07"); // still shown, in grey
}

TEST_F(Device, InOutScheduleCodes)
{
    Open();
    px::TimeTable io(px::TimeTable::Kind::InOut);
    io.rows[0] = {"13", "00", "In", false};
    io.rows[1] = {"08", "00", "In", false};
    io.rows[2] = {"12", "00", "Out", false};
    io.rows[3] = {"17", "00", "", false}; // no direction: Out
    ASSERT_TRUE(px::DownloadTable(h.core->session(), io));
    px::TimeTable back(px::TimeTable::Kind::InOut);
    ASSERT_TRUE(px::UploadTable(h.core->session(), back));
    EXPECT_EQ(back.rows[0].hour + back.rows[0].direction, "08In");
    EXPECT_EQ(back.rows[1].hour + back.rows[1].direction, "12Out");
    EXPECT_EQ(back.rows[2].hour + back.rows[2].direction, "13In");
    EXPECT_EQ(back.rows[3].hour + back.rows[3].direction, "17Out");
    EXPECT_EQ(back.rows[4].direction, "");
    EXPECT_EQ(link().GetRegister(104), "AFF"); // a free slot holds the disable code
}

TEST(TimeTableFiles, ShortFilesAndInvalidLines)
{
    CoreHarness h;
    const std::string file = h.home() + "/bell.txt";
    // LF, CR and CR LF line ends; junk, a minute of 99, one-digit cells and binary bytes.
    std::ofstream(file, std::ios::binary)
        << "07,30\n12,00\rx\x01,99\r\n7,5\r\n  ,  \r\n23,59,extra\r\n\xff\xfe,\x00";
    px::TimeTable bell(px::TimeTable::Kind::Bell);
    bell.rows[9] = {"09", "09", "", true};
    EXPECT_EQ(bell.Load(file), 3);
    EXPECT_EQ(bell.rows[0].hour + bell.rows[0].minute, "0730");
    EXPECT_EQ(bell.rows[1].hour + bell.rows[1].minute, "1200");
    EXPECT_EQ(bell.rows[2].hour + bell.rows[2].minute, ""); // junk empties its row
    EXPECT_EQ(bell.rows[3].hour + bell.rows[3].minute, ""); // a bell time has two digits each
    EXPECT_EQ(bell.rows[4].hour + bell.rows[4].minute, ""); // an empty row, as Save writes it
    EXPECT_EQ(bell.rows[5].hour + bell.rows[5].minute, "2359");
    EXPECT_EQ(bell.rows[9].hour, ""); // the grid is emptied first
    EXPECT_FALSE(bell.rows[9].grey);
    EXPECT_EQ(bell.Load(h.home() + "/missing.txt"), -1);

    // Thirty-three lines: the last is not read.
    std::string many;
    for (int i = 0; i < 33; ++i)
        many += "10," + px::Digits(i, 2) + "\r\n";
    std::ofstream(file, std::ios::binary) << many;
    EXPECT_EQ(bell.Load(file), 0);
    EXPECT_EQ(bell.rows[31].minute, "31");

    std::ofstream(file, std::ios::binary) << "08,00,In\r\n25,00,Out\r\n,,\r\n7,5,out\r\n9,00,\r\n";
    px::TimeTable io(px::TimeTable::Kind::InOut);
    io.rows[1] = {"10", "10", "In", false};
    EXPECT_EQ(io.Load(file), 1);
    EXPECT_EQ(io.rows[0].direction, "In");
    EXPECT_EQ(io.rows[1].hour, ""); // an invalid time empties the row
    EXPECT_EQ(io.rows[1].direction, "");
    EXPECT_EQ(io.rows[3].hour + io.rows[3].minute + io.rows[3].direction, "0705Out");
    EXPECT_EQ(io.rows[4].direction, "Out"); // no direction: Out, as a download writes it
    std::string error;
    ASSERT_TRUE(io.Save(file, &error)) << error;
    std::ifstream in(file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.rfind("08,00,In\r\n,,\r\n,,\r\n07,05,Out\r\n", 0), 0u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 32);
}

TEST(SortTable, DistinctEntriesInOrderThenEmpty)
{
    std::vector<std::string> t = {"", "12:00,01", "07:30,01", "12:00,01", "", "08:00,01"};
    px::SortTable(t);
    EXPECT_EQ(t, (std::vector<std::string>{"07:30,01", "08:00,01", "12:00,01", "", "", ""}));
}

// Opening directory entries exactly as the double-click does.
class OpenEntries : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(h.linkReady) << h.linkError;
        h.core->directory().LoadDeviceInfo(h.home() + "/none.txt");
        h.core->directory().ResetDefaultEntry(1);
    }
    int AddEntry(int com, const std::string& address, int port)
    {
        auto& d = h.core->directory();
        d.Add();
        const int id = d.Lines().back().itemData;
        d.table[static_cast<std::size_t>(id)].ComPort = static_cast<std::int16_t>(com);
        d.table[static_cast<std::size_t>(id)].IPAddr = address;
        d.table[static_cast<std::size_t>(id)].IPPort = port;
        return static_cast<int>(d.Lines().size()) - 1;
    }
    CoreHarness h;
};

TEST_F(OpenEntries, ComEntryThroughAPty)
{
    auto sim = h.StartPtySim(5, {"--id", "1", "--records", "12"});
    ASSERT_TRUE(sim->ok());
    const int line = AddEntry(5, "0.0.0.0", 1001);
    ASSERT_TRUE(h.core->OpenTerminal(line));
    EXPECT_EQ(h.core->session().state().iCurrentID, 1);
    EXPECT_EQ(h.view.countLabel, "00000 / 00012");
    EXPECT_EQ(h.view.status.rfind("PX740", 0), 0u);
    EXPECT_NE(h.view.status.find(" Firmware Version V1.7"), std::string::npos);
    EXPECT_EQ(sim->waitPrefix("UDP", std::chrono::milliseconds(100)), ""); // no ping, no UDP

    auto& dev = h.core->session().device();
    px::Stamp now{2026, 12, 7, 10, 30, 0};
    ASSERT_TRUE(dev.SetPXTime(now));
    px::Stamp back;
    ASSERT_TRUE(dev.GetPXTime(&back));
    EXPECT_EQ(back.day, 7);
    ASSERT_TRUE(dev.SetBellDuration(5));
    EXPECT_EQ(dev.ReadBellDuration(), 5);
    auto& bell = h.core->bellTable();
    bell.rows[0] = {"08", "15", "", false};
    ASSERT_TRUE(px::DownloadTable(h.core->session(), bell));
    bell.Clear();
    ASSERT_TRUE(px::UploadTable(h.core->session(), bell));
    EXPECT_EQ(bell.rows[0].minute, "15");
    dev.OffLine();
    EXPECT_FALSE(h.core->session().link().PortOpen());
}

TEST_F(OpenEntries, TcpEntryThroughADeviceServer)
{
    std::string address;
    int port = 0;
    auto sim = h.StartTcpSim({"--id", "1"}, &address, &port);
    ASSERT_TRUE(sim->ok());
    const int line = AddEntry(0, address, port);
    ASSERT_TRUE(h.core->OpenTerminal(line));
    EXPECT_EQ(h.core->session().state().iCurrentID, 1);
    px::Stamp back;
    ASSERT_TRUE(h.core->session().device().GetPXTime(&back));
    h.core->session().device().OffLine();
    EXPECT_FALSE(h.core->session().link().PortOpen());
}

TEST_F(OpenEntries, TcpEntryWithoutAnAddressNeverOpens)
{
    const int line = AddEntry(0, "0.0.0.0", 1001);
    EXPECT_FALSE(h.core->OpenTerminal(line));
    EXPECT_EQ(h.view.status, "Not Unit Found");
    EXPECT_FALSE(h.core->session().link().PortOpen());
}

TEST_F(OpenEntries, DefaultPortRetryUpdatesTheEntry)
{
    const std::string address = CoreHarness::UniqueLoopbackAddress();
    auto sim = std::make_unique<SimProcess>(
        std::vector<std::string>{"--tcp", address + ":1001", "--id", "1"});
    ASSERT_TRUE(sim->ok());
    const int line = AddEntry(0, address, 2345); // nobody listens there
    ASSERT_TRUE(h.core->OpenTerminal(line));
    EXPECT_EQ(h.core->directory().table[1].IPPort, 1001);
    EXPECT_EQ(h.core->directory().CurrentFields().tcpPort, "1001");
}

TEST_F(OpenEntries, PortAbove32767GoesThroughTheSigned16BitProperty)
{
    std::unique_ptr<SimProcess> sim;
    std::string address;
    int port = 0;
    for (int candidate : {40000, 40111, 47777}) {
        address = CoreHarness::UniqueLoopbackAddress();
        sim = std::make_unique<SimProcess>(std::vector<std::string>{
            "--tcp", address + ":" + std::to_string(candidate), "--id", "1"});
        if (sim->ok()) {
            port = candidate;
            break;
        }
    }
    ASSERT_TRUE(sim && sim->ok());
    EXPECT_EQ(px::SignedPort(port), port - 65536);
    const int line = AddEntry(0, address, port);
    ASSERT_TRUE(h.core->OpenTerminal(line));
    EXPECT_EQ(h.core->session().link().IPort(), port - 65536);
    EXPECT_EQ(h.core->directory().table[1].IPPort, port);
}
