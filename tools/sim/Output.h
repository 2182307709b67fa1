// Standard output of the simulator: one flushed line per event, for readers on a pipe.
#pragma once

#include <string_view>

namespace sim {

void emitLine(std::string_view line);
// RX/TX traffic lines, which --quiet suppresses.
void emitTraffic(std::string_view tag, std::string_view bytes);
void setQuiet(bool quiet);

} // namespace sim
