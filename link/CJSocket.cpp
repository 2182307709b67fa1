#include "CJSocket.h"

namespace serlo {

CJSocket::CJSocket()
{
    sock_.SetOwner(this);
}

CJSocket::~CJSocket()
{
    Close();
}

bool CJSocket::Open(const std::string& name)
{
    Close();
    BusyScope busy(busy_);
    if (name != "COM0") return CJComm::Open(name);
    lastFailure_ = {};
    ClearErrors(); // bits of an earlier line are not this one's
    if (sock_.Connect()) return true;
    lastFailure_.cause = OpenFailure::Cause::Connect;
    lastFailure_.port = TraceName();
    lastFailure_.detail = sock_.ConnectFailure();
    return false;
}

std::string CJSocket::TraceName() const
{
    if (Handle() >= 0) return CJComm::TraceName();
    return sock_.Address() + ":" + std::to_string(sock_.Port());
}

void CJSocket::Close()
{
    if (IsOpen() || Handle() >= 0)
        ClosePort();
    else
        sock_.Close();
}

int CJSocket::Write(const std::uint8_t* data, int length)
{
    if (Handle() >= 0) return CJComm::Write(data, length);
    BusyScope busy(busy_);
    return sock_.Send(data, length);
}

int CJSocket::WriteByte(std::uint8_t byte)
{
    return IsLinkOpen() ? Write(&byte, 1) : 0;
}

void CJSocket::PollInput()
{
    if (GetRxCount() == 0 && Handle() < 0 && IsConnected()) sock_.Receive();
}

int CJSocket::Read(std::uint8_t* data, int length)
{
    const int n = CJComm::Read(data, length);
    if (n > 0 && Handle() < 0 && sock_.HasUnread()) sock_.Receive();
    return n;
}

bool CJSocket::SetSpeed(int baud)
{
    sock_.RememberSpeed(baud);
    return CJComm::SetSpeed(baud) || sock_.SetSpeedConfig(baud);
}

bool CJSocket::SetFraming(int parity, int dataBits, int stopCode)
{
    sock_.RememberFraming(parity, dataBits);
    return CJComm::SetFraming(parity, dataBits, stopCode) ||
           sock_.SetFramingConfig(parity, dataBits);
}

bool CJSocket::SetFlowControl(int bits)
{
    sock_.RememberFlow(bits);
    return CJComm::SetFlowControl(bits) || sock_.SetFlowConfig(bits);
}

} // namespace serlo
