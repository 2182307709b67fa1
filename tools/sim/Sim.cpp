#include "Sim.h"

#include "Clock.h"
#include "Control.h"
#include "Escape.h"
#include "Output.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <limits>
#include <unistd.h>

namespace sim {

namespace {

constexpr int64_t kNever = std::numeric_limits<int64_t>::max();
// Deadlines nearer than this are met by an exact sleep instead of another poll round.
constexpr int64_t kSpinNs = 1'000'000;

volatile std::sig_atomic_t gStopSignal = 0;

void onStopSignal(int sig)
{
    gStopSignal = sig;
}

std::optional<unsigned> recordIndexOf(const std::string& text)
{
    if (text.size() != 5 || text[0] != 'G') return std::nullopt;
    unsigned v = 0;
    for (size_t i = 1; i < 5; ++i) {
        char c = text[i];
        int d = (c >= '0' && c <= '9')   ? c - '0'
                : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                         : -1;
        if (d < 0) return std::nullopt;
        v = v * 16 + unsigned(d);
    }
    return v;
}

} // namespace

Sim::Sim(const Options& options, Bus bus, std::unique_ptr<Line> line,
         std::unique_ptr<UdpChannel> udp)
    : profile_(options.profile), bus_(std::move(bus)), line_(std::move(line)), udp_(std::move(udp)),
      tcp_(options.tcp), delayMs_(options.delayMs), baud_(options.baud), files_(options.filesDir),
      xmodemTimeoutMs_(options.xmodemTimeoutMs)
{
    faults_.udpSilent = options.udpSilent;
    faults_.xmodemChecksum = options.xmodemChecksum;
    line_->setEvents({[this](const char* d, size_t n, int64_t t) { onReceived(d, n, t); },
                      [this] { onSessionChanged(); }});
}

void Sim::setBaud(int64_t baud)
{
    baud_ = baud;
    txEpochNs_ = std::max(nowNs(), lineFreeNs_);
    txSlot_ = 0;
}

void Sim::setXmodemTimeoutMs(int64_t ms)
{
    xmodemTimeoutMs_ = ms;
    if (xmodem_) xmodem_->setTimeout(ms * 1'000'000);
}

void Sim::onReceived(const char* data, size_t size, int64_t now)
{
    if (!xmodem_) {
        feedFrames(data, size, now);
        return;
    }
    if (faults_.silent) return; // a silent terminal hears nothing, transfer included
    // Handled when the bytes would have crossed the line, like frames.
    const int64_t start = std::max(now, rxLineFreeNs_);
    rxLineFreeNs_ = start + lineTimeNs(int64_t(size), baud_);
    xmodemInput_.push_back({std::string(data, size), rxLineFreeNs_});
}

void Sim::feedFrames(const char* data, size_t size, int64_t now)
{
    std::vector<ReceivedFrame> frames;
    reader_.feed(data, size, now, frames);
    for (ReceivedFrame& f : frames) {
        emitTraffic("RX", std::string(1, kStx) + f.text + kCr);
        // Frames written at once by the PC still follow each other on the line.
        const int64_t start = std::max(f.firstByteNs, rxLineFreeNs_);
        rxLineFreeNs_ = start + lineTimeNs(int64_t(f.lineBytes), baud_);
        pending_.push_back({std::move(f.text), rxLineFreeNs_});
    }
}

int64_t Sim::pendingDue() const
{
    return std::min(frameDue(), xmodemDue());
}

int64_t Sim::xmodemDue() const
{
    if (!xmodem_ || faults_.silent) return kNever;
    const int64_t input = xmodemInput_.empty() ? kNever : xmodemInput_.front().dueNs;
    return std::min(input, xmodem_->deadline());
}

int64_t Sim::frameDue() const
{
    if (pending_.empty()) return kNever;
    // One command at a time: the delay starts when the previous one has been dealt with.
    return std::max(pending_.front().receivedNs, lastHandledNs_) + delayMs_ * 1'000'000;
}

void Sim::onSessionChanged()
{
    if (xmodem_) {
        emitLine("XMODEM FAIL " + escapeBytes(xmodemName_) + " session");
        xmodem_.reset();
    }
    xmodemInput_.clear();
    reader_.reset();
    pending_.clear();
    rxLineFreeNs_ = 0;
    txBuf_.clear();
    txPos_ = 0;
    txBlocked_ = false;
    txDone_ = txQueued_;
    ++sessionGen_;
}

void Sim::handleFrame(const std::string& text)
{
    if (faults_.silent) return;
    if (faults_.skip > 0) {
        --faults_.skip;
        return;
    }
    if (!faults_.replyOnce.empty()) {
        std::string bytes = std::move(faults_.replyOnce.front());
        faults_.replyOnce.pop_front();
        emitTraffic("TX", bytes);
        queueBytes(bytes);
        replied();
        return;
    }
    Unit* unit = bus_.route(text);
    if (!unit) return;
    const std::pair<std::string, std::string>* refusal = nullptr;
    for (const auto& r : faults_.refusals)
        if (text.rfind(r.first, 0) == 0 && (!refusal || r.first.size() > refusal->first.size()))
            refusal = &r;
    if (refusal) {
        sendReply({"N" + refusal->second, false});
        return;
    }
    if (faults_.dropAtRecord && recordIndexOf(text) == faults_.dropAtRecord) {
        faults_.dropAtRecord.reset();
        line_->drop();
        return;
    }
    if (text.rfind("ZX", 0) == 0 || text.rfind("UX", 0) == 0 || text.rfind("UY", 0) == 0) {
        startFileCommand(text);
        return;
    }
    if (auto reply = unit->execute(text, profile_)) sendReply(*reply);
    // New punches arrive while the PC downloads: each count it reads is already stale.
    if (faults_.grow > 0 && text == "N") unit->addGenerated(faults_.grow);
    if (faults_.growOnce > 0 && text == "N" && --faults_.growAfter <= 0) {
        unit->addGenerated(faults_.growOnce);
        faults_.growOnce = 0;
    }
}

void Sim::startFileCommand(const std::string& text)
{
    const std::string name = text.substr(2);
    if (!FileStore::validName(name)) {
        sendReply({"N02", false});
        return;
    }
    XmodemSession::Io io{[this](std::string_view bytes) { queueBytes(bytes); },
                         [](const std::string& line) { emitTrace(line); }};
    const int64_t timeoutNs = xmodemTimeoutMs_ * 1'000'000;
    if (text[0] == 'Z') {
        sendReply({"A", false});
        emitLine("XMODEM RECV " + escapeBytes(name));
        xmodem_ = std::make_unique<XmodemSession>(std::move(io), !faults_.xmodemChecksum, timeoutNs,
                                                  nowNs());
    } else {
        // "UY" asks for YMODEM; this terminal moves every file with XMODEM.
        std::optional<std::string> data = files_.load(name);
        if (!data) {
            sendReply({"N05", false});
            return;
        }
        sendReply({"A", false});
        emitLine("XMODEM SEND " + escapeBytes(name));
        xmodem_ =
            std::make_unique<XmodemSession>(std::move(io), std::move(*data), timeoutNs, nowNs());
    }
    xmodemName_ = name;
}

void Sim::runXmodem()
{
    const int64_t now = nowNs();
    std::string rest;
    if (!xmodemInput_.empty() && xmodemInput_.front().dueNs <= now) {
        XmodemInput chunk = std::move(xmodemInput_.front());
        xmodemInput_.pop_front();
        const size_t used = xmodem_->feed(chunk.bytes, now, faults_.xmodem);
        rest = chunk.bytes.substr(used);
    } else {
        xmodem_->onTimer(now);
    }
    if (xmodem_->state() == XmodemSession::State::Running) return;
    finishXmodem();
    // Whatever followed the transfer is ordinary traffic again.
    for (XmodemInput& chunk : xmodemInput_)
        rest += chunk.bytes;
    xmodemInput_.clear();
    if (!rest.empty()) feedFrames(rest.data(), rest.size(), now);
}

void Sim::finishXmodem()
{
    const std::string name = escapeBytes(xmodemName_);
    if (xmodem_->state() == XmodemSession::State::Failed) {
        emitLine("XMODEM FAIL " + name + " " + xmodem_->failure());
    } else if (xmodem_->role() == XmodemSession::Role::Send) {
        emitLine("XMODEM DONE " + name);
    } else {
        std::string error;
        if (files_.store(xmodemName_, xmodem_->data(), error))
            emitLine("XMODEM DONE " + name + " " + std::to_string(xmodem_->data().size()));
        else
            emitLine("XMODEM FAIL " + name + " " + error);
    }
    xmodem_.reset();
}

void Sim::sendReply(const Reply& reply)
{
    std::string bytes = faults_.noise;
    bytes += kStx;
    bytes += reply.text;
    if (reply.checksum) bytes += checksumDigits(checksumOf(reply.text) + (faults_.badsum ? 1 : 0));
    bytes += kCr;
    emitTraffic("TX", bytes);
    queueBytes(bytes);
    replied();
}

void Sim::replied()
{
    if (faults_.silentAfter > 0 && --faults_.silentAfter == 0) {
        faults_.silent = true;
        faults_.silentAfter = -1;
    }
}

bool Sim::sendRaw(std::string_view bytes)
{
    if (!line_->connected()) return false;
    emitTraffic("TX", bytes);
    queueBytes(bytes);
    return true;
}

void Sim::queueBytes(std::string_view bytes)
{
    if (!line_->connected() || bytes.empty()) return;
    if (txPos_ >= txBuf_.size()) {
        txBuf_.clear();
        txPos_ = 0;
        txEpochNs_ = std::max(nowNs(), lineFreeNs_);
        txSlot_ = 0;
    }
    txBuf_ += bytes;
    txQueued_ += bytes.size();
}

int64_t Sim::txDeadline() const
{
    if (txPos_ >= txBuf_.size() || txBlocked_) return kNever;
    if (baud_ <= 0) return 0;
    return txEpochNs_ + lineTimeNs(txSlot_ + 1, baud_);
}

void Sim::writeTx()
{
    const uint64_t gen = sessionGen_;
    const int64_t deadline = txDeadline();
    const size_t size = baud_ > 0 ? 1 : txBuf_.size() - txPos_;
    ssize_t n = line_->write(txBuf_.data() + txPos_, size);
    if (gen != sessionGen_) return; // the write found the session broken
    if (n <= 0) {
        txBlocked_ = true;
        return;
    }
    txPos_ += size_t(n);
    txDone_ += uint64_t(n);
    if (txPos_ > 65536 && txPos_ * 2 > txBuf_.size()) {
        txBuf_.erase(0, txPos_);
        txPos_ = 0;
    }
    if (baud_ > 0) {
        ++txSlot_;
        lineFreeNs_ = deadline;
    }
}

void Sim::runDue()
{
    // Back to the poll now and then, so that a long fast transmission cannot starve it.
    const int64_t yieldAt = nowNs() + 5 * kSpinNs;
    for (;;) {
        const int64_t now = nowNs();
        if (now > yieldAt) break;
        const int64_t cmdDue = frameDue();
        const int64_t xmDue = xmodemDue();
        const int64_t txDue = txDeadline();
        const int64_t next = std::min({cmdDue, xmDue, txDue});
        if (next == kNever || next > now + kSpinNs || quit_) break;
        if (next > now) sleepUntilNs(next);
        if (xmDue <= cmdDue && xmDue <= txDue) {
            runXmodem();
        } else if (cmdDue <= txDue) {
            std::string text = std::move(pending_.front().text);
            pending_.pop_front();
            lastHandledNs_ = nowNs();
            handleFrame(text);
        } else {
            writeTx();
        }
        checkAck();
    }
}

void Sim::checkAck()
{
    if (!ackPending_ || txDone_ < ackMark_) return;
    ackPending_ = false;
    emitLine("OK");
}

void Sim::readControl()
{
    char buf[4096];
    ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
    if (n > 0)
        stdinBuf_.append(buf, size_t(n));
    else if (n == 0 || (errno != EINTR && errno != EAGAIN))
        stdinOpen_ = false;
}

void Sim::runControlLines()
{
    while (!ackPending_ && !quit_) {
        std::string line;
        const size_t nl = stdinBuf_.find('\n');
        if (nl != std::string::npos) {
            line = stdinBuf_.substr(0, nl);
            stdinBuf_.erase(0, nl + 1);
        } else if (!stdinOpen_) {
            if (stdinBuf_.empty()) {
                quit_ = true;
                return;
            }
            line = std::move(stdinBuf_);
            stdinBuf_.clear();
        } else {
            return;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        ControlResult r = runControl(line, *this);
        switch (r.status) {
        case ControlStatus::Ok:
            emitLine("OK");
            break;
        case ControlStatus::Error:
            emitLine("ERR " + r.error);
            break;
        case ControlStatus::Quit:
            emitLine("OK");
            quit_ = true;
            break;
        case ControlStatus::Deferred:
            ackPending_ = true;
            ackMark_ = txQueued_;
            runDue();
            checkAck();
            break;
        }
    }
}

int Sim::run()
{
    sigset_t blocked, waitMask;
    sigemptyset(&blocked);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&blocked, sig);
        struct sigaction sa {};
        sa.sa_handler = onStopSignal;
        sigaction(sig, &sa, nullptr);
    }
    // Delivered only inside ppoll(), so a stop request cannot slip in between checks.
    pthread_sigmask(SIG_BLOCK, &blocked, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGHUP);

    std::vector<pollfd> fds;
    while (!quit_ && !gStopSignal) {
        fds.clear();
        if (stdinOpen_ && !ackPending_) fds.push_back({STDIN_FILENO, POLLIN, 0});
        line_->addPollFds(fds, txBlocked_);
        if (udp_) udp_->addPollFds(fds);

        const int64_t next = std::min(pendingDue(), txDeadline());
        timespec timeout{};
        timespec* timeoutPtr = nullptr;
        if (next != kNever) {
            int64_t wait = std::max<int64_t>(0, next - nowNs() - kSpinNs);
            timeout.tv_sec = wait / 1'000'000'000;
            timeout.tv_nsec = wait % 1'000'000'000;
            timeoutPtr = &timeout;
        }
        int rc = ppoll(fds.data(), fds.size(), timeoutPtr, &waitMask);
        if (rc < 0 && errno != EINTR) {
            std::perror("px74x-sim: ppoll");
            return 1;
        }
        if (rc > 0) {
            if (txBlocked_) {
                // Retried below; a line that is still full sets it again.
                txBlocked_ = false;
                txEpochNs_ = nowNs();
                txSlot_ = 0;
            }
            line_->handlePoll(fds);
            if (udp_) udp_->handlePoll(fds, faults_.udpSilent);
            if (reventsFor(fds, STDIN_FILENO) & (POLLIN | POLLHUP | POLLERR)) readControl();
        }
        runDue();
        checkAck();
        runControlLines();
    }
    return 0;
}

} // namespace sim
