// The temporary files of the atomic writer (Ini.h's replaceFile): ".<name>.XXXXXX" beside the
// file <name> it replaces, locked (flock) by the writing process until renamed. A write killed
// half-way leaves its file behind, unlocked; a start removes those of the files it writes.
#pragma once

#include <string>
#include <vector>

namespace px::ini {

// Removes from folder the temporary files of the named files that are stale: no process holds
// their lock (so no writer is alive, whichever program or instance made them) and they have not
// changed for a minute (a file just made may not be locked yet). Links and anything not a
// regular file are left alone. Returns the count removed.
int RemoveStaleTemporaries(const std::string& folder, const std::vector<std::string>& names);

} // namespace px::ini
