// The archive's command-line forms, run without a window: px740 --export and
// px740 --archive-status. Messages go to standard error and to the event log; the exit status
// is 0 when done, 1 when the archive or the output file failed, 2 for a bad argument.
#pragma once

#include <string>

namespace px {
struct LongOptions;
}

namespace px::archive {

int RunExportCommand(const LongOptions& options, const std::string& title);
int RunStatusCommand(const std::string& title);

} // namespace px::archive
