// The simulator's event loop: frames in from the line, replies out at the line's pace,
// control commands from standard input, configuration datagrams beside them.
#pragma once

#include "Bus.h"
#include "Files.h"
#include "Frame.h"
#include "Line.h"
#include "Options.h"
#include "UdpChannel.h"
#include "Xmodem.h"

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sim {

// Misbehaviour switched on from standard input.
struct Faults {
    bool silent = false;
    int64_t silentAfter = -1; // replies left before going silent; -1: no limit
    std::string noise;
    bool badsum = false;
    std::vector<std::pair<std::string, std::string>> refusals; // text prefix, reason code
    std::deque<std::string> replyOnce; // one queued answer per coming frame, in order
    int64_t skip = 0;                  // frames still to be ignored (neither done nor answered)
    uint64_t grow = 0;                 // records a unit gains after each record-count answer
    int64_t growAfter = 0;             // count answers still to pass before growOnce applies
    uint64_t growOnce = 0;
    std::optional<unsigned> dropAtRecord;
    bool udpSilent = false;
    XmodemFaults xmodem;
    bool xmodemChecksum = false;
};

class Sim {
public:
    Sim(const Options& options, Bus bus, std::unique_ptr<Line> line,
        std::unique_ptr<UdpChannel> udp);
    int run();

    // Used by the control commands.
    Faults& faults() { return faults_; }
    Bus& bus() { return bus_; }
    bool isTcp() const { return tcp_; }
    void setDelayMs(int64_t ms) { delayMs_ = ms; }
    void setBaud(int64_t baud);
    void setXmodemTimeoutMs(int64_t ms);
    bool sendRaw(std::string_view bytes);
    bool hangup(std::string& error) { return line_->hangup(error); }

private:
    struct Pending {
        std::string text;
        int64_t receivedNs; // when its last byte has crossed the line
    };

    struct XmodemInput {
        std::string bytes;
        int64_t dueNs; // when its last byte has crossed the line
    };

    void onReceived(const char* data, size_t size, int64_t now);
    void feedFrames(const char* data, size_t size, int64_t now);
    int64_t frameDue() const;
    int64_t xmodemDue() const;
    int64_t pendingDue() const;
    void onSessionChanged();
    void handleFrame(const std::string& text);
    void startFileCommand(const std::string& text);
    void runXmodem();
    void finishXmodem();
    void sendReply(const Reply& reply);
    void replied();
    void queueBytes(std::string_view bytes);
    int64_t txDeadline() const;
    void writeTx();
    void runDue();
    void readControl();
    void runControlLines();
    void checkAck();

    Profile profile_;
    Bus bus_;
    std::unique_ptr<Line> line_;
    std::unique_ptr<UdpChannel> udp_;
    bool tcp_;
    Faults faults_;
    int64_t delayMs_;
    int64_t baud_;

    FrameReader reader_;
    std::deque<Pending> pending_;
    int64_t rxLineFreeNs_ = 0;
    int64_t lastHandledNs_ = 0;

    FileStore files_;
    int64_t xmodemTimeoutMs_;
    std::unique_ptr<XmodemSession> xmodem_; // while set, received bytes belong to the transfer
    std::string xmodemName_;
    std::deque<XmodemInput> xmodemInput_;

    std::string txBuf_;
    size_t txPos_ = 0;
    bool txBlocked_ = false;
    int64_t txEpochNs_ = 0; // paced bytes leave at epoch + (slot + 1) byte times
    int64_t txSlot_ = 0;
    int64_t lineFreeNs_ = 0;
    uint64_t txQueued_ = 0;
    uint64_t txDone_ = 0;
    uint64_t sessionGen_ = 0;

    std::string stdinBuf_;
    bool stdinOpen_ = true;
    bool ackPending_ = false; // a "raw" waits for its bytes to be on the line
    uint64_t ackMark_ = 0;
    bool quit_ = false;
};

} // namespace sim
