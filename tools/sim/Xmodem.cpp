#include "Xmodem.h"

namespace sim {

namespace {

constexpr unsigned char kSoh = 0x01;
constexpr unsigned char kEot = 0x04;
constexpr unsigned char kAck = 0x06;
constexpr unsigned char kNak = 0x15;
constexpr unsigned char kCan = 0x18;
constexpr unsigned char kWantCrc = 'C';
constexpr size_t kBlock = 128;
// The terminal pads the last block the CP/M way.
constexpr char kPad = 0x1A;

unsigned char sum8(std::string_view data)
{
    unsigned s = 0;
    for (char c : data)
        s += static_cast<unsigned char>(c);
    return static_cast<unsigned char>(s);
}

} // namespace

// Bit by bit on purpose: an implementation unlike the program's table-driven one.
uint16_t xmodemCrc(std::string_view data)
{
    uint16_t crc = 0;
    for (char c : data) {
        crc ^= uint16_t(static_cast<unsigned char>(c) << 8);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 0x8000) ? uint16_t((crc << 1) ^ 0x1021) : uint16_t(crc << 1);
    }
    return crc;
}

XmodemSession::XmodemSession(Io io, bool crc, int64_t timeoutNs, int64_t now)
    : io_(std::move(io)), role_(Role::Receive), crc_(crc), timeoutNs_(timeoutNs),
      lastActivityNs_(now)
{
    sendControl(crc_ ? kWantCrc : kNak, crc_ ? "C" : "NAK");
}

XmodemSession::XmodemSession(Io io, std::string data, int64_t timeoutNs, int64_t now)
    : io_(std::move(io)), role_(Role::Send), timeoutNs_(timeoutNs), lastActivityNs_(now),
      file_(std::move(data))
{
    blocks_ = (file_.size() + kBlock - 1) / kBlock;
}

void XmodemSession::takeCancel()
{
    io_.trace("XRX CAN");
    if (++cans_ >= 2) {
        failure_ = "cancelled";
        state_ = State::Failed;
    }
}

void XmodemSession::sendControl(unsigned char b, const char* name)
{
    io_.send(std::string_view(reinterpret_cast<const char*>(&b), 1));
    io_.trace(std::string("XTX ") + name);
}

void XmodemSession::fail(const std::string& why)
{
    // Two CANs are what every receiver and sender takes as "give up".
    io_.send("\x18\x18\x18");
    io_.trace("XTX CAN");
    failure_ = why;
    state_ = State::Failed;
}

size_t XmodemSession::feed(std::string_view bytes, int64_t now, XmodemFaults& faults)
{
    size_t used = 0;
    while (used < bytes.size() && state_ == State::Running) {
        const auto b = static_cast<unsigned char>(bytes[used++]);
        lastActivityNs_ = now;
        if (role_ == Role::Receive)
            onReceiverByte(b, faults);
        else
            onSenderByte(b, faults);
    }
    return used;
}

void XmodemSession::onTimer(int64_t now)
{
    if (state_ != State::Running || now < deadline()) return;
    lastActivityNs_ = now;
    if (++errors_ >= kMaxErrors) {
        fail("timeout");
        return;
    }
    if (role_ == Role::Send) return; // the receiver drives retransmission
    if (!packet_.empty()) io_.trace("XRX BLOCK " + std::to_string(accepted_ + 1) + " partial");
    packet_.clear();
    if (accepted_ == 0)
        sendControl(crc_ ? kWantCrc : kNak, crc_ ? "C" : "NAK");
    else
        sendControl(kNak, "NAK");
}

void XmodemSession::onReceiverByte(unsigned char b, XmodemFaults& faults)
{
    if (!packet_.empty()) {
        packet_ += char(b);
        if (packet_.size() == (crc_ ? 133u : 132u)) checkPacket(faults);
        return;
    }
    if (b != kCan) cans_ = 0;
    switch (b) {
    case kSoh:
        packet_ = char(b);
        break;
    case kEot:
        io_.trace("XRX EOT");
        // The first EOT is questioned: a line hit could have produced it.
        if (++eots_ == 1) {
            sendControl(kNak, "NAK");
        } else {
            sendControl(kAck, "ACK");
            state_ = State::Done;
        }
        break;
    case kCan:
        takeCancel();
        break;
    default:
        break; // noise between packets
    }
}

void XmodemSession::checkPacket(XmodemFaults& faults)
{
    const std::string packet = std::move(packet_);
    packet_.clear();
    const auto number = static_cast<unsigned char>(packet[1]);
    const auto complement = static_cast<unsigned char>(packet[2]);
    const std::string_view body(packet.data() + 3, kBlock);
    bool intact = number + complement == 255;
    if (crc_) {
        const uint16_t crc = xmodemCrc(body);
        intact = intact && static_cast<unsigned char>(packet[131]) == (crc >> 8) &&
                 static_cast<unsigned char>(packet[132]) == (crc & 0xFF);
    } else {
        intact = intact && static_cast<unsigned char>(packet[131]) == sum8(body);
    }
    if (faults.corruptNext) {
        faults.corruptNext = false;
        intact = false;
    }
    const std::string label = "XRX BLOCK " + std::to_string(accepted_ + 1);
    if (!intact) {
        io_.trace(label + " bad");
        if (++errors_ >= kMaxErrors) {
            fail("retries");
            return;
        }
        // Before the first block the request itself is repeated, so the mode stays clear.
        if (accepted_ == 0)
            sendControl(crc_ ? kWantCrc : kNak, crc_ ? "C" : "NAK");
        else
            sendControl(kNak, "NAK");
        return;
    }
    if (number == static_cast<unsigned char>(accepted_ + 1)) {
        data_.append(body);
        ++accepted_;
        errors_ = 0;
        if (faults.dropNextAck) {
            faults.dropNextAck = false;
            io_.trace(label + " no-ack");
            return;
        }
        io_.trace(label);
        sendControl(kAck, "ACK");
        return;
    }
    if (accepted_ > 0 && number == static_cast<unsigned char>(accepted_)) {
        io_.trace("XRX BLOCK " + std::to_string(accepted_) + " repeat");
        if (++errors_ >= kMaxErrors) {
            fail("retries");
            return;
        }
        sendControl(kAck, "ACK");
        return;
    }
    io_.trace(label + " out-of-order");
    fail("out-of-order");
}

void XmodemSession::sendCurrent(XmodemFaults& faults)
{
    if (block_ > blocks_) {
        sendControl(kEot, "EOT");
        return;
    }
    std::string packet(1, char(kSoh));
    const auto number = static_cast<unsigned char>(block_ & 0xFF);
    packet += char(number);
    packet += char(255 - number);
    std::string body = file_.substr((block_ - 1) * kBlock, kBlock);
    body.resize(kBlock, kPad);
    packet += body;
    if (crc_) {
        const uint16_t crc = xmodemCrc(body);
        packet += char(crc >> 8);
        packet += char(crc & 0xFF);
    } else {
        packet += char(sum8(body));
    }
    std::string label = "XTX BLOCK " + std::to_string(block_);
    if (faults.corruptNext) {
        faults.corruptNext = false;
        packet.back() = char(packet.back() ^ 0x5A);
        label += " corrupt";
    }
    io_.send(packet);
    io_.trace(label);
}

void XmodemSession::onSenderByte(unsigned char b, XmodemFaults& faults)
{
    if (b != kCan) cans_ = 0;
    switch (b) {
    case kWantCrc:
    case kNak:
        io_.trace(b == kNak ? "XRX NAK" : "XRX C");
        if (!started_) {
            started_ = true;
            crc_ = b == kWantCrc;
        } else if (++errors_ >= kMaxErrors) {
            fail("retries");
            return;
        }
        sendCurrent(faults);
        break;
    case kAck:
        if (!started_) return;
        if (faults.dropNextAck) {
            faults.dropNextAck = false;
            io_.trace("XRX ACK ignored");
            return;
        }
        io_.trace("XRX ACK");
        errors_ = 0;
        if (block_ > blocks_) {
            state_ = State::Done;
            return;
        }
        ++block_;
        sendCurrent(faults);
        break;
    case kCan:
        takeCancel();
        break;
    default:
        break;
    }
}

} // namespace sim
