#include "FormatIni.h"

#include "Ini.h"

#include <algorithm>

#include <sys/stat.h>

namespace px::fmt {
namespace {

// The formatter module's remembered section and path; single-threaded like the rest of it.
struct Remembered {
    std::string section;
    std::string path;
};

Remembered& LastGiven()
{
    static Remembered r;
    return r;
}

constexpr std::size_t kMaxSectionBuffer = 32768;

} // namespace

std::string ReadFormatIni(std::string_view key, std::string_view def, std::string_view section,
                          std::string_view path)
{
    Remembered& last = LastGiven();
    if (!section.empty()) last.section.assign(section);
    if (!path.empty()) last.path.assign(path);
    return ini::getString(last.path, last.section, key, def, ini::kBuf2048);
}

std::vector<std::string> ListIniSections(const std::string& path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || st.st_size <= 0) return {std::string()};
    const auto size =
        std::min<std::size_t>(static_cast<std::size_t>(st.st_size), kMaxSectionBuffer);
    std::vector<std::string> names = ini::sectionNames(path, size);
    if (names.empty()) return {std::string()};
    return names;
}

} // namespace px::fmt
