// Opening the link to a directory entry: the double-click on a terminal line, also run by the
// scheduler when it stops. A TCP entry is pinged first; the link is opened (retrying the default
// port 1001 once for TCP), the terminal is identified, its record count and firmware shown.
#pragma once

namespace px {

class Core;
class SerloClient;

// True when a terminal answered and was identified.
bool OpenTerminal(Core& core, int listIndex);

// Opens the link on the port set in it; a TCP link that does not open is tried once more on the
// device server's default port 1001. True when the link is open.
bool OpenLinkWithRetry(SerloClient& link, bool tcp);

// A port number as the link's signed 16-bit property carries it (40000 becomes -25536).
int SignedPort(int port);

} // namespace px
