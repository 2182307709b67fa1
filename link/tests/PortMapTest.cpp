// Port map creation and stable numbering over a fake /dev and /sys tree.
#include "PortMap.h"
#include "TempHome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using serlo::PortMap;

namespace {

struct FakeMachine {
    TempHome home;
    std::string dev = home.dir() + "/dev";
    std::string sys = home.dir() + "/sys";
    std::string map = home.dir() + "/ports.ini";

    FakeMachine()
    {
        fs::create_directories(dev + "/serial/by-id");
        fs::create_directories(sys + "/class/tty");
    }
    void uart(int n, int type)
    {
        const std::string d = sys + "/class/tty/ttyS" + std::to_string(n);
        fs::create_directories(d);
        std::ofstream(d + "/type") << type << "\n";
    }
    void adapter(const std::string& name) { std::ofstream(dev + "/serial/by-id/" + name); }
    void unplug(const std::string& name) { fs::remove(dev + "/serial/by-id/" + name); }
};

} // namespace

TEST(PortMap, CreatedFromDetectedPorts)
{
    FakeMachine m;
    m.uart(0, 4); // a real UART
    m.uart(1, 0); // an empty slot
    m.uart(3, 4);
    m.adapter("usb-B-if00-port0");
    m.adapter("usb-A-if00-port0");
    PortMap map(m.map, m.dev, m.sys);
    const auto entries = map.Refresh();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].name, "COM1");
    EXPECT_EQ(entries[0].device, m.dev + "/ttyS0");
    EXPECT_EQ(entries[1].name, "COM4");
    EXPECT_EQ(entries[2].name, "COM10");
    EXPECT_EQ(entries[2].device, m.dev + "/serial/by-id/usb-A-if00-port0");
    EXPECT_EQ(entries[3].name, "COM11");
    EXPECT_TRUE(fs::exists(m.map));
}

TEST(PortMap, NumbersNeverMoveWhenAdaptersComeAndGo)
{
    FakeMachine m;
    m.adapter("usb-B");
    PortMap map(m.map, m.dev, m.sys);
    map.Refresh();
    EXPECT_EQ(map.Resolve("COM10"), m.dev + "/serial/by-id/usb-B");
    m.unplug("usb-B");
    m.adapter("usb-A"); // sorts before B but arrives later
    const auto entries = map.Refresh();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "COM10");
    EXPECT_EQ(entries[1].name, "COM11");
    EXPECT_EQ(map.Resolve("com11"), m.dev + "/serial/by-id/usb-A");
    m.adapter("usb-B"); // back again: same number as before
    EXPECT_EQ(map.Refresh().size(), 2u);
    EXPECT_EQ(map.Resolve("COM10"), m.dev + "/serial/by-id/usb-B");
}

TEST(PortMap, AnExistingFileIsAuthoritative)
{
    FakeMachine m;
    std::ofstream(m.map) << "[SERIALCOMM]\n/dev/pts/9=COM10\n/dev/ttyUSB0=COM3\n";
    m.adapter("usb-New");
    PortMap map(m.map, m.dev, m.sys);
    const auto entries = map.Refresh();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "COM10");
    EXPECT_EQ(entries[1].name, "COM3");
    EXPECT_EQ(entries[2].name, "COM11"); // COM10 was taken
    EXPECT_EQ(map.Resolve("COM3"), "/dev/ttyUSB0");
    EXPECT_EQ(map.Resolve("COM99"), "");
    EXPECT_EQ(map.Resolve("LPT1"), "");
}

TEST(PortMap, EmptyMachineGivesAnEmptyMapFile)
{
    FakeMachine m;
    PortMap map(m.map, m.dev, m.sys);
    EXPECT_TRUE(map.Refresh().empty());
    EXPECT_TRUE(fs::exists(m.map));
    m.adapter("usb-Late");
    const auto entries = map.Refresh();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "COM10");
}
