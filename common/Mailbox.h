// Work handed to the event loop of another thread. Qt's event queue orders the hand-over, but
// Qt is not built with ThreadSanitizer, so the sanitizer is told of it here; work posted through
// QMetaObject::invokeMethod would look like a race to it.
#pragma once

#include <QObject>

#include <functional>

namespace px {

class Mailbox : public QObject {
public:
    using QObject::QObject;
    // Runs work on this object's thread, after the events already queued there. Safe from any
    // thread; work still queued when the mailbox goes is dropped unrun.
    void Post(std::function<void()> work);

protected:
    bool event(QEvent* e) override;
};

} // namespace px
