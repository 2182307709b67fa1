#include "SerloClient.h"
#include "FileAppend.h"

#include "Ini.h"
#include "RuntimeError.h"
#include "Trace.h"
#include "XdgPaths.h"
#include "serlo.h"
#include "serlo_ids.h"

#include <dlfcn.h>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace px {

namespace {

std::string ExecutableDir()
{
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

std::string Describe(int32_t rc)
{
    switch (rc) {
    case SERLO_E_MEMBERNOTFOUND:
        return "Object doesn't support this property or method";
    case SERLO_E_TYPEMISMATCH:
        return "Type mismatch";
    case SERLO_E_OVERFLOW:
        return "Overflow";
    case SERLO_E_BADPARAMCOUNT:
        return "Wrong number of arguments";
    case SERLO_E_SETNOTSUPPORTED:
        return "Can't assign to read-only property";
    case SERLO_E_INVALIDARG:
        return "Invalid procedure call or argument";
    case SERLO_E_WRONG_THREAD:
        return "The control belongs to another thread";
    default:
        return "Automation error";
    }
}

SerloVariant Num(int32_t v)
{
    return {SERLO_VT_I4, v, nullptr, 0};
}
SerloVariant Flag(bool v)
{
    return {SERLO_VT_BOOL, v ? -1 : 0, nullptr, 0};
}
SerloVariant Str(const std::string& s)
{
    return {SERLO_VT_BSTR, 0, const_cast<char*>(s.data()), static_cast<int32_t>(s.size())};
}

} // namespace

struct SerloClient::Api {
    void* handle = nullptr;
    decltype(&SerloCreate) create = nullptr;
    decltype(&SerloDestroy) destroy = nullptr;
    decltype(&SerloInvoke) invoke = nullptr;
    decltype(&SerloAdvise) advise = nullptr;
    decltype(&SerloFreeString) freeString = nullptr;
    decltype(&DllRegisterServer) registerServer = nullptr;
    decltype(&SerloGetIDOfName) idOfName = nullptr;

    // Loads the library and accepts it only when it exports the C ABI and numbers every member
    // the way this program was built against; why not, in *why.
    bool Load(const std::string& path, std::string* why)
    {
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* text = dlerror();
            *why = text ? text : "cannot be loaded";
            return false;
        }
        create = reinterpret_cast<decltype(create)>(dlsym(handle, "SerloCreate"));
        destroy = reinterpret_cast<decltype(destroy)>(dlsym(handle, "SerloDestroy"));
        invoke = reinterpret_cast<decltype(invoke)>(dlsym(handle, "SerloInvoke"));
        advise = reinterpret_cast<decltype(advise)>(dlsym(handle, "SerloAdvise"));
        freeString = reinterpret_cast<decltype(freeString)>(dlsym(handle, "SerloFreeString"));
        registerServer =
            reinterpret_cast<decltype(registerServer)>(dlsym(handle, "DllRegisterServer"));
        idOfName = reinterpret_cast<decltype(idOfName)>(dlsym(handle, "SerloGetIDOfName"));
        if (!(create && destroy && invoke && advise && freeString && registerServer && idOfName))
            *why = "does not export the link control's C functions";
        else
            *why = MismatchedMember();
        if (why->empty()) return true;
        dlclose(handle);
        handle = nullptr;
        return false;
    }

    std::string MismatchedMember() const
    {
#define PX_CHECK_MEMBER(name, id)                                                                  \
    if (idOfName(#name) != (id)) return "numbers " #name " otherwise than this program";
        SERLO_MEMBERS(PX_CHECK_MEMBER)
#undef PX_CHECK_MEMBER
        return {};
    }
};

namespace {

// The sink runs inside the control's calls; it only forwards to the client's callbacks.
void EventSink(void* ctx, int32_t dispid, const SerloVariant* args, int32_t nargs)
{
    auto* client = static_cast<SerloClient*>(ctx);
    if (dispid == SERLO_EVENT_VNETMONITOR && nargs == 2) {
        const std::string text =
            args[1].str ? std::string(args[1].str, static_cast<std::size_t>(args[1].len))
                        : std::string();
        client->Monitor(args[0].i4, text);
    } else if (dispid == SERLO_EVENT_ONCOMM && client->onComm) {
        client->onComm();
    }
}

} // namespace

SerloClient::SerloClient() : api_(std::make_unique<Api>()) {}

SerloClient::~SerloClient()
{
    if (ctrl_) api_->destroy(static_cast<SerloCtrl*>(ctrl_));
    // The library stays loaded: its Qt objects may still have events queued.
}

void SerloClient::Monitor(int index, const std::string& text)
{
    static const std::string kOpenError = "$OPEN ERROR ";
    if (index == 0 && text.compare(0, kOpenError.size(), kOpenError) == 0)
        openFailure_ = text.substr(kOpenError.size());
    if (onMonitor) onMonitor(index, text);
}

bool SerloClient::IsCreated() const
{
    return ctrl_ != nullptr;
}
const std::string& SerloClient::LibraryPath() const
{
    return libraryPath_;
}

bool SerloClient::Create(std::string* error)
{
    if (ctrl_) return true;
    const std::string registry = xdg::DataHome() + "/" SERLO_REGISTRY_FILE;
    const std::string registered = ini::getString(registry, SERLO_PROGID, "Path", "");
    std::string why;
    // A registered library is used only when it is the control this program expects: a stale
    // entry (an old build tree, a removed installation) must not win over the installed one.
    bool loaded = !registered.empty() && api_->Load(registered, &why);
    if (loaded) {
        libraryPath_ = registered;
    } else {
        if (!registered.empty())
            qCDebug(pxApp).noquote()
                << "registered library" << registered.c_str() << "not used:" << why.c_str();
        const std::string dir = ExecutableDir();
        std::vector<std::string> candidates = {dir + "/libserlo.so", dir + "/../lib/libserlo.so"};
#ifdef PX_BUILD_SERLO_PATH
        candidates.push_back(PX_BUILD_SERLO_PATH);
#endif
        for (const auto& path : candidates) {
            if (FileExists(path) && api_->Load(path, &why)) {
                libraryPath_ = path;
                loaded = true;
                // Writes this library's path over a stale entry.
                (void)api_->registerServer();
                break;
            }
        }
    }
    if (!loaded) {
        if (error)
            *error = "The link control " + std::string(SERLO_PROGID) +
                     " is not registered and "
                     "libserlo.so was not found beside the program";
        return false;
    }
    ctrl_ = api_->create();
    if (!ctrl_) {
        if (error) *error = "The link control could not be created";
        return false;
    }
    api_->advise(static_cast<SerloCtrl*>(ctrl_), &EventSink, this);
    return true;
}

namespace {

struct Call {
    SerloClient::Api* api;
    SerloCtrl* ctrl;

    SerloVariant Run(int32_t id, int32_t flags, std::vector<SerloVariant> args) const
    {
        if (!ctrl) throw RuntimeError(91, "Object variable or With block variable not set");
        SerloVariant out{};
        const int32_t rc =
            api->invoke(ctrl, id, flags, args.data(), static_cast<int32_t>(args.size()), &out);
        if (rc != SERLO_S_OK) throw RuntimeError(rc, Describe(rc));
        return out;
    }
    std::string Text(int32_t id, int32_t flags, std::vector<SerloVariant> args = {}) const
    {
        SerloVariant out = Run(id, flags, std::move(args));
        std::string s;
        if (out.vt == SERLO_VT_BSTR && out.str) {
            s.assign(out.str, static_cast<std::size_t>(out.len));
            api->freeString(out.str);
        }
        return s;
    }
    int32_t Number(int32_t id, int32_t flags, std::vector<SerloVariant> args = {}) const
    {
        return Run(id, flags, std::move(args)).i4;
    }
    void Put(int32_t id, SerloVariant value) const { Run(id, SERLO_DISPATCH_PROPERTYPUT, {value}); }
};

} // namespace

#define PX_CALL                                                                                    \
    Call                                                                                           \
    {                                                                                              \
        api_.get(), static_cast<SerloCtrl*>(ctrl_)                                                 \
    }
constexpr int32_t kGet = SERLO_DISPATCH_PROPERTYGET;
constexpr int32_t kMethod = SERLO_DISPATCH_METHOD;

bool SerloClient::PortOpen()
{
    return PX_CALL.Number(SERLO_DISPID_PortOpen, kGet) != 0;
}
void SerloClient::SetPortOpen(bool open)
{
    openFailure_.clear();
    PX_CALL.Put(SERLO_DISPID_PortOpen, Flag(open));
}
int SerloClient::CommPort()
{
    return PX_CALL.Number(SERLO_DISPID_CommPort, kGet);
}
void SerloClient::SetCommPort(int port)
{
    PX_CALL.Put(SERLO_DISPID_CommPort, Num(port));
}
int SerloClient::BaudRate()
{
    return PX_CALL.Number(SERLO_DISPID_BaudRate, kGet);
}
void SerloClient::SetBaudRate(int baud)
{
    PX_CALL.Put(SERLO_DISPID_BaudRate, Num(baud));
}
int SerloClient::Handshaking()
{
    return PX_CALL.Number(SERLO_DISPID_Handshaking, kGet);
}
void SerloClient::SetHandshaking(int bits)
{
    PX_CALL.Put(SERLO_DISPID_Handshaking, Num(bits));
}
std::string SerloClient::Settings()
{
    return PX_CALL.Text(SERLO_DISPID_Settings, kGet);
}
void SerloClient::SetSettings(const std::string& text)
{
    PX_CALL.Put(SERLO_DISPID_Settings, Str(text));
}
int SerloClient::VNetTimeout()
{
    return PX_CALL.Number(SERLO_DISPID_VNetTimeout, kGet);
}
void SerloClient::SetVNetTimeout(int ms)
{
    PX_CALL.Put(SERLO_DISPID_VNetTimeout, Num(ms));
}
int SerloClient::IPort()
{
    return PX_CALL.Number(SERLO_DISPID_iPort, kGet);
}
void SerloClient::SetIPort(int port)
{
    PX_CALL.Put(SERLO_DISPID_iPort, Num(port));
}
std::string SerloClient::IAddress()
{
    return PX_CALL.Text(SERLO_DISPID_iAddress, kGet);
}
void SerloClient::SetIAddress(const std::string& a)
{
    PX_CALL.Put(SERLO_DISPID_iAddress, Str(a));
}
void SerloClient::SetEventMask(int mask)
{
    PX_CALL.Put(SERLO_DISPID_EventMask, Num(mask));
}
int SerloClient::RxCount()
{
    return PX_CALL.Number(SERLO_DISPID_RxCount, kGet);
}
std::string SerloClient::Text()
{
    return PX_CALL.Text(SERLO_DISPID_Text, kGet);
}
void SerloClient::SetText(const std::string& bytes)
{
    PX_CALL.Put(SERLO_DISPID_Text, Str(bytes));
}
int SerloClient::Char()
{
    return PX_CALL.Number(SERLO_DISPID_Char, kGet);
}
bool SerloClient::Busy()
{
    return PX_CALL.Number(SERLO_DISPID_Busy, kGet) != 0;
}

std::string SerloClient::SendVNetCmd(const std::string& data, bool tx, bool rx)
{
    return PX_CALL.Text(SERLO_DISPID_SendVNetCmd, kMethod, {Str(data), Flag(tx), Flag(rx)});
}
std::string SerloClient::Polling(int id)
{
    return PX_CALL.Text(SERLO_DISPID_Polling, kMethod, {Num(id)});
}
bool SerloClient::SetID(int id)
{
    return PX_CALL.Number(SERLO_DISPID_SetID, kMethod, {Num(id)}) != 0;
}
std::string SerloClient::GetTime()
{
    return PX_CALL.Text(SERLO_DISPID_GetTime, kMethod);
}
bool SerloClient::SetTime(int year, int month, int day, int hour, int minute, int second, int week)
{
    return PX_CALL.Number(SERLO_DISPID_SetTime, kMethod,
                          {Num(year), Num(month), Num(day), Num(hour), Num(minute), Num(second),
                           Num(week)}) != 0;
}
bool SerloClient::Reset()
{
    return PX_CALL.Number(SERLO_DISPID_Reset, kMethod) != 0;
}
std::string SerloClient::GetRecord(int number)
{
    return PX_CALL.Text(SERLO_DISPID_GetRecord, kMethod, {Num(number)});
}
bool SerloClient::EraseRecord(int number)
{
    return PX_CALL.Number(SERLO_DISPID_EraseRecord, kMethod, {Num(number)}) != 0;
}
std::string SerloClient::GetRegister(int addr)
{
    return PX_CALL.Text(SERLO_DISPID_GetRegister, kMethod, {Num(addr)});
}
bool SerloClient::SetRegister(int addr, const std::string& value)
{
    return PX_CALL.Number(SERLO_DISPID_SetRegister, kMethod, {Num(addr), Str(value)}) != 0;
}
int SerloClient::GetRecordCount()
{
    return PX_CALL.Number(SERLO_DISPID_GetRecordCount, kMethod);
}

#undef PX_CALL

} // namespace px
