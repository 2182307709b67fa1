// The register-table transfer shared by the bell table and the In/Out schedule: a table of n
// entries "hh:mm,EE" lives in two runs of terminal registers, the event codes from iEventReg and
// the times (hhmm) from iTimeReg. Free slots carry a disable code in their event register.
#pragma once

#include "Replies.h"

#include <string>
#include <vector>

namespace px {

class TerminalSession;

// Distinct non-empty entries in ascending (time) order, then the empty ones.
void SortTable(std::vector<std::string>& table);

// "hhmm" of an entry's first five characters, or "" when they are not a valid time.
std::string CompactTime(const std::string& entry);

class TableTransfer {
public:
    explicit TableTransfer(TerminalSession& session) : session_(session) {}

    // Message code of the last failure (0 when no specific cause was recorded).
    int nTableErr = 0;

    bool SetPXTable(std::vector<std::string>& table, int count, int timeReg, int eventReg,
                    const std::string& eventMask, std::string disableEvent);
    bool GetPXTable(std::vector<std::string>& table, int count, int timeReg, int eventReg,
                    const std::string& eventMask);

private:
    TerminalSession& session_;
};

} // namespace px
