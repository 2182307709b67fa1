#include "ScheduledRun.h"

#include "DeviceDirectory.h"
#include "DeviceOps.h"
#include "EventLog.h"
#include "FileAppend.h"
#include "FmtData.h"
#include "Ini.h"
#include "Mailer.h"
#include "Options.h"
#include "OutputNames.h"
#include "ProgramPaths.h"
#include "RecordLines.h"
#include "RecordStore.h"
#include "RunPart.h"
#include "RunSessions.h"
#include "RunWriter.h"
#include "RuntimeError.h"
#include "Texts.h"
#include "Trace.h"
#include "VbText.h"
#include "View.h"
#include "Wait.h"

#include <QAbstractEventDispatcher>
#include <QThread>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <set>

namespace px {

namespace {

const std::string S10(10, ' ');

std::mutex nowMutex; // the clock a test gives the run need not be thread-safe

} // namespace

struct ScheduledRun::Terminal {
    int id = 0;
    std::string name;
    std::string link;
    PollPlan plan;
    std::unique_ptr<RunPart> part;
    enum class State { Waiting, Running, Done } state = State::Waiting;
};

ScheduledRun::ScheduledRun(RunServices services, Mailer& mailer)
    : s_(std::move(services)), mailer_(mailer)
{
}

ScheduledRun::~ScheduledRun() = default;

int ScheduledRun::SessionsFor(int setting, int links)
{
    if (setting > 0) return setting;
    return std::clamp(links, 1, kDefaultParallelLimit);
}

std::string ScheduledRun::LinkOf(int comPort, const std::string& address, int ipPort)
{
    if (comPort != 0) return "COM" + std::to_string(comPort);
    if (address.empty() || address == "0.0.0.0") return {};
    return address + ":" + std::to_string(ipPort & 0xFFFF);
}

DateTime ScheduledRun::SafeNow() const
{
    const std::lock_guard lock(nowMutex);
    return now();
}

// Every line goes to the file of the month it is written in, also in a run that passes midnight.
void ScheduledRun::Log(const std::string& line) const
{
    qCDebug(pxApp).noquote() << "run log:" << line.c_str();
    s_.eventLog.FollowMonth(SafeNow());
    s_.eventLog.WriteLog(line, false);
}
void ScheduledRun::Message(const std::string& text) const
{
    qCDebug(pxApp).noquote() << "run step:" << text.c_str();
    s_.view.SetMessageLine(text);
}
std::string ScheduledRun::T2() const
{
    return FormatDate(SafeNow(), "MM/DD HH:nn");
}

void ScheduledRun::LoadRunTemplate()
{
    const Options& o = s_.options;
    const std::string templ = RunTemplate(o.format, o.idLenText, s_.formatIni);
    if (!s_.formatter.LoadTemplate(templ, fmt::kStandardFields, ",", "{", "}"))
        Log(S10 + "invalid template, records are saved unformatted: " + templ);
}

void ScheduledRun::StopSessions()
{
    if (sessions_) sessions_->StopAll();
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
            try {
                if (run.s_.screenPointer) run.s_.screenPointer(kPointerDefault);
            } catch (...) { // nothing may leave a destructor
            }
        }
    } leave{*this};
    bInTSChkDevice_ = true;
    complete_ = true;
    if (s_.screenPointer) s_.screenPointer(kPointerHourglass);
    try {
        const std::string mailFile = StartRun();
        PollAll();
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
    eraseRatio_ = DeviceOps::ReadEraseRatio(s_.paths.In(s_.paths.title + ".ini"));
    Log("\r\n" + T2() + " Start Time scheduler...");
    Message("");
    LoadRunTemplate();
    Options& o = s_.options;
    o.tsfileName = OutputFileName(o, SafeNow());
    return MailFilePath(s_.paths, o.tsfileName);
}

bool ScheduledRun::StartNext(std::vector<Terminal>& terms, int slot)
{
    std::set<std::string> busy;
    for (const Terminal& t : terms)
        if (t.state == Terminal::State::Running && !t.link.empty()) busy.insert(t.link);
    // The first waiting terminal whose link is free: terminals of one link go in directory order.
    std::set<std::string> passed;
    for (std::size_t i = 0; i < terms.size(); ++i) {
        Terminal& t = terms[i];
        if (t.state != Terminal::State::Waiting) {
            continue;
        }
        if (!t.link.empty() && (busy.count(t.link) || passed.count(t.link))) {
            passed.insert(t.link);
            continue;
        }
        t.state = Terminal::State::Running;
        t.plan.counters = [&] {
            RecordStore& store = s_.recordStore;
            store.FilePath = s_.paths.In("Records/" + s_.paths.title + ".INI");
            store.MachineID = t.id;
            return store.Counters();
        }();
        const std::string tag = parallel_ > 1 ? ThreeDigits(t.id) + " " : std::string();
        sessions_->Start(slot, *t.part, t.plan, tag, [this, &terms, i](bool saved) {
            terms[i].state = Terminal::State::Done;
            if (!saved) complete_ = false;
            ShowCounts(terms, true);
        });
        return true;
    }
    return false;
}

void ScheduledRun::ShowCounts(const std::vector<Terminal>& terms, bool inStatusView)
{
    if (parallel_ <= 1) return;
    int done = 0, running = 0, waiting = 0;
    for (const Terminal& t : terms)
        (t.state == Terminal::State::Done      ? done
         : t.state == Terminal::State::Running ? running
                                               : waiting)++;
    const std::string counts = std::to_string(done) + " done, " + std::to_string(running) +
                               " running, " + std::to_string(waiting) + " waiting";
    Message(T2() + " " + counts);
    // The status view only: the log file reads as a sequential run's.
    if (inStatusView) s_.eventLog.AppendView(S10 + "terminals: " + counts + "\r\n");
}

void ScheduledRun::PollAll()
{
    const DeviceDirectory& dir = s_.directory;
    const auto lines = dir.Lines(); // the list as it stands when the run starts
    std::vector<Terminal> terms;
    std::set<std::string> links;
    std::vector<int> ids;
    for (std::size_t li = 1; li < lines.size(); ++li) {
        Terminal t;
        t.id = lines[li].itemData;
        t.name = lines[li].text;
        const DeviceEntry& e = dir.table[static_cast<std::size_t>(t.id)];
        t.link = LinkOf(e.ComPort, e.IPAddr, e.IPPort);
        if (!t.link.empty()) links.insert(t.link);
        t.plan.entry = e;
        t.plan.name = t.name;
        t.plan.sharedLink = dir.SharedLink(e.ComPort, e.IPAddr, e.IPPort);
        t.plan.eraseRatio = eraseRatio_;
        t.plan.setClock = s_.options.sat;
        t.plan.linkTimeoutMs = s_.linkTimeoutMs;
        t.plan.baudRate = s_.options.serloBaud;
        t.plan.now = [this] { return SafeNow(); };
        ids.push_back(t.id);
        terms.push_back(std::move(t));
    }
    parallel_ = SessionsFor(s_.options.parallel, static_cast<int>(links.size()));
    parallel_ = std::min<int>(parallel_, std::max<int>(1, static_cast<int>(terms.size())));

    // The window's terminal gives its line up to the run; the scheduler's stop reconnects it.
    if (s_.releaseWindowLink) s_.releaseWindowLink();

    RunWriter writer(s_, [this] { return SafeNow(); });
    writer.TakeLeftOvers(ids);
    auto* mainDispatcher = QAbstractEventDispatcher::instance(QThread::currentThread());
    for (Terminal& t : terms) {
        t.part = std::make_unique<RunPart>([mainDispatcher] {
            if (mainDispatcher) mainDispatcher->wakeUp();
        });
        writer.AddPart(t.id, *t.part);
    }

    const Texts texts = s_.texts; // a change of language mid-run reaches the next run
    RunSessions::Reports reports;
    reports.monitor = s_.monitor;
    reports.status = s_.status;
    reports.message = [this](const std::string& text) {
        if (parallel_ <= 1) Message(text);
    };
    RunSessions sessions(parallel_, texts, s_.paths.title, reports, &s_.stopRequested);
    sessions_ = &sessions;
    struct Forget {
        RunSessions*& p;
        ~Forget() { p = nullptr; }
    } forget{sessions_};

    ShowCounts(terms, false);
    for (;;) {
        if (s_.stopRequested) {
            // Terminals not begun stay for the next run; those begun end at their next record.
            for (Terminal& t : terms)
                if (t.state == Terminal::State::Waiting) {
                    complete_ = false;
                    t.state = Terminal::State::Done;
                    t.part->Finish();
                    t.part->SetStarted();
                }
        }
        for (int slot = 0; slot < sessions.Slots(); ++slot)
            if (!sessions.Busy(slot) && !StartNext(terms, slot)) break;
        const bool more = writer.Pump();
        const bool polling = std::any_of(terms.begin(), terms.end(), [](const Terminal& t) {
            return t.state != Terminal::State::Done;
        });
        if (!polling && writer.AllDone()) break;
        if (more)
            pumpEvents();
        else
            waitForEvent(Millis(1000));
    }
}

void ScheduledRun::MailRunFile(const std::string& mailFile)
{
    const Options& o = s_.options;
    if (!o.mailToChecked || !FileExists(mailFile)) return;
    if (FileSizeOf(mailFile) == 0) {
        Log(S10 + "mail file size is zero!");
        return;
    }
    Log(std::string(5, ' ') + FormatDate(SafeNow(), "hh:nn") + "Start mail the file!");
    const std::string subject = ExpandDate(o.mailSubject, "{Date#}", SafeNow(), "Short Date");
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
