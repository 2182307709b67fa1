// Exporting archived punches again: the lines a scheduled run would have written for them, built
// by the run's own code (template, Format.ini output type and header, card-ID filter), in the
// run's order: terminals in directory order (then any others by ID), each terminal's records in
// index order. Exporting the period of one run's punches reproduces its output file.
#pragma once

#include "ArchiveDb.h"
#include "RecordLines.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace px {
struct ProgramPaths;
class DeviceDirectory;
} // namespace px

namespace px::archive {

// What the lines depend on, as the run takes it from the program's settings.
struct ExportSettings {
    std::string outputType = "(Default)"; // a Format.ini section or "(Default)"
    std::string idLenText;                // the card-ID length box
    std::string szFormatIni;              // Format.ini, or "" when it has no output types
    CardIdFilter filter;
    std::vector<int> terminalOrder; // machine IDs in directory order
};

// The directory's machine IDs in list order, without the default entry.
std::vector<int> DirectoryOrder(const DeviceDirectory& directory);

// The settings of a program folder as a scheduled run would use them. A non-empty type
// replaces the output type of the settings; nullopt with *error when Format.ini has no such type.
std::optional<ExportSettings> LoadExportSettings(const ProgramPaths& paths, const std::string& type,
                                                 std::string* error);

// The punches of the range (its order is ignored) through the run's lines, header first; write
// takes each line with its CR LF and returns false to give up. *lines counts the punches
// written.
bool ExportPunches(ArchiveDb& db, const ExportSettings& settings, const PunchQuery& range,
                   const std::function<bool(std::string_view)>& write, long long* lines,
                   std::string* error);

// The same into a file, which appears only when the export is complete (written beside it
// and renamed), replacing one of the same name.
bool ExportToFile(ArchiveDb& db, const ExportSettings& settings, const PunchQuery& range,
                  const std::string& path, long long* lines, std::string* error);

} // namespace px::archive
