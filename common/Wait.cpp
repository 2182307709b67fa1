#include "Wait.h"

#include <QAbstractEventDispatcher>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <thread>

namespace px {

std::int64_t tickCount()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void pumpEvents()
{
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->processEvents(QEventLoop::AllEvents);
}

void waitForEvent(Millis timeout)
{
    auto* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher) {
        // A thread without an event loop has nothing to wake it; keep the step short.
        std::this_thread::sleep_for(std::min(timeout, Millis(1)));
        return;
    }
    if (timeout.count() <= 0) {
        dispatcher->processEvents(QEventLoop::AllEvents);
        return;
    }
    // The timer only bounds the sleep; any other event ends it earlier.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(static_cast<int>(std::min<std::int64_t>(timeout.count(), 1 << 30)));
    dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

bool waitUntil(const std::function<bool()>& done, Millis timeout)
{
    QDeadlineTimer deadline(timeout.count() < 0 ? 0 : timeout.count(), Qt::PreciseTimer);
    for (;;) {
        pumpEvents();
        if (done()) return true;
        const qint64 remaining = deadline.remainingTime();
        if (remaining <= 0) return false;
        waitForEvent(Millis(remaining));
    }
}

void waitFor(Millis duration)
{
    waitUntil([] { return false; }, duration);
}

void runPumped(const std::function<void()>& work)
{
    auto* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher) {
        work();
        return;
    }
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
        dispatcher->wakeUp();
    });
    while (!done)
        waitForEvent(Millis(100));
    worker.join();
}

} // namespace px
