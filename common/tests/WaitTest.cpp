#include "Wait.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;

namespace {

class Counter : public QObject {
public:
    std::atomic<int> seen{0};
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User) {
            ++seen;
            return true;
        }
        return QObject::event(e);
    }
};

} // namespace

TEST(Wait, DeadlineIsHonouredWithoutEvents)
{
    const auto t0 = px::tickCount();
    EXPECT_FALSE(px::waitUntil([] { return false; }, 60ms));
    const auto elapsed = px::tickCount() - t0;
    EXPECT_GE(elapsed, 60);
    EXPECT_LT(elapsed, 1000);
}

TEST(Wait, ZeroTimeoutTestsTheConditionOnce)
{
    int calls = 0;
    EXPECT_TRUE(px::waitUntil([&] { return ++calls == 1; }, 0ms));
    EXPECT_FALSE(px::waitUntil([] { return false; }, 0ms));
}

TEST(Wait, WakesOnAnEventPostedFromAnotherThread)
{
    Counter counter;
    // The waiter must return on the posted event, long before its 5 s limit.
    std::thread poster([&] {
        std::this_thread::sleep_for(30ms);
        QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
    });
    const auto t0 = px::tickCount();
    EXPECT_TRUE(px::waitUntil([&] { return counter.seen.load() == 1; }, 5000ms));
    EXPECT_LT(px::tickCount() - t0, 2000);
    poster.join();
}

TEST(Wait, NestedWaitsKeepTheirOwnDeadlines)
{
    Counter counter;
    QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
    bool inner = true;
    const auto t0 = px::tickCount();
    px::waitUntil(
        [&] {
            if (counter.seen.load() == 1 && inner) {
                inner = false;
                px::waitFor(20ms); // a handler that waits inside the outer wait
            }
            return false;
        },
        80ms);
    const auto elapsed = px::tickCount() - t0;
    EXPECT_GE(elapsed, 80);
    EXPECT_LT(elapsed, 1000);
}
