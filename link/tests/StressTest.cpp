// Open, close and destroy while bytes flood in, on both transports, and controls of several
// threads (each with its own event loop) exchanging with simulated terminals at once through the
// C ABI. Built and run under ThreadSanitizer as well (tools/tsan.sh): the serial reader thread
// races the control's thread for the ring, the events and the link object itself, and the
// threads race each other for the library's shared state. Each case runs for a bounded time,
// PX_STRESS_MS milliseconds (default 1500).
#include "CJXmodem.h"
#include "CSerloCtrl.h"
#include "LinkEvents.h"
#include "PtyPair.h"
#include "SimProcess.h"
#include "TempHome.h"
#include "Wait.h"
#include "serlo.h"

#include <QEvent>
#include <QObject>
#include <QThread>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace serlo;

namespace {

int StressMs()
{
    const char* text = std::getenv("PX_STRESS_MS");
    const int ms = text ? std::atoi(text) : 0;
    return ms > 0 ? ms : 1500;
}

// Writes into the pty master without pause and drains what the link sends back, until stopped.
class PtyFlood {
public:
    explicit PtyFlood(int master) : master_(master)
    {
        thread_ = std::thread([this] { Run(); });
    }
    ~PtyFlood()
    {
        stop_ = true;
        thread_.join();
    }
    PtyFlood(const PtyFlood&) = delete;
    PtyFlood& operator=(const PtyFlood&) = delete;
    long long Sent() const { return sent_.load(); }

private:
    void Run()
    {
        std::vector<char> chunk(997);
        for (std::size_t i = 0; i < chunk.size(); ++i)
            chunk[i] = static_cast<char>('A' + i % 26);
        char sink[4096];
        while (!stop_.load()) {
            const ssize_t n = ::write(master_, chunk.data(), chunk.size());
            if (n > 0) sent_ += n;
            while (::read(master_, sink, sizeof sink) > 0) {
            }
            if (n <= 0) {
                pollfd p{master_, POLLOUT, 0};
                ::poll(&p, 1, 2);
            }
        }
    }

    int master_;
    std::atomic<bool> stop_{false};
    std::atomic<long long> sent_{0};
    std::thread thread_;
};

// A loopback TCP server that floods every connection it accepts until the peer goes away.
class TcpFlood {
public:
    TcpFlood()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(listener_, 16) != 0)
            return;
        socklen_t len = sizeof addr;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~TcpFlood()
    {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        ::close(listener_);
    }
    TcpFlood(const TcpFlood&) = delete;
    TcpFlood& operator=(const TcpFlood&) = delete;
    int Port() const { return port_; }
    int Accepted() const { return accepted_.load(); }

private:
    void Run()
    {
        std::vector<char> chunk(1400, 'x');
        std::vector<int> peers;
        while (!stop_.load()) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 1) > 0) {
                const int peer =
                    ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (peer >= 0) {
                    peers.push_back(peer);
                    ++accepted_;
                }
            }
            for (auto it = peers.begin(); it != peers.end();) {
                const ssize_t n = ::send(*it, chunk.data(), chunk.size(), MSG_NOSIGNAL);
                if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                    ::close(*it);
                    it = peers.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (int peer : peers)
            ::close(peer);
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::thread thread_;
};

// Counts the notifications that reach the owner, so the loop knows bytes went all the way.
class Owner : public QObject {
public:
    int notified = 0;

protected:
    bool event(QEvent* e) override
    {
        MarkReceived(e);
        if (e->type() >= QEvent::User) {
            ++notified;
            return true;
        }
        return QObject::event(e);
    }
};

} // namespace

TEST(Stress, SerialLinkObjectsOpenedClosedAndDestroyedUnderAFlood)
{
    TempHome home;
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    PtyFlood flood(pty.master());
    Owner owner;
    int cycles = 0;
    long long received = 0;
    const auto end = px::tickCount() + StressMs();
    while (px::tickCount() < end) {
        // The link object on its own: destroyed while its reader is pushing and notifying.
        auto link = std::make_unique<CJXmodem>();
        link->SetOwner(&owner, 1000);
        link->SetRxBufferSize(64 + cycles % 512); // a small ring overflows
        ASSERT_TRUE(link->Open(pty.path())) << Describe(link->LastOpenFailure());
        px::waitFor(px::Millis(cycles % 3));
        std::uint8_t buffer[256];
        received += link->Read(buffer, sizeof buffer);
        (void)link->TakeEvents();
        (void)link->TakeErrors();
        if (cycles % 4 == 1) link->PurgeRx();
        if (cycles % 4 == 2) link->SetRxBufferSize(128); // re-created under the reader's feet
        if (cycles % 5 == 0) link->Write(buffer, 16);
        if (cycles % 2) link->Close();
        link.reset();
        ++cycles;
    }
    EXPECT_GT(cycles, 10);
    EXPECT_GT(received, 0);
    EXPECT_GT(flood.Sent(), 0);
    px::waitFor(px::Millis(20)); // notifications of destroyed links still arrive, harmlessly
}

TEST(Stress, SerialControlOpenCloseReopenAndDestroyUnderAFlood)
{
    TempHome home;
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    PtyFlood flood(pty.master());
    int cycles = 0;
    int onComm = 0;
    const auto end = px::tickCount() + StressMs();
    while (px::tickCount() < end) {
        auto ctrl = std::make_unique<CSerloCtrl>();
        ctrl->Advise([&](std::int32_t id, const std::vector<Value>& args) {
            if (id == 1) ++onComm;
            if (id == 3 && args[0].i == 0 && args[1].s.rfind("$OPEN ERROR", 0) == 0)
                ADD_FAILURE() << args[1].s;
        });
        ctrl->SetProperty(dispid::ExtPort, Value::Str(pty.path()));
        for (int round = 0; round < 3; ++round) {
            ctrl->SetProperty(dispid::ExtPortOpen, Value::Bool(true));
            ASSERT_TRUE(ctrl->PortOpen());
            px::waitFor(px::Millis(round));
            (void)ctrl->GetProperty(dispid::Text);
            (void)ctrl->GetProperty(dispid::CommEvent);
            ctrl->SetProperty(dispid::RxQueue, Value::I2(static_cast<int>(100 + round * 50)));
            ctrl->SetProperty(dispid::Text, Value::Str("ping"));
            if (round == 1) ctrl->SetProperty(dispid::ExtPortOpen, Value::Bool(false));
        }
        ctrl.reset(); // open, with the reader busy
        ++cycles;
    }
    EXPECT_GT(cycles, 5);
    EXPECT_GT(onComm, 0);
}

TEST(Stress, TcpControlConnectCloseAndDestroyUnderAFlood)
{
    TempHome home;
    TcpFlood flood;
    ASSERT_GT(flood.Port(), 0);
    int cycles = 0;
    long long received = 0;
    const auto end = px::tickCount() + StressMs();
    while (px::tickCount() < end) {
        auto ctrl = std::make_unique<CSerloCtrl>();
        ctrl->SetProperty(dispid::VNetTimeout, Value::I4(50)); // nobody answers configuration
        ctrl->SetProperty(dispid::iAddress, Value::Str("127.0.0.1"));
        ctrl->SetProperty(dispid::iPort,
                          Value::I2(flood.Port() > 32767 ? flood.Port() - 65536 : flood.Port()));
        ctrl->SetProperty(dispid::RxQueue, Value::I2(512));
        ctrl->SetProperty(dispid::CommPort, Value::I2(0));
        for (int round = 0; round < 2; ++round) {
            ctrl->SetProperty(dispid::PortOpen, Value::Bool(true));
            ASSERT_TRUE(ctrl->PortOpen());
            px::waitFor(px::Millis(2));
            received += static_cast<long long>(ctrl->GetProperty(dispid::Text).s.size());
            ctrl->SetProperty(dispid::Text, Value::Str("ping"));
            if (round == 0) ctrl->SetProperty(dispid::PortOpen, Value::Bool(false));
        }
        ctrl.reset(); // connected, with data arriving
        ++cycles;
    }
    EXPECT_GT(cycles, 3);
    EXPECT_GT(received, 0);
    EXPECT_GE(flood.Accepted(), cycles);
}

namespace {

// One terminal session's thread: a QThread running its own event loop, in which controls are
// created, opened on the session's simulator, exchanged with, closed and destroyed until the
// deadline. Counters are read by the main thread while it runs.
class Session {
public:
    Session(std::string endpoint, bool tcp, std::int64_t deadline)
        : endpoint_(std::move(endpoint)), tcp_(tcp), deadline_(deadline)
    {
        context_.moveToThread(&thread_);
        QMetaObject::invokeMethod(
            &context_, [this] { Run(); }, Qt::QueuedConnection);
        thread_.start();
    }
    ~Session()
    {
        thread_.quit();
        thread_.wait();
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool Done() const { return done_.load(); }
    // The control in use right now (or a destroyed one): for the main thread's stray calls.
    SerloCtrl* Current() const { return current_.load(); }

    std::atomic<int> cycles{0};
    std::atomic<int> exchanges{0};
    std::atomic<int> failures{0};
    std::atomic<int> events{0};
    QThread* Thread() { return &thread_; }

private:
    static void Sink(void* ctx, int32_t, const SerloVariant*, int32_t)
    {
        ++static_cast<Session*>(ctx)->events;
    }
    int32_t Put(SerloCtrl* c, int id, SerloVariant v)
    {
        return SerloInvoke(c, id, SERLO_DISPATCH_PROPERTYPUT, &v, 1, nullptr);
    }
    std::string Exchange(SerloCtrl* c, const std::string& text)
    {
        SerloVariant args[] = {
            {SERLO_VT_BSTR, 0, const_cast<char*>(text.data()), static_cast<int32_t>(text.size())},
            {SERLO_VT_BOOL, 0, nullptr, 0},
            {SERLO_VT_BOOL, 0, nullptr, 0}};
        SerloVariant out{};
        if (SerloInvoke(c, dispid::SendVNetCmd, SERLO_DISPATCH_METHOD, args, 3, &out) != SERLO_S_OK)
            return {};
        std::string reply(out.str ? out.str : "", static_cast<std::size_t>(out.len));
        SerloFreeString(out.str);
        return reply;
    }
    bool Open(SerloCtrl* c)
    {
        if (!tcp_) {
            Put(c, dispid::ExtPort,
                {SERLO_VT_BSTR, 0, endpoint_.data(), static_cast<int32_t>(endpoint_.size())});
            return Put(c, dispid::ExtPortOpen, {SERLO_VT_BOOL, -1, nullptr, 0}) == SERLO_S_OK;
        }
        const auto colon = endpoint_.rfind(':');
        std::string address = endpoint_.substr(0, colon);
        const int port = std::atoi(endpoint_.c_str() + colon + 1);
        Put(c, dispid::VNetTimeout, {SERLO_VT_I4, 3000, nullptr, 0});
        Put(c, dispid::iAddress,
            {SERLO_VT_BSTR, 0, address.data(), static_cast<int32_t>(address.size())});
        Put(c, dispid::iPort, {SERLO_VT_I4, port > 32767 ? port - 65536 : port, nullptr, 0});
        Put(c, dispid::CommPort, {SERLO_VT_I2, 0, nullptr, 0}); // TCP
        return Put(c, dispid::PortOpen, {SERLO_VT_BOOL, -1, nullptr, 0}) == SERLO_S_OK;
    }
    void Run()
    {
        while (px::tickCount() < deadline_) {
            SerloCtrl* c = SerloCreate();
            current_ = c;
            SerloAdvise(c, &Session::Sink, this);
            Open(c);
            for (int i = 0; i < 3; ++i) {
                // The terminal answers its poll with its ID; anything else is a failure.
                if (Exchange(c, "D01").rfind("A01", 0) == 0)
                    ++exchanges;
                else
                    ++failures;
            }
            if (cycles % 2)
                Put(c, tcp_ ? dispid::PortOpen : dispid::ExtPortOpen,
                    {SERLO_VT_BOOL, 0, nullptr, 0});
            SerloDestroy(c); // the others open when it is closed
            ++cycles;
        }
        done_ = true;
    }

    std::string endpoint_;
    bool tcp_;
    std::int64_t deadline_;
    QThread thread_;
    QObject context_;
    std::atomic<SerloCtrl*> current_{nullptr};
    std::atomic<bool> done_{false};
};

} // namespace

TEST(Stress, ControlsOfSeveralThreadsExchangeWithTerminalsAtOnce)
{
    TempHome home;
    std::vector<std::unique_ptr<px::testing::SimProcess>> sims;
    std::vector<std::unique_ptr<Session>> sessions;
    std::mt19937 rng(std::random_device{}());
    for (int i = 0; i < 4; ++i) {
        const bool tcp = i % 2 == 1;
        std::vector<std::string> args = {"--quiet"};
        if (tcp) {
            // A loopback address of its own: each device server has its own datagram port.
            std::uniform_int_distribution<int> octet(1, 254);
            const std::string address = "127." + std::to_string(octet(rng)) + "." +
                                        std::to_string(octet(rng)) + "." +
                                        std::to_string(octet(rng));
            args.insert(args.end(), {"--tcp", address + ":0"});
        } else {
            args.push_back("--pty");
        }
        sims.push_back(std::make_unique<px::testing::SimProcess>(args));
        ASSERT_TRUE(sims.back()->ok());
    }
    const auto end = px::tickCount() + StressMs();
    // Every simulator runs before the first session opens a line: a child forked meanwhile would
    // hold a copy of a line just closed, and its reopening would find it still locked.
    for (std::size_t i = 0; i < sims.size(); ++i)
        sessions.push_back(std::make_unique<Session>(sims[i]->endpoint(), i % 2 == 1, end));
    // The main thread keeps controls of its own meanwhile, and tries the sessions' controls,
    // which belong to other threads.
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    PtyFlood flood(pty.master());
    int refused = 0;
    int mine = 0;
    const auto allDone = [&] {
        for (const auto& s : sessions)
            if (!s->Done()) return false;
        return true;
    };
    while (!allDone()) {
        SerloCtrl* c = SerloCreate();
        SerloVariant path{SERLO_VT_BSTR, 0, const_cast<char*>(pty.path().data()),
                          static_cast<int32_t>(pty.path().size())};
        SerloVariant on{SERLO_VT_BOOL, -1, nullptr, 0};
        SerloInvoke(c, dispid::ExtPort, SERLO_DISPATCH_PROPERTYPUT, &path, 1, nullptr);
        EXPECT_EQ(SerloInvoke(c, dispid::ExtPortOpen, SERLO_DISPATCH_PROPERTYPUT, &on, 1, nullptr),
                  SERLO_S_OK);
        for (const auto& s : sessions) {
            SerloCtrl* theirs = s->Current();
            if (!theirs || theirs == c) continue;
            SerloVariant out{};
            const int32_t rc =
                SerloInvoke(theirs, dispid::RxCount, SERLO_DISPATCH_PROPERTYGET, nullptr, 0, &out);
            // Theirs while it lives; a freed one is no control at all.
            EXPECT_TRUE(rc == SERLO_E_WRONG_THREAD || rc == SERLO_E_INVALIDARG) << rc;
            refused += rc == SERLO_E_WRONG_THREAD;
            SerloDestroy(theirs); // refused as well: never a destroy under its owner's feet
        }
        px::waitFor(px::Millis(2));
        SerloVariant text{};
        SerloInvoke(c, dispid::Text, SERLO_DISPATCH_PROPERTYGET, nullptr, 0, &text);
        SerloFreeString(text.str);
        SerloDestroy(c);
        ++mine;
    }
    int cycles = 0;
    for (const auto& s : sessions) {
        EXPECT_GT(s->cycles.load(), 0);
        EXPECT_EQ(s->failures.load(), 0);
        EXPECT_EQ(s->exchanges.load(), 3 * s->cycles.load());
        cycles += s->cycles.load();
    }
    sessions.clear();
    EXPECT_GT(cycles, 8);
    EXPECT_GT(mine, 5);
    EXPECT_GT(refused, 0);
}
