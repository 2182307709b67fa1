// The manual save of the records page: writes the grid's rows after the last one written to a
// file of the user's choice, through the selected Format.ini type, and fetches the terminal's
// further records while it has more than the grid (never for a ".bak" file).
#pragma once

#include <string>

namespace px {

class Core;

// False when the file could not be opened or a line could not be written.
bool SaveRecord(Core& core, const std::string& fileName);

// The Format.ini type selected for output lines, or "" for "(Default)" or without Format.ini.
std::string SelectedFormatType(const Core& core);

} // namespace px
