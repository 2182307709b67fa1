// Registration of the control in ${XDG_DATA_HOME:-$HOME/.local/share}/serlo/registry.ini, the
// Linux stand-in for the system's class registry: hosts find the library by ProgID there.
#pragma once

#include "serlo_ids.h"

#include <cstdint>
#include <string>

namespace serlo {

inline constexpr const char* kCtrlProgId = SERLO_PROGID;
inline constexpr const char* kPageProgId = SERLO_PAGE_PROGID;
inline constexpr const char* kTypeLibName = "SERLOLib2";
inline constexpr const char* kTypeLibVersion = "1.2";
inline constexpr const char* kCtrlClsid = "{6F0C3A52-8B1D-4E27-9C55-1A7E2D40B301}";
inline constexpr const char* kPageClsid = "{6F0C3A53-8B1D-4E27-9C55-1A7E2D40B301}";
inline constexpr const char* kTypeLibId = "{6F0C3A50-8B1D-4E27-9C55-1A7E2D40B301}";

std::string RegistryPath();
// Absolute path of the loaded library.
std::string LibraryPath();

std::int32_t RegisterServer();
std::int32_t UnregisterServer();

} // namespace serlo
