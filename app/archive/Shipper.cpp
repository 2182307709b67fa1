#include "Shipper.h"

namespace px::archive {

using Clock = std::chrono::steady_clock;

Shipper::Shipper(ShippingConfig config, std::function<void()> changed)
    : shipping_(std::move(config)), changed_(std::move(changed)), thread_([this] { Run(); })
{
}

Shipper::~Shipper()
{
    Stop(std::chrono::milliseconds(0));
}

void Shipper::Wake()
{
    {
        const std::lock_guard lock(mutex_);
        woken_ = true;
    }
    wake_.notify_one();
}

void Shipper::Stop(std::chrono::milliseconds drain)
{
    {
        const std::lock_guard lock(mutex_);
        if (!stop_) drainUntil_ = Clock::now() + drain;
        stop_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

Shipper::Status Shipper::Current() const
{
    const std::lock_guard lock(mutex_);
    return status_;
}

// Returns whether the status changed.
bool Shipper::Update(JournalShipping::Outcome outcome)
{
    using Outcome = JournalShipping::Outcome;
    const std::lock_guard lock(mutex_);
    const Status before = status_;
    status_.shipped = shipping_.Shipped();
    status_.damaged = shipping_.Damaged();
    if (outcome == Outcome::Failed) {
        status_.behind = true;
        status_.cause = shipping_.Error();
        status_.idle = false;
    } else if (outcome == Outcome::Idle) {
        status_.behind = false;
        status_.idle = true;
    } else if (outcome == Outcome::Shipped) {
        status_.idle = false;
    }
    return before.behind != status_.behind || before.idle != status_.idle ||
           before.cause != status_.cause || before.damaged != status_.damaged;
}

void Shipper::Run()
{
    using Outcome = JournalShipping::Outcome;
    std::chrono::milliseconds pause(0);
    for (;;) {
        {
            const std::lock_guard lock(mutex_);
            if (stop_ && Clock::now() >= *drainUntil_) break;
        }
        const Outcome outcome = shipping_.Step();
        if (Update(outcome) && changed_) changed_();
        if (outcome == Outcome::Shipped) {
            pause = std::chrono::milliseconds(0);
            continue;
        }
        std::unique_lock lock(mutex_);
        // Stopping: what the database takes goes in; once it is all in, or refused, the rest
        // waits in the journal for the next start.
        if (stop_ && outcome != Outcome::Busy) break;
        if (outcome == Outcome::Failed)
            pause = std::min(kMaxPause, std::max(pause * 2, std::chrono::milliseconds(500)));
        else
            pause = outcome == Outcome::Busy ? std::chrono::milliseconds(200) : kIdlePause;
        // New lines wake an idle shipper at once; a failing one waits out its pause.
        const bool failing = outcome == Outcome::Failed;
        wake_.wait_for(lock, pause, [&] { return stop_ || (woken_ && !failing); });
        woken_ = false;
    }
}

} // namespace px::archive
