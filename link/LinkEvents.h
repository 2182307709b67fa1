// Notifications that a link posts to its owner on the control's thread. Posting (never calling)
// is what moves work from the serial reader thread onto the control's thread.
#pragma once

#include <QEvent>

#include <cstdint>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace serlo {

// A posted event reaches the owner's thread through Qt's queue, whose locks ThreadSanitizer does
// not see (Qt is not instrumented): these mark the hand-over for it. They are empty otherwise.
inline void MarkPosted(QEvent* e)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_release(e);
#else
    (void)e;
#endif
}
inline void MarkReceived(QEvent* e)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(e);
#else
    (void)e;
#endif
}

// A link notification: code 0 carries communication event bits, codes 1..8 transfer messages.
class LinkNotifyEvent : public QEvent {
public:
    LinkNotifyEvent(int code, std::uint32_t value, unsigned epoch = 0)
        : QEvent(Type()), code(code), value(value), epoch(epoch)
    {
    }
    static QEvent::Type Type()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    const int code;
    const std::uint32_t value;
    const unsigned epoch; // the link's exchange epoch when the notification was posted
};

// The serial port went away while open (adapter unplugged, pseudo-terminal closed).
class LinkLostEvent : public QEvent {
public:
    explicit LinkLostEvent(int openCount) : QEvent(Type()), openCount(openCount) {}
    static QEvent::Type Type()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    const int openCount; // the open it concerns: a later open of the link is left alone
};

} // namespace serlo
