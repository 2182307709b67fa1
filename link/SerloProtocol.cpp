// The control's protocol methods: one framed exchange and the terminal commands built on it.
#include "CJXmodem.h"
#include "CSerloCtrl.h"
#include "Commands.h"
#include "Frame.h"
#include "Wait.h"

#include <algorithm>
#include <climits>

namespace serlo {

namespace {

bool IsAccepted(const std::string& reply)
{
    return !reply.empty() && reply[0] == 'A';
}

// Checksum digits compared character by character, upper case only.
bool ChecksumMatches(const std::string& reply)
{
    const std::string_view body(reply.data(), reply.size() - 2);
    return px::frame::Checksum(body) == std::string_view(reply).substr(reply.size() - 2);
}

} // namespace

void CSerloCtrl::FireVNetMonitor(int index, const std::string& text)
{
    if (sink_) sink_(3, {Value::I2(index), Value::Str(text)});
}

Value CSerloCtrl::Refused(const char* method, VType result)
{
    FireVNetMonitor(0, std::string("$BAD ARGUMENT ") + method);
    switch (result) {
    case VType::Str:
        return Value::Str({});
    case VType::Bool:
        return Value::Bool(false);
    case VType::I2:
        return Value::I2(0);
    default:
        return Value::I4(0);
    }
}

std::string CSerloCtrl::SendVNetCmd(const std::string& data, bool txChecksum, bool rxChecksum)
{
    const std::string frame = px::frame::Build(data, txChecksum);
    ++exchangeDepth_;
    FireVNetMonitor(1, frame);
    link_->PurgeTx();
    link_->PurgeRx();
    link_->Write(reinterpret_cast<const std::uint8_t*>(frame.data()),
                 static_cast<int>(frame.size()));

    std::string reply;
    bool started = false;
    bool complete = false;
    const std::int64_t start = px::tickCount();
    for (;;) {
        px::pumpEvents();
        link_->PollInput();
        for (int n = link_->GetRxCount(); n > 0 && !complete; --n) {
            const char c = static_cast<char>(link_->Ring().TakeByte());
            if (c == px::frame::STX) {
                reply.clear();
                started = true;
            } else if (!started) {
                continue; // noise before the reply
            } else if (c == px::frame::CR) {
                complete = true;
            } else if (reply.size() < kMaxReply) {
                reply += c;
            }
        }
        const std::int64_t elapsed = px::tickCount() - start;
        if (complete || elapsed >= vnetTimeout_) break;
        if (link_->GetRxCount() == 0) px::waitForEvent(px::Millis(vnetTimeout_ - elapsed));
    }

    if (!complete)
        reply.clear(); // a reply cut off before its CR is no reply: an "A" in it proves nothing
    if (!reply.empty())
        FireVNetMonitor(2, reply);
    else
        FireVNetMonitor(0, "$TIMEOUT");
    if (rxChecksum && IsAccepted(reply) && reply.size() > 2) {
        if (ChecksumMatches(reply)) {
            reply.resize(reply.size() - 2);
        } else {
            reply.clear();
            FireVNetMonitor(0, "$CHKSUM ERROR");
        }
    }
    link_->NextEpoch();
    --exchangeDepth_;
    return reply;
}

bool CSerloCtrl::Dial(const std::string& number)
{
    for (const std::string& part : {std::string("ATDT"), number, std::string("\r")})
        link_->Write(reinterpret_cast<const std::uint8_t*>(part.data()),
                     static_cast<int>(part.size()));
    FireVNetMonitor(0, "Wait Dial Modem...");
    const auto carrier = [this] { return (link_->ModemStatus() & MS_RLSD_ON) != 0; };
    px::waitUntil(carrier, px::Millis(29999));
    return carrier();
}

bool CSerloCtrl::LoginX(const std::string& password, int hiCode, int loCode)
{
    const auto first = cmd::Login(password);
    if (!first) return Refused("LoginX", VType::Bool).AsBool();
    const std::string reply = SendVNetCmd(*first, false, false);
    if (IsAccepted(reply)) return true;
    const auto response = cmd::ChallengeResponse(reply, hiCode, loCode);
    if (!response) return false;
    lastPassword_ = *response;
    return IsAccepted(SendVNetCmd("L" + lastPassword_, false, false));
}

Value CSerloCtrl::CallProtocol(std::int32_t id, const std::vector<Value>& a)
{
    using namespace dispid;
    // One exchange whose reply text is the result, or whose "A" is True.
    auto text = [&](const char* method, const std::optional<std::string>& command, bool rx) {
        return command ? Value::Str(SendVNetCmd(*command, false, rx)) : Refused(method, VType::Str);
    };
    auto flag = [&](const char* method, const std::optional<std::string>& command, bool tx) {
        return command ? Value::Bool(IsAccepted(SendVNetCmd(*command, tx, false)))
                       : Refused(method, VType::Bool);
    };
    switch (id) {
    case dispid::SendVNetCmd:
        return Value::Str(SendVNetCmd(a[0].s, a[1].AsBool(), a[2].AsBool()));
    case Polling:
        return text("Polling", cmd::Polling(a[0].i), false);
    case SetID:
        return flag("SetID", cmd::SetID(a[0].i), false);
    case Login:
        return flag("Login", cmd::Login(a[0].s), false);
    case Logout:
        return flag("Logout", std::string("O"), false);
    case SetPassword:
        return flag("SetPassword", cmd::SetPassword(a[0].s), true);
    case GetTime:
        return text("GetTime", std::string("T"), false);
    case GetVersion:
        return text("GetVersion", std::string("F"), false);
    case Reset:
        return flag("Reset", std::string("R"), false);
    case GetRecord:
        return text("GetRecord", cmd::GetRecord(a[0].i), true);
    case EraseRecord:
        return flag("EraseRecord", cmd::EraseRecord(a[0].i), false);
    case WriteRecord:
        return flag("WriteRecord", cmd::WriteRecord(a[0].i, a[1].s), true);
    case GetRegister:
        return text("GetRegister", cmd::GetRegister(a[0].i), true);
    case SetRegister:
        return flag("SetRegister", cmd::SetRegister(a[0].i, a[1].s), true);
    case dispid::Dial:
        return Value::Bool(Dial(a[0].s));
    case SetTime:
        return flag("SetTime", cmd::SetTime(a[0].i, a[1].i, a[2].i, a[3].i, a[4].i, a[5].i, a[6].i),
                    false);
    case GetFileInfo:
        return text("GetFileInfo", cmd::GetFileInfo(a[0].i), true);
    case SendFileReq:
        if (a[1].i != 0) return Value::Bool(false); // only XMODEM can be sent
        return flag("SendFileReq", cmd::WithPath("ZX", a[0].s), false);
    case RecvFileReq:
        if (a[1].i != 0 && a[1].i != 1) return Value::Bool(false);
        return flag("RecvFileReq", cmd::WithPath(a[1].i == 0 ? "UX" : "UY", a[0].s), false);
    case DelFile:
        return flag("DelFile", cmd::WithPath("FD", a[0].s), false);
    case MkDir:
        return flag("MkDir", cmd::WithPath("FM", a[0].s), false);
    case DelDir:
        return flag("DelDir", cmd::WithPath("FX", a[0].s), false);
    case GetFileCount: {
        const auto command = cmd::WithPath("FN", a[0].s);
        if (!command) return Refused("GetFileCount", VType::I2);
        const std::string reply = SendVNetCmd(*command, false, false);
        if (!IsAccepted(reply)) return Value::I2(0);
        return Value::I2(static_cast<int>(
            std::clamp<std::int64_t>(cmd::DecDigits(reply.substr(1)), SHRT_MIN, SHRT_MAX)));
    }
    case dispid::LoginX:
        return Value::Bool(LoginX(a[0].s, a[1].i, a[2].i));
    case GetRecordCount: {
        const std::string reply = SendVNetCmd("N", false, true);
        if (!IsAccepted(reply)) return Value::I4(0);
        return Value::I4(static_cast<std::int32_t>(
            std::clamp<std::int64_t>(cmd::HexDigits(reply.substr(1)), INT_MIN, INT_MAX)));
    }
    default:
        return {};
    }
}

} // namespace serlo
