// The flags of one link to one terminal. Each terminal session has its own, so that an Esc, a
// time-out or a busy count of one session never reaches another. The stop requests are set from
// other threads (the window's Esc, the scheduler's Stop) and are atomic; the rest belongs to the
// session's own thread.
#pragma once

#include <atomic>

namespace px {

struct LinkState {
    LinkState() = default;
    LinkState(const LinkState&) = delete;
    LinkState& operator=(const LinkState&) = delete;

    std::atomic<bool> bStopComm{false};   // the exchange in progress should end
    std::atomic<bool> bStopPing{false};   // a running ping or name lookup should give up
    std::atomic<bool> bCancelOpen{false}; // Esc while the terminal is being opened
    std::atomic<bool> bStopUpload{false}; // the record upload ends before its next record
    // A stop that outlives single exchanges (the scheduler's Stop), shared by every session of a
    // run: every exchange clears bStopComm when it begins, so that one alone would be forgotten.
    const std::atomic<bool>* stopRequested = nullptr;
    bool Stopping() const { return bStopComm.load() || (stopRequested && stopRequested->load()); }

    int nBusyDepth = 0;        // exchanges now in progress (they can nest)
    bool bCmdTimeout = false;  // the last exchange ended by time-out
    bool bLinkTimeout = false; // a "$TIMEOUT" was seen since the flag was cleared
    int pingsInProgress = 0;
    bool bUploading = false; // the records page's upload runs (its button then stops it)
    int iCurrentID = 0;      // machine ID of the terminal connected; 0 when none answered
    int recordMode = -1;     // record-mode option shown for the terminal; -1 none
};

} // namespace px
