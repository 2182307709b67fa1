#include "ScheduledRun.h"

#include "Connect.h"
#include "Core.h"
#include "DeviceOps.h"
#include "FileAppend.h"
#include "FmtData.h"
#include "Ini.h"
#include "Mailer.h"
#include "OutputNames.h"
#include "RecordOutput.h"
#include "RecordUpload.h"
#include "Replies.h"
#include "RuntimeError.h"
#include "Trace.h"
#include "VbText.h"
#include "Wait.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace px {

namespace {

const std::string S10(10, ' ');
const std::string S5(5, ' ');

} // namespace

void ScheduledRun::Log(const std::string& line) const
{
    qCDebug(pxApp).noquote() << "run log:" << line.c_str();
    core_.eventLog().WriteLog(line, false);
}
void ScheduledRun::Silent(const std::string& line) const
{
    qCDebug(pxApp).noquote() << "run note:" << line.c_str();
    core_.eventLog().WriteLog(line, true);
}
void ScheduledRun::Message(const std::string& text) const
{
    qCDebug(pxApp).noquote() << "run step:" << text.c_str();
    core_.view().SetMessageLine(text);
}
std::string ScheduledRun::T1() const
{
    return FormatDate(now(), "hh:nn");
}
std::string ScheduledRun::T2() const
{
    return FormatDate(now(), "MM/DD HH:nn");
}

void ScheduledRun::LoadRunTemplate()
{
    const Options& o = core_.options();
    std::string templ(fmt::kStandardTemplate);
    const long idLength = static_cast<long>(Val(o.idLenText));
    if (!core_.szFormatIni.empty() && !o.format.empty() && o.format != "(Default)")
        templ = ini::getString(core_.szFormatIni, o.format, "Format", fmt::kStandardTemplate,
                               ini::kBuf2048);
    else if (!Trim(o.idLenText).empty() && idLength > 0)
        templ = fmt::IdLengthTemplate(idLength);
    if (!core_.formatter().LoadTemplate(templ, fmt::kStandardFields, ",", "{", "}"))
        Log(S10 + "invalid template, records are saved unformatted: " + templ);
}

void ScheduledRun::TSChkDevice()
{
    if (bInTSChkDevice_) {
        Log("Warning Re-Execute TSChkDevice Function");
        return;
    }
    bInTSChkDevice_ = true;
    complete_ = true;
    core_.SetScreenPointer(kPointerHourglass);
    try {
        const std::string mailFile = StartRun();
        DeviceDirectory& dir = core_.directory();
        const auto lines = dir.Lines(); // the list as it stands when the run starts
        for (std::size_t li = 1; li < lines.size(); ++li) {
            if (core_.state().Stopping()) {
                complete_ = false;
                break;
            }
            const DeviceEntry entry = dir.table[static_cast<std::size_t>(lines[li].itemData)];
            if (!PollEntry(entry, lines[li].text)) complete_ = false;
        }
        Message(T2() + " Finish!");
        MailRunFile(mailFile);
    } catch (const RuntimeError& e) {
        Log(std::string(e.what()) + "(" + std::to_string(e.number) + ")");
        complete_ = false;
    } catch (const std::exception& e) {
        // Nothing may leave the timer's handler; the run ends here, logged.
        Log(std::string(e.what()) + "(5)");
        complete_ = false;
    }
    bInTSChkDevice_ = false;
    core_.SetScreenPointer(kPointerDefault);
}

std::string ScheduledRun::StartRun()
{
    core_.device().ReadPX74XInfo();
    Log("\r\n" + T2() + " Start Time scheduler...");
    Message("");
    LoadRunTemplate();
    Options& o = core_.options();
    o.tsfileName = OutputFileName(o, now());
    return MailFilePath(core_.paths(), o.tsfileName);
}

bool ScheduledRun::PollEntry(const DeviceEntry& entry, const std::string& name)
{
    SerloClient& link = core_.link();
    Log(S5 + T1() + " Detect " + name);
    Message(T2() + " Detect " + name);
    link.SetPortOpen(false);
    link.SetCommPort(entry.ComPort);

    long pingMs = 0;
    bool saved = false;
    if (ReachEntry(entry, name, pingMs) && OpenEntry(entry) && IdentifyOrRecover(entry, name))
        saved = DownloadEntry(entry, name, pingMs);
    Message(T2() + " Next device!");
    link.SetPortOpen(false);
    pumpEvents();
    return saved;
}

bool ScheduledRun::ReachEntry(const DeviceEntry& entry, const std::string& name, long& pingMs)
{
    if (entry.ComPort != 0) return true;
    if (entry.IPAddr.empty() || entry.IPAddr == "0.0.0.0") {
        Log(S10 + name + " is empty!");
        return false;
    }
    pingMs = core_.pinger().Ping(entry.IPAddr, 3000);
    if (pingMs == -1) {
        Log(S10 + "can't ping " + name + "(" + entry.IPAddr + ")!");
        return false;
    }
    core_.link().SetIAddress(entry.IPAddr);
    core_.link().SetIPort(SignedPort(entry.IPPort));
    return true;
}

bool ScheduledRun::OpenEntry(const DeviceEntry& entry)
{
    SerloClient& link = core_.link();
    const bool tcp = entry.ComPort == 0;
    Message(T2() + " Start open communication!");
    Message(T2() + (OpenLinkWithRetry(link, tcp) ? " Communication is Open!"
                                                 : " Communication is no Open!"));
    if (link.PortOpen()) return true;
    // The control's reason names the cause: no adapter, a port held elsewhere, missing rights.
    const std::string why = link.OpenFailure().empty() ? "" : " (" + link.OpenFailure() + ")";
    Log(S10 +
        (tcp ? "can't open IP:" + link.IAddress()
             : "can't open COM:" + std::to_string(link.CommPort())) +
        why);
    return false;
}

bool ScheduledRun::IdentifyOrRecover(const DeviceEntry& entry, const std::string& name)
{
    ProgramState& st = core_.state();
    DeviceOps& device = core_.device();
    for (int attempt = 1; attempt <= 5; ++attempt) {
        if (st.Stopping()) break;
        device.PrepareLinkForPoll();
        std::string reply = device.PollingPX74X(entry.ID);
        if (!IsAccepted(reply) && !st.Stopping()) reply = device.PollingPX74X(0);
        if (const auto poll = reply::ParsePoll(reply)) {
            const int answering = std::max(0, poll->id);
            if (answering == entry.ID) return true;
            Silent("Warning Machine ID Change from " + std::to_string(entry.ID) + " to " +
                   std::to_string(answering) + " (" + reply + ")");
            if (attempt == 1 || attempt == 3) RecoverId(entry, answering);
        }
        pumpEvents();
    }
    Log(S10 + name + " no echo!(ID:" + std::to_string(entry.ID) +
        (entry.ComPort == 0 ? " IP:" + entry.IPAddr : " COM" + std::to_string(entry.ComPort)) +
        ")");
    return false;
}

void ScheduledRun::RecoverId(const DeviceEntry& entry, int answering)
{
    SerloClient& link = core_.link();
    if (core_.device().CommMultipleID()) {
        Silent(entry.ComPort == 0
                   ? "Multiple Machine ID use IP:" + link.IAddress() + ":" +
                         std::to_string(link.IPort() & 0xFFFF) + " Can't Auto Recovery ID"
                   : "Multiple Machine ID use COM" + std::to_string(link.CommPort()) +
                         " Can't Auto Recovery ID");
    } else if (core_.device().SetTerminalID(entry.ID, answering)) {
        Silent("Auto Recovery Machine ID from " + std::to_string(answering) + " to " +
               std::to_string(entry.ID));
    }
}

bool ScheduledRun::DownloadEntry(const DeviceEntry& entry, const std::string& name, long pingMs)
{
    Log(S10 + name + " connected!" +
        (entry.ComPort == 0 && pingMs >= 101 ? "(Ping:" + std::to_string(pingMs) + ")" : ""));
    bool saved = false;
    const long count = core_.device().GetPXRecordCount();
    if (count == -1) {
        Log(S10 + "disconnected!");
    } else if (count == 0) {
        Log(S10 + "no record!");
        saved = true;
    } else {
        saved = TSUpload(entry.ID);
    }
    if (core_.options().sat) SetTerminalClock();
    return saved;
}

void ScheduledRun::SetTerminalClock()
{
    SerloClient& link = core_.link();
    for (int attempt = 0; attempt < 5 && link.PortOpen(); ++attempt) {
        const DateTime t = now();
        if (link.SetTime(t.year, t.month, t.day, t.hour, t.minute, t.second, Weekday(t))) break;
    }
}

void ScheduledRun::MailRunFile(const std::string& mailFile)
{
    const Options& o = core_.options();
    if (!o.mailToChecked || !FileExists(mailFile)) return;
    if (FileSizeOf(mailFile) == 0) {
        Log(S10 + "mail file size is zero!");
        return;
    }
    Log(S5 + T1() + "Start mail the file!");
    const std::string subject = ExpandDate(o.mailSubject, "{Date#}", now(), "Short Date");
    if (mailer_.SendMail(o.mailTo, o.mailTo, subject, subject, {mailFile})) {
        std::error_code ec;
        std::filesystem::remove(mailFile, ec);
        Log(S10 + "mailed the file OK!");
    } else {
        // The copy stays: the next run adds to it and mails the whole file.
        Log(S10 + "can't mail the file: " + mailer_.LastError() + "(" +
            std::to_string(mailer_.LastErrorNumber()) + ")");
    }
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

bool ScheduledRun::TSUpload(int id)
{
    if (bInTSUpload_) {
        Silent("Warning Re-Execute TSUpload Function");
        return false;
    }
    bInTSUpload_ = true;
    UploadPass u;
    try {
        Log(S10 + "start upload and save data!");
        Message(T2() + "Start upload!");
        RecordStore& store = core_.recordStore();
        store.FilePath = core_.paths().In("Records/" + core_.Title() + ".INI");
        store.MachineID = id;
        if (!OpenWriters()) {
            u.readOk = false;
        } else {
            WriteHeaders();
            core_.upload().SetCardIDFilter();
            u.count = core_.device().GetPXRecordCount();
            FindResumePoint(u);
            DownloadPasses(id, u);
        }
        ReportSaved(u);
    } catch (const RuntimeError& e) {
        Log(std::string(e.what()) + "(" + std::to_string(e.number) + ")");
        u.readOk = false;
    } catch (const std::exception& e) {
        Log(std::string(e.what()) + "(5)");
        u.readOk = false;
    }
    bInTSUpload_ = false;
    return FinishUpload(u);
}

void ScheduledRun::WriteHeaders()
{
    const std::string type = core_.options().format;
    const std::string ini = type.empty() || type == "(Default)" ? std::string() : core_.szFormatIni;
    WriteHeaderIfEmpty(core_.outputWriter(), ini, type, core_.formatter());
    // A mail writer opened once stays enabled on its last path.
    Saver& mail = core_.mailWriter();
    if (mail.Enable()) WriteHeaderIfEmpty(mail, ini, type, core_.formatter());
}

void ScheduledRun::FindResumePoint(UploadPass& u)
{
    RecordStore& store = core_.recordStore();
    if (u.count > 0) {
        if (core_.upload().MatchStoredRecords(u.readOk)) {
            u.last = store.LastCount();
            Log(S10 + (u.last == u.count
                           ? "No new record, record count still at " + std::to_string(u.count)
                           : "continue save data from " + std::to_string(u.last) + " to " +
                                 std::to_string(u.count)));
        } else if (u.readOk) {
            store.SetLastCount(0);
            u.last = 0;
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
            if (SaveRecord(id, j, u.count))
                u.last = j + 1;
            else
                u.readOk = false;
        }
        if (!u.readOk || !AnotherPass(u)) break;
    }
}

bool ScheduledRun::SaveRecord(int id, long j, long count)
{
    RecordUpload& upload = core_.upload();
    const auto record = upload.FetchRecord(static_cast<int>(j));
    if (!record) return false;
    const std::string nul(1, '\0');
    const std::string rebuilt =
        reply::RebuildRecord(*record, nul, upload.FilteredCardId(record->cardId));
    const std::string line = ThreeDigits(id) + nul + (rebuilt.size() > 6 ? rebuilt.substr(6) : "") +
                             nul + std::to_string(j + 1);
    std::string formatted = core_.formatter().FormatRecord(line, '\0');
    if (!core_.formatter().bTemplateOK()) // unformatted, but never with NUL bytes
        std::replace(formatted.begin(), formatted.end(), '\0', ',');
    Saver& output = core_.outputWriter();
    const bool written = output.WriteFile(formatted);
    if (written && core_.mailWriter().Enable()) core_.mailWriter().WriteFile(formatted);
    if (written) core_.backupWriter().WriteFile(ThreeDigits(id) + "," + record->text);
    Message("Save: " + std::to_string(j) + "/" + std::to_string(count));
    if (!written) {
        Log(S10 + (output.Error().empty() ? std::string("save data NG!")
                                          : "save data NG!(" + output.Error() + ")"));
        return false;
    }
    core_.recordStore().SaveProgress(j, record->text);
    return true;
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
        core_.recordStore().Delete();
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
