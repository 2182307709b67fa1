// The terminal directory: loading, the mirror after a crash, Add/Delete, and the edit rules.
#include "CoreHarness.h"
#include "DeviceDirectory.h"

#include <gtest/gtest.h>

#include <fstream>

using px::DeviceDirectory;
using px::testing::CoreHarness;

namespace {

struct DirectoryFixture : ::testing::Test {
    CoreHarness h;
    std::string file = h.home() + "/PX740.TXT";
    std::vector<std::string> notes;
    int offLines = 0;

    std::unique_ptr<DeviceDirectory> Fresh()
    {
        auto d = std::make_unique<DeviceDirectory>(h.core->settings());
        d->note = [this](const std::string& n) { notes.push_back(n); };
        d->offLine = [this] { ++offLines; };
        d->currentId = [this]() -> int& { return h.core->session().state().iCurrentID; };
        d->LoadDeviceInfo(file);
        d->ResetDefaultEntry(1);
        return d;
    }
    void WriteFile(const std::string& text) { std::ofstream(file, std::ios::binary) << text; }
    std::vector<std::string> Texts(const DeviceDirectory& d)
    {
        std::vector<std::string> out;
        for (const auto& l : d.Lines())
            out.push_back(l.text);
        return out;
    }
};

} // namespace

TEST_F(DirectoryFixture, FirstStartHasOnlyTheDefaultLine)
{
    auto d = Fresh();
    EXPECT_EQ(Texts(*d), std::vector<std::string>{"000-Default"});
    EXPECT_EQ(h.core->settings().Get("DeviceList", "OpenType", ""), "Open");
    EXPECT_EQ(d->table[0].Name, "Default");
    EXPECT_EQ(d->table[0].ComPort, 1);
}

TEST_F(DirectoryFixture, AddDeleteAndReuse)
{
    auto d = Fresh();
    d->Add();
    EXPECT_EQ(Texts(*d), (std::vector<std::string>{"000-Default", "001-Machine-1"}));
    EXPECT_EQ(d->table[1].IPAddr, "0.0.0.0");
    EXPECT_EQ(d->table[1].IPPort, 1001);
    EXPECT_EQ(d->table[1].ComPort, 0);
    EXPECT_EQ(h.core->settings().Get("DeviceList", "ID1", ""), "1,Machine-1,,0,0,0.0.0.0,1001");
    d->Add();
    d->Select(0);
    d->Delete(); // the default line cannot be deleted
    EXPECT_EQ(d->Lines().size(), 3u);
    d->Select(1);
    d->Delete();
    EXPECT_EQ(Texts(*d), (std::vector<std::string>{"000-Default", "002-Machine-2"}));
    EXPECT_EQ(d->ListIndex(), 1); // the last line is selected
    EXPECT_EQ(h.core->settings().Get("DeviceList", "ID1", "").substr(0, 2), "0,");
    d->Add();
    EXPECT_EQ(d->Lines().back().text, "001-Machine-1"); // the freed ID is reused
}

TEST_F(DirectoryFixture, DeletingTheConnectedEntryLeavesTheConnection)
{
    auto d = Fresh();
    d->Add();
    d->Add();
    h.core->session().state().iCurrentID = 2;
    d->Select(1);
    d->Delete(); // another entry: the connection stays
    EXPECT_EQ(h.core->session().state().iCurrentID, 2);
    EXPECT_EQ(offLines, 0);
    d->SelectId(2);
    d->Delete();
    EXPECT_EQ(h.core->session().state().iCurrentID, 0);
    EXPECT_EQ(offLines, 1);
}

TEST_F(DirectoryFixture, PortFieldRules)
{
    auto d = Fresh();
    d->Add();
    d->Select(1);
    EXPECT_EQ(d->EditTcpPort("0080"), "80");
    EXPECT_EQ(d->table[1].IPPort, 80);
    d->EditTcpPort("");
    EXPECT_EQ(d->LeaveTcpPort(), "1001");
    EXPECT_EQ(d->table[1].IPPort, 1001);
    EXPECT_TRUE(DeviceDirectory::AcceptPortKey('5', "65535"));
    EXPECT_FALSE(DeviceDirectory::AcceptPortKey('6', "65536"));
    EXPECT_FALSE(DeviceDirectory::AcceptPortKey('x', "1x"));
    EXPECT_TRUE(DeviceDirectory::AcceptPortKey(8, "")); // backspace
    d->EditTcpPort("99999");
    EXPECT_EQ(d->LeaveTcpPort(), "65535");
    EXPECT_EQ(d->EditTcpPort("12ab"), "12");
}

TEST_F(DirectoryFixture, PortEditsAreMirroredAndLeaveTheConnection)
{
    auto d = Fresh();
    d->Add();
    d->Add();
    h.core->session().state().iCurrentID = 2;
    d->Select(1);
    d->EditTcpPort("8080");
    // A crash now keeps the new port; another entry's edit keeps the connection.
    EXPECT_EQ(h.core->settings().Get("DeviceList", "ID1", ""), "1,Machine-1,,0,0,0.0.0.0,8080");
    EXPECT_EQ(offLines, 0);
    d->SelectId(2);
    EXPECT_EQ(offLines, 0); // showing the connected entry is no edit
    d->EditTcpPort("4001");
    EXPECT_EQ(h.core->settings().Get("DeviceList", "ID2", ""), "2,Machine-2,,0,0,0.0.0.0,4001");
    EXPECT_EQ(offLines, 1);
    d->EditTcpPort("04001"); // the same port written another way
    EXPECT_EQ(offLines, 1);
    d->EditTcpPort("");
    EXPECT_EQ(d->LeaveTcpPort(), "1001");
    EXPECT_EQ(h.core->settings().Get("DeviceList", "ID2", ""), "2,Machine-2,,0,0,0.0.0.0,1001");
}

TEST_F(DirectoryFixture, PortChoiceAndAddressFollowEachOther)
{
    auto d = Fresh();
    d->Add();
    d->Select(1);
    d->EditIpAddress("10.1.1.20");
    EXPECT_EQ(d->CurrentFields().portItem, 0);
    EXPECT_EQ(d->table[1].ComPort, 0);
    EXPECT_EQ(d->table[1].IPAddr, "10.1.1.20");
    d->ChoosePortItem(3);
    EXPECT_EQ(d->CurrentFields().ipAddress, "0.0.0.0");
    EXPECT_EQ(d->table[1].ComPort, 3);
    EXPECT_EQ(d->table[1].IPAddr, "0.0.0.0");
    EXPECT_EQ(h.core->settings().Get("DeviceList", "ID1", ""), "1,Machine-1,,3,0,0.0.0.0,1001");
    // Selecting the entry shows it without writing anything back wrongly.
    d->Select(0);
    d->Select(1);
    EXPECT_EQ(d->CurrentFields().portItem, 3);
    EXPECT_EQ(d->CurrentFields().ipAddress, "0.0.0.0");
    EXPECT_EQ(d->CurrentFields().tcpPort, "1001");
    EXPECT_EQ(d->table[1].ComPort, 3);
    // Editing the connected terminal's entry leaves the connection.
    h.core->session().state().iCurrentID = 1;
    d->ChoosePortItem(4);
    EXPECT_GE(offLines, 1);
}

TEST_F(DirectoryFixture, NamesWithACommaAreRefused)
{
    auto d = Fresh();
    d->Add();
    d->Select(1);
    EXPECT_TRUE(d->EditName("Gate"));
    EXPECT_EQ(d->Lines()[1].text, "001-Gate");
    EXPECT_FALSE(d->EditName("Gate, north"));
    EXPECT_EQ(d->table[1].Name, "Gate");
    EXPECT_FALSE(DeviceDirectory::AcceptNameKey(','));
    std::string error;
    ASSERT_TRUE(d->SaveDeviceInfo(file, &error)) << error;
    h.core->settings().Save("DeviceList", "OpenType", "Close");
    auto again = Fresh();
    EXPECT_EQ(again->Lines()[1].text, "001-Gate");
}

TEST_F(DirectoryFixture, FileIsReadAsFarAsItIsSound)
{
    WriteFile("5,Gate,,0,19200,10.1.1.20,1001\r\n"
              "6,Has,comma,,1,19200,0.0.0.0,1001\r\n"
              "x7,Junk,,1,19200,0.0.0.0,1001\n"
              "\x01\x02\xff binary\r\n"
              "9,Hall,,2,19200,0.0.0.0,40000\n"
              "9,Again,,2,19200,0.0.0.0,1001\n"
              "12,Last,,3,9600,0.0.0.0,1001");
    auto d = Fresh();
    EXPECT_EQ(Texts(*d),
              (std::vector<std::string>{"000-Default", "005-Gate", "009-Hall", "012-Last"}));
    EXPECT_EQ(d->table[9].IPPort, 40000);
    EXPECT_EQ(d->table[12].Baud, 9600);
    EXPECT_GE(notes.size(), 4u);
    // The sound entries were mirrored at once.
    EXPECT_EQ(h.core->settings().Get("DeviceList", "ID5", ""), "5,Gate,,0,19200,10.1.1.20,1001");

    WriteFile("3,A,,1,19200,0.0.0.0,1001\r\n0,End,,0,0,0.0.0.0,0\r\n4,B,,1,19200,0.0.0.0,1001\r\n");
    h.core->settings().DeleteSection("DeviceList");
    auto stopped = Fresh();
    EXPECT_EQ(Texts(*stopped), (std::vector<std::string>{"000-Default", "003-A"}));
}

TEST_F(DirectoryFixture, AfterACrashTheMirrorWinsAndNoEditIsLost)
{
    WriteFile("1,FromFile,,1,19200,0.0.0.0,1001\r\n");
    {
        auto d = Fresh();
        d->Select(1);
        d->EditName("Edited");
        d->EditIpAddress("192.168.7.9");
        d->Add();
        // No clean close: the program dies here.
    }
    auto d = Fresh();
    EXPECT_EQ(Texts(*d), (std::vector<std::string>{"000-Default", "001-Edited", "002-Machine-2"}));
    EXPECT_EQ(d->table[1].IPAddr, "192.168.7.9");
    EXPECT_EQ(d->table[1].ComPort, 0);

    h.core->settings().Save("DeviceList", "ID7", "8,Wrong,,1,19200,0.0.0.0,1001");
    h.core->settings().Save("DeviceList", "ID8", "8,Short,,1");
    auto again = Fresh();
    EXPECT_EQ(again->IndexOfId(7), -1);
    EXPECT_EQ(again->IndexOfId(8), -1);
}
