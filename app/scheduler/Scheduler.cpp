#include "Scheduler.h"

#include "DeviceDirectory.h"
#include "EventLog.h"
#include "FileAppend.h"
#include "Options.h"
#include "ProgramPaths.h"
#include "TerminalSession.h"
#include "TsTableLine.h"
#include "VbText.h"
#include "View.h"
#include "Wait.h"

#include <fstream>

namespace px {

Scheduler::Scheduler(SchedulerServices services) : s_(std::move(services))
{
    timer_.setInterval(kTickMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
}

std::string Scheduler::CellFromValue(int value, int maximum)
{
    if (value == maximum) value = 0;
    if (value < 0) return "XX";
    return Digits(value, 2);
}

bool Scheduler::TsTableFile(bool load, std::string* error)
{
    const std::string path = s_.paths.In("TsTable.txt");
    if (load) {
        std::ifstream in(path, std::ios::binary);
        for (auto& row : table) {
            std::string line; // a missing line reads as unset
            if (in) std::getline(in, line);
            const TsCells cells = ParseTsTableLine(line);
            row = {cells.hour, cells.minute};
        }
        return true;
    }
    std::string text;
    for (const auto& row : table)
        text += row.hour + "," + row.minute + "\r\n";
    return ReplaceFile(path, text, error);
}

void Scheduler::StartStop()
{
    LinkState& link = s_.windowSession.state();
    if (!s_.bTSRunning) {
        EventLog& log = s_.eventLog;
        std::string blank;
        for (int i = 0; i < 10; ++i)
            blank += "\r\n";
        log.AppendView(blank); // room in the status pane; the file is not touched
        log.WriteLog("\r\nWait for starting Time scheduler\r\n", false);
        link.bStopComm = false;
        s_.stopRequested = false;
        if (s_.options.timeModeInterval)
            dtLastRun = AddSeconds(now(), -IntervalWithMinimum(s_.options.intervalSeconds));
        if (stateChanged) stateChanged(true);
        Tick();
        pumpEvents();
    } else {
        link.bStopPing = true;
        link.bStopComm = true;
        s_.stopRequested = true;
        if (stopRun) stopRun();
        if (timer_.isActive()) Tick();
    }
}

bool Scheduler::Due(const DateTime& t)
{
    if (nTSCmdMode == 1) return true;
    if (s_.options.timeModeInterval) {
        const DateTime threshold = AddSeconds(t, -IntervalWithMinimum(s_.options.intervalSeconds));
        if (FormatDate(dtLastRun, "yymmddhhnn") <= FormatDate(threshold, "yymmddhhnn")) {
            dtLastRun = t;
            return true;
        }
        return false;
    }
    for (const auto& row : table) {
        if (Stopping()) return false;
        if (row.hour + row.minute == "XXXX") continue;
        const std::string hour = row.hour == "XX" ? FormatDate(t, "hh") : row.hour;
        if (hour + row.minute == FormatDate(t, "hhnn") &&
            FormatDate(t, "yymmdd") + hour + row.minute != szLastTableRun) {
            szLastTableRun = FormatDate(t, "yymmddhh") + row.minute;
            return true;
        }
    }
    return false;
}

bool Scheduler::Stopping() const
{
    return s_.windowSession.state().bStopComm || s_.stopRequested;
}

void Scheduler::Tick()
{
    LinkState& link = s_.windowSession.state();
    if (link.pingsInProgress > 0) {
        if (timer_.interval() == kPingTickMs)
            link.bStopPing = true;
        else
            timer_.start(kPingTickMs);
        return;
    }
    timer_.stop();
    timer_.setInterval(kTickMs);
    s_.bTSRunning = true;

    const DateTime t = now();
    // Every tick, not only in the 00:00 minute: a run may have held the timer past it.
    s_.eventLog.FollowMonth(t);
    // A window operation holds the link (a table transfer, the opening of a terminal): a run, or
    // the stop sequence, would reopen or close the link under it. This tick falls; the next one
    // decides again.
    if (s_.operationRunning) {
        timer_.start(kTickMs);
        return;
    }
    if (Due(t) && run) run();
    if (!Stopping() && nTSCmdMode != 1) {
        timer_.start(kTickMs);
        return;
    }
    StopSequence();
}

void Scheduler::StopSequence()
{
    TerminalSession& session = s_.windowSession;
    s_.bTSRunning = false;
    timer_.stop();
    try {
        SerloClient& link = session.link();
        link.SetPortOpen(false);
        DeviceDirectory& dir = s_.directory;
        link.SetCommPort(dir.CurrentFields().portItem);
        if (dir.ListIndex() < 0) dir.Select(0);
        const int current = session.state().iCurrentID;
        if (dir.SelectedId() != current) dir.SelectId(current);
        if (current > 0 && openTerminal) {
            openTerminal(dir.IndexOfId(current));
            session.state().bStopUpload = true;
        }
    } catch (const std::exception&) {
        // The scheduler stops even when the link cannot be touched.
    }
    s_.eventLog.WriteLog(FormatDate(now(), "General Date") + " User stop Time scheduler\r\n",
                         false);
    s_.view.SetMessageLine("");
    if (s_.pointers) s_.pointers(kPointerDefault, kPointerDefault);
    session.state().bStopPing = false;
    if (stateChanged) stateChanged(false);
    if (nTSCmdMode == 1 && endProgram) endProgram();
}

} // namespace px
