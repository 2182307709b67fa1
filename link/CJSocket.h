// The link that works on whichever line is open: the port name "COM0" opens a TCP connection to
// the device server instead of a serial port. Line settings go to the serial port when one is
// open and otherwise to the device server's configuration channel.
#pragma once

#include "CJComm.h"
#include "CWinSock.h"

namespace serlo {

class CJSocket : public CJComm {
public:
    CJSocket();
    ~CJSocket() override;

    bool Open(const std::string& name) override;
    void Close() override;
    int Write(const std::uint8_t* data, int length) override;
    // One byte on whichever line is open: XMODEM's control bytes must reach a device server too.
    int WriteByte(std::uint8_t byte) override;
    bool SetSpeed(int baud) override;
    bool SetFraming(int parity, int dataBits, int stopCode) override;
    bool SetFlowControl(int bits) override;
    // The TCP connection's bytes, even when its notification is late.
    void PollInput() override;
    // Takes from the ring; on TCP, bytes that waited in the socket for room follow into it.
    int Read(std::uint8_t* data, int length) override;

    // The TCP connection is up.
    bool IsConnected() const { return sock_.IsConnected(); }
    // A serial port or the TCP connection is open.
    bool IsLinkOpen() const { return IsOpen() || IsConnected(); }
    CWinSock& Sock() { return sock_; }

protected:
    std::string TraceName() const override;
    bool AnyLineOpen() const override { return IsLinkOpen(); }

private:
    CWinSock sock_;
};

} // namespace serlo
