// The control's link object: the serial/TCP link plus XMODEM file transfer in its CRC-16 and
// checksum variants. A transfer runs on the control's thread and pumps the event loop while it
// waits; link notifications are not posted while it runs.
#pragma once

#include "CJSocket.h"
#include "XmodemBlock.h"
#include "XmodemProgress.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace serlo {

class CJXmodem : public CJSocket {
public:
    // Bounds, so that a vanished peer or a line that keeps damaging one block cannot hold the
    // caller forever; each ends the transfer with the cancel sequence and False.
    // Send: this many transfer time-outs in a row without a byte the sender understands
    // (10 x 3000 ms by default), or a link that is no longer open.
    static constexpr int kMaxTimeouts = 10;
    // Send: more than this many requests (NAK or "C") for one packet without an ACK between.
    // Receive: this many errors in a row without a new block: time-outs (each but the last
    // answered with NAK, or "C" before the first block), damaged, out-of-sequence or repeated
    // packets.
    static constexpr int kMaxRetries = 10;
    static constexpr int kDefaultTimeoutMs = 3000;

    enum class BlockCheck {
        Accepted, // the next block, written to the file
        Repeat,   // the last accepted block again: acknowledged, not written again
        Refused,  // damaged or out of sequence
        WriteFailed
    };

    CJXmodem();
    ~CJXmodem() override;

    using CJSocket::SetOwner;
    virtual void SetOwner(QObject* owner, int timeoutMs);
    // PostFile: sends the file; True when the receiver acknowledged its end.
    virtual bool SendFile(const std::string& name);
    // RecvFile: receives into the file, created anew; True after the sender's second EOT.
    virtual bool ReceiveFile(const std::string& name);
    virtual void SendBlock();
    virtual BlockCheck CheckBlock();
    // Cancel: CAN CAN CAN BS BS BS on whichever line is open.
    virtual void CancelTransfer();
    virtual bool TransferTimedOut() const;
    void Notify(int code, std::uint32_t value) override;

    // What the progress window's Cancel does: the running transfer reads the flag and ends.
    void RequestCancel() { cancelPressed_ = true; }
    bool IsTransferring() const { return Quiet(); }
    int TransferTimeout() const { return timeout_; }
    void SetTransferTimeout(int ms) { timeout_ = ms > 0 ? ms : kDefaultTimeoutMs; }
    // Whether transfers show a window (tests force one or the other).
    void SetProgressMode(XmodemProgress::Mode mode) { progressMode_ = mode; }
    // The running transfer's progress, or nullptr.
    const XmodemProgress* Progress() const { return progress_.get(); }

    std::uint32_t BlockCounter() const { return blockCount_; }
    bool CrcMode() const { return crcMode_ != 0; }

private:
    // Opens the file and resets the transfer's state; false (and the cancel sequence sent) when
    // the file cannot be opened.
    bool StartSending(const std::string& name);
    bool StartReceiving(const std::string& name);
    // A whole packet has arrived: acknowledged, refused or written; false when the file could
    // not be written.
    bool AnswerPacket(int& errors);
    bool TakeCancel();
    // Sleeps in the event loop until a byte, an event or the time-out is due.
    void WaitForActivity();
    // False when the close could not write what was still buffered.
    bool CloseFile();
    void ShowProgress(const char* caption, int lower, int upper);
    void UpdateStatus(const char* format);

    std::FILE* file_ = nullptr;
    std::uint8_t packet_[xmodem::kCrcPacketSize] = {};
    std::uint32_t blockCount_ = 0;
    std::uint32_t endCount_ = 0;
    std::uint32_t lastBlock_ = 0;
    std::uint32_t crcMode_ = 1;
    std::uint32_t totalBlocks_ = 0;
    std::int64_t timerStart_ = 0;
    int timeout_ = kDefaultTimeoutMs;

    int packetLength_ = 0; // receive: bytes collected of the current packet
    bool cancelPressed_ = false;
    XmodemProgress::Mode progressMode_ = XmodemProgress::Mode::Auto;
    std::unique_ptr<XmodemProgress> progress_;
};

} // namespace serlo
