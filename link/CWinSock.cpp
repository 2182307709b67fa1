#include "CWinSock.h"

#include "CJComm.h"
#include "Trace.h"
#include "Wait.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QUdpSocket>

#include <algorithm>

namespace serlo {

namespace {

constexpr quint16 kConfigPort = 65535;
constexpr int kReceiveChunk = 512;
// What the socket object holds beyond the ring before it stops reading from the kernel.
constexpr qint64 kSocketBuffer = 65536;

} // namespace

CWinSock::CWinSock() = default;

CWinSock::~CWinSock()
{
    Close();
}

std::string CWinSock::SpeedCommand(int baud)
{
    switch (baud) {
    case 1200:
        return "PBR0";
    case 2400:
        return "PBR1";
    case 4800:
        return "PBR2";
    case 9600:
        return "PBR3";
    case 19200:
        return "PBR4";
    case 38400:
        return "PBR5";
    case 115200:
        return "PBR6";
    default:
        return {};
    }
}

std::string CWinSock::ParityCommand(int parity)
{
    // The device server's command for even parity is not known; odd is "PPR2".
    switch (parity) {
    case 0:
        return "PPR0";
    case 1:
        return "PPR2";
    default:
        return {};
    }
}

std::string CWinSock::DataBitsCommand(int dataBits)
{
    switch (dataBits) {
    case 7:
        return "PBB0";
    case 8:
        return "PBB1";
    default:
        return {};
    }
}

std::string CWinSock::FlowCommand(int flowBits)
{
    switch (flowBits) {
    case 0:
        return "PFC0";
    case 2:
        return "PFC1";
    default:
        return {};
    }
}

std::string CWinSock::TraceName() const
{
    return address_ + ":" + std::to_string(port_ & 0xFFFF);
}

void CWinSock::DropStream()
{
    if (!stream_) return;
    stream_->disconnect(this);
    stream_->abort();
    // The socket may be the sender of the signal being handled right now.
    stream_->deleteLater();
    stream_ = nullptr;
}

void CWinSock::Close()
{
    ++generation_;
    connected_ = false;
    configEnabled_ = false;
    DropStream();
    if (config_) {
        config_->abort();
        config_->deleteLater();
        config_ = nullptr;
    }
}

bool CWinSock::Connect()
{
    Close();
    stream_ = new QTcpSocket(this);
    stream_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    stream_->setReadBufferSize(kSocketBuffer);
    connect(stream_, &QTcpSocket::connected, this, &CWinSock::OnConnected);
    connect(stream_, &QTcpSocket::errorOccurred, this, &CWinSock::OnError);
    connect(stream_, &QTcpSocket::disconnected, this, &CWinSock::OnPeerClosed);
    connect(stream_, &QTcpSocket::readyRead, this, &CWinSock::Receive);
    connectError_ = 0;
    connectFailure_.clear();
    connecting_ = true;
    qCDebug(pxLink) << "connect" << address_.c_str() << (port_ & 0xFFFF) << "within" << timeout_
                    << "ms";
    stream_->connectToHost(QString::fromStdString(address_), static_cast<quint16>(port_ & 0xFFFF));
    px::waitUntil([this] { return connected_ || connectError_ != 0; }, px::Millis(timeout_));
    connecting_ = false;
    if (!connected_) {
        if (connectFailure_.empty())
            connectFailure_ = stream_ && connectError_ == 0
                                  ? "no answer within " + std::to_string(timeout_) + " ms"
                                  : "the configuration channel could not be set up";
        qCDebug(pxLink).noquote() << "connect failed:" << connectFailure_.c_str();
        Close();
        return false;
    }
    qCDebug(pxLink) << "connected" << address_.c_str() << (port_ & 0xFFFF);
    PushSettings();
    return connected_;
}

void CWinSock::OnConnected()
{
    connected_ = true;
    config_ = new QUdpSocket(this);
    config_->connectToHost(stream_->peerAddress(), kConfigPort);
    if (config_->state() != QAbstractSocket::ConnectedState) {
        // Without its configuration channel the connection is not usable.
        Close();
        return;
    }
    retries_ = 3;
    if (owner_) owner_->PurgeRx();
    configEnabled_ = true;
}

void CWinSock::OnError()
{
    if (!stream_) return;
    const auto error = stream_->error();
    if (connecting_) {
        connectError_ = static_cast<int>(error) + 1;
        connectFailure_ = stream_->errorString().toStdString();
        return;
    }
    if (error == QAbstractSocket::RemoteHostClosedError || !connected_)
        return; // the close notification handles the peer's close
    // A broken connection is rebuilt at once, as the device server expects a fresh stream.
    qCDebug(pxLink).noquote() << "reconnect after:" << stream_->errorString();
    const unsigned generation = generation_;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            // The link may have been closed, or pointed elsewhere, before this runs.
            if (generation == generation_) Connect();
        },
        Qt::QueuedConnection);
}

void CWinSock::OnPeerClosed()
{
    qCDebug(pxLink) << "peer closed" << address_.c_str() << (port_ & 0xFFFF);
    connected_ = false;
    configEnabled_ = false;
    if (config_) {
        config_->abort();
        config_->deleteLater();
        config_ = nullptr;
    }
}

int CWinSock::Send(const std::uint8_t* data, int length)
{
    if (!connected_ || !stream_ || length <= 0) return 0;
    const qint64 n = stream_->write(reinterpret_cast<const char*>(data), length);
    stream_->flush();
    if (n > 0) px::trace::Bytes(TraceName(), "tx", data, static_cast<std::size_t>(n));
    return n < 0 ? 0 : static_cast<int>(n);
}

void CWinSock::Receive()
{
    if (!stream_ || !owner_) return;
    char buffer[kReceiveChunk];
    bool any = false;
    // Only as much as the ring has room for: the rest waits in the socket (and, once Qt's buffer
    // is full, in the kernel, which holds the device server back) until the ring is read.
    for (int room = owner_->Ring().Free(); room > 0; room = owner_->Ring().Free()) {
        const qint64 n = stream_->read(buffer, std::min<qint64>(room, sizeof buffer));
        if (n <= 0) break;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(buffer);
        px::trace::Bytes(TraceName(), "rx", bytes, static_cast<std::size_t>(n));
        owner_->Ring().Push(bytes, static_cast<int>(n)); // only this thread fills the ring
        any = true;
    }
    if (any) owner_->HandleEvents(EV_RXCHAR);
}

bool CWinSock::HasUnread() const
{
    return stream_ && stream_->bytesAvailable() > 0;
}

bool CWinSock::SendConfigWithin(const std::string& text, int waitMs)
{
    if (!connected_ || !configEnabled_ || !config_) return false;
    while (config_->hasPendingDatagrams())
        config_->readDatagram(nullptr, 0); // a late answer to an earlier command
    const qint64 sent = config_->write(text.data(), static_cast<qint64>(text.size()));
    if (sent < static_cast<qint64>(text.size())) return false;
    bool answered = false;
    char reply = 0;
    px::waitUntil(
        [&] {
            if (config_ && config_->hasPendingDatagrams()) {
                QByteArray datagram(static_cast<int>(config_->pendingDatagramSize()), '\0');
                config_->readDatagram(datagram.data(), datagram.size());
                answered = true;
                reply = datagram.isEmpty() ? 0 : datagram[0];
            }
            return answered || !config_;
        },
        px::Millis(waitMs));
    qCDebug(pxLink) << "config" << text.c_str()
                    << (answered ? (reply == 'A' ? "accepted" : "refused") : "unanswered");
    if (answered)
        retries_ = 3;
    else if (retries_ == 0)
        configEnabled_ = false; // silent until the next connect
    else
        --retries_;
    return answered && reply == 'A';
}

bool CWinSock::SendConfig(const std::string& text)
{
    return SendConfigWithin(text, timeout_);
}

bool CWinSock::SetSpeedConfig(int baud)
{
    const std::string command = SpeedCommand(baud);
    return !command.empty() && SendConfig(command);
}

bool CWinSock::SetFramingConfig(int parity, int dataBits)
{
    const std::string parityCommand = ParityCommand(parity);
    const std::string dataCommand = DataBitsCommand(dataBits);
    bool result = false;
    if (!parityCommand.empty()) result = SendConfig(parityCommand);
    if (!dataCommand.empty()) result = SendConfig(dataCommand);
    return result;
}

bool CWinSock::SetFlowConfig(int flowBits)
{
    const std::string command = FlowCommand(flowBits);
    return !command.empty() && SendConfig(command);
}

void CWinSock::PushSettings()
{
    // A device server that lost power has forgotten the line settings; give them again, but
    // stop at the first command it leaves unanswered.
    const int wait = std::min(timeout_, kPushReplyLimitMs);
    for (const std::string& command : {SpeedCommand(speed_), ParityCommand(parity_),
                                       DataBitsCommand(dataBits_), FlowCommand(flow_)}) {
        if (command.empty()) continue;
        const int before = retries_;
        SendConfigWithin(command, wait);
        if (retries_ < before || !configEnabled_) break;
    }
}

} // namespace serlo
