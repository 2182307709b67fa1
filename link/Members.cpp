#include "Members.h"

#include <strings.h>

namespace serlo {

namespace {

using V = VType;
constexpr bool RO = true;
constexpr bool RW = false;

Member Prop(std::int32_t id, const char* name, VType type, bool readOnly)
{
    return {id, name, false, type, readOnly, {}};
}

Member Method(std::int32_t id, const char* name, VType result, std::vector<VType> params = {})
{
    return {id, name, true, result, false, std::move(params)};
}

const std::vector<Member>& Table()
{
    using namespace dispid;
    static const std::vector<Member> table = {
        Prop(BaudRate, "BaudRate", V::I4, RW),
        Prop(Handshaking, "Handshaking", V::I2, RW),
        Prop(RTSEnable, "RTSEnable", V::Bool, RW),
        Prop(Settings, "Settings", V::Str, RW),
        Prop(DTREnable, "DTREnable", V::Bool, RW),
        Prop(TxQueue, "TxQueue", V::I2, RW),
        Prop(RxQueue, "RxQueue", V::I2, RW),
        Prop(EventMask, "EventMask", V::I4, RW),
        Prop(Break, "Break", V::Bool, RW),
        Prop(CommPort, "CommPort", V::I2, RW),
        Prop(VNetTimeout, "VNetTimeout", V::I4, RW),
        Prop(iPort, "iPort", V::I2, RW),
        Prop(iAddress, "iAddress", V::Str, RW),
        Prop(ExtPort, "ExtPort", V::Str, RW),
        Prop(RxCount, "RxCount", V::I2, RO),
        Prop(TxSpace, "TxSpace", V::I2, RO),
        Prop(Text, "Text", V::Str, RW),
        Prop(Char, "Char", V::I2, RW),
        Prop(CTSHolding, "CTSHolding", V::Bool, RO),
        Prop(DSRHolding, "DSRHolding", V::Bool, RO),
        Prop(CommID, "CommID", V::I4, RO),
        Prop(CommEvent, "CommEvent", V::I4, RO),
        Prop(CommError, "CommError", V::I4, RO),
        Prop(RLSDHolding, "RLSDHolding", V::Bool, RO),
        Prop(Busy, "Busy", V::Bool, RO),
        Prop(LastPassword, "LastPassword", V::Str, RO),
        Prop(RINGHolding, "RINGHolding", V::Bool, RO),
        Prop(ExtPortOpen, "ExtPortOpen", V::Bool, RW),
        Prop(PortOpen, "PortOpen", V::Bool, RW),
        Prop(ReadyState, "ReadyState", V::I4, RO),
        Prop(Enabled, "Enabled", V::Bool, RW),
        Method(Cancel, "Cancel", V::Empty),
        Method(PostFile, "PostFile", V::Bool, {V::Str}),
        Method(RecvFile, "RecvFile", V::Bool, {V::Str, V::Bool}),
        Method(SendVNetCmd, "SendVNetCmd", V::Str, {V::Str, V::Bool, V::Bool}),
        Method(Polling, "Polling", V::Str, {V::I2}),
        Method(SetID, "SetID", V::Bool, {V::I2}),
        Method(Login, "Login", V::Bool, {V::Str}),
        Method(Logout, "Logout", V::Bool),
        Method(SetPassword, "SetPassword", V::Bool, {V::Str}),
        Method(GetTime, "GetTime", V::Str),
        Method(GetVersion, "GetVersion", V::Str),
        Method(Reset, "Reset", V::Bool),
        Method(GetRecord, "GetRecord", V::Str, {V::I2}),
        Method(EraseRecord, "EraseRecord", V::Bool, {V::I2}),
        Method(WriteRecord, "WriteRecord", V::Bool, {V::I2, V::Str}),
        Method(GetRegister, "GetRegister", V::Str, {V::I2}),
        Method(SetRegister, "SetRegister", V::Bool, {V::I2, V::Str}),
        Method(Dial, "Dial", V::Bool, {V::Str}),
        Method(SetTime, "SetTime", V::Bool, {V::I2, V::I2, V::I2, V::I2, V::I2, V::I2, V::I2}),
        Method(GetFileInfo, "GetFileInfo", V::Str, {V::I2}),
        Method(SendFileReq, "SendFileReq", V::Bool, {V::Str, V::I2}),
        Method(RecvFileReq, "RecvFileReq", V::Bool, {V::Str, V::I2}),
        Method(DelFile, "DelFile", V::Bool, {V::Str}),
        Method(MkDir, "MkDir", V::Bool, {V::Str}),
        Method(DelDir, "DelDir", V::Bool, {V::Str}),
        Method(GetFileCount, "GetFileCount", V::I2, {V::Str}),
        Method(LoginX, "LoginX", V::Bool, {V::Str, V::I2, V::I2}),
        Method(GetRecordCount, "GetRecordCount", V::I4),
        Method(ClareTxBuffer, "ClareTxBuffer", V::Empty),
        Method(ClearRxBuffer, "ClearRxBuffer", V::Empty),
        Method(EnumCommPort, "EnumCommPort", V::Str, {V::I2}),
        Method(AboutBox, "AboutBox", V::Empty),
    };
    return table;
}

} // namespace

const Member* FindMember(std::int32_t id)
{
    for (const auto& m : Table())
        if (m.dispid == id) return &m;
    return nullptr;
}

std::int32_t IdOfName(const char* name)
{
    if (!name) return -1;
    for (const auto& m : Table())
        if (strcasecmp(m.name, name) == 0) return m.dispid;
    return -1;
}

} // namespace serlo
