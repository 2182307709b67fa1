// The TCP transport against a simulated device server on a loopback address of its own, whose
// configuration channel is UDP port 65535 of that address.
#include "CJXmodem.h"
#include "CSerloCtrl.h"
#include "SimProcess.h"
#include "TempHome.h"
#include "Wait.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>

using namespace serlo;
using px::testing::SimProcess;

namespace {

std::string UniqueAddress()
{
    static std::mt19937 rng(static_cast<unsigned>(getpid()) * 7919u + 17u);
    std::uniform_int_distribution<int> octet(1, 254);
    return "127." + std::to_string(octet(rng)) + "." + std::to_string(octet(rng)) + "." +
           std::to_string(octet(rng));
}

class DeviceServer : public ::testing::Test {
protected:
    void Start(std::vector<std::string> extra = {}, int port = 0)
    {
        address = UniqueAddress();
        std::vector<std::string> args = {"--tcp", address + ":" + std::to_string(port)};
        args.insert(args.end(), extra.begin(), extra.end());
        sim = std::make_unique<SimProcess>(args);
        ASSERT_TRUE(sim->ok());
        this->port = std::stoi(sim->endpoint().substr(sim->endpoint().rfind(':') + 1));
        ctrl.Advise([this](std::int32_t id, const std::vector<Value>& args) {
            if (id == 1) ++onComm;
            if (id == 3) monitor.emplace_back(args[0].i, args[1].s);
        });
    }
    bool Open(int timeoutMs = 3000)
    {
        ctrl.SetProperty(dispid::VNetTimeout, Value::I4(timeoutMs));
        ctrl.SetProperty(dispid::iAddress, Value::Str(address));
        ctrl.SetProperty(dispid::iPort, Value::I2(port > 32767 ? port - 65536 : port));
        ctrl.SetProperty(dispid::CommPort, Value::I2(0));
        ctrl.SetProperty(dispid::PortOpen, Value::Bool(true));
        return ctrl.PortOpen();
    }
    // Datagrams the simulator logged from now on, within a short quiet period.
    std::vector<std::string> Datagrams(int settleMs = 300)
    {
        std::vector<std::string> got;
        for (;;) {
            const std::string line = sim->waitPrefix("UDP ", std::chrono::milliseconds(settleMs));
            if (line.empty()) return got;
            got.push_back(line.substr(4));
        }
    }

    TempHome home;
    CSerloCtrl ctrl;
    std::unique_ptr<SimProcess> sim;
    std::string address;
    int port = 0;
    int onComm = 0;
    std::vector<std::pair<int, std::string>> monitor;
};

} // namespace

TEST_F(DeviceServer, ConnectsAndPushesTheLineSettings)
{
    Start();
    ASSERT_TRUE(Open());
    EXPECT_FALSE(sim->waitPrefix("CONNECT").empty());
    // The current settings reach a device server that may have forgotten them.
    EXPECT_EQ(Datagrams(), (std::vector<std::string>{"PBR4", "PPR0", "PBB1", "PFC0"}));
    EXPECT_EQ(ctrl.GetProperty(dispid::CommID).i, -1); // no serial handle
    EXPECT_FALSE(ctrl.GetProperty(dispid::ExtPortOpen).AsBool());
    EXPECT_EQ(ctrl.SendVNetCmd("D01", false, false).substr(0, 3), "A01");
}

TEST_F(DeviceServer, SettingChangesBecomeConfigurationCommands)
{
    Start();
    ASSERT_TRUE(Open());
    Datagrams();
    ctrl.SetProperty(dispid::BaudRate, Value::I4(9600));
    EXPECT_EQ(Datagrams(), std::vector<std::string>{"PBR3"});
    ctrl.SetProperty(dispid::BaudRate, Value::I4(57600));
    EXPECT_TRUE(Datagrams().empty());
    ctrl.SetProperty(dispid::Settings, Value::Str("N,7,1"));
    EXPECT_EQ(Datagrams(), (std::vector<std::string>{"PPR0", "PBB0"}));
    ctrl.SetProperty(dispid::Handshaking, Value::I2(1));
    EXPECT_TRUE(Datagrams().empty());
    ctrl.SetProperty(dispid::Handshaking, Value::I2(2));
    EXPECT_EQ(Datagrams(), std::vector<std::string>{"PFC1"});
    EXPECT_TRUE(ctrl.Link().Sock().SetSpeedConfig(115200));
    EXPECT_EQ(Datagrams(), std::vector<std::string>{"PBR6"});
}

TEST_F(DeviceServer, RefusedConnectReturnsAtOnce)
{
    address = UniqueAddress();
    port = 1001; // nobody listens there: loopback refuses at once
    const auto t0 = px::tickCount();
    EXPECT_FALSE(Open(3000));
    EXPECT_LT(px::tickCount() - t0, 1000);
    EXPECT_FALSE(ctrl.PortOpen());
}

TEST_F(DeviceServer, ConnectThatNeverCompletesTimesOut)
{
    // A listener whose backlog is full neither accepts nor refuses: the SYN goes unanswered.
    address = UniqueAddress();
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t len = sizeof addr;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        fillers.push_back(s);
    }
    px::waitFor(px::Millis(100));
    const auto t0 = px::tickCount();
    EXPECT_FALSE(Open(1500));
    const auto elapsed = px::tickCount() - t0;
    EXPECT_GE(elapsed, 1400);
    EXPECT_LT(elapsed, 4000);
    for (int s : fillers)
        ::close(s);
    ::close(listener);
}

TEST_F(DeviceServer, StreamDataOutsideAnExchangeRaisesOnComm)
{
    Start();
    ASSERT_TRUE(Open());
    ctrl.SetProperty(dispid::EventMask, Value::I4(1));
    ASSERT_TRUE(sim->command("raw hello"));
    ASSERT_TRUE(px::waitUntil([&] { return onComm > 0; }, px::Millis(2000)));
    EXPECT_EQ(ctrl.GetProperty(dispid::RxCount).i, 5);
    ctrl.SetProperty(dispid::EventMask, Value::I4(0));
    onComm = 0;
    ASSERT_TRUE(sim->command("raw more"));
    ASSERT_TRUE(
        px::waitUntil([&] { return ctrl.GetProperty(dispid::RxCount).i == 9; }, px::Millis(2000)));
    EXPECT_EQ(onComm, 0);
}

TEST_F(DeviceServer, PeerCloseLeavesReceivedDataReadable)
{
    Start();
    ASSERT_TRUE(Open());
    ASSERT_TRUE(sim->command("raw bye"));
    ASSERT_TRUE(
        px::waitUntil([&] { return ctrl.GetProperty(dispid::RxCount).i == 3; }, px::Millis(2000)));
    ASSERT_TRUE(sim->command("hangup"));
    ASSERT_TRUE(px::waitUntil([&] { return !ctrl.PortOpen(); }, px::Millis(2000)));
    EXPECT_EQ(ctrl.GetProperty(dispid::Text).s, "bye");
    // A closed link simply times out.
    ctrl.SetProperty(dispid::VNetTimeout, Value::I4(100));
    EXPECT_EQ(ctrl.SendVNetCmd("V", false, false), "");
    EXPECT_EQ(monitor.back(), std::make_pair(0, std::string("$TIMEOUT")));
}

TEST_F(DeviceServer, SilentConfigurationChannelGoesQuietAfterItsRetries)
{
    Start({"--udp-silent"});
    const auto t0 = px::tickCount();
    ASSERT_TRUE(Open(300));
    // One unanswered command at connect, bounded by the shorter of the two limits.
    EXPECT_LT(px::tickCount() - t0, 1500);
    Datagrams(100);
    auto timed = [&](int baud) {
        const auto s = px::tickCount();
        ctrl.SetProperty(dispid::BaudRate, Value::I4(baud));
        return px::tickCount() - s;
    };
    EXPECT_GE(timed(9600), 280); // retries left: 1
    EXPECT_GE(timed(4800), 280); // 0
    EXPECT_GE(timed(2400), 280); // none left: the channel is disabled
    EXPECT_LT(timed(1200), 100); // quiet until the next connect
    EXPECT_FALSE(ctrl.Link().Sock().ConfigEnabled());
    ctrl.SetProperty(dispid::PortOpen, Value::Bool(true)); // reconnect
    EXPECT_TRUE(ctrl.Link().Sock().ConfigEnabled());
}

TEST_F(DeviceServer, PortAbove32767TravelsAsItsSixteenBitPattern)
{
    // Try a few high ports in case one is taken on this address.
    for (int candidate : {40000, 40123, 45678}) {
        address = UniqueAddress();
        sim = std::make_unique<SimProcess>(
            std::vector<std::string>{"--tcp", address + ":" + std::to_string(candidate)});
        if (sim->ok()) break;
    }
    ASSERT_TRUE(sim->ok());
    port = std::stoi(sim->endpoint().substr(sim->endpoint().rfind(':') + 1));
    ASSERT_GT(port, 32767);
    ASSERT_TRUE(Open());
    EXPECT_EQ(ctrl.GetProperty(dispid::iPort).i, port - 65536);
}

TEST_F(DeviceServer, BytesBeyondTheRingWaitInTheSocketUntilItIsRead)
{
    Start();
    ASSERT_TRUE(Open());
    ctrl.SetProperty(dispid::RxQueue, Value::I2(256));
    EXPECT_EQ(ctrl.GetProperty(dispid::CommError).i, 0);
    std::string sent;
    for (int i = 0; i < 600; ++i)
        sent += "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[(i * 7) % 36];
    ASSERT_TRUE(sim->command("raw " + sent));
    ASSERT_TRUE(px::waitUntil([&] { return ctrl.GetProperty(dispid::RxCount).i == 256; },
                              px::Millis(2000)));
    px::waitFor(px::Millis(50)); // the rest has arrived by now, and waits
    EXPECT_EQ(ctrl.GetProperty(dispid::RxCount).i, 256);
    EXPECT_EQ(ctrl.GetProperty(dispid::CommError).i, 0); // nothing was dropped
    // Reading makes room: the waiting bytes follow, in order, through Text and Char alike.
    std::string got = ctrl.GetProperty(dispid::Text).s;
    EXPECT_EQ(got.size(), 256u);
    got += static_cast<char>(ctrl.GetProperty(dispid::Char).i);
    for (int round = 0; round < 10 && got.size() < sent.size(); ++round) {
        px::waitUntil([&] { return ctrl.GetProperty(dispid::RxCount).i > 0; }, px::Millis(500));
        got += ctrl.GetProperty(dispid::Text).s;
    }
    EXPECT_EQ(got, sent);
    EXPECT_EQ(ctrl.GetProperty(dispid::CommError).i, 0);
}

TEST_F(DeviceServer, RefusedConnectSaysWhy)
{
    address = UniqueAddress();
    port = 1001;
    ctrl.Advise([this](std::int32_t id, const std::vector<Value>& args) {
        if (id == 3) monitor.emplace_back(args[0].i, args[1].s);
    });
    EXPECT_FALSE(Open(3000));
    ASSERT_FALSE(monitor.empty());
    EXPECT_EQ(monitor.back().first, 0);
    EXPECT_EQ(monitor.back().second, "$OPEN ERROR " + address + ":1001: Connection refused");
}
