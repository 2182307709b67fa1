// Opening the link to a directory entry: the double-click on a terminal line, also run by the
// scheduler when it stops. A TCP entry is pinged first; the link is opened (retrying the default
// port 1001 once for TCP), the terminal is identified, its record count and firmware shown.
#pragma once

namespace px {

class Core;

// True when a terminal answered and was identified.
bool OpenTerminal(Core& core, int listIndex);

// A port number as the link's signed 16-bit property carries it (40000 becomes -25536).
int SignedPort(int port);

} // namespace px
