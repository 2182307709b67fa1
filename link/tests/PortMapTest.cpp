// Port map creation and stable numbering over a fake /dev and /sys tree.
#include "PortMap.h"
#include "TempHome.h"

#include <QString>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

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

namespace {

std::string gWarnings;

void KeepWarnings(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtWarningMsg) gWarnings += text.toStdString() + "\n";
}

} // namespace

TEST(PortMap, AMapThatCannotBeSavedStillServesTheRunAndSaysSo)
{
    FakeMachine m;
    std::ofstream(m.map) << "[SERIALCOMM]\n/dev/ttyUSB0=COM3\n";
    fs::permissions(m.map, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    m.adapter("usb-New");
    gWarnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(KeepWarnings);
    PortMap map(m.map, m.dev, m.sys);
    const auto entries = map.Refresh();
    qInstallMessageHandler(previous);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].name, "COM10");
    EXPECT_NE(gWarnings.find("port map not saved: " + m.map), std::string::npos) << gWarnings;
    EXPECT_NE(gWarnings.find("Permission denied"), std::string::npos) << gWarnings;
    EXPECT_EQ(map.Read().size(), 1u); // the file itself is untouched
}

namespace {

// Starts the racer with its standard output in a file; returns the pid, or -1.
pid_t StartRacer(const std::vector<std::string>& args, const std::string& out)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    std::vector<std::string> copy = args;
    for (auto& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

} // namespace

TEST(PortMap, TwoProcessesAddingAdaptersAtOnceNeverShareOrMoveANumber)
{
    FakeMachine m;
    std::ofstream(m.map) << "[SERIALCOMM]\r\n/dev/ttyS0=COM1\r\n";
    constexpr int kEach = 60;
    std::vector<pid_t> racers;
    std::vector<std::string> outputs;
    for (const char* side : {"a", "b"}) {
        // Each process sees only its own adapters, as programs that start while adapters are
        // plugged in one after the other might.
        const std::string dev = m.home.dir() + "/dev-" + side;
        fs::create_directories(dev + "/serial/by-id");
        outputs.push_back(m.home.dir() + "/racer-" + side + ".out");
        racers.push_back(StartRacer({PX_PORT_MAP_RACER, m.map, dev, m.sys,
                                     std::string("usb-") + side + "-", std::to_string(kEach)},
                                    outputs.back()));
        ASSERT_GT(racers.back(), 0);
    }
    for (pid_t pid : racers) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::map<std::string, std::string> given; // device -> number when it was added
    for (const auto& out : outputs) {
        std::ifstream in(out);
        for (std::string line; std::getline(in, line);) {
            const auto eq = line.rfind('=');
            ASSERT_NE(eq, std::string::npos) << line;
            given[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    ASSERT_EQ(given.size(), 2u * kEach);

    const auto entries = PortMap(m.map, m.dev, m.sys).Read();
    EXPECT_EQ(entries.size(), 2u * kEach + 1);
    std::set<std::string> names;
    for (const auto& e : entries) {
        EXPECT_TRUE(names.insert(e.name).second) << e.name << " given twice";
        if (e.device == "/dev/ttyS0") continue;
        EXPECT_EQ(e.name, given[e.device]) << e.device << " moved";
    }
}
