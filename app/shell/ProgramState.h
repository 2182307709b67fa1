// Program-wide flags that several subsystems read and write. Long operations yield to the event
// loop, so clicks and timer ticks run in their middle: these flags, not locks, keep that safe.
#pragma once

namespace px {

struct ProgramState {
    bool bTSRunning = false; // the time scheduler has been started and not stopped
    bool bStopComm = false;  // stop of all communication requested
    // The scheduler's Stop, latched until the next Start: every exchange clears bStopComm when
    // it begins, so a stop that arrived during one exchange would otherwise be forgotten.
    bool bStopRequested = false;
    bool Stopping() const { return bStopComm || bStopRequested; }
    int nBusyDepth = 0;        // exchanges now in progress (they can nest)
    bool bCmdTimeout = false;  // the last exchange ended by time-out
    bool bLinkTimeout = false; // a "$TIMEOUT" was seen since the flag was cleared
    int nStatusID = 0;         // text number the status line shows
    bool bStopPing = false;    // a running ping or name lookup should give up
    bool bCancelOpen = false;  // Esc while a terminal is being opened: give up between steps
    int pingsInProgress = 0;
    bool bMonitorMode = false;   // started with "/MONITOR"
    bool monitorChecked = false; // "View Monitor" is ticked
    bool bUnloading = false;
    bool bStopUpload = false;
    bool bQuietErrors = false; // error texts go to the status line instead of a modal box
    bool bUploading = false;   // the records page's upload runs (its button then stops it)
    int iCurrentID = 0;        // machine ID of the terminal now connected; 0 when none answered
    int currentPage = 0;       // page of the page control now shown
    int recordMode = -1;       // record-mode option selected on page 0; -1 none
    // A window operation that talks to a terminal holds the link (OperationGuard).
    bool operationRunning = false;
};

} // namespace px
