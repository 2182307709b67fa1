// One terminal's part of a scheduled run: what its poll produced, in order, for the run's one
// writer, and what the writer made of it. The poll runs on its session's thread, the writer on
// the program's main thread; this is the only thing they share, and it is locked.
//
// After a failed write the writer drops what the poll sent on, until the poll has seen the
// failure (Acknowledge): a sequential run would never have fetched or logged those records.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace px {

struct PartItem {
    enum class Kind {
        Log,            // text: an event-log line (shown)
        Silent,         // text: an event-log line for the file only
        OpenFiles,      // the output, backup and mail files are opened, headers written
        Resume,         // index: where the download starts; resumed: the terminal still holds
                        // the counted records; reset: the counters start again from 0
        Record,         // index, text: a record as the terminal sent it
        DeleteCounters, // the terminal was erased: its counters go
        EndDownload,    // the download ended: its crash marks go
    };
    PartItem() = default;
    explicit PartItem(Kind k) : kind(k) {}

    Kind kind = Kind::Log;
    std::string text;
    long index = 0;
    bool resumed = false;
    bool reset = false;
};

// What the writer made of the items so far.
struct PartResult {
    long saved = 0;             // records counted from the terminal's first
    bool failed = false;        // a file or counter write failed; later items were dropped
    bool openFailed = false;    // the files could not be opened: nothing was written
    bool counterFailed = false; // a counter or mark could not be written
    int mailFailures = 0;       // lines that did not reach the mail copy
    int backupFailures = 0;     // lines that did not reach the backup
    std::string outputPath;     // the output file the records went to
};

class RunPart {
public:
    // wakeWriter runs (on the poll's thread) whenever items arrive.
    explicit RunPart(std::function<void()> wakeWriter);
    // Runs on the writer's thread whenever the writer has handled items; set before the poll
    // starts.
    void SetWakePoll(std::function<void()> wakePoll) { wakePoll_ = std::move(wakePoll); }

    // The poll's side.
    void Push(PartItem item);
    void Log(std::string line, bool silent);
    std::size_t Pushed() const;
    // Every item pushed before the count upTo was written (or dropped).
    bool HandledUpTo(std::size_t upTo) const;
    std::size_t RecordBacklog() const;
    PartResult Result() const;
    bool Failed() const;
    void Acknowledge();
    // The poll is over: nothing more comes.
    void Finish();

    // The writer's side.
    // Up to max items from the front; drop tells that they are to be dropped, not written.
    std::vector<PartItem> Take(std::size_t max, bool& drop);
    // The items taken last are handled; change updates the result under the lock.
    void Handled(std::size_t count, const std::function<void(PartResult&)>& change = {});
    // The poll finished and every item is handled.
    bool Done() const;
    bool Started() const;
    void SetStarted();

private:
    mutable std::mutex mutex_;
    std::deque<PartItem> items_;
    std::size_t pushed_ = 0;
    std::size_t handled_ = 0;
    std::size_t records_ = 0; // records among items_
    std::size_t taken_ = 0;   // items taken and not yet handled
    PartResult result_;
    bool acknowledged_ = true;
    bool finished_ = false;
    bool started_ = false;
    std::function<void()> wakeWriter_;
    std::function<void()> wakePoll_;
};

} // namespace px
