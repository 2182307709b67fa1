#include "XdgPaths.h"

#include <cstdlib>

namespace px::xdg {

namespace {

std::string FromEnv(const char* name, const char* fallbackUnderHome)
{
    if (const char* value = std::getenv(name); value && *value) return value;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + fallbackUnderHome;
}

} // namespace

std::string ConfigHome()
{
    return FromEnv("XDG_CONFIG_HOME", "/.config");
}
std::string DataHome()
{
    return FromEnv("XDG_DATA_HOME", "/.local/share");
}

} // namespace px::xdg
