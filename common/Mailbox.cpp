#include "Mailbox.h"

#include <QCoreApplication>
#include <QEvent>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace px {

namespace {

const QEvent::Type kCall = static_cast<QEvent::Type>(QEvent::registerEventType());

void Released(void* at)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_release(at);
#else
    (void)at;
#endif
}

void Acquired(void* at)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(at);
#else
    (void)at;
#endif
}

class CallEvent : public QEvent {
public:
    explicit CallEvent(std::function<void()> work) : QEvent(kCall), work(std::move(work)) {}
    // Whichever thread ends the event, delivered or dropped with its mailbox, sees the work whole.
    ~CallEvent() override { Acquired(this); }
    std::function<void()> work;
};

} // namespace

void Mailbox::Post(std::function<void()> work)
{
    auto* e = new CallEvent(std::move(work));
    Released(e);
    QCoreApplication::postEvent(this, e);
}

bool Mailbox::event(QEvent* e)
{
    Acquired(e); // before the first look at it: any event may be a posted call
    if (e->type() != kCall) return QObject::event(e);
    auto* call = static_cast<CallEvent*>(e);
    if (call->work) call->work();
    return true;
}

} // namespace px
