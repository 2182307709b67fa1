// Opening a file or folder with the desktop's default handler, never through a shell command
// line. When no handler answers, one line goes to the event log and the program goes on.
#pragma once

#include <string>

namespace px {

class Core;

bool OpenWithDesktop(Core& core, const std::string& path);

} // namespace px
