#include "Ping.h"

#include "Wait.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QObject>
#include <QSocketNotifier>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace px {

namespace {

constexpr std::uint16_t kIdentifier = 23130; // 0x5A5A
constexpr std::size_t kReceiveSize = 100;
constexpr long kHostLookupMs = 500;

std::uint16_t Le16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t Le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Errors meaning "this process may not open that socket", as opposed to a broken system.
bool IsRefusal(int error)
{
    return error == EPERM || error == EACCES || error == EPROTONOSUPPORT ||
           error == ESOCKTNOSUPPORT || error == EAFNOSUPPORT;
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Echo time of an accepted reply, nothing for any other packet.
std::optional<long> AcceptReply(const std::uint8_t* data, std::size_t len, Pinger::Method method,
                                std::uint16_t sequence, std::uint32_t stamp)
{
    const std::uint8_t* icmp = data;
    if (method == Pinger::Method::Raw) {
        // The raw socket hands over the IPv4 header too; honour its length in case of options.
        if (len < 20) return std::nullopt;
        const std::size_t headerLen = static_cast<std::size_t>(data[0] & 0x0F) * 4;
        if (headerLen < 20 || len < headerLen + 12) return std::nullopt;
        icmp = data + headerLen;
        if (icmp[0] != 0 || Le16(icmp + 4) != kIdentifier || Le16(icmp + 6) != sequence)
            return std::nullopt;
    } else {
        // The kernel picks the identifier here, so the stamp tells our reply from a stale one.
        if (len < 12 || icmp[0] != 0 || Le16(icmp + 6) != sequence || Le32(icmp + 8) != stamp)
            return std::nullopt;
    }
    const auto now = static_cast<std::uint32_t>(tickCount());
    return static_cast<long>(now - Le32(icmp + 8));
}

} // namespace

std::uint16_t InternetChecksum(const std::uint8_t* data, std::size_t len)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < len; i += 2)
        sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
    if (len % 2) sum += static_cast<std::uint32_t>(data[len - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

std::array<std::uint8_t, 64> BuildEchoRequest(std::uint16_t sequence, std::uint32_t timeStamp)
{
    std::array<std::uint8_t, 64> p{};
    p[0] = 8;
    p[1] = 0;
    p[4] = kIdentifier & 0xFF;
    p[5] = kIdentifier >> 8;
    p[6] = sequence & 0xFF;
    p[7] = sequence >> 8;
    for (int i = 0; i < 4; ++i)
        p[8 + i] = static_cast<std::uint8_t>(timeStamp >> (8 * i));
    for (std::size_t i = 12; i < p.size(); ++i)
        p[i] = static_cast<std::uint8_t>(65 + (i - 12));
    const std::uint16_t sum = InternetChecksum(p.data(), p.size());
    p[2] = sum >> 8;
    p[3] = sum & 0xFF;
    return p;
}

Pinger::Pinger(LinkState& state, std::function<void(const std::string&)> log)
    : state_(state), log_(std::move(log))
{
}

long Pinger::Ping(const std::string& host, long timeoutMs)
{
    state_.bStopPing = false;
    ++state_.pingsInProgress;
    struct Leave {
        int& count;
        ~Leave() { --count; }
    } leave{state_.pingsInProgress};
    lastMethod_ = Method::None;

    in_addr dotted{};
    std::uint32_t address = 0;
    if (::inet_pton(AF_INET, host.c_str(), &dotted) == 1)
        address = dotted.s_addr;
    else if (ResolveHost(host, kHostLookupMs))
        address = resolvedAddress_;
    else
        return -1;
    return Echo(address, timeoutMs);
}

long Pinger::Echo(std::uint32_t address, long timeoutMs)
{
    int fd = -1;
    Method method = Method::None;
    if (!preferDatagram_) {
        fd = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (fd >= 0)
            method = Method::Raw;
        else if (!IsRefusal(errno))
            return -1;
    }
    if (fd < 0) {
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (fd >= 0)
            method = Method::Datagram;
        else if (!IsRefusal(errno))
            return -1;
    }
    lastMethod_ = method;
    if (fd < 0) {
        // Without either socket the TCP connect's own time-out has to decide reachability.
        if (!cannotMeasureLogged_->exchange(true) && log_)
            log_("Ping: no ICMP socket may be opened (needs CAP_NET_RAW or a group within "
                 "net.ipv4.ping_group_range); hosts are taken as reachable without an echo");
        return 0;
    }
    const Fd owner(fd);

    const auto stamp = static_cast<std::uint32_t>(tickCount());
    const auto sequence = static_cast<std::uint16_t>(stamp & 0x7FFF);
    const auto request = BuildEchoRequest(sequence, stamp);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    const ssize_t sent = ::sendto(fd, request.data(), request.size(), 0,
                                  reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (sent != static_cast<ssize_t>(request.size())) return -1;

    QSocketNotifier notifier(static_cast<qintptr>(fd), QSocketNotifier::Read);
    bool readable = false;
    QObject::connect(&notifier, &QSocketNotifier::activated, [&readable] { readable = true; });

    const std::int64_t deadline = tickCount() + std::max(timeoutMs, 0L);
    std::array<std::uint8_t, kReceiveSize> buffer{};
    for (;;) {
        for (;;) {
            sockaddr_in from{};
            socklen_t fromLen = sizeof from;
            const ssize_t n = ::recvfrom(fd, buffer.data(), buffer.size(), 0,
                                         reinterpret_cast<sockaddr*>(&from), &fromLen);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) break; // nothing queued, or a reported ICMP error: keep waiting for the echo
            // A raw socket sees every echo reply of the machine: one from another host with a
            // matching identifier and sequence is not this host's answer.
            if (fromLen < sizeof from || from.sin_family != AF_INET ||
                from.sin_addr.s_addr != address)
                continue;
            if (auto echo = AcceptReply(buffer.data(), static_cast<std::size_t>(n), method,
                                        sequence, stamp))
                return *echo;
        }
        const std::int64_t remaining = deadline - tickCount();
        if (state_.bStopPing || remaining <= 0) return -1;
        readable = false;
        waitUntil([&] { return readable || state_.bStopPing; }, Millis(remaining));
    }
}

void Pinger::NoteOncePerProgram()
{
    static std::atomic<bool> noted{false};
    cannotMeasureLogged_ = &noted;
}

bool Pinger::ResolveHost(const std::string& name, long timeoutMs)
{
    const QString trimmed = QString::fromStdString(name).trimmed();
    if (trimmed.isEmpty() || lookupRunning_) return false;
    lookupRunning_ = true;

    struct Outcome {
        bool reported = false;
        bool ok = false;
        std::uint32_t address = 0; // network order
        QString text;
        QString official;
    };
    auto outcome = std::make_shared<Outcome>();
    {
        QObject context;
        const int id = QHostInfo::lookupHost(trimmed, &context, [outcome](const QHostInfo& info) {
            outcome->reported = true;
            if (info.error() != QHostInfo::NoError) return;
            for (const QHostAddress& a : info.addresses()) {
                bool isV4 = false;
                const quint32 v4 = a.toIPv4Address(&isV4);
                if (!isV4) continue;
                outcome->ok = true;
                outcome->address = htonl(v4);
                outcome->text = QHostAddress(v4).toString();
                outcome->official = info.hostName();
                return;
            }
        });
        waitUntil([&] { return outcome->reported || state_.bStopPing; },
                  Millis(std::max(timeoutMs, 0L)));
        if (!outcome->reported) QHostInfo::abortHostLookup(id);
    } // the context goes first, so no late report reaches this call's state
    lookupRunning_ = false;

    if (!outcome->ok || state_.bStopPing) {
        ClearResolved();
        return false;
    }
    resolvedAddress_ = outcome->address;
    resolvedText_ = outcome->text.toStdString();
    resolvedName_ = outcome->official.toStdString();
    return true;
}

void Pinger::ClearResolved()
{
    resolvedText_.clear();
    resolvedName_.clear();
    resolvedAddress_ = 0xFFFFFFFFu;
}

} // namespace px
