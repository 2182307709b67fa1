// The main program's own framed exchange and the protocol monitor routine. The exchange frames a
// command itself and collects the reply character by character through the control's raw
// properties; the monitor turns every frame, from this exchange or from the control's own
// methods, into an "APP:", "DEV:" or "DRV:" line and keeps the status line and pointer in step.
#pragma once

#include <string>

namespace px {

class TerminalSession;

class Exchange {
public:
    explicit Exchange(TerminalSession& session) : session_(session) {}

    // Sends szCMD framed (with its checksum when bTxChkSum) and returns the reply text, or ""
    // on every failure; afterwards bCmdTimeout tells whether the failure was a time-out.
    std::string SendVNetCmd(const std::string& szCMD, bool bTxChkSum, bool bRxChkSum);

    // Direction 0 link message, 1 frame sent, 2 frame received.
    void Serlo_VNetMonitor(int nDirection, std::string szText);

private:
    TerminalSession& session_;
    int rememberedPointer_ = 0;
};

} // namespace px
