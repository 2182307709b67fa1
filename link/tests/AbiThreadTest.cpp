// The C ABI with several threads: a control belongs to the thread that created it, calls from
// any other thread are refused with their own code, a thread that Qt did not start runs its own
// controls through SerloDoEvents, and a host may destroy a control from inside its own sink.
#include "AbiHelpers.h"
#include "PtyPair.h"
#include "TempHome.h"
#include "Wait.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Runs f on a thread of its own (not a QThread) and waits for it.
template <class F> void OnOtherThread(F f)
{
    std::thread other(f);
    other.join();
}

// Another thread's progress wakes nothing here: look at it every few milliseconds.
bool Poll(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done() && std::chrono::steady_clock::now() < end)
        px::waitFor(5ms);
    return done();
}

int32_t GetI4(SerloCtrl* c, int id, SerloVariant* out)
{
    *out = {SERLO_VT_BSTR, 77, nullptr, 5}; // whatever the caller left in it
    return SerloInvoke(c, id, SERLO_DISPATCH_PROPERTYGET, nullptr, 0, out);
}

} // namespace

TEST(AbiThreads, CallsFromAnotherThreadAreRefusedAndChangeNothing)
{
    TempHome home;
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    Ctrl c;
    c.putStr(D_ExtPort, pty.path());
    ASSERT_EQ(c.put(D_ExtPortOpen, Ctrl::Bool(true)), SERLO_S_OK);

    OnOtherThread([&] {
        SerloVariant out{};
        EXPECT_EQ(GetI4(c.raw(), D_BaudRate, &out), SERLO_E_WRONG_THREAD);
        EXPECT_EQ(out.vt, SERLO_VT_EMPTY);
        EXPECT_EQ(out.str, nullptr);
        SerloVariant baud = Ctrl::I4(9600);
        EXPECT_EQ(SerloInvoke(c.raw(), D_BaudRate, SERLO_DISPATCH_PROPERTYPUT, &baud, 1, nullptr),
                  SERLO_E_WRONG_THREAD);
        const std::string stolen = "stolen";
        SerloVariant text = Ctrl::Str(stolen);
        EXPECT_EQ(SerloInvoke(c.raw(), D_Text, SERLO_DISPATCH_PROPERTYPUT, &text, 1, nullptr),
                  SERLO_E_WRONG_THREAD);
        SerloAdvise(c.raw(), nullptr, nullptr);
        SerloDestroy(c.raw());
    });

    // The owner still has its control, as it was, with its sink.
    EXPECT_EQ(c.geti(D_BaudRate), 19200);
    EXPECT_TRUE(c.getb(D_PortOpen));
    pty.send("x");
    ASSERT_TRUE(px::waitUntil([&] { return !c.events.empty(); }, 2000ms));
    EXPECT_EQ(c.events[0].dispid, SERLO_EVENT_ONCOMM);
    c.putStr(D_Text, "mine");
    EXPECT_EQ(pty.receive(4), "mine"); // nothing of the other thread's write went out
}

TEST(AbiThreads, AThreadWithoutQtRunsItsOwnControlsThroughDoEvents)
{
    TempHome home;
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    Ctrl mine; // the main thread's control, alive meanwhile
    std::atomic<SerloCtrl*> theirs{nullptr};
    std::atomic<bool> opened{false};
    std::atomic<bool> checked{false};
    std::vector<RecordedEvent> events;
    QThread* otherThread = nullptr;
    std::thread other([&] {
        otherThread = QThread::currentThread();
        Ctrl c;
        theirs = c.raw();
        c.putStr(D_ExtPort, pty.path());
        c.put(D_ExtPortOpen, Ctrl::Bool(true));
        opened = c.getb(D_PortOpen);
        // Events reach this thread's sink only while it pumps.
        for (int i = 0; i < 200 && c.events.empty(); ++i)
            SerloDoEvents(10);
        events = c.events;
        while (!checked.load())
            SerloDoEvents(5);
        c.put(D_ExtPortOpen, Ctrl::Bool(false));
    });
    ASSERT_TRUE(Poll([&] { return opened.load(); }, 5000ms));
    pty.send("y");
    // Meanwhile its control is not the main thread's to use.
    SerloVariant out{};
    EXPECT_EQ(GetI4(theirs.load(), D_RxCount, &out), SERLO_E_WRONG_THREAD);
    px::waitFor(300ms);
    checked = true;
    other.join();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].dispid, SERLO_EVENT_ONCOMM);
    EXPECT_EQ(events[0].thread, otherThread);
    EXPECT_NE(otherThread, QCoreApplication::instance()->thread());
    EXPECT_TRUE(mine.events.empty()); // nothing strayed to the main thread's control
    // Destroyed by its owner: gone for everyone.
    EXPECT_EQ(GetI4(theirs.load(), D_RxCount, &out), SERLO_E_INVALIDARG);
}

namespace {

struct SelfDestroying {
    SerloCtrl* c = nullptr;
    int calls = 0;
    int destroyOnCall = 1;
    static void Sink(void* ctx, int32_t, const SerloVariant*, int32_t)
    {
        auto* self = static_cast<SelfDestroying*>(ctx);
        if (++self->calls == self->destroyOnCall) SerloDestroy(self->c);
    }
};

} // namespace

TEST(AbiThreads, AControlMayBeDestroyedFromItsOwnSink)
{
    TempHome home;
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    // From an event the event loop delivers.
    SelfDestroying byEvent;
    byEvent.c = SerloCreate();
    SerloAdvise(byEvent.c, &SelfDestroying::Sink, &byEvent);
    SerloVariant path = Ctrl::Str(pty.path());
    SerloVariant on = Ctrl::Bool(true);
    ASSERT_EQ(SerloInvoke(byEvent.c, D_ExtPort, SERLO_DISPATCH_PROPERTYPUT, &path, 1, nullptr),
              SERLO_S_OK);
    ASSERT_EQ(SerloInvoke(byEvent.c, D_ExtPortOpen, SERLO_DISPATCH_PROPERTYPUT, &on, 1, nullptr),
              SERLO_S_OK);
    pty.send("a");
    ASSERT_TRUE(px::waitUntil([&] { return byEvent.calls > 0; }, 2000ms));
    pty.send("bcd");
    px::waitFor(200ms); // the control goes, and its link with it; no event follows
    EXPECT_EQ(byEvent.calls, 1);
    SerloVariant out{};
    EXPECT_EQ(GetI4(byEvent.c, D_RxCount, &out), SERLO_E_INVALIDARG);

    // From an event fired inside a call: the exchange goes on with its control, which is freed
    // when the call returns.
    SelfDestroying byCall;
    byCall.c = SerloCreate();
    SerloAdvise(byCall.c, &SelfDestroying::Sink, &byCall);
    SerloVariant quick = Ctrl::I4(100);
    SerloInvoke(byCall.c, D_VNetTimeout, SERLO_DISPATCH_PROPERTYPUT, &quick, 1, nullptr);
    SerloInvoke(byCall.c, D_ExtPort, SERLO_DISPATCH_PROPERTYPUT, &path, 1, nullptr);
    ASSERT_EQ(SerloInvoke(byCall.c, D_ExtPortOpen, SERLO_DISPATCH_PROPERTYPUT, &on, 1, nullptr),
              SERLO_S_OK);
    (void)pty.receive(64, 200); // the first control's cancel sequence at its end
    const std::string poll = "D01";
    SerloVariant exchange[] = {Ctrl::Str(poll), Ctrl::Bool(false), Ctrl::Bool(false)};
    SerloVariant reply{};
    // The frame sent reaches the sink first, as VNetMonitor(1).
    EXPECT_EQ(SerloInvoke(byCall.c, D_SendVNetCmd, SERLO_DISPATCH_METHOD, exchange, 3, &reply),
              SERLO_S_OK);
    EXPECT_EQ(byCall.calls, 1);
    // The exchange went on after the destroy; the control's own end follows its frame.
    const std::string frame = std::string(1, '\x02') + "D01\r";
    EXPECT_EQ(pty.receive(5).substr(0, 5), frame);
    SerloFreeString(reply.str);
    EXPECT_EQ(GetI4(byCall.c, D_RxCount, &out), SERLO_E_INVALIDARG);
}
