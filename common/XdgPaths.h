// The per-user folders of the XDG base-directory convention.
#pragma once

#include <string>

namespace px::xdg {

// ${XDG_CONFIG_HOME:-$HOME/.config}
std::string ConfigHome();
// ${XDG_DATA_HOME:-$HOME/.local/share}
std::string DataHome();

} // namespace px::xdg
