// The one way anything in this project waits: pump the calling thread's Qt event loop until a
// condition holds or a deadline on the monotonic clock passes. Between passes the thread sleeps
// inside the event dispatcher, so it wakes on the next event (a posted link notification, socket
// readiness, a timer) instead of polling on a fixed step.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace px {

using Millis = std::chrono::milliseconds;

// Milliseconds on the monotonic clock; only differences mean anything.
std::int64_t tickCount();

// Processes the events that are pending now, without waiting.
void pumpEvents();

// One pass: processes pending events, or sleeps until the next event arrives or timeout passes.
void waitForEvent(Millis timeout);

// Pumps until done() returns true or timeout has passed; returns the last value of done().
// done() is checked before the first wait, so a zero timeout tests it exactly once.
bool waitUntil(const std::function<bool()>& done, Millis timeout);

// Pumps events for the whole duration.
void waitFor(Millis duration);

// Runs work on a thread of its own while the calling thread keeps pumping its events, and
// returns when work has ended: for what blocks in the kernel (a write made durable), which must
// not hold the window up. Without an event loop on the calling thread work runs right there.
void runPumped(const std::function<void()>& work);

} // namespace px
