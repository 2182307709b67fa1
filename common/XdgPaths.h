// The per-user folders of the XDG base-directory convention.
#pragma once

#include <string>

namespace px::xdg {

// ${XDG_CONFIG_HOME:-$HOME/.config}
std::string ConfigHome();
// ${XDG_DATA_HOME:-$HOME/.local/share}
std::string DataHome();

// When XDG_RUNTIME_DIR is unset (cron, a root shell, a service), points it at a private folder
// of this user, so that Qt finds one instead of warning on standard error. The folder is
// "<tmp>/<prefix>-runtime-<uid>" when that is a directory of this user with mode 0700 (made so
// when missing), else a fresh one made by mkdtemp; <tmp> is $TMPDIR when absolute, else /tmp.
// A variable already set is left alone. Returns the folder in use, empty when none could be made.
std::string EnsureRuntimeDir(const std::string& prefix);

} // namespace px::xdg
