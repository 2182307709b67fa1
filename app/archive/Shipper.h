// The shipper thread: journal lines into the database as they arrive, with its own connection,
// never on the user-interface thread and never holding up a download. When the database cannot
// take records it retries with growing pauses; the lines wait in the journal meanwhile.
#pragma once

#include "Shipping.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace px::archive {

class Shipper {
public:
    struct Status {
        bool behind = false; // shipping failed since the journal was last wholly shipped
        std::string cause;   // the last failure
        bool idle = false;   // the journal is wholly shipped
        long long shipped = 0;
        long long damaged = 0; // journal lines skipped as damaged
    };

    // changed runs on the shipper's thread whenever Status changes.
    Shipper(ShippingConfig config, std::function<void()> changed);
    ~Shipper();
    Shipper(const Shipper&) = delete;
    Shipper& operator=(const Shipper&) = delete;

    // New lines are in the journal.
    void Wake();
    // Ships for at most drain more (while the database takes records), then ends the thread.
    void Stop(std::chrono::milliseconds drain);
    Status Current() const;

    // Longest pause between attempts while the database refuses.
    static constexpr std::chrono::milliseconds kMaxPause{8000};
    // Pause between looks at the journal when nothing wakes the shipper.
    static constexpr std::chrono::milliseconds kIdlePause{1000};

private:
    void Run();
    bool Update(JournalShipping::Outcome outcome);

    JournalShipping shipping_;
    std::function<void()> changed_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool woken_ = false;
    std::optional<std::chrono::steady_clock::time_point> drainUntil_;
    Status status_;
    std::thread thread_;
};

} // namespace px::archive
