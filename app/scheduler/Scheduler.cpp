#include "Scheduler.h"

#include "Core.h"
#include "FileAppend.h"
#include "TsTableLine.h"
#include "VbText.h"
#include "Wait.h"

#include <fstream>

namespace px {

Scheduler::Scheduler(Core& core) : core_(core)
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
    const std::string path = core_.paths().In("TsTable.txt");
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
    ProgramState& st = core_.state();
    if (!st.bTSRunning) {
        EventLog& log = core_.eventLog();
        std::string blank;
        for (int i = 0; i < 10; ++i)
            blank += "\r\n";
        log.AppendView(blank); // room in the status pane; the file is not touched
        core_.link().SetVNetTimeout(core_.linkTimeoutMs);
        log.WriteLog("\r\nWait for starting Time scheduler\r\n", false);
        st.bStopComm = false;
        st.bStopRequested = false;
        if (core_.options().timeModeInterval)
            dtLastRun = AddSeconds(now(), -core_.options().intervalSeconds);
        if (stateChanged) stateChanged(true);
        Tick();
        pumpEvents();
    } else {
        st.bStopPing = true;
        st.bStopComm = true;
        st.bStopRequested = true;
        if (timer_.isActive()) Tick();
    }
}

bool Scheduler::Due(const DateTime& t)
{
    if (nTSCmdMode == 1) return true;
    if (core_.options().timeModeInterval) {
        const DateTime threshold = AddSeconds(t, -core_.options().intervalSeconds);
        if (FormatDate(dtLastRun, "yymmddhhnn") <= FormatDate(threshold, "yymmddhhnn")) {
            dtLastRun = t;
            return true;
        }
        return false;
    }
    for (const auto& row : table) {
        if (core_.state().Stopping()) return false;
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

void Scheduler::Tick()
{
    ProgramState& st = core_.state();
    if (st.pingsInProgress > 0) {
        if (timer_.interval() == kPingTickMs)
            st.bStopPing = true;
        else
            timer_.start(kPingTickMs);
        return;
    }
    timer_.stop();
    timer_.setInterval(kTickMs);
    st.bTSRunning = true;

    const DateTime t = now();
    // Every tick, not only in the 00:00 minute: a run may have held the timer past it.
    core_.eventLog().FollowMonth(t);
    // A window operation holds the link (a table transfer, the opening of a terminal): a run, or
    // the stop sequence, would reopen or close the link under it. This tick falls; the next one
    // decides again.
    if (st.operationRunning) {
        timer_.start(kTickMs);
        return;
    }
    if (Due(t) && run) run();
    if (!st.Stopping() && nTSCmdMode != 1) {
        timer_.start(kTickMs);
        return;
    }
    StopSequence();
}

void Scheduler::StopSequence()
{
    ProgramState& st = core_.state();
    st.bTSRunning = false;
    timer_.stop();
    try {
        SerloClient& link = core_.link();
        link.SetPortOpen(false);
        DeviceDirectory& dir = core_.directory();
        link.SetCommPort(dir.CurrentFields().portItem);
        if (dir.ListIndex() < 0) dir.Select(0);
        if (dir.SelectedId() != st.iCurrentID) dir.SelectId(st.iCurrentID);
        if (st.iCurrentID > 0 && openTerminal) {
            openTerminal(dir.IndexOfId(st.iCurrentID));
            st.bStopUpload = true;
        }
    } catch (const std::exception&) {
        // The scheduler stops even when the link cannot be touched.
    }
    core_.eventLog().WriteLog(FormatDate(now(), "General Date") + " User stop Time scheduler\r\n",
                              false);
    core_.view().SetMessageLine("");
    core_.SetScreenPointer(kPointerDefault);
    core_.SetWindowPointer(kPointerDefault);
    st.bStopPing = false;
    if (stateChanged) stateChanged(false);
    if (nTSCmdMode == 1 && endProgram) endProgram();
}

} // namespace px
