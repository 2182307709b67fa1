// The manual save of the records page: writes the grid's rows after the last one written to a
// file of the user's choice, through the selected Format.ini type, and fetches the terminal's
// further records while it has more than the grid (never for a ".bak" file).
#pragma once

#include <string>

namespace px {

struct Options;
struct RecordsDesk;
class TerminalSession;

// False when the file could not be opened or a line could not be written.
bool SaveRecord(TerminalSession& session, const RecordsDesk& desk, const std::string& fileName);

// The Format.ini type selected for output lines, or "" for "(Default)" or without Format.ini.
std::string SelectedFormatType(const Options& options, const std::string& formatIni);

} // namespace px
