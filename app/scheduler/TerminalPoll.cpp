#include "TerminalPoll.h"

#include "Connect.h"
#include "RunPart.h"
#include "RuntimeError.h"
#include "Saver.h"
#include "TerminalSession.h"
#include "Trace.h"
#include "Wait.h"

#include <algorithm>

namespace px {

namespace {

const std::string S10(10, ' ');
const std::string S5(5, ' ');

} // namespace

TerminalPoll::TerminalPoll(TerminalSession& session, RunPart& part, PollPlan plan)
    : session_(session), part_(part), plan_(std::move(plan))
{
}

void TerminalPoll::Log(const std::string& line)
{
    part_.Log(line, false);
}
void TerminalPoll::Silent(const std::string& line)
{
    part_.Log(line, true);
}
void TerminalPoll::Message(const std::string& text)
{
    qCDebug(pxApp).noquote() << "run step:" << text.c_str();
    if (plan_.message) plan_.message(text);
}
std::string TerminalPoll::T1() const
{
    return FormatDate(plan_.now(), "hh:nn");
}
std::string TerminalPoll::T2() const
{
    return FormatDate(plan_.now(), "MM/DD HH:nn");
}
bool TerminalPoll::Stopping() const
{
    return session_.state().Stopping();
}

bool TerminalPoll::Run()
{
    const DeviceEntry& entry = plan_.entry;
    SerloClient& link = session_.link();
    Log(S5 + T1() + " Detect " + plan_.name);
    Message(T2() + " Detect " + plan_.name);
    link.SetPortOpen(false);
    // The line settings of the program's own link: a session starts from the control's defaults.
    link.SetBaudRate(plan_.baudRate);
    link.SetHandshaking(0);
    link.SetEventMask(33);
    link.SetCommPort(entry.ComPort);
    link.SetVNetTimeout(plan_.linkTimeoutMs);

    long pingMs = 0;
    bool saved = false;
    if (Reach(pingMs) && Open() && IdentifyOrRecover()) saved = Download(pingMs);
    Message(T2() + " Next device!");
    link.SetPortOpen(false);
    pumpEvents();
    return saved;
}

bool TerminalPoll::Reach(long& pingMs)
{
    const DeviceEntry& entry = plan_.entry;
    if (entry.ComPort != 0) return true;
    if (entry.IPAddr.empty() || entry.IPAddr == "0.0.0.0") {
        Log(S10 + plan_.name + " is empty!");
        return false;
    }
    pingMs = session_.pinger().Ping(entry.IPAddr, 3000);
    if (pingMs == -1) {
        Log(S10 + "can't ping " + plan_.name + "(" + entry.IPAddr + ")!");
        return false;
    }
    session_.link().SetIAddress(entry.IPAddr);
    session_.link().SetIPort(SignedPort(entry.IPPort));
    return true;
}

bool TerminalPoll::Open()
{
    SerloClient& link = session_.link();
    const bool tcp = plan_.entry.ComPort == 0;
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

bool TerminalPoll::IdentifyOrRecover()
{
    const DeviceEntry& entry = plan_.entry;
    DeviceOps& device = session_.device();
    for (int attempt = 1; attempt <= 5; ++attempt) {
        if (Stopping()) break;
        device.PrepareLinkForPoll();
        std::string reply = device.PollingPX74X(entry.ID);
        if (!IsAccepted(reply) && !Stopping()) reply = device.PollingPX74X(0);
        if (const auto poll = reply::ParsePoll(reply)) {
            const int answering = std::max(0, poll->id);
            if (answering == entry.ID) return true;
            Silent("Warning Machine ID Change from " + std::to_string(entry.ID) + " to " +
                   std::to_string(answering) + " (" + reply + ")");
            if (attempt == 1 || attempt == 3) RecoverId(answering);
        }
        pumpEvents();
    }
    Log(S10 + plan_.name + " no echo!(ID:" + std::to_string(entry.ID) +
        (entry.ComPort == 0 ? " IP:" + entry.IPAddr : " COM" + std::to_string(entry.ComPort)) +
        ")");
    return false;
}

void TerminalPoll::RecoverId(int answering)
{
    SerloClient& link = session_.link();
    if (plan_.sharedLink) {
        Silent(plan_.entry.ComPort == 0
                   ? "Multiple Machine ID use IP:" + link.IAddress() + ":" +
                         std::to_string(link.IPort() & 0xFFFF) + " Can't Auto Recovery ID"
                   : "Multiple Machine ID use COM" + std::to_string(link.CommPort()) +
                         " Can't Auto Recovery ID");
    } else if (session_.device().SetTerminalID(plan_.entry.ID, answering)) {
        Silent("Auto Recovery Machine ID from " + std::to_string(answering) + " to " +
               std::to_string(plan_.entry.ID));
    }
}

bool TerminalPoll::Download(long pingMs)
{
    Log(S10 + plan_.name + " connected!" +
        (plan_.entry.ComPort == 0 && pingMs >= 101 ? "(Ping:" + std::to_string(pingMs) + ")" : ""));
    bool saved = false;
    const long count = session_.device().GetPXRecordCount();
    if (count == -1) {
        Log(S10 + "disconnected!");
    } else if (count == 0) {
        Log(S10 + "no record!");
        saved = true;
    } else {
        saved = Upload();
    }
    if (plan_.setClock) SetTerminalClock();
    return saved;
}

void TerminalPoll::SetTerminalClock()
{
    SerloClient& link = session_.link();
    for (int attempt = 0; attempt < 5 && link.PortOpen(); ++attempt) {
        const DateTime t = plan_.now();
        if (link.SetTime(t.year, t.month, t.day, t.hour, t.minute, t.second, Weekday(t))) break;
    }
}

PartResult TerminalPoll::Settle()
{
    const std::size_t sent = part_.Pushed();
    while (!waitUntil([&] { return part_.HandledUpTo(sent); }, Millis(1000))) {
    }
    part_.Acknowledge();
    return part_.Result();
}

bool TerminalPoll::Upload()
{
    UploadPass u;
    bool broken = false;
    try {
        Log(S10 + "start upload and save data!");
        Message(T2() + "Start upload!");
        part_.Push(PartItem(PartItem::Kind::OpenFiles));
        u.count = session_.device().GetPXRecordCount();
        FindResumePoint(u);
        DownloadPasses(u);
    } catch (const RuntimeError& e) {
        Log(std::string(e.what()) + "(" + std::to_string(e.number) + ")");
        u.readOk = false;
        broken = true;
    }
    // A download broken off by an error keeps its marks: the next run can still recognise lines.
    if (!broken) part_.Push(PartItem(PartItem::Kind::EndDownload));
    const PartResult r = Settle();
    if (r.openFailed) {
        // Nothing was written: as if the count had never been read.
        u.count = 0;
        u.readOk = false;
    } else if (r.failed) {
        u.readOk = false;
    }
    u.last = std::max(u.start, std::min(u.last, r.saved));
    if (!broken && !r.openFailed) ReportSaved(u, r);
    return FinishUpload(u);
}

void TerminalPoll::FindResumePoint(UploadPass& u)
{
    const StoredCounters& stored = plan_.counters;
    bool reset = false;
    bool resumed = false;
    if (u.count > 0) {
        if (session_.records().MatchStoredRecords(stored, u.readOk)) {
            resumed = true;
            u.last = stored.lastCount;
            Log(S10 + (u.last == u.count
                           ? "No new record, record count still at " + std::to_string(u.count)
                           : "continue save data from " + std::to_string(u.last) + " to " +
                                 std::to_string(u.count)));
        } else if (u.readOk) {
            u.last = 0;
            reset = true;
        } else {
            u.last = stored.lastCount;
        }
    }
    u.last = std::max(u.last, 0L);
    u.start = u.last;
    PartItem item{PartItem::Kind::Resume};
    item.index = u.start;
    item.resumed = resumed;
    item.reset = reset;
    part_.Push(std::move(item));
}

void TerminalPoll::DownloadPasses(UploadPass& u)
{
    int passes = 0;
    while (u.readOk && u.count > 0) {
        if (Stopping()) break;
        if (passes == 20) {
            u.readOk = false;
            break;
        }
        ++passes;
        long fetched = u.last;
        for (long j = u.last; j < u.count && u.readOk; ++j) {
            if (Stopping() || part_.Failed()) {
                u.readOk = false;
                break;
            }
            // A part that waits for earlier terminals holds a bounded number of records.
            while (part_.RecordBacklog() >= plan_.backlogLimit && !part_.Failed())
                waitUntil([&] { return part_.RecordBacklog() < plan_.backlogLimit; }, Millis(1000));
            const auto record = session_.records().FetchRecord(static_cast<int>(j));
            if (!record) {
                u.readOk = false;
                break;
            }
            if (HasLineBreakBytes(record->text))
                Log(S10 + "record #" + std::to_string(j + 1) +
                    " holds NUL, CR or LF bytes, written as: " + OneLine(record->text));
            PartItem item{PartItem::Kind::Record};
            item.index = j;
            item.text = record->text;
            part_.Push(std::move(item));
            Message("Save: " + std::to_string(j) + "/" + std::to_string(u.count));
            fetched = j + 1;
        }
        // Nothing is erased, and no further pass starts, before all of it is written.
        const PartResult r = Settle();
        u.last = std::min(fetched, r.saved);
        if (r.failed) u.readOk = false;
        if (!u.readOk || !AnotherPass(u)) break;
    }
}

bool TerminalPoll::AnotherPass(UploadPass& u)
{
    DeviceOps& device = session_.device();
    const long count2 = device.GetPXRecordCount();
    if (count2 > u.last) {
        u.count = count2;
        return true;
    }
    if (count2 != u.last) return false;
    const double limit = static_cast<double>(device.lMaxCount) * plan_.eraseRatio;
    if (limit >= static_cast<double>(count2)) return false;
    // A punch that arrived since must not be erased unsaved: look again right before erasing,
    // and take another pass when the count moved.
    const long recheck = device.GetPXRecordCount();
    if (recheck > u.last) {
        u.count = recheck;
        return true;
    }
    if (recheck != u.last) return false;
    if (session_.link().EraseRecord(-1)) {
        u.eraseResult = "delete record OK!";
        // Counters left standing would be compared with the refilled memory.
        part_.Push(PartItem(PartItem::Kind::DeleteCounters));
        if (Settle().counterFailed) u.readOk = false;
    } else {
        u.eraseResult = "can't delete record!";
    }
    return false;
}

void TerminalPoll::ReportSaved(const UploadPass& u, const PartResult& r)
{
    if (u.last - u.start > 0) {
        Log(S10 + "save record count: " + std::to_string(u.last - u.start));
        Log(S10 + "save file path: " + r.outputPath);
    }
    if (!u.eraseResult.empty()) Log(S10 + u.eraseResult);
    if (r.mailFailures > 1)
        Log(S10 + std::to_string(r.mailFailures) + " lines not written to the mail file");
    if (r.backupFailures > 1)
        Log(S10 + std::to_string(r.backupFailures) + " lines not written to the backup file");
}

bool TerminalPoll::FinishUpload(const UploadPass& u)
{
    const bool stopped = Stopping();
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
    Log(S10 + final);
    return u.readOk && !stopped && count != -1;
}

} // namespace px
