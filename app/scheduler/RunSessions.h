// The threads a scheduled run polls its terminals on. Each slot is a thread with its own event
// loop; a poll gets a terminal session made on that thread (its link control posts its events
// there, and its pumped waits pump only that thread), which is dropped when the poll ends. A
// thread per session keeps the device operations as they are, one step after another with
// pumped waits; on one thread such waits would nest inside each other.
#pragma once

#include "Mailbox.h"
#include "TerminalPoll.h"

#include <QObject>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace px {

struct LinkState;
class RunPart;
class Texts;

class RunSessions {
public:
    // What a poll reports besides its part: monitor lines and status texts, delivered on the
    // thread that made this object.
    struct Reports {
        std::function<void(const std::string&)> monitor;
        std::function<void(const std::string&)> status;
        std::function<void(const std::string&)> message;
    };

    RunSessions(int threads, const Texts& texts, std::string title, Reports reports,
                const std::atomic<bool>* stopRequested);
    ~RunSessions();
    RunSessions(const RunSessions&) = delete;
    RunSessions& operator=(const RunSessions&) = delete;

    int Slots() const { return static_cast<int>(slots_.size()); }
    bool Busy(int slot) const { return slots_[static_cast<std::size_t>(slot)]->busy; }
    // Polls one terminal on a free slot; done(saved) follows on this object's thread once the
    // poll is over and its session gone. A tag in the monitor tells the terminals apart.
    void Start(int slot, RunPart& part, PollPlan plan, const std::string& monitorTag,
               std::function<void(bool saved)> done);
    // The scheduler's Stop: the exchanges and pings of every session end now.
    void StopAll();

private:
    struct Slot {
        QThread thread;
        Mailbox* context = nullptr; // lives on thread
        bool busy = false;
    };
    void Register(LinkState* state);
    void Unregister(LinkState* state);
    void Poll(RunPart& part, PollPlan plan, const std::string& tag, bool& saved);

    const Texts& texts_;
    std::string title_;
    Reports reports_;
    const std::atomic<bool>* stopRequested_;
    Mailbox home_; // on the run's thread: where the reports arrive
    std::vector<std::unique_ptr<Slot>> slots_;
    std::mutex liveMutex_;
    std::vector<LinkState*> live_;
};

} // namespace px
