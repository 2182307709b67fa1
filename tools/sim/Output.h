// Standard output of the simulator: one flushed line per event, for readers on a pipe.
#pragma once

#include <string>
#include <string_view>

namespace sim {

void emitLine(std::string_view line);
// RX/TX traffic lines, which --quiet suppresses.
void emitTraffic(std::string_view tag, std::string_view bytes);
// XMODEM packet lines, which --quiet suppresses as well.
void emitTrace(std::string_view line);
void setQuiet(bool quiet);
// The system's text for an errno value (strerror is not thread-safe).
std::string errnoText(int error);

} // namespace sim
