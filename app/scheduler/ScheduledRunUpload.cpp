// TSUpload: one terminal's new records into the output file, the mail copy and the monthly
// backup, with the counters written after every record. A download that a kill interrupted
// between a record's lines and its counter leaves those lines behind the marks it keeps in the
// counter file; the next run recognises them there and does not write them a second time.
#include "ScheduledRun.h"

#include "Archive.h"
#include "Core.h"
#include "DeviceOps.h"
#include "FileAppend.h"
#include "FmtData.h"
#include "OutputNames.h"
#include "RecordLines.h"
#include "RecordOutput.h"
#include "RecordUpload.h"
#include "Replies.h"
#include "RuntimeError.h"
#include "VbText.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace px {

namespace {

const std::string S10(10, ' ');

// Whether the line a killed download left in this writer's file is exactly this one.
bool LeftThere(const LeftLine& left, const Saver& writer, const std::string& line)
{
    if (left.at < 0 || left.path != writer.Path() ||
        left.length != static_cast<long long>(line.size()) + 2)
        return false;
    std::ifstream in(left.path, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(left.length), '\0');
    in.seekg(left.at);
    return in.read(bytes.data(), static_cast<std::streamsize>(bytes.size())) &&
           bytes == line + "\r\n";
}

} // namespace

std::string ScheduledRun::CountersPath() const
{
    return core_.paths().In("Records/" + core_.Title() + ".INI");
}

bool ScheduledRun::OpenWriters()
{
    Options& o = core_.options();
    std::error_code ec;
    if (!std::filesystem::is_directory(o.tsavePath, ec)) o.tsavePath = core_.paths().RecordsDir();
    const bool output = core_.outputWriter().OpenFile(JoinPath(o.tsavePath, o.tsfileName));
    bool backup = false;
    if (!output)
        Log("can't open file!");
    else if (!(backup = core_.backupWriter().OpenFile(BackupFilePath(core_.paths(), now()))))
        Log("can't open backup file!");
    // The mail writer stays enabled on its last path even when this open fails.
    if (o.mailToChecked && !core_.mailWriter().OpenFile(MailFilePath(core_.paths(), o.tsfileName)))
        Log("can't open mail file!");
    return output && backup;
}

LeftLine ScheduledRun::FindLeftLine(const FileMark& mark)
{
    LeftLine left;
    const long long size = FileSizeOf(mark.path);
    // One line is all that a killed download writes behind a mark; more is something else.
    if (mark.path.empty() || mark.end < 0 || size <= mark.end || size - mark.end > 65536)
        return left;
    std::ifstream in(mark.path, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(size - mark.end), '\0');
    in.seekg(mark.end);
    if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) return left;
    if (bytes.back() != '\n') {
        // A write cut short: the line is ended, so that the next one starts on a line of its
        // own; the record is written again whole.
        if (AppendLine(mark.path, "", nullptr)) Log(S10 + "ended a line cut short in " + mark.path);
        return left;
    }
    if (bytes.find('\n') != bytes.size() - 1) return left;
    return {mark.path, mark.end, static_cast<long long>(bytes.size())};
}

void ScheduledRun::TakeLeftOvers(const std::vector<int>& ids)
{
    leftOvers_.clear();
    RecordStore& store = core_.recordStore();
    store.FilePath = CountersPath();
    for (int id : ids) {
        store.MachineID = id;
        // Behind the marks of the download that wrote the counters last, nothing is covered by
        // a counter: any later counted line would lie there too. Before this run writes
        // anything, a whole line found there is noted for good.
        const auto pending = store.Pending();
        const long count = store.LastCount();
        if (pending && pending->lastWriter && count >= pending->first) {
            LeftOver left;
            left.index = count;
            if (count == pending->first) left.record = pending->firstRecord;
            left.output = FindLeftLine(pending->marks.output);
            left.mail = FindLeftLine(pending->marks.mail);
            left.backup = FindLeftLine(pending->marks.backup);
            // A download killed again after taking over lines noted before: those stay noted,
            // together with any it wrote anew.
            if (const auto noted = store.LeftOverLines(); noted && noted->index == left.index) {
                if (!left.record) left.record = noted->record;
                for (auto line : {&LeftOver::output, &LeftOver::mail, &LeftOver::backup})
                    if ((left.*line).at < 0) left.*line = (*noted).*line;
            }
            if (left.output.at >= 0 || left.mail.at >= 0 || left.backup.at >= 0)
                store.KeepLeftOver(left);
        }
        if (auto left = store.LeftOverLines()) leftOvers_.emplace(id, std::move(*left));
    }
}

bool ScheduledRun::TSUpload(int id)
{
    if (bInTSUpload_) {
        Silent("Warning Re-Execute TSUpload Function");
        return false;
    }
    // Cleared on every way out, so that no error can refuse all later uploads.
    struct Leave {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{bInTSUpload_};
    bInTSUpload_ = true;
    UploadPass u;
    try {
        Log(S10 + "start upload and save data!");
        Message(T2() + "Start upload!");
        RecordStore& store = core_.recordStore();
        store.FilePath = CountersPath();
        store.MachineID = id;
        if (!OpenWriters()) {
            u.readOk = false;
        } else {
            WriteHeaders();
            core_.upload().SetCardIDFilter();
            u.count = core_.device().GetPXRecordCount();
            FindResumePoint(u);
            if (const auto left = leftOvers_.find(id); left != leftOvers_.end()) {
                u.left = std::move(left->second);
                leftOvers_.erase(left);
            }
            DownloadPasses(id, u);
            EndDownload(u);
        }
        ReportSaved(u);
    } catch (const RuntimeError& e) {
        Log(std::string(e.what()) + "(" + std::to_string(e.number) + ")");
        u.readOk = false;
    } catch (const std::exception& e) {
        Log(std::string(e.what()) + "(5)");
        u.readOk = false;
    }
    return FinishUpload(u);
}

void ScheduledRun::WriteHeaders()
{
    const std::string type = core_.options().format;
    const std::string ini = HeaderFormatIni(type, core_.szFormatIni);
    WriteHeaderIfEmpty(core_.outputWriter(), ini, type, core_.formatter());
    // A mail writer opened once stays enabled on its last path.
    Saver& mail = core_.mailWriter();
    if (mail.Enable()) WriteHeaderIfEmpty(mail, ini, type, core_.formatter());
}

bool ScheduledRun::CounterFailed(UploadPass& u)
{
    // The records would be fetched and written again by the next run: stop this terminal.
    const std::string& error = core_.recordStore().Error();
    Log(S10 + (error.empty() ? std::string("save data NG!") : "save data NG!(" + error + ")"));
    u.counterFailed = true;
    u.readOk = false;
    return false;
}

void ScheduledRun::FindResumePoint(UploadPass& u)
{
    RecordStore& store = core_.recordStore();
    if (u.count > 0) {
        if (core_.upload().MatchStoredRecords(u.readOk)) {
            u.resumed = true;
            u.last = store.LastCount();
            Log(S10 + (u.last == u.count
                           ? "No new record, record count still at " + std::to_string(u.count)
                           : "continue save data from " + std::to_string(u.last) + " to " +
                                 std::to_string(u.count)));
        } else if (u.readOk) {
            u.last = 0;
            if (!store.SetLastCount(0)) CounterFailed(u);
        } else {
            u.last = store.LastCount();
        }
    }
    u.last = std::max(u.last, 0L);
    u.start = u.last;
}

void ScheduledRun::DownloadPasses(int id, UploadPass& u)
{
    int passes = 0;
    while (u.readOk && u.count > 0) {
        if (core_.state().Stopping()) break;
        if (passes == 20) {
            u.readOk = false;
            break;
        }
        ++passes;
        for (long j = u.last; j < u.count && u.readOk; ++j) {
            if (core_.state().Stopping()) {
                u.readOk = false;
                break;
            }
            if (SaveRecord(id, j, u))
                u.last = j + 1;
            else
                u.readOk = false;
        }
        if (!u.readOk || !AnotherPass(u)) break;
    }
}

FileMarks ScheduledRun::Marks()
{
    const auto mark = [](const Saver& w) { return FileMark{w.Path(), w.FileSize()}; };
    FileMarks marks{mark(core_.outputWriter()), {}, mark(core_.backupWriter())};
    if (core_.mailWriter().Enable()) marks.mail = mark(core_.mailWriter());
    return marks;
}

void ScheduledRun::NoteWriteFailure(const char* what, const Saver& writer, int& failures)
{
    // The output line is the record of truth; the copies' failures are reported, once each.
    if (failures++ == 0) Log(S10 + "can't write " + what + " file!(" + writer.Error() + ")");
}

bool ScheduledRun::WriteLines(const RecordLines& lines, const LeftOver* claim, UploadPass& u)
{
    const auto left = [claim](const LeftLine LeftOver::*line, const Saver& writer,
                              const std::string& text) {
        return claim && LeftThere(claim->*line, writer, text);
    };
    Saver& output = core_.outputWriter();
    Saver& mail = core_.mailWriter();
    Saver& backup = core_.backupWriter();
    if (!left(&LeftOver::output, output, lines.output) && !output.WriteFile(lines.output))
        return false;
    if (mail.Enable() && !left(&LeftOver::mail, mail, lines.output) &&
        !mail.WriteFile(lines.output))
        NoteWriteFailure("mail", mail, u.mailFailures);
    if (!left(&LeftOver::backup, backup, lines.backup) && !backup.WriteFile(lines.backup))
        NoteWriteFailure("backup", backup, u.backupFailures);
    return true;
}

bool ScheduledRun::SaveRecord(int id, long j, UploadPass& u)
{
    const auto record = core_.upload().FetchRecord(static_cast<int>(j));
    if (!record) return false;
    if (HasLineBreakBytes(record->text))
        Log(S10 + "record #" + std::to_string(j + 1) +
            " holds NUL, CR or LF bytes, written as: " + OneLine(record->text));
    const RecordUpload& up = core_.upload();
    const RecordLines lines =
        LinesFor(core_.formatter(), {up.bCIDFilter, up.lCIDStart, up.lCIDLength}, id, j, *record);
    // Only the first record of this download can be one whose lines a killed run wrote without
    // its counter: the same index, and the same record (its kept text, or the stored records
    // still matching the terminal's, which is what resuming relies on anyway).
    const LeftOver* claim = nullptr;
    if (!u.begun && u.left && j == u.left->index &&
        (u.left->record ? record->text == *u.left->record : u.resumed))
        claim = &*u.left;
    RecordStore& store = core_.recordStore();
    if (!u.begun) {
        if (!store.BeginDownload(j, record->text, Marks(), claim != nullptr))
            return CounterFailed(u);
        u.begun = true;
    }
    const bool written = WriteLines(lines, claim, u);
    Message("Save: " + std::to_string(j) + "/" + std::to_string(u.count));
    if (!written) {
        const Saver& output = core_.outputWriter();
        Log(S10 + (output.Error().empty() ? std::string("save data NG!")
                                          : "save data NG!(" + output.Error() + ")"));
        return false;
    }
    // The archive's journal: after the record's text lines, before its counters.
    core_.archive().Take(id, core_.directory().table[static_cast<std::size_t>(id)].Name, j,
                         *record);
    const FileMarks marks = Marks();
    if (!store.SaveProgress(j, record->text, &marks)) return CounterFailed(u);
    return true;
}

void ScheduledRun::EndDownload(const UploadPass& u)
{
    // After a failed counter write the marks stay: the next run can still recognise the line.
    RecordStore& store = core_.recordStore();
    if (u.begun && !u.counterFailed && store.Pending()) store.EndDownload();
}

bool ScheduledRun::AnotherPass(UploadPass& u)
{
    DeviceOps& device = core_.device();
    const long count2 = device.GetPXRecordCount();
    if (count2 > u.last) {
        u.count = count2;
        return true;
    }
    if (count2 != u.last) return false;
    const double limit = static_cast<double>(device.lMaxCount) * device.dEraseRatio;
    if (limit >= static_cast<double>(count2)) return false;
    // A punch that arrived since must not be erased unsaved: look again right before erasing,
    // and take another pass when the count moved.
    const long recheck = device.GetPXRecordCount();
    if (recheck > u.last) {
        u.count = recheck;
        return true;
    }
    if (recheck != u.last) return false;
    if (core_.link().EraseRecord(-1)) {
        u.eraseResult = "delete record OK!";
        // Counters left standing would be compared with the refilled memory.
        if (!core_.recordStore().Delete()) CounterFailed(u);
    } else {
        u.eraseResult = "can't delete record!";
    }
    return false;
}

void ScheduledRun::ReportSaved(const UploadPass& u)
{
    if (u.last - u.start > 0) {
        Log(S10 + "save record count: " + std::to_string(u.last - u.start));
        Log(S10 + "save file path: " + core_.outputWriter().Path());
    }
    if (!u.eraseResult.empty()) Log(S10 + u.eraseResult);
    if (u.mailFailures > 1)
        Log(S10 + std::to_string(u.mailFailures) + " lines not written to the mail file");
    if (u.backupFailures > 1)
        Log(S10 + std::to_string(u.backupFailures) + " lines not written to the backup file");
}

bool ScheduledRun::FinishUpload(const UploadPass& u)
{
    const bool stopped = core_.state().Stopping();
    const long count = u.count, last = u.last;
    std::string final;
    if (u.readOk && !stopped)
        final = count == -1  ? "Can't get record count!"
                : count != 0 ? "save data OK!"
                             : "No record!";
    else if (!stopped)
        final = count == -1  ? "Can't get record count!"
                : count != 0 ? "save data break out at record #" + std::to_string(last)
                             : "save data NG!";
    else
        final = count == -1  ? "Can't get record count!"
                : count != 0 ? "cancel save data at record #" + std::to_string(last)
                             : "cancel save data";
    lastUploadResult_ = final;
    Log(S10 + final);
    return u.readOk && !stopped && count != -1;
}

} // namespace px
