// The TCP side of the link: a stream connection to a serial-to-network device server, and beside
// it a datagram channel to port 65535 of the same address, through which serial-line settings
// changed while connected are passed on as short text commands. All socket work happens on the
// control's thread through Qt's asynchronous sockets.
#pragma once

#include <QObject>

#include <cstdint>
#include <string>

class QTcpSocket;
class QUdpSocket;

namespace serlo {

class CJComm;

class CWinSock : public QObject {
public:
    CWinSock();
    ~CWinSock() override;

    void SetOwner(CJComm* owner) { owner_ = owner; }
    void SetAddress(const std::string& address) { address_ = address; }
    void SetPort(int port) { port_ = port; }
    void SetTimeout(int ms) { timeout_ = ms; }
    int Timeout() const { return timeout_; }
    const std::string& Address() const { return address_; }
    int Port() const { return port_; }

    // Connects within the time-out; on success the configuration channel is enabled and the
    // current line settings are pushed to the device server (see PushSettings).
    bool Connect();
    void Close();
    bool IsConnected() const { return connected_; }
    // Why the last Connect failed, for the open-failure report.
    const std::string& ConnectFailure() const { return connectFailure_; }
    // One send of the whole buffer; what the socket took, or 0 when not connected.
    int Send(const std::uint8_t* data, int length);
    // Moves what the socket holds into the owner's ring, as far as the ring has room; also called
    // directly by the exchange's wait loop so that data arrives even when socket notifications
    // are late, and after the ring was read.
    void Receive();
    // Received bytes are waiting in the socket (for room in the ring).
    bool HasUnread() const;

    // The configuration commands; each returns True when the device server answered "A".
    bool SendConfig(const std::string& text);
    bool SetSpeedConfig(int baud);
    bool SetFramingConfig(int parity, int dataBits);
    bool SetFlowConfig(int flowBits);

    // Remembered for the next connect.
    void RememberSpeed(int baud) { speed_ = baud; }
    void RememberFraming(int parity, int dataBits)
    {
        parity_ = parity;
        dataBits_ = dataBits;
    }
    void RememberFlow(int bits) { flow_ = bits; }

    int ConfigRetries() const { return retries_; }
    bool ConfigEnabled() const { return configEnabled_; }

    // Command texts; empty when the value has no command.
    static std::string SpeedCommand(int baud);
    static std::string ParityCommand(int parity);
    static std::string DataBitsCommand(int dataBits);
    static std::string FlowCommand(int flowBits);

    // Upper bound of the reply wait of each command pushed right after a connect: a device
    // server that never answers datagrams must not stretch every connect by whole time-outs.
    static constexpr int kPushReplyLimitMs = 500;

private:
    void OnConnected();
    void OnError();
    void OnPeerClosed();
    bool SendConfigWithin(const std::string& text, int waitMs);
    void PushSettings();
    void DropStream();
    std::string TraceName() const;

    CJComm* owner_ = nullptr;
    QTcpSocket* stream_ = nullptr;
    QUdpSocket* config_ = nullptr;
    bool connected_ = false;
    bool connecting_ = false;
    unsigned generation_ = 0; // bumped by every Close: a queued reconnect of an older link is void
    int connectError_ = 0;
    std::string connectFailure_;
    std::string address_ = "127.0.0.1";
    int port_ = 1001;
    int timeout_ = 3000;
    int speed_ = 0;
    int flow_ = 0;
    int parity_ = 0;
    int dataBits_ = 0;
    int retries_ = 3;
    bool configEnabled_ = false;
};

} // namespace serlo
