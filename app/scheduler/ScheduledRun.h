// One scheduled run (TSChkDevice): every terminal of the directory is opened, identified (its
// machine ID repaired when it is alone on its link), downloaded from where the last run stopped
// into the output file, the monthly backup and the mail copy, erased once its memory passes the
// configured ratio, optionally given the PC's time, and the collected file is mailed.
#pragma once

#include "DateFormat.h"
#include "RecordLines.h"
#include "RecordStore.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace px {

class Core;
class Mailer;
class Saver;
struct DeviceEntry;
namespace reply {
struct RecordLine;
}

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
    // Where one terminal's download stands.
    struct UploadPass {
        long count = 0; // records on the terminal
        long last = 0;  // records saved, from the start
        long start = 0; // where this download began
        bool readOk = true;
        bool resumed = false;       // the stored records still matched the terminal's
        bool begun = false;         // the counter file knows that this download runs
        bool counterFailed = false; // a counter write failed: the download stays pending
        int mailFailures = 0, backupFailures = 0;
        std::optional<LeftOver> left; // lines a killed download of this terminal left
        std::string eraseResult;
    };

    // The run's steps, in order.
    std::string StartRun(); // the mail copy's path
    bool PollEntry(const DeviceEntry& entry, const std::string& name);
    bool ReachEntry(const DeviceEntry& entry, const std::string& name, long& pingMs);
    bool OpenEntry(const DeviceEntry& entry);
    bool IdentifyOrRecover(const DeviceEntry& entry, const std::string& name);
    void RecoverId(const DeviceEntry& entry, int answering);
    bool DownloadEntry(const DeviceEntry& entry, const std::string& name, long pingMs);
    void SetTerminalClock();
    void MailRunFile(const std::string& mailFile);

    // TSUpload's steps.
    void WriteHeaders();
    void FindResumePoint(UploadPass& u);
    void DownloadPasses(int id, UploadPass& u);
    bool SaveRecord(int id, long index, UploadPass& u);
    bool WriteLines(const RecordLines& lines, const LeftOver* claim, UploadPass& u);
    bool CounterFailed(UploadPass& u);
    void NoteWriteFailure(const char* what, const Saver& writer, int& failures);
    FileMarks Marks();
    std::string CountersPath() const;
    void TakeLeftOvers(const std::vector<int>& ids);
    LeftLine FindLeftLine(const FileMark& mark);
    void EndDownload(const UploadPass& u);
    bool AnotherPass(UploadPass& u); // erases the terminal once it is full and all is saved
    void ReportSaved(const UploadPass& u);
    bool FinishUpload(const UploadPass& u);

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
    std::map<int, LeftOver> leftOvers_; // by machine ID, for this run
};

} // namespace px
