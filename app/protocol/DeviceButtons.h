// The device command buttons of page 0 and the logic of their dialogs: new machine ID, clock,
// reset, display mode and the login codes. The dialogs themselves are the view's; these
// routines decide what is asked, sent and reported.
#pragma once

#include <string>
#include <vector>

namespace px {

class DeviceDirectory;
class TerminalSession;
class View;

// "Set Mach. #": asks for a directory line other than the connected terminal's and moves the
// terminal to that ID.
void SetMachineIdButton(TerminalSession& session, DeviceDirectory& dir, View& view);
// "SetTime": the terminal's clock into the clock dialog, the chosen time back to the terminal.
void SetTimeButton(TerminalSession& session, View& view);
// "Reset": asks (default No), then resets the terminal.
void ResetButton(TerminalSession& session, View& view);

// The lines the ID dialog offers: every directory line but the default one and the one of
// withoutId.
std::vector<std::string> IdChoices(const DeviceDirectory& dir, int withoutId);
// The machine ID a chosen line names (its first three characters), 0 when it names none.
int IdOfLine(const std::string& line);

// The login dialog's fixed access codes (case matters).
bool IsAccessCode(const std::string& text);
// Wrong codes one opening of the login dialog allows.
inline constexpr int kLoginAttempts = 3;

} // namespace px
