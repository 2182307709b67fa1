#include "ScheduledRun.h"

#include "Connect.h"
#include "Core.h"
#include "DeviceOps.h"
#include "FileAppend.h"
#include "FmtData.h"
#include "Ini.h"
#include "Mailer.h"
#include "OutputNames.h"
#include "RecordLines.h"
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

// Every line goes to the file of the month it is written in, also in a run that passes midnight.
void ScheduledRun::Log(const std::string& line) const
{
    qCDebug(pxApp).noquote() << "run log:" << line.c_str();
    core_.eventLog().FollowMonth(now());
    core_.eventLog().WriteLog(line, false);
}
void ScheduledRun::Silent(const std::string& line) const
{
    qCDebug(pxApp).noquote() << "run note:" << line.c_str();
    core_.eventLog().FollowMonth(now());
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
    const std::string templ = RunTemplate(o.format, o.idLenText, core_.szFormatIni);
    if (!core_.formatter().LoadTemplate(templ, fmt::kStandardFields, ",", "{", "}"))
        Log(S10 + "invalid template, records are saved unformatted: " + templ);
}

void ScheduledRun::TSChkDevice()
{
    if (bInTSChkDevice_) {
        Log("Warning Re-Execute TSChkDevice Function");
        return;
    }
    // Flag and pointer come back on every way out, so that no error refuses all later runs.
    struct Leave {
        ScheduledRun& run;
        ~Leave()
        {
            run.bInTSChkDevice_ = false;
            run.leftOvers_.clear();
            try {
                run.core_.SetScreenPointer(kPointerDefault);
            } catch (...) { // nothing may leave a destructor
            }
        }
    } leave{*this};
    bInTSChkDevice_ = true;
    complete_ = true;
    core_.SetScreenPointer(kPointerHourglass);
    try {
        const std::string mailFile = StartRun();
        DeviceDirectory& dir = core_.directory();
        const auto lines = dir.Lines(); // the list as it stands when the run starts
        std::vector<int> ids;
        for (std::size_t li = 1; li < lines.size(); ++li)
            ids.push_back(lines[li].itemData);
        TakeLeftOvers(ids);
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

} // namespace px
