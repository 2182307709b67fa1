// Reading the command line's switches ("/TS:" with ONCE, INTERVAL or TIMETABLE, "/S",
// "/MONITOR"): case-insensitive, blanks inside a switch allowed, switches written together
// without a blank.
#pragma once

#include <string>

namespace px {

// With flagOnly: name (upper case, blanks removed) when the switch is present, else "". Without:
// the value after the switch (up to the first blank, or without one up to the first "/").
std::string GetCmdSwitch(const std::string& commandLine, const std::string& name, bool flagOnly);

} // namespace px
