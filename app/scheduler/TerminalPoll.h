// One terminal of a scheduled run, on the thread of its session: the link is opened, the
// terminal identified (its machine ID repaired when it is alone on its link), its new records
// downloaded into the run's part for the writer, its memory erased once it passes the erase ratio
// and everything is saved, and its clock set. What it logs goes into the part, in order.
#pragma once

#include "DateFormat.h"
#include "DeviceDirectory.h"
#include "RecordStore.h"

#include <functional>
#include <string>

namespace px {

class RunPart;
class TerminalSession;
struct PartResult;

// What the run tells one terminal's poll.
struct PollPlan {
    DeviceEntry entry;
    std::string name;        // its directory line, "001-Gate"
    bool sharedLink = false; // other directory entries use the same link
    StoredCounters counters; // as the download starts from them
    double eraseRatio = 0.8; // of the terminal's capacity
    bool setClock = false;   // give the terminal the PC's time after the download
    int linkTimeoutMs = 10000;
    int baudRate = 19200; // of serial links, as the program's link has it (SERLO/BAUD)
    // Downloaded records that may wait for the writer before the download pauses.
    std::size_t backlogLimit = 4096;
    std::function<DateTime()> now;
    // The one-line progress message of the window.
    std::function<void(const std::string&)> message;
};

class TerminalPoll {
public:
    TerminalPoll(TerminalSession& session, RunPart& part, PollPlan plan);

    // True when the entry was saved or had nothing new.
    bool Run();

private:
    // Where the download stands.
    struct UploadPass {
        long count = 0; // records on the terminal
        long last = 0;  // records saved, from the start
        long start = 0; // where this download began
        bool readOk = true;
        std::string eraseResult;
    };

    bool Reach(long& pingMs);
    bool Open();
    bool IdentifyOrRecover();
    void RecoverId(int answering);
    bool Download(long pingMs);
    void SetTerminalClock();

    bool Upload();
    void FindResumePoint(UploadPass& u);
    void DownloadPasses(UploadPass& u);
    bool AnotherPass(UploadPass& u);
    // Waits until the writer has handled everything sent so far, and takes what it made of it.
    PartResult Settle();
    void ReportSaved(const UploadPass& u, const PartResult& r);
    bool FinishUpload(const UploadPass& u);

    void Log(const std::string& line);
    void Silent(const std::string& line);
    void Message(const std::string& text);
    std::string T1() const;
    std::string T2() const;
    bool Stopping() const;

    TerminalSession& session_;
    RunPart& part_;
    PollPlan plan_;
};

} // namespace px
