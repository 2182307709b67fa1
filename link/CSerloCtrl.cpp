#include "CSerloCtrl.h"

#include "AboutBox.h"
#include "CJXmodem.h"
#include "LinkEvents.h"
#include "SettingsString.h"
#include "Wait.h"

#include <algorithm>
#include <cstdio>

namespace serlo {

namespace {

constexpr int kReadyStateComplete = 4;

int ClampI2(int v)
{
    return std::clamp(v, -32768, 32767);
}

} // namespace

CSerloCtrl::CSerloCtrl() : link_(std::make_unique<CJXmodem>())
{
    link_->SetOwner(this, kTransferTimeoutMs);
    ResetState();
}

CSerloCtrl::~CSerloCtrl()
{
    CallMethod(dispid::Cancel, {});
    link_->Close();
    px::waitUntil([this] { return !link_->IsBusy(); }, px::Millis(999));
    link_->SetOwner(nullptr);
}

void CSerloCtrl::ResetState()
{
    // A fresh control: defaults first, then every change handler in the order hosts rely on.
    baudRate_ = 19200;
    handshaking_ = 0;
    rtsEnable_ = dtrEnable_ = true;
    settings_ = "N,8,1";
    txQueue_ = rxQueue_ = 256;
    eventMask_ = 1;
    commPort_ = 1;
    vnetTimeout_ = 3000;
    iPort_ = 1001;
    iAddress_ = "127.0.0.1";
    for (std::int32_t id :
         {dispid::CommPort, dispid::BaudRate, dispid::Handshaking, dispid::RTSEnable,
          dispid::DTREnable, dispid::Settings, dispid::TxQueue, dispid::RxQueue, dispid::EventMask,
          dispid::VNetTimeout, dispid::iPort, dispid::iAddress})
        SetProperty(id, GetProperty(id));
}

bool CSerloCtrl::PortOpen() const
{
    return link_->IsLinkOpen();
}

void CSerloCtrl::SetPortOpen(bool open)
{
    if (PortOpen()) {
        link_->Close();
        px::waitFor(px::Millis(50));
    }
    if (open) OpenLink(portName_);
}

void CSerloCtrl::OpenLink(const std::string& name)
{
    // The system's reason goes to the host: a missing adapter, a port held elsewhere and a
    // missing group membership must not all look the same.
    if (!link_->Open(name)) FireVNetMonitor(0, "$OPEN ERROR " + Describe(link_->LastOpenFailure()));
}

void CSerloCtrl::ApplySettingsString(const std::string& text)
{
    const auto framing = ParseSettings(text);
    if (!framing) {
        // An unknown parity letter restores the default text and leaves the line as it was.
        settings_ = "N,8,1";
        return;
    }
    settings_ = text;
    link_->SetFraming(framing->parity, framing->dataBits, framing->stopCode);
}

Value CSerloCtrl::GetProperty(std::int32_t id)
{
    using namespace dispid;
    switch (id) {
    case BaudRate:
        return Value::I4(baudRate_);
    case Handshaking:
        return Value::I2(handshaking_);
    case RTSEnable:
        return Value::Bool(rtsEnable_);
    case dispid::Settings:
        return Value::Str(settings_);
    case DTREnable:
        return Value::Bool(dtrEnable_);
    case TxQueue:
        return Value::I2(txQueue_);
    case RxQueue:
        return Value::I2(rxQueue_);
    case EventMask:
        return Value::I4(eventMask_);
    case Break:
        return Value::Bool(break_);
    case CommPort:
        return Value::I2(commPort_);
    case VNetTimeout:
        return Value::I4(vnetTimeout_);
    case iPort:
        return Value::I2(iPort_);
    case iAddress:
        return Value::Str(iAddress_);
    case ExtPort:
        return Value::Str(extPort_);
    case RxCount:
        return Value::I2(ClampI2(link_->GetRxCount()));
    case TxSpace:
        return Value::I2(ClampI2(link_->GetTxSpace()));
    case Text: {
        std::string bytes(static_cast<std::size_t>(link_->GetRxCount()), '\0');
        const int n = link_->Read(reinterpret_cast<std::uint8_t*>(bytes.data()),
                                  static_cast<int>(bytes.size()));
        bytes.resize(static_cast<std::size_t>(n));
        return Value::Str(std::move(bytes));
    }
    case Char: {
        std::uint8_t byte = 0; // 0 when the ring is empty
        link_->Read(&byte, 1);
        return Value::I2(byte);
    }
    case CTSHolding:
        return Value::Bool(link_->ModemStatus() & MS_CTS_ON);
    case DSRHolding:
        return Value::Bool(link_->ModemStatus() & MS_DSR_ON);
    case RLSDHolding:
        return Value::Bool(link_->ModemStatus() & MS_RLSD_ON);
    case RINGHolding:
        return Value::Bool(link_->ModemStatus() & MS_RING_ON);
    case CommID:
        return Value::I4(link_->IsOpen() ? link_->Handle() : -1);
    case CommEvent:
        return Value::I4(static_cast<std::int32_t>(link_->TakeEvents()));
    case CommError:
        return Value::I4(static_cast<std::int32_t>(link_->TakeErrors()));
    case Busy:
        return Value::Bool(link_->IsBusy());
    case LastPassword:
        return Value::Str(lastPassword_);
    case ExtPortOpen:
        return Value::Bool(link_->IsOpen());
    case dispid::PortOpen:
        return Value::Bool(this->PortOpen());
    case ReadyState:
        return Value::I4(kReadyStateComplete);
    case Enabled:
        return Value::Bool(enabled_);
    default:
        return {};
    }
}

// One case per writable property, each a few lines: the switch reads as the property table.
// NOLINTNEXTLINE(readability-function-size)
void CSerloCtrl::SetProperty(std::int32_t id, const Value& v)
{
    using namespace dispid;
    switch (id) {
    case BaudRate:
        baudRate_ = v.i;
        link_->SetSpeed(baudRate_);
        break;
    case Handshaking:
        handshaking_ = v.i;
        link_->SetFlowControl(handshaking_);
        break;
    case RTSEnable:
        rtsEnable_ = v.AsBool();
        link_->SetRts(rtsEnable_);
        break;
    case DTREnable:
        dtrEnable_ = v.AsBool();
        link_->SetDtr(dtrEnable_);
        break;
    case dispid::Settings:
        ApplySettingsString(v.s);
        break;
    case TxQueue:
        txQueue_ = v.i;
        link_->SetTxQueueSize(txQueue_);
        break;
    case RxQueue:
        rxQueue_ = v.i;
        link_->SetRxBufferSize(rxQueue_);
        break;
    case EventMask:
        eventMask_ = v.i;
        link_->SetEventMask(static_cast<std::uint32_t>(eventMask_));
        break;
    case Break:
        break_ = v.AsBool();
        link_->SetBreak(break_);
        break;
    case CommPort: {
        commPort_ = v.i;
        link_->Close();
        portName_ = "COM" + std::to_string(commPort_);
        break;
    }
    case VNetTimeout:
        vnetTimeout_ = v.i;
        link_->Sock().SetTimeout(vnetTimeout_);
        break;
    case iPort:
        iPort_ = v.i;
        link_->Sock().SetPort(iPort_ & 0xFFFF); // a port above 32767 arrives as its 16-bit pattern
        break;
    case iAddress:
        iAddress_ = v.s;
        link_->Sock().SetAddress(iAddress_);
        break;
    case ExtPort:
        extPort_ = v.s;
        break;
    case Text:
        link_->Write(reinterpret_cast<const std::uint8_t*>(v.s.data()),
                     static_cast<int>(v.s.size()));
        break;
    case Char:
        if (link_->IsOpen()) link_->WriteByte(static_cast<std::uint8_t>(v.i & 0xFF));
        break;
    case ExtPortOpen:
        if (extPort_.empty()) break;
        if (v.AsBool())
            OpenLink(extPort_);
        else
            link_->Close();
        break;
    case dispid::PortOpen:
        SetPortOpen(v.AsBool());
        break;
    case Enabled:
        enabled_ = v.AsBool();
        break;
    default:
        break;
    }
}

Value CSerloCtrl::CallMethod(std::int32_t id, const std::vector<Value>& args)
{
    using namespace dispid;
    switch (id) {
    case Cancel:
        // During a transfer (called from an event handler or a timer while it waits) Cancel acts
        // like the progress window's button: the transfer sends the sequence and ends.
        if (link_->IsTransferring())
            link_->RequestCancel();
        else
            link_->CancelTransfer();
        return {};
    case PostFile:
        return Value::Bool(link_->SendFile(args.at(0).s));
    // bAppend is accepted and not used: the file is always created anew.
    case RecvFile:
        return Value::Bool(link_->ReceiveFile(args.at(0).s));
    case ClareTxBuffer:
        link_->PurgeTx();
        return {};
    case ClearRxBuffer:
        link_->PurgeRx();
        return {};
    case EnumCommPort:
        return Value::Str(link_->EnumPort(args.at(0).i));
    case AboutBox:
        ShowAboutBox();
        return {};
    default:
        return CallProtocol(id, args);
    }
}

void CSerloCtrl::FireOnComm()
{
    if (sink_) sink_(1, {});
}

void CSerloCtrl::FireOnTransfer(int code, std::int32_t value)
{
    if (sink_) sink_(2, {Value::I2(code), Value::I4(value)});
}

bool CSerloCtrl::event(QEvent* e)
{
    MarkReceived(e);
    if (e->type() == LinkNotifyEvent::Type()) {
        const auto* n = static_cast<LinkNotifyEvent*>(e);
        if (n->code == 0) {
            // A notification posted just before a transfer began stays quiet as well, and so does
            // one that announced only reply bytes an exchange has already taken.
            const bool consumed =
                n->value == EV_RXCHAR && n->epoch != link_->Epoch() && link_->GetRxCount() == 0;
            if (exchangeDepth_ == 0 && !link_->IsTransferring() && !consumed) FireOnComm();
        } else if (n->code >= 1 && n->code <= 8) {
            FireOnTransfer(n->code, static_cast<std::int32_t>(n->value));
        }
        return true;
    }
    if (e->type() == LinkLostEvent::Type()) {
        if (static_cast<LinkLostEvent*>(e)->openCount == link_->OpenCount()) link_->ClosePort();
        return true;
    }
    return QObject::event(e);
}

} // namespace serlo
