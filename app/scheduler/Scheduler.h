// The time scheduler: starts the scheduled poll-and-save run every N minutes ("By Interval"), at
// the clock times of a 32-row table ("By Table"), or once for "/TS:ONCE". A tick every 5 seconds
// decides; the clock it reads can be replaced, so tests drive time instead of sleeping.
#pragma once

#include "DateFormat.h"

#include <QTimer>

#include <array>
#include <atomic>
#include <functional>
#include <string>

namespace px {

class DeviceDirectory;
class EventLog;
class TerminalSession;
class View;
struct Options;
struct ProgramPaths;

// What the scheduler works with: its settings and table file, the event log and view it reports
// to, the program's scheduler flags, and the window's own terminal session, which gives its link
// up to the runs and gets it back when the scheduler stops.
struct SchedulerServices {
    const ProgramPaths& paths;
    Options& options;
    EventLog& eventLog;
    View& view;
    DeviceDirectory& directory;
    TerminalSession& windowSession;
    bool& bTSRunning;                 // started and not stopped
    std::atomic<bool>& stopRequested; // the Stop, latched until the next Start
    const bool& operationRunning;     // a window operation holds the window session's link
    std::function<void(int screen, int window)> pointers;
};

class Scheduler {
public:
    static constexpr int kRows = 32;
    static constexpr int kTickMs = 5000;
    static constexpr int kPingTickMs = 500;

    struct Row {
        std::string hour = "XX";
        std::string minute = "XX";
    };

    explicit Scheduler(SchedulerServices services);

    // The clock; tests replace it.
    std::function<DateTime()> now = [] { return Now(); };
    // The run itself (TSChkDevice), and the Stop that reaches its sessions.
    std::function<void()> run;
    std::function<void()> stopRun;
    // Re-opens the terminal the user had open, when the scheduler stops.
    std::function<void(int listIndex)> openTerminal;
    // Ends the program after a "/TS:ONCE" run.
    std::function<void()> endProgram;
    // Start/Stop caption and the locked controls follow the scheduler's state.
    std::function<void(bool started)> stateChanged;

    int nTSCmdMode = 0; // 1 once, 2 interval, 3 table
    std::array<Row, kRows> table;
    DateTime dtLastRun;
    std::string szLastTableRun;

    // True loads TsTable.txt into the table, False writes it.
    bool TsTableFile(bool load, std::string* error = nullptr);
    // The Start/Stop button.
    void StartStop();
    // The timer's tick (also run directly by Start and Stop).
    void Tick();

    bool TimerEnabled() const { return timer_.isActive(); }
    int TimerInterval() const { return timer_.interval(); }
    // Time-table cell editing: an up-down value (-1 writes "XX"), Delete writes "XX".
    static std::string CellFromValue(int value, int maximum);

private:
    bool Due(const DateTime& now);
    bool Stopping() const;
    void StopSequence();

    SchedulerServices s_;
    QTimer timer_;
};

} // namespace px
