// Which directory line the terminal on a session's link belongs to: the poll that identifies it
// (a terminal found through the default entry is tied to its own line) and a change of its
// machine ID, which moves the connection data between two lines of the directory.
#pragma once

namespace px {

class DeviceDirectory;
class TerminalSession;

// Polls machine ID id (up to three times) and makes the terminal that answers the session's
// current one; the caption names its line. False when no terminal of the family answered.
bool PollingID(TerminalSession& session, DeviceDirectory& dir, int id);

// Gives the session's terminal the ID newId; the two directory lines swap their connections
// (each keeps its ID, and its name too when the default line takes part), then the terminal is
// polled under its new ID.
bool ChangeMachineId(TerminalSession& session, DeviceDirectory& dir, int newId);

} // namespace px
