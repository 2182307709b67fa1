// Open, close and destroy while bytes flood in, on both transports. Built and run under
// ThreadSanitizer as well (tools/tsan.sh): the serial reader thread races the control's thread
// for the ring, the events and the link object itself. Each case runs for a bounded time,
// PX_STRESS_MS milliseconds (default 1500).
#include "CJXmodem.h"
#include "CSerloCtrl.h"
#include "LinkEvents.h"
#include "PtyPair.h"
#include "TempHome.h"
#include "Wait.h"

#include <QEvent>
#include <QObject>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
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
