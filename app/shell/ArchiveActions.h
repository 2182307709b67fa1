// What the archive view asks of the core, one routine per action: the export settings that the
// window's output options give, and the export itself, run on a worker thread with a
// connection of its own while the event loop keeps the window alive.
#pragma once

#include "ArchiveExport.h"

#include <string>

namespace px {
class Core;
}

namespace px::archive {

// The run's settings, with the output type chosen in the view.
ExportSettings ViewExportSettings(Core& core, const std::string& outputType);

// Exports the range into path as a run would write it; the result goes to the event log too.
bool ExportFromView(Core& core, const PunchQuery& range, const std::string& outputType,
                    const std::string& path, long long* lines, std::string* error);

} // namespace px::archive
