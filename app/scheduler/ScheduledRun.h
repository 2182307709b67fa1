// One scheduled run (TSChkDevice): every terminal of the directory is opened, identified (its
// machine ID repaired when it is alone on its link), downloaded from where the last run stopped
// into the output file, the monthly backup and the mail copy, erased once its memory passes the
// configured ratio, optionally given the PC's time, and the collected file is mailed.
#pragma once

#include "DateFormat.h"

#include <functional>
#include <string>

namespace px {

class Core;
class Mailer;

class ScheduledRun {
public:
    ScheduledRun(Core& core, Mailer& mailer) : core_(core), mailer_(mailer) {}

    std::function<DateTime()> now = [] { return Now(); };

    void TSChkDevice();
    bool TSUpload(int id);

    // Whether every directory entry of the last run was saved or had nothing new (a failed mail
    // or clock setting does not count).
    bool LastRunComplete() const { return complete_; }
    // Why TSUpload's last call ended the way it did (its final log line).
    const std::string& LastUploadResult() const { return lastUploadResult_; }

private:
    void Log(const std::string& line) const;
    void Silent(const std::string& line) const;
    void Message(const std::string& text) const;
    std::string T1() const;
    std::string T2() const;
    void LoadRunTemplate();
    bool OpenWriters();

    Core& core_;
    Mailer& mailer_;
    bool bInTSChkDevice_ = false;
    bool bInTSUpload_ = false;
    bool complete_ = true;
    std::string lastUploadResult_;
};

} // namespace px
