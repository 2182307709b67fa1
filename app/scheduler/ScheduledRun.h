// One scheduled run (TSChkDevice): every terminal of the directory is opened, identified (its
// machine ID repaired when it is alone on its link), downloaded from where the last run stopped
// into the output file, the monthly backup and the mail copy, erased once its memory passes the
// configured ratio, optionally given the PC's time, and the collected file is mailed.
//
// Terminals on different links (COM ports, device-server addresses and ports) are polled at the
// same time, up to the setting "Time schedular/Parallel"; those on one link one after another,
// in directory order. The files read as if every terminal had been polled in turn.
#pragma once

#include "DateFormat.h"
#include "RunServices.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace px {

class Mailer;
class RunSessions;

class ScheduledRun {
public:
    // Most sessions at a time when the setting leaves it to the directory.
    static constexpr int kDefaultParallelLimit = 8;

    ScheduledRun(RunServices services, Mailer& mailer);
    ~ScheduledRun();

    std::function<DateTime()> now = [] { return Now(); };

    void TSChkDevice();

    // Whether every directory entry of the last run was saved or had nothing new (a failed mail
    // or clock setting does not count).
    bool LastRunComplete() const { return complete_; }
    // The scheduler's Stop: every session of a run in progress ends its exchange now, and the
    // run ends at the sessions' next record.
    void StopSessions();

    // The sessions the run uses at most for a directory of links distinct links: the setting,
    // or the number of links up to kDefaultParallelLimit when it is 0.
    static int SessionsFor(int setting, int links);
    // The link an entry is reached through: "COM5", "10.0.0.7:1001"; "" for none.
    static std::string LinkOf(int comPort, const std::string& address, int ipPort);

private:
    struct Terminal; // one directory entry of the run

    std::string StartRun(); // the mail copy's path
    void PollAll();
    bool StartNext(std::vector<Terminal>& terms, int slot);
    void ShowCounts(const std::vector<Terminal>& terms, bool inStatusView);
    void MailRunFile(const std::string& mailFile);
    void Log(const std::string& line) const;
    void Message(const std::string& text) const;
    std::string T2() const;
    void LoadRunTemplate();
    DateTime SafeNow() const;

    RunServices s_;
    Mailer& mailer_;
    bool bInTSChkDevice_ = false;
    bool complete_ = true;
    double eraseRatio_ = 0.8;
    int parallel_ = 1;
    RunSessions* sessions_ = nullptr; // while a run polls
};

} // namespace px
