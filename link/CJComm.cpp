#include "CJComm.h"

#include "LinkEvents.h"
#include "PortMap.h"
#include "Trace.h"
#include "TtyIo.h"
#include "Wait.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

namespace serlo {

namespace {

// While modem lines or error counters can be read, the reader looks at them this often; the
// driver's own wait for line changes is not available on every adapter.
constexpr int kLinePollMs = 20;
constexpr int kMaxDrain = 65536;
constexpr int kWriteAttempts = 3;

} // namespace

CJComm::CJComm() = default;

CJComm::~CJComm()
{
    ClosePort();
}

std::string CJComm::EnumPort(int index)
{
    if (index < 0) return {};
    PortMap map;
    // Looking for new adapters once per enumeration is enough; later indices read the file.
    const auto entries = index == 0 ? map.Refresh() : map.Read();
    if (static_cast<std::size_t>(index) >= entries.size()) return {};
    return entries[static_cast<std::size_t>(index)].name;
}

bool CJComm::IsOpen() const
{
    return fd_ >= 0 && !lost_.load();
}

void CJComm::SetOwner(QObject* owner)
{
    owner_ = owner;
    ownerThread_ = owner ? owner->thread() : nullptr;
}

bool CJComm::SetFraming(int parity, int dataBits, int stopCode)
{
    if (parity < ParityNone || parity > ParitySpace || dataBits < 5 || dataBits > 8) return false;
    parity_ = parity;
    dataBits_ = dataBits;
    stopCode_ = stopCode;
    if (!IsOpen()) return false;
    const bool ok = tty::ApplyFraming(fd_, parity, dataBits, stopCode);
    qCDebug(pxLink) << "framing" << portName_.c_str() << "parity" << parity << "data" << dataBits
                    << "stop" << stopCode << (ok ? "set" : "refused");
    return ok;
}

bool CJComm::SetSpeed(int baud)
{
    if (baud <= 0) return false;
    speed_ = baud;
    if (!IsOpen()) return false;
    const bool ok = tty::ApplySpeed(fd_, baud);
    qCDebug(pxLink) << "speed" << portName_.c_str() << baud << (ok ? "set" : "refused");
    return ok;
}

bool CJComm::SetFlowControl(int bits)
{
    flow_ = bits;
    if (!IsOpen()) return false;
    const bool ok = tty::ApplyFlow(fd_, bits);
    qCDebug(pxLink) << "flow" << portName_.c_str() << bits << (ok ? "set" : "refused");
    return ok;
}

void CJComm::SetRxBufferSize(int size)
{
    ring_.Create(size);
}

void CJComm::SetTxQueueSize(int size)
{
    // Linux has no per-port driver queue size; the value only shapes TxSpace.
    txQueueSize_ = size;
}

void CJComm::SetEventMask(std::uint32_t mask)
{
    mask_ = mask;
}

int CJComm::Rs485DrainBoundMs(int bytes, int baud)
{
    if (baud <= 0) baud = 300;
    const long long lineMs = (static_cast<long long>(bytes) * 12 * 1000 + baud - 1) / baud;
    return static_cast<int>(std::min<long long>(2 * lineMs + 100, 60000));
}

void CJComm::BeginRs485Send()
{
    SetRts(false);
    events_ &= ~static_cast<std::uint32_t>(EV_TXEMPTY);
    px::waitFor(px::Millis(3));
}

void CJComm::EndRs485Send(int bytesSent)
{
    px::waitUntil([this] { return (events_.load() & EV_TXEMPTY) != 0; },
                  px::Millis(Rs485DrainBoundMs(bytesSent, speed_)));
    px::waitFor(px::Millis(6));
    events_ = 0;
    SetRts(true);
}

void CJComm::ApplyStoredSettings()
{
    tty::ApplySpeed(fd_, speed_);
    tty::ApplyFlow(fd_, flow_);
    tty::ApplyFraming(fd_, parity_, dataBits_, stopCode_);
}

void CJComm::RecordOpenFailure(const std::string& name, const std::string& path, int error)
{
    lastError_ = error;
    lastFailure_ = ClassifyOpenError(name, path, error);
    qCDebug(pxLink).noquote() << "open failed:" << Describe(lastFailure_).c_str();
}

bool CJComm::Open(const std::string& name)
{
    if (fd_ >= 0) ClosePort();
    BusyScope busy(busy_);
    lastFailure_ = {};
    std::string path = name;
    if (name.empty() || name[0] != '/') {
        PortMap map;
        path = map.Resolve(name);
        if (path.empty()) {
            lastError_ = ENOENT;
            lastFailure_.cause = OpenFailure::Cause::NotMapped;
            lastFailure_.error = ENOENT;
            lastFailure_.port = name;
            lastFailure_.detail = PortMap::DefaultPath();
            qCDebug(pxLink).noquote() << "open failed:" << Describe(lastFailure_).c_str();
            return false;
        }
    }
    int error = 0;
    const int fd = tty::OpenExclusive(path, &error);
    if (fd < 0) {
        RecordOpenFailure(name, path, error);
        return false;
    }
    const int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0) {
        RecordOpenFailure(name, path, errno);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    ++openCount_;
    wakeFd_ = wake;
    portName_ = name;
    lost_ = false;
    stop_ = false;
    errors_ = 0; // bits of an earlier line are not this one's
    tty::MakeRaw(fd_);
    ApplyStoredSettings();
    PurgeTx();
    PurgeRx();
    tty::SetBreak(fd_, false);
    tty::SetDtr(fd_, true);
    tty::SetRts(fd_, true);
    try {
        reader_ = std::thread([this] { ReaderLoop(); });
    } catch (const std::system_error& e) {
        RecordOpenFailure(name, path, e.code().value());
        ::close(fd_);
        ::close(wakeFd_);
        fd_ = wakeFd_ = -1;
        return false;
    }
    qCDebug(pxLink) << "open" << name.c_str() << "at" << path.c_str() << "speed" << speed_
                    << "parity" << parity_ << "data" << dataBits_ << "stop" << stopCode_ << "flow"
                    << flow_;
    return true;
}

void CJComm::ClosePort()
{
    if (fd_ < 0) return;
    stop_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
    if (reader_.joinable()) reader_.join();
    // A write waiting for room must not keep watching a descriptor that is gone (or reused).
    if (writeWatch_) writeWatch_->setEnabled(false);
    tty::ReleaseExclusive(fd_);
    ::close(fd_);
    ::close(wakeFd_);
    fd_ = wakeFd_ = -1;
    lost_ = false;
    txWatch_ = false;
    qCDebug(pxLink) << "close" << portName_.c_str();
}

void CJComm::Close()
{
    ClosePort();
}

void CJComm::PurgeTx()
{
    if (fd_ >= 0) tty::FlushOutput(fd_);
}

void CJComm::PurgeRx()
{
    // Holding the drain lock keeps bytes read before the flush from landing after it.
    std::lock_guard guard(drainLock_);
    if (fd_ >= 0) tty::FlushInput(fd_);
    ring_.Clear();
}

int CJComm::Read(std::uint8_t* data, int length)
{
    return length > 0 ? ring_.Take(data, length) : 0;
}

bool CJComm::SameOpen(int fd, int openCount) const
{
    return fd_ == fd && openCount_ == openCount && IsOpen();
}

void CJComm::WaitWritable(int fd, int openCount, int bytesLeft)
{
    bool writable = false;
    QSocketNotifier notifier(fd, QSocketNotifier::Write);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] { writable = true; });
    QSocketNotifier* outer = writeWatch_; // a handler's own write may wait inside this one
    writeWatch_ = &notifier;
    const int bound = std::max(1000, 2 * Rs485DrainBoundMs(bytesLeft, speed_));
    px::waitUntil([&] { return writable || !SameOpen(fd, openCount); }, px::Millis(bound));
    writeWatch_ = outer;
}

int CJComm::Write(const std::uint8_t* data, int length)
{
    BusyScope busy(busy_);
    if (!IsOpen() || length <= 0) return 0;
    // Every wait below pumps events; a handler may close this port or open another meanwhile.
    const int fd = fd_;
    const int openCount = openCount_;
    const bool rs485 = (flow_ & FC_RS485) != 0;
    if (rs485) BeginRs485Send();
    int total = 0;
    int failures = 0;
    while (total < length && failures < kWriteAttempts && SameOpen(fd, openCount)) {
        const ssize_t n = ::write(fd, data + total, static_cast<std::size_t>(length - total));
        if (n > 0) {
            px::trace::Bytes(portName_, "tx", data + total, static_cast<std::size_t>(n));
            total += static_cast<int>(n);
            continue;
        }
        ++failures;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            WaitWritable(fd, openCount, length - total);
        } else {
            lastError_ = errno;
            errors_ |= CE_IOE;
        }
    }
    if (!SameOpen(fd, openCount)) {
        qCDebug(pxLink) << "write stopped after" << total << "of" << length
                        << "bytes: the port was closed meanwhile";
        return total;
    }
    if (total > 0) {
        txWatch_ = true;
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
    }
    if (rs485) EndRs485Send(total);
    return total;
}

int CJComm::WriteByte(std::uint8_t byte)
{
    return IsOpen() ? Write(&byte, 1) : 0;
}

int CJComm::GetRxCount() const
{
    return ring_.Count();
}

int CJComm::GetTxPending() const
{
    return IsOpen() ? tty::OutputPending(fd_) : 0;
}

int CJComm::GetTxSpace() const
{
    return IsOpen() ? std::max(0, txQueueSize_ - tty::OutputPending(fd_)) : 0;
}

bool CJComm::SetRts(bool on)
{
    return IsOpen() && tty::SetRts(fd_, on);
}
bool CJComm::SetDtr(bool on)
{
    return IsOpen() && tty::SetDtr(fd_, on);
}
bool CJComm::SetBreak(bool on)
{
    return IsOpen() && tty::SetBreak(fd_, on);
}

std::uint32_t CJComm::ModemStatus() const
{
    if (!IsOpen()) return 0;
    const int lines = tty::ModemLines(fd_);
    return lines < 0 ? 0 : ModemStatusFromTiocm(lines);
}

std::uint32_t CJComm::TakeEvents()
{
    return events_.exchange(0);
}
std::uint32_t CJComm::TakeErrors()
{
    return AnyLineOpen() ? errors_.exchange(0) : 0;
}

void CJComm::WakeOwner()
{
    if (QThread* thread = ownerThread_.load())
        if (auto* dispatcher = QAbstractEventDispatcher::instance(thread)) dispatcher->wakeUp();
}

void CJComm::Post(int code, std::uint32_t value, unsigned epoch)
{
    if (code == 0) events_ |= value;
    if (code == 0 && quiet_.load()) {
        WakeOwner();
        return;
    }
    if (QObject* owner = owner_.load()) {
        auto* event = new LinkNotifyEvent(code, value, epoch);
        MarkPosted(event);
        QCoreApplication::postEvent(owner, event);
    }
}

void CJComm::Notify(int code, std::uint32_t value)
{
    Post(code, value, Epoch());
}

void CJComm::HandleEvents(std::uint32_t bits, unsigned epoch)
{
    if (bits & EV_BREAK) SetBreak(false);
    events_ |= bits;
    // The notification carries only what the owner asked for: a transmitter-empty bit riding
    // along with an exchange's reply bytes must not make that reply look unconsumed.
    if (const std::uint32_t asked = bits & mask_.load())
        Post(0, asked, epoch);
    else
        WakeOwner(); // someone may be waiting on the accumulated events
}

int CJComm::Drain()
{
    BusyScope busy(busy_);
    std::lock_guard guard(drainLock_);
    const int pending = std::clamp(tty::InputPending(fd_), 1, kMaxDrain);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(pending));
    const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
    if (n > 0) {
        px::trace::Bytes(portName_, "rx", buffer.data(), static_cast<std::size_t>(n));
        const int kept = ring_.Push(buffer.data(), static_cast<int>(n));
        if (kept < n) errors_ |= CE_RXOVER;
        return static_cast<int>(n);
    }
    if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
    return -1;
}

void CJComm::ReaderLoop()
{
    int lines = tty::ModemLines(fd_);
    std::uint32_t status = lines < 0 ? 0 : ModemStatusFromTiocm(lines);
    ErrorCounters counters;
    const bool haveCounters = tty::ReadCounters(fd_, &counters);

    while (!stop_.load()) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        int timeout = (lines >= 0 || haveCounters) ? kLinePollMs : -1;
        if (txWatch_.load()) timeout = 1;
        const int ready = ::poll(fds, 2, timeout);
        if (stop_.load()) break;
        if (ready < 0 && errno != EINTR) break;
        if (fds[1].revents & POLLIN) {
            std::uint64_t count;
            [[maybe_unused]] auto n = ::read(wakeFd_, &count, sizeof count);
        }
        std::uint32_t bits = 0;
        bool lost = false;
        // Taken before the bytes reach the buffer: an exchange may take them and end before
        // they are announced, and the announcement must then count as one it consumed.
        const unsigned epoch = Epoch();
        if (fds[0].revents & POLLIN) {
            const int got = Drain();
            if (got > 0)
                bits |= EV_RXCHAR;
            else if (got < 0)
                lost = true;
        }
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) lost = true;
        if (lines >= 0) {
            const int now = tty::ModemLines(fd_);
            if (now >= 0) {
                const std::uint32_t current = ModemStatusFromTiocm(now);
                bits |= ModemEvents(status, current);
                status = current;
            }
        }
        if (haveCounters) {
            ErrorCounters now;
            if (tty::ReadCounters(fd_, &now)) {
                const LineErrors found = ErrorsFromCounters(counters, now);
                errors_ |= found.errors;
                bits |= found.events;
                counters = now;
            }
        }
        // The queue may be empty while the UART still shifts out the last byte; RS-485 must
        // not turn the transmitter off before that byte has left.
        if (txWatch_.load() && tty::OutputPending(fd_) == 0 && tty::TransmitterIdle(fd_)) {
            txWatch_ = false;
            bits |= EV_TXEMPTY;
        }
        if (bits) HandleEvents(bits, epoch);
        if (lost) {
            lost_ = true;
            errors_ |= CE_IOE;
            if (QObject* owner = owner_.load()) {
                auto* event = new LinkLostEvent(openCount_);
                MarkPosted(event);
                QCoreApplication::postEvent(owner, event);
            }
            break;
        }
    }
}

} // namespace serlo
