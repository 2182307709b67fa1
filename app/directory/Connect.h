// Opening the link to a directory entry: the double-click on a terminal line, also run by the
// scheduler when it stops. A TCP entry is pinged first; the link is opened (retrying the default
// port 1001 once for TCP), the terminal is identified, its record count and firmware shown.
#pragma once

#include <functional>
#include <string>

namespace px {

class DeviceDirectory;
class SerloClient;
class TerminalSession;
class View;

// What opening a terminal uses besides its session and the directory.
struct OpenHooks {
    View& view;
    // The scheduler runs with page 0 shown: the opening is refused with a message.
    bool schedulerBlocks = false;
    // An info file to read again first (the monitor then shows its erase ratio), or "".
    std::string infoFile;
    // The link time-out of the session's exchanges (VNetTimeout).
    int linkTimeoutMs = 10000;
    // A terminal was identified: the pages that show its data start empty.
    std::function<void()> opened;
};

// True when a terminal answered and was identified.
bool OpenTerminal(TerminalSession& session, DeviceDirectory& dir, int listIndex,
                  const OpenHooks& hooks);

// Opens the link on the port set in it; a TCP link that does not open is tried once more on the
// device server's default port 1001. True when the link is open.
bool OpenLinkWithRetry(SerloClient& link, bool tcp);

// A port number as the link's signed 16-bit property carries it (40000 becomes -25536).
int SignedPort(int port);

} // namespace px
