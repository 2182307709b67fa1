// The device controls follow the connection: the device pages and command buttons, the record
// mode read from the terminal (and the In/Out page, which only the "Schedule" mode uses), and
// the mode options' clicks. The window shows what these routines decide.
#pragma once

#include <string>

namespace px {

class TerminalSession;
class View;

// The record-mode options: Manual, Always Out, Always In, Schedule.
inline constexpr int kScheduleMode = 3;

// cmdPX700_Enabled: nothing while the scheduler runs. With true the record mode is read from the
// terminal and selected as a click would; a mode that cannot be read hides the mode frame.
void CmdPX700Enabled(TerminalSession& session, View& view, bool flag);

// A click on a record-mode option: register 66, then the In/Out page follows the mode.
void RecordModeClicked(TerminalSession& session, View& view, int mode);
// A click on a relay-mode option: register 67.
void RelayModeClicked(TerminalSession& session, int mode);

// Whether a firmware version text allows the "Schedule" mode: 1 yes, 0 no, -1 not a "V" version
// (the option keeps its state).
int ScheduleModeAllowed(const std::string& version);

} // namespace px
