// ICMP echo and host lookup. Echoes go only to loopback, or into network namespaces that the
// tests create and remove themselves, so nothing leaves the machine's own loopback.
#include "Ping.h"
#include "Wait.h"

#include <QProcess>
#include <QTimer>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/capability.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace px {
namespace {

constexpr long kTimeoutMs = 1000;
// Documentation range, routed into the namespace's loopback where nothing answers it.
constexpr const char* kSilentHost = "198.51.100.7";

struct Harness {
    LinkState state;
    std::vector<std::string> lines;
    Pinger pinger{state, [this](const std::string& line) { lines.push_back(line); }};
};

long ElapsedSince(std::int64_t start)
{
    return static_cast<long>(tickCount() - start);
}

// Runs ip(8) without a shell; empty on success, otherwise why it failed.
std::string RunIp(const QStringList& args)
{
    QProcess ip;
    ip.start(QStringLiteral("ip"), args);
    if (!ip.waitForStarted(5000)) return "cannot run 'ip': " + ip.errorString().toStdString();
    if (!ip.waitForFinished(10000)) {
        ip.kill();
        ip.waitForFinished(2000);
        return "'ip " + args.join(' ').toStdString() + "' did not finish";
    }
    if (ip.exitStatus() != QProcess::NormalExit || ip.exitCode() != 0)
        return "'ip " + args.join(' ').toStdString() +
               "' failed: " + ip.readAllStandardError().trimmed().toStdString();
    return {};
}

// A network namespace of our own with its loopback up; removed again in every case.
class TestNamespace {
public:
    TestNamespace()
    {
        static std::atomic<int> counter{0};
        name_ = "pxping-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
        why_ = RunIp({"netns", "add", QString::fromStdString(name_)});
        if (!why_.empty()) return;
        created_ = true;
        why_ = Ip({"link", "set", "lo", "up"});
    }
    ~TestNamespace()
    {
        Leave();
        if (created_) RunIp({"netns", "del", QString::fromStdString(name_)});
    }
    TestNamespace(const TestNamespace&) = delete;
    TestNamespace& operator=(const TestNamespace&) = delete;

    bool ok() const { return why_.empty(); }
    const std::string& why() const { return why_; }
    const std::string& name() const { return name_; }

    std::string Ip(QStringList args)
    {
        args.prepend(QString::fromStdString(name_));
        args.prepend(QStringLiteral("-n"));
        return RunIp(args);
    }

    // Moves only the calling thread into the namespace: sockets it opens from now on live there.
    std::string Enter()
    {
        home_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        if (home_ < 0) return std::string("cannot open own namespace: ") + std::strerror(errno);
        const int target = ::open(("/run/netns/" + name_).c_str(), O_RDONLY | O_CLOEXEC);
        if (target < 0) return std::string("cannot open test namespace: ") + std::strerror(errno);
        const int rc = ::setns(target, CLONE_NEWNET);
        const int error = errno;
        ::close(target);
        if (rc != 0) return std::string("setns refused: ") + std::strerror(error);
        inside_ = true;
        return {};
    }

    void Leave()
    {
        if (inside_ && ::setns(home_, CLONE_NEWNET) != 0)
            ADD_FAILURE() << "cannot return to the own network namespace";
        inside_ = false;
        if (home_ >= 0) ::close(home_);
        home_ = -1;
    }

    // Written from inside: /proc/sys/net follows the writing thread's namespace.
    static std::string SetPingGroupRange(const std::string& range)
    {
        std::ofstream out("/proc/sys/net/ipv4/ping_group_range");
        out << range << '\n';
        out.flush();
        return out ? std::string() : "cannot write net.ipv4.ping_group_range";
    }

private:
    std::string name_;
    std::string why_;
    bool created_ = false;
    bool inside_ = false;
    int home_ = -1;
};

// Skips the test unless a namespace could be made and entered; the reason is reported.
#define PX_ENTER_NAMESPACE(ns)                                                                     \
    do {                                                                                           \
        if (!(ns).ok()) GTEST_SKIP() << "network namespaces not available: " << (ns).why();        \
        const std::string entered = (ns).Enter();                                                  \
        if (!entered.empty()) GTEST_SKIP() << "network namespaces not available: " << entered;     \
    } while (false)

// Clears CAP_NET_RAW from the calling thread's effective set (capabilities are per thread), so
// the thread stands for an unprivileged user; the permitted set keeps it for the way back.
class WithoutRawRights {
public:
    WithoutRawRights()
    {
        if (::syscall(SYS_capget, &header_, saved_) != 0) {
            why_ = std::string("capget: ") + std::strerror(errno);
            return;
        }
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[CAP_TO_INDEX(CAP_NET_RAW)].effective &= ~CAP_TO_MASK(CAP_NET_RAW);
        if (::syscall(SYS_capset, &header_, reduced) != 0)
            why_ = std::string("capset: ") + std::strerror(errno);
        else
            dropped_ = true;
    }
    ~WithoutRawRights()
    {
        if (dropped_ && ::syscall(SYS_capset, &header_, saved_) != 0)
            ADD_FAILURE() << "cannot restore CAP_NET_RAW";
    }
    WithoutRawRights(const WithoutRawRights&) = delete;
    WithoutRawRights& operator=(const WithoutRawRights&) = delete;
    const std::string& why() const { return why_; }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool dropped_ = false;
    std::string why_;
};

std::string RawSocketRefusal()
{
    const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) return std::strerror(errno);
    ::close(fd);
    return {};
}

TEST(EchoRequest, LayoutAndChecksum)
{
    const auto p = BuildEchoRequest(0x1234, 0x89ABCDEFu);
    EXPECT_EQ(p[0], 8);
    EXPECT_EQ(p[1], 0);
    EXPECT_EQ(p[4], 0x5A);
    EXPECT_EQ(p[5], 0x5A);
    EXPECT_EQ(p[6], 0x34);
    EXPECT_EQ(p[7], 0x12);
    EXPECT_EQ(p[8], 0xEF);
    EXPECT_EQ(p[9], 0xCD);
    EXPECT_EQ(p[10], 0xAB);
    EXPECT_EQ(p[11], 0x89);
    for (std::size_t i = 12; i < p.size(); ++i)
        EXPECT_EQ(p[i], 65 + (i - 12)) << "byte " << i;
    EXPECT_EQ(p[63], 116);
    // A correct checksum makes the sum over the whole packet come out as zero.
    EXPECT_EQ(InternetChecksum(p.data(), p.size()), 0);
}

TEST(EchoRequest, ChecksumKnownValues)
{
    const std::uint8_t words[] = {0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7};
    EXPECT_EQ(InternetChecksum(words, sizeof words), 0x220D);
    const std::uint8_t odd[] = {0x01, 0x02, 0x03};
    EXPECT_EQ(InternetChecksum(odd, sizeof odd), static_cast<std::uint16_t>(~0x0402));
}

TEST(Ping, LoopbackOverRawSocket)
{
    const std::string refusal = RawSocketRefusal();
    if (!refusal.empty())
        GTEST_SKIP() << "this process may not open a raw ICMP socket: " << refusal;
    Harness h;
    for (const char* host : {"127.0.0.1", "localhost"}) {
        const std::int64_t start = tickCount();
        const long ms = h.pinger.Ping(host, 3000);
        EXPECT_GE(ms, 0) << host;
        EXPECT_LT(ms, 1000) << host;
        EXPECT_LT(ElapsedSince(start), 1000) << host;
        EXPECT_EQ(h.pinger.LastMethod(), Pinger::Method::Raw);
        EXPECT_EQ(h.state.pingsInProgress, 0);
    }
    EXPECT_TRUE(h.lines.empty());
}

TEST(Ping, LoopbackOverDatagramSocketInNamespace)
{
    TestNamespace ns;
    PX_ENTER_NAMESPACE(ns);
    const std::string range = TestNamespace::SetPingGroupRange("0 2147483647");
    if (!range.empty()) GTEST_SKIP() << range;
    Harness h;
    h.pinger.PreferDatagram(true);
    for (int i = 0; i < 2; ++i) {
        const std::int64_t start = tickCount();
        const long ms = h.pinger.Ping("127.0.0.1", 3000);
        EXPECT_GE(ms, 0);
        EXPECT_LT(ms, 1000);
        EXPECT_LT(ElapsedSince(start), 1000);
        EXPECT_EQ(h.pinger.LastMethod(), Pinger::Method::Datagram);
        EXPECT_EQ(h.state.pingsInProgress, 0);
    }
    EXPECT_TRUE(h.lines.empty());
}

TEST(Ping, FallsBackToDatagramWithoutRawRights)
{
    TestNamespace ns;
    PX_ENTER_NAMESPACE(ns);
    const std::string range = TestNamespace::SetPingGroupRange("0 2147483647");
    if (!range.empty()) GTEST_SKIP() << range;
    WithoutRawRights unprivileged;
    if (!unprivileged.why().empty())
        GTEST_SKIP() << "cannot drop CAP_NET_RAW: " << unprivileged.why();
    ASSERT_FALSE(RawSocketRefusal().empty()) << "raw socket still allowed without CAP_NET_RAW";
    Harness h;
    EXPECT_GE(h.pinger.Ping("127.0.0.1", 3000), 0);
    EXPECT_EQ(h.pinger.LastMethod(), Pinger::Method::Datagram);
    EXPECT_EQ(h.state.pingsInProgress, 0);
    EXPECT_TRUE(h.lines.empty());
}

TEST(Ping, NoSocketAllowedAnswersReachableAndLogsOnce)
{
    TestNamespace ns;
    PX_ENTER_NAMESPACE(ns);
    const std::string range = TestNamespace::SetPingGroupRange("1 0");
    if (!range.empty()) GTEST_SKIP() << range;
    WithoutRawRights unprivileged;
    if (!unprivileged.why().empty())
        GTEST_SKIP() << "cannot drop CAP_NET_RAW: " << unprivileged.why();
    Harness h;
    EXPECT_EQ(h.pinger.Ping("127.0.0.1", 1000), 0);
    EXPECT_EQ(h.pinger.LastMethod(), Pinger::Method::None);
    EXPECT_EQ(h.pinger.Ping("127.0.0.1", 1000), 0);
    EXPECT_EQ(h.lines.size(), 1u);
    EXPECT_EQ(h.state.pingsInProgress, 0);
    // An unresolvable name is still a failure, not "reachable".
    EXPECT_EQ(h.pinger.Ping("no-such-host.invalid", 1000), -1);
    EXPECT_EQ(h.lines.size(), 1u);
    EXPECT_EQ(h.state.pingsInProgress, 0);
}

TEST(Ping, ForcedDatagramRefusedAnswersReachable)
{
    TestNamespace ns;
    PX_ENTER_NAMESPACE(ns);
    const std::string range = TestNamespace::SetPingGroupRange("1 0");
    if (!range.empty()) GTEST_SKIP() << range;
    Harness h;
    h.pinger.PreferDatagram(true);
    EXPECT_EQ(h.pinger.Ping("127.0.0.1", 1000), 0);
    EXPECT_EQ(h.pinger.LastMethod(), Pinger::Method::None);
    EXPECT_EQ(h.lines.size(), 1u);
    h.pinger.PreferDatagram(false);
    if (RawSocketRefusal().empty()) {
        EXPECT_GE(h.pinger.Ping("127.0.0.1", 1000), 0);
        EXPECT_EQ(h.pinger.LastMethod(), Pinger::Method::Raw);
    }
    EXPECT_EQ(h.state.pingsInProgress, 0);
}

class SilentHost : public ::testing::TestWithParam<bool> {};

TEST_P(SilentHost, TimesOut)
{
    const bool datagram = GetParam();
    TestNamespace ns;
    if (ns.ok()) {
        const std::string route = ns.Ip({"route", "add", "198.51.100.0/24", "dev", "lo"});
        if (!route.empty()) GTEST_SKIP() << route;
    }
    PX_ENTER_NAMESPACE(ns);
    if (datagram) {
        const std::string range = TestNamespace::SetPingGroupRange("0 2147483647");
        if (!range.empty()) GTEST_SKIP() << range;
    } else {
        const std::string refusal = RawSocketRefusal();
        if (!refusal.empty())
            GTEST_SKIP() << "this process may not open a raw ICMP socket: " << refusal;
    }
    Harness h;
    h.pinger.PreferDatagram(datagram);
    const std::int64_t start = tickCount();
    EXPECT_EQ(h.pinger.Ping(kSilentHost, kTimeoutMs), -1);
    const long elapsed = ElapsedSince(start);
    EXPECT_GE(elapsed, kTimeoutMs * 9 / 10);
    EXPECT_LT(elapsed, kTimeoutMs + 1500);
    EXPECT_EQ(h.pinger.LastMethod(), datagram ? Pinger::Method::Datagram : Pinger::Method::Raw);
    EXPECT_EQ(h.state.pingsInProgress, 0);
}

INSTANTIATE_TEST_SUITE_P(Ping, SilentHost, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Datagram" : "Raw"; });

TEST(Ping, StopFlagEndsTheWaitEarly)
{
    TestNamespace ns;
    if (ns.ok()) {
        const std::string route = ns.Ip({"route", "add", "198.51.100.0/24", "dev", "lo"});
        if (!route.empty()) GTEST_SKIP() << route;
    }
    PX_ENTER_NAMESPACE(ns);
    // Either socket kind will do here; only the early end matters.
    const std::string range = TestNamespace::SetPingGroupRange("0 2147483647");
    if (!range.empty()) GTEST_SKIP() << range;
    Harness h;
    int countDuringWait = -1;
    QTimer stopper; // owned here, so it can never fire into a later test
    stopper.setSingleShot(true);
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        countDuringWait = h.state.pingsInProgress;
        h.state.bStopPing = true;
    });
    stopper.start(200);
    h.state.bStopPing = true; // a stale request from before must not cut the next ping
    const std::int64_t start = tickCount();
    EXPECT_EQ(h.pinger.Ping(kSilentHost, 5000), -1);
    const long elapsed = ElapsedSince(start);
    EXPECT_GE(elapsed, 150);
    EXPECT_LT(elapsed, 1500);
    EXPECT_EQ(countDuringWait, 1);
    EXPECT_EQ(h.state.pingsInProgress, 0);
}

// Answers the first echo request it sees on the namespace's loopback with an echo reply that
// claims to come from `source`: the identifier, sequence and payload all match the request.
class ForgedEchoReply {
public:
    ForgedEchoReply(const std::string& netns, const char* source) : source_(source)
    {
        thread_ = std::thread([this, netns] { Run(netns); });
        while (!ready_.load() && !failed_.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~ForgedEchoReply()
    {
        stop_ = true;
        thread_.join();
    }
    ForgedEchoReply(const ForgedEchoReply&) = delete;
    ForgedEchoReply& operator=(const ForgedEchoReply&) = delete;
    bool ok() const { return !failed_.load(); }
    bool sent() const { return sent_.load(); }

private:
    void Run(const std::string& netns)
    {
        // Namespaces are per thread: this one joins the test's before opening its sockets.
        const int target = ::open(("/run/netns/" + netns).c_str(), O_RDONLY | O_CLOEXEC);
        const bool joined = target >= 0 && ::setns(target, CLONE_NEWNET) == 0;
        if (target >= 0) ::close(target);
        const int listen = joined ? ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP) : -1;
        const int send = joined ? ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW) : -1;
        if (listen < 0 || send < 0) {
            failed_ = true;
            if (listen >= 0) ::close(listen);
            if (send >= 0) ::close(send);
            return;
        }
        ready_ = true;
        std::uint8_t packet[1500];
        while (!stop_.load() && !sent_.load()) {
            pollfd p{listen, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const ssize_t n = ::recv(listen, packet, sizeof packet, 0);
            const std::size_t header = n > 0 ? static_cast<std::size_t>(packet[0] & 0x0F) * 4 : 0;
            if (n < static_cast<ssize_t>(header + 8) || packet[header] != 8) continue;
            // The same ICMP message as an echo reply, behind an IPv4 header of our own.
            const std::size_t icmpLen = static_cast<std::size_t>(n) - header;
            std::uint8_t reply[1500] = {};
            reply[0] = 0x45;
            reply[8] = 64;
            reply[9] = IPPROTO_ICMP;
            inet_pton(AF_INET, source_, reply + 12);
            inet_pton(AF_INET, "127.0.0.1", reply + 16);
            std::memcpy(reply + 20, packet + header, icmpLen);
            reply[20] = 0;
            reply[22] = reply[23] = 0;
            const std::uint16_t sum = InternetChecksum(reply + 20, icmpLen);
            reply[22] = static_cast<std::uint8_t>(sum >> 8);
            reply[23] = static_cast<std::uint8_t>(sum & 0xFF);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
            if (::sendto(send, reply, 20 + icmpLen, 0, reinterpret_cast<sockaddr*>(&to),
                         sizeof to) > 0)
                sent_ = true;
        }
        ::close(listen);
        ::close(send);
    }

    const char* source_;
    std::atomic<bool> ready_{false};
    std::atomic<bool> failed_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> sent_{false};
    std::thread thread_;
};

class ReplySource : public ::testing::TestWithParam<bool> {};

TEST_P(ReplySource, OnlyTheAskedHostsReplyCounts)
{
    const bool datagram = GetParam();
    TestNamespace ns;
    PX_ENTER_NAMESPACE(ns);
    // The namespace's own kernel stays silent, so only the forged replies arrive.
    std::ofstream ignore("/proc/sys/net/ipv4/icmp_echo_ignore_all");
    ignore << "1\n";
    ignore.flush();
    if (!ignore) GTEST_SKIP() << "cannot silence the namespace's echo replies";
    if (datagram) {
        const std::string range = TestNamespace::SetPingGroupRange("0 2147483647");
        if (!range.empty()) GTEST_SKIP() << range;
    } else if (const std::string refusal = RawSocketRefusal(); !refusal.empty()) {
        GTEST_SKIP() << "this process may not open a raw ICMP socket: " << refusal;
    }
    for (const char* source : {"127.0.0.1", "127.0.0.9"}) {
        const bool genuine = std::string(source) == "127.0.0.1";
        ForgedEchoReply forger(ns.name(), source);
        if (!forger.ok()) GTEST_SKIP() << "cannot send forged packets here";
        Harness h;
        h.pinger.PreferDatagram(datagram);
        const long ms = h.pinger.Ping("127.0.0.1", genuine ? 3000 : 700);
        EXPECT_TRUE(forger.sent()) << source;
        // The reply from the pinged address proves the forgery works; the same reply from any
        // other address must not count.
        if (genuine)
            EXPECT_GE(ms, 0) << source;
        else
            EXPECT_EQ(ms, -1) << source;
        EXPECT_EQ(h.pinger.LastMethod(), datagram ? Pinger::Method::Datagram : Pinger::Method::Raw);
    }
}

INSTANTIATE_TEST_SUITE_P(Ping, ReplySource, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Datagram" : "Raw"; });

TEST(Ping, UnresolvableNameFails)
{
    Harness h;
    const std::int64_t start = tickCount();
    EXPECT_EQ(h.pinger.Ping("no-such-host.invalid", 3000), -1);
    // The lookup inside a ping is bounded on its own, far below the echo time-out.
    EXPECT_LT(ElapsedSince(start), 1500);
    EXPECT_EQ(h.pinger.ResolvedAddress(), 0xFFFFFFFFu);
    EXPECT_EQ(h.pinger.ResolvedText(), "");
    EXPECT_EQ(h.state.pingsInProgress, 0);
}

TEST(ResolveHost, EmptyNameIsRefused)
{
    Harness h;
    EXPECT_FALSE(h.pinger.ResolveHost("", 1000));
    EXPECT_FALSE(h.pinger.ResolveHost("   ", 1000));
}

TEST(ResolveHost, LocalhostIsLoopback)
{
    Harness h;
    ASSERT_TRUE(h.pinger.ResolveHost(" localhost ", 5000));
    EXPECT_EQ(h.pinger.ResolvedText(), "127.0.0.1");
    EXPECT_EQ(h.pinger.ResolvedAddress(), htonl(0x7F000001u));
}

TEST(ResolveHost, FailureClearsTheKeptResult)
{
    Harness h;
    ASSERT_TRUE(h.pinger.ResolveHost("localhost", 5000));
    EXPECT_FALSE(h.pinger.ResolveHost("no-such-host.invalid", 500));
    EXPECT_EQ(h.pinger.ResolvedText(), "");
    EXPECT_EQ(h.pinger.ResolvedAddress(), 0xFFFFFFFFu);
}

TEST(ResolveHost, OnlyOneLookupAtATime)
{
    Harness h;
    bool nested = true;
    bool nestedRan = false;
    // Runs from the first lookup's wait, while that lookup is still outstanding.
    QTimer second;
    second.setSingleShot(true);
    QObject::connect(&second, &QTimer::timeout, [&] {
        nested = h.pinger.ResolveHost("localhost", 1000);
        nestedRan = true;
    });
    second.start(0);
    EXPECT_TRUE(h.pinger.ResolveHost("localhost", 5000));
    EXPECT_TRUE(nestedRan);
    EXPECT_FALSE(nested);
    // Once the first has finished, the next one may run.
    EXPECT_TRUE(h.pinger.ResolveHost("localhost", 5000));
}

TEST(ResolveHost, StopFlagGivesUp)
{
    Harness h;
    h.state.bStopPing = true;
    const std::int64_t start = tickCount();
    EXPECT_FALSE(h.pinger.ResolveHost("localhost", 5000));
    EXPECT_LT(ElapsedSince(start), 1000);
    EXPECT_EQ(h.pinger.ResolvedAddress(), 0xFFFFFFFFu);
}

} // namespace
} // namespace px
