// The control's dispatch interface as data: every property and method with its DISPID, name,
// type and access. The C ABI checks calls against this table before the control sees them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace serlo {

enum class VType { Empty, I2, I4, Bool, Str };

// A dispatch value after conversion to the member's declared type.
struct Value {
    VType type = VType::Empty;
    std::int32_t i = 0; // I2, I4; Bool as 0 / -1
    std::string s;      // Str, bytes

    static Value I2(int v) { return {VType::I2, static_cast<std::int16_t>(v), {}}; }
    static Value I4(std::int32_t v) { return {VType::I4, v, {}}; }
    static Value Bool(bool v) { return {VType::Bool, v ? -1 : 0, {}}; }
    static Value Str(std::string v) { return {VType::Str, 0, std::move(v)}; }
    bool AsBool() const { return i != 0; }
};

struct Member {
    std::int32_t dispid;
    const char* name;
    bool isMethod;
    VType type;                // property type or method result (Empty for none)
    bool readOnly;             // properties only
    std::vector<VType> params; // methods only
};

// nullptr when the DISPID is not a member of the interface.
const Member* FindMember(std::int32_t dispid);
// DISPID of a property or method name (case-insensitive), -1 when unknown.
std::int32_t IdOfName(const char* name);

namespace dispid {
enum : std::int32_t {
    BaudRate = 1,
    Handshaking = 2,
    RTSEnable = 3,
    Settings = 4,
    DTREnable = 5,
    TxQueue = 6,
    RxQueue = 7,
    EventMask = 8,
    Break = 9,
    CommPort = 10,
    VNetTimeout = 11,
    iPort = 12,
    iAddress = 13,
    ExtPort = 14,
    RxCount = 15,
    TxSpace = 16,
    Text = 17,
    Char = 18,
    CTSHolding = 19,
    DSRHolding = 20,
    CommID = 21,
    CommEvent = 22,
    CommError = 23,
    RLSDHolding = 24,
    Busy = 25,
    LastPassword = 26,
    RINGHolding = 27,
    ExtPortOpen = 28,
    PortOpen = 29,
    Cancel = 30,
    PostFile = 31,
    RecvFile = 32,
    ClareTxBuffer = 33,
    ClearRxBuffer = 34,
    SendVNetCmd = 35,
    Polling = 36,
    SetID = 37,
    Login = 38,
    Logout = 39,
    SetPassword = 40,
    GetTime = 41,
    GetVersion = 42,
    Reset = 43,
    GetRecord = 44,
    EraseRecord = 45,
    WriteRecord = 46,
    GetRegister = 47,
    SetRegister = 48,
    Dial = 49,
    SetTime = 50,
    GetFileInfo = 51,
    SendFileReq = 52,
    RecvFileReq = 53,
    DelFile = 54,
    MkDir = 55,
    DelDir = 56,
    GetFileCount = 57,
    LoginX = 58,
    EnumCommPort = 59,
    GetRecordCount = 60,
    ReadyState = -525,
    Enabled = -514,
    AboutBox = -552,
};
} // namespace dispid

} // namespace serlo
