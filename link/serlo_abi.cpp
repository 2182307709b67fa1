// The exported C functions. Nothing thrown inside the library crosses this boundary.
#include "serlo.h"

#include "CSerloCtrl.h"
#include "Dispatch.h"
#include "Members.h"
#include "Registry.h"
#include "Wait.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <cstdlib>
#include <mutex>
#include <new>
#include <unordered_set>

struct SerloCtrl {
    serlo::CSerloCtrl ctrl;
    // The thread that created the control: its sockets, timers and events live there, so every
    // call must come from it.
    QThread* const owner = QThread::currentThread();
    SerloEventSink sink = nullptr;
    void* ctx = nullptr;
    int depth = 0;       // calls into the control and sink calls out of it, in progress
    bool doomed = false; // destroyed by the host while one of those was in progress
};

namespace {

// Controls handed out and not yet destroyed: a call on a destroyed control is refused instead of
// touching freed memory. Hosts create and destroy controls on several threads at once.
std::mutex& LiveLock()
{
    static std::mutex lock;
    return lock;
}
std::unordered_set<const SerloCtrl*>& Live()
{
    static std::unordered_set<const SerloCtrl*> live;
    return live;
}

// S_OK when the control is live and the caller is its owner thread.
std::int32_t Admit(const SerloCtrl* c)
{
    if (!c) return SERLO_E_INVALIDARG;
    const std::lock_guard guard(LiveLock());
    // Only the owner destroys a control, so a live one cannot go away while its owner is read.
    if (Live().count(c) == 0) return SERLO_E_INVALIDARG;
    return c->owner == QThread::currentThread() ? SERLO_S_OK : SERLO_E_WRONG_THREAD;
}

void Reap(SerloCtrl* c)
{
    // The control's teardown still pumps events; none may reach the host any more.
    c->sink = nullptr;
    c->ctrl.Advise({});
    delete c;
}

// A call into the control (or out of it to the sink): a host that destroys the control inside it
// has the control deleted when the outermost such call has returned.
class CallScope {
public:
    CallScope(SerloCtrl* c, bool insideControl) : c_(c), insideControl_(insideControl)
    {
        ++c_->depth;
    }
    ~CallScope()
    {
        if (--c_->depth > 0 || !c_->doomed) return;
        SerloCtrl* c = c_;
        if (insideControl_)
            QTimer::singleShot(0, [c] { Reap(c); }); // the control's own handler is still running
        else
            Reap(c);
    }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

private:
    SerloCtrl* c_;
    bool insideControl_;
};

// A host without a Qt application gets one that lives until the process ends. Two threads may
// create their first controls at the same moment; only one application may come of it.
void EnsureApplication()
{
    static std::mutex lock;
    static int argc = 1;
    static char name[] = "serlo";
    static char* argv[] = {name, nullptr};
    const std::lock_guard guard(lock);
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

// A thread that Qt did not start has no event dispatcher until an event loop is made on it; its
// controls need one for their sockets, timers and posted events.
void EnsureDispatcher()
{
    if (!QAbstractEventDispatcher::instance()) QEventLoop make;
}

void Deliver(SerloCtrl* c, std::int32_t id, const std::vector<serlo::Value>& args)
{
    if (!c->sink) return;
    const CallScope scope(c, true);
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
        EnsureDispatcher();
        auto* c = new SerloCtrl;
        {
            const std::lock_guard guard(LiveLock());
            Live().insert(c);
        }
        c->ctrl.Advise(
            [c](std::int32_t id, const std::vector<serlo::Value>& args) { Deliver(c, id, args); });
        return c;
    } catch (...) {
        return nullptr;
    }
}

void SerloDestroy(SerloCtrl* ctrl)
{
    // Another thread's control is left alone: its owner may be inside a call on it right now.
    if (Admit(ctrl) != SERLO_S_OK) return;
    {
        const std::lock_guard guard(LiveLock());
        Live().erase(ctrl);
    }
    if (ctrl->depth > 0) {
        // Destroyed from its own sink: deleted once that call returns, silent until then.
        ctrl->sink = nullptr;
        ctrl->doomed = true;
        return;
    }
    try {
        Reap(ctrl);
    } catch (...) {
    }
}

int32_t SerloInvoke(SerloCtrl* ctrl, int32_t dispid, int32_t flags, const SerloVariant* args,
                    int32_t nargs, SerloVariant* result)
{
    if (const std::int32_t refused = Admit(ctrl); refused != SERLO_S_OK) {
        if (result) *result = {SERLO_VT_EMPTY, 0, nullptr, 0};
        return refused;
    }
    const CallScope scope(ctrl, false);
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
    if (Admit(ctrl) != SERLO_S_OK) return;
    ctrl->sink = sink;
    ctrl->ctx = sink ? ctx : nullptr;
}

void SerloDoEvents(int32_t milliseconds)
{
    if (!QCoreApplication::instance()) return;
    try {
        EnsureDispatcher();
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
