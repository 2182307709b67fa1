// The terminal's side of an XMODEM transfer (128-byte blocks, CRC-16 or checksum), as a state
// machine fed with received bytes and the clock. It writes through callbacks and does no I/O of
// its own, so the event loop decides when bytes cross the line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace sim {

// Misbehaviour for the next packet, switched on from standard input.
struct XmodemFaults {
    bool corruptNext = false; // sender: wrong check value; receiver: treat as damaged
    bool dropNextAck = false; // sender: ignore the next ACK; receiver: do not send the next ACK
};

class XmodemSession {
public:
    enum class Role { Receive, Send };
    enum class State { Running, Done, Failed };

    struct Io {
        std::function<void(std::string_view)> send;
        std::function<void(const std::string&)> trace; // "XTX ..." / "XRX ..." lines
    };

    static constexpr int kMaxErrors = 10;

    // Receiving: asks for the first block at once ("C" in CRC mode, NAK in checksum mode).
    XmodemSession(Io io, bool crc, int64_t timeoutNs, int64_t now);
    // Sending `data`: waits for the receiver's first request, which chooses the check mode.
    XmodemSession(Io io, std::string data, int64_t timeoutNs, int64_t now);

    // Bytes consumed; after the session has ended the rest belongs to the frame reader.
    size_t feed(std::string_view bytes, int64_t now, XmodemFaults& faults);
    // Time-out handling when deadline() has passed.
    void onTimer(int64_t now);
    int64_t deadline() const { return lastActivityNs_ + timeoutNs_; }
    void setTimeout(int64_t ns) { timeoutNs_ = ns; }

    Role role() const { return role_; }
    State state() const { return state_; }
    const std::string& failure() const { return failure_; }
    // Receiving: the data accepted so far (whole blocks, padding included).
    const std::string& data() const { return data_; }
    bool crc() const { return crc_; }

private:
    void onReceiverByte(unsigned char b, XmodemFaults& faults);
    void onSenderByte(unsigned char b, XmodemFaults& faults);
    void checkPacket(XmodemFaults& faults);
    void sendCurrent(XmodemFaults& faults);
    void sendControl(unsigned char b, const char* name);
    // CAN from the peer: the second one ends the transfer as cancelled.
    void takeCancel();
    void fail(const std::string& why);

    Io io_;
    Role role_;
    State state_ = State::Running;
    std::string failure_;
    bool crc_ = true;
    int64_t timeoutNs_;
    int64_t lastActivityNs_;
    int errors_ = 0;
    int cans_ = 0;

    // Receiving.
    std::string packet_;
    uint64_t accepted_ = 0;
    int eots_ = 0;
    std::string data_;

    // Sending.
    std::string file_;
    bool started_ = false;
    uint64_t block_ = 1; // 1-based block being offered; past the last one: the EOT
    uint64_t blocks_ = 0;
};

uint16_t xmodemCrc(std::string_view data);

} // namespace sim
