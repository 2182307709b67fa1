// Program-wide flags that the window and the program read and write. Long operations yield to
// the event loop, so clicks and timer ticks run in their middle: these flags, not locks, keep
// that safe. The flags of a link belong to its terminal session (LinkState).
#pragma once

#include <atomic>

namespace px {

struct ProgramState {
    bool bTSRunning = false; // the time scheduler has been started and not stopped
    // The scheduler's Stop, latched until the next Start; the sessions of a run read it from
    // their own threads.
    std::atomic<bool> bStopRequested{false};
    int nStatusID = 0;           // text number the status line shows
    bool bMonitorMode = false;   // started with "/MONITOR"
    bool monitorChecked = false; // "View Monitor" is ticked
    bool bUnloading = false;
    bool bQuietErrors = false; // error texts go to the status line instead of a modal box
    int currentPage = 0;       // page of the page control now shown
    // A window operation that talks to a terminal holds the link (OperationGuard).
    bool operationRunning = false;
};

} // namespace px
