// The exported C functions. Nothing thrown inside the library crosses this boundary.
#include "serlo.h"

#include "CSerloCtrl.h"
#include "Dispatch.h"
#include "Members.h"
#include "Registry.h"
#include "Wait.h"

#include <QCoreApplication>

#include <cstdlib>
#include <new>
#include <unordered_set>

struct SerloCtrl {
    serlo::CSerloCtrl ctrl;
    SerloEventSink sink = nullptr;
    void* ctx = nullptr;
};

namespace {

// Controls handed out and not yet destroyed: a call on a destroyed control is refused instead of
// touching freed memory.
std::unordered_set<const SerloCtrl*>& Live()
{
    static std::unordered_set<const SerloCtrl*> live;
    return live;
}

bool IsLive(const SerloCtrl* c)
{
    return c && Live().count(c) != 0;
}

// A host without a Qt application gets one that lives until the process ends.
void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "serlo";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = nullptr;
    if (!QCoreApplication::instance()) app = new QCoreApplication(argc, argv);
    (void)app;
}

void Deliver(SerloCtrl* c, std::int32_t id, const std::vector<serlo::Value>& args)
{
    if (!c->sink) return;
    // Arguments point into the library's own strings; they live only during the call.
    std::vector<SerloVariant> out(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
        const serlo::Value& v = args[i];
        SerloVariant& o = out[i];
        o = {SERLO_VT_EMPTY, 0, nullptr, 0};
        switch (v.type) {
        case serlo::VType::I2:
            o.vt = SERLO_VT_I2;
            o.i4 = v.i;
            break;
        case serlo::VType::I4:
            o.vt = SERLO_VT_I4;
            o.i4 = v.i;
            break;
        case serlo::VType::Bool:
            o.vt = SERLO_VT_BOOL;
            o.i4 = v.i ? -1 : 0;
            break;
        case serlo::VType::Str:
            o.vt = SERLO_VT_BSTR;
            o.str = const_cast<char*>(v.s.c_str());
            o.len = static_cast<std::int32_t>(v.s.size());
            break;
        case serlo::VType::Empty:
            break;
        }
    }
    c->sink(c->ctx, id, out.data(), static_cast<std::int32_t>(out.size()));
}

} // namespace

extern "C" {

SerloCtrl* SerloCreate(void)
{
    try {
        EnsureApplication();
        auto* c = new SerloCtrl;
        Live().insert(c);
        c->ctrl.Advise(
            [c](std::int32_t id, const std::vector<serlo::Value>& args) { Deliver(c, id, args); });
        return c;
    } catch (...) {
        return nullptr;
    }
}

void SerloDestroy(SerloCtrl* ctrl)
{
    if (!IsLive(ctrl)) return;
    Live().erase(ctrl);
    try {
        delete ctrl;
    } catch (...) {
    }
}

int32_t SerloInvoke(SerloCtrl* ctrl, int32_t dispid, int32_t flags, const SerloVariant* args,
                    int32_t nargs, SerloVariant* result)
{
    if (!IsLive(ctrl)) return SERLO_E_INVALIDARG;
    try {
        return serlo::Invoke(ctrl->ctrl, dispid, flags, args, nargs, result);
    } catch (const std::bad_alloc&) {
        return static_cast<int32_t>(0x8007000E); // out of memory
    } catch (...) {
        return static_cast<int32_t>(0x80004005); // unspecified failure
    }
}

void SerloAdvise(SerloCtrl* ctrl, SerloEventSink sink, void* ctx)
{
    if (!IsLive(ctrl)) return;
    ctrl->sink = sink;
    ctrl->ctx = sink ? ctx : nullptr;
}

void SerloDoEvents(int32_t milliseconds)
{
    if (!QCoreApplication::instance()) return;
    try {
        if (milliseconds > 0)
            px::waitFor(px::Millis(milliseconds));
        else
            px::pumpEvents();
    } catch (...) {
    }
}

void SerloFreeString(char* str)
{
    std::free(str);
}

int32_t SerloGetIDOfName(const char* name)
{
    return serlo::IdOfName(name);
}

int32_t DllRegisterServer(void)
{
    try {
        return serlo::RegisterServer();
    } catch (...) {
        return SERLO_SELFREG_E_CLASS;
    }
}

int32_t DllUnregisterServer(void)
{
    try {
        return serlo::UnregisterServer();
    } catch (...) {
        return SERLO_SELFREG_E_CLASS;
    }
}

} // extern "C"
