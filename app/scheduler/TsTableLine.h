// One line of the time table file: "hh,mm", each cell two digits or "XX" for unset.
#pragma once

#include <string>

namespace px {

struct TsCells {
    std::string hour = "XX";
    std::string minute = "XX";
};

// The cells of a line (its CR already removed or not); a short line reads as unset, and junk
// leaves the whole entry unset rather than firing at an odd time.
TsCells ParseTsTableLine(std::string line);

} // namespace px
