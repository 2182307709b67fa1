#include "RunSessions.h"

#include "RunPart.h"
#include "RunReporter.h"
#include "TerminalSession.h"
#include "Texts.h"

#include <algorithm>

namespace px {

RunSessions::RunSessions(int threads, const Texts& texts, std::string title, Reports reports,
                         const std::atomic<bool>* stopRequested)
    : texts_(texts), title_(std::move(title)), reports_(std::move(reports)),
      stopRequested_(stopRequested)
{
    for (int i = 0; i < std::max(threads, 1); ++i) {
        auto slot = std::make_unique<Slot>();
        slot->thread.setObjectName(QStringLiteral("session-%1").arg(i + 1));
        slot->context = new Mailbox;
        slot->context->moveToThread(&slot->thread);
        slot->thread.start();
        slots_.push_back(std::move(slot));
    }
}

RunSessions::~RunSessions()
{
    for (auto& slot : slots_) {
        slot->thread.quit();
        slot->thread.wait();
        delete slot->context; // its thread is over: nothing can reach it any more
    }
}

void RunSessions::Register(LinkState* state)
{
    const std::lock_guard lock(liveMutex_);
    live_.push_back(state);
}

void RunSessions::Unregister(LinkState* state)
{
    const std::lock_guard lock(liveMutex_);
    live_.erase(std::remove(live_.begin(), live_.end(), state), live_.end());
}

void RunSessions::StopAll()
{
    const std::lock_guard lock(liveMutex_);
    for (LinkState* state : live_) {
        state->bStopComm = true;
        state->bStopPing = true;
    }
}

// Runs on the slot's thread: the session is made, used and dropped there.
void RunSessions::Poll(RunPart& part, PollPlan plan, const std::string& tag, bool& saved)
{
    Mailbox* home = &home_;
    const auto post = [home](std::function<void(const std::string&)> to,
                             const std::string& prefix) -> std::function<void(const std::string&)> {
        if (!to) return {};
        return [home, to = std::move(to), prefix](const std::string& text) {
            home->Post([to, line = prefix + text] { to(line); });
        };
    };
    RunReporter reporter(part, texts_, title_, post(reports_.monitor, tag),
                         post(reports_.status, ""));
    plan.message = post(reports_.message, "");
    TerminalSession session(reporter);
    std::string error;
    if (!session.CreateLink(&error)) {
        part.Log(std::string(10, ' ') + plan.name + ": " + error, false);
        return;
    }
    session.state().stopRequested = stopRequested_;
    Register(&session.state());
    try {
        TerminalPoll poll(session, part, std::move(plan));
        saved = poll.Run();
    } catch (const std::exception& e) {
        // Nothing may leave the slot's event loop; this terminal ends here, logged.
        part.Log(std::string(e.what()) + "(5)", false);
    }
    Unregister(&session.state());
}

void RunSessions::Start(int slotIndex, RunPart& part, PollPlan plan, const std::string& monitorTag,
                        std::function<void(bool saved)> done)
{
    Slot& slot = *slots_[static_cast<std::size_t>(slotIndex)];
    slot.busy = true;
    Mailbox* context = slot.context;
    part.SetWakePoll([context] { context->Post({}); });
    part.SetStarted();
    Mailbox* home = &home_;
    context->Post([this, &part, plan = std::move(plan), monitorTag, done = std::move(done), home,
                   &slot]() mutable {
        bool saved = false;
        Poll(part, std::move(plan), monitorTag, saved);
        part.Finish();
        home->Post([&slot, done, saved] {
            slot.busy = false;
            done(saved);
        });
    });
}

} // namespace px
