#include "SettingsStore.h"

#include "Ini.h"
#include "SysError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace px {

namespace {

// Settings are free text; the store's own limit is generous.
constexpr std::size_t kSettingBuffer = 32768;

} // namespace

std::string SettingsStore::Get(std::string_view section, std::string_view key,
                               std::string_view def) const
{
    return ini::getString(path_, section, key, def, kSettingBuffer);
}

bool SettingsStore::Prepare()
{
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ec);
    // Created private once; every later rewrite keeps the mode.
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        lastError_ = ErrnoText(errno);
        return false;
    }
    ::close(fd);
    return true;
}

bool SettingsStore::Save(std::string_view section, std::string_view key, std::string_view value)
{
    if (!Prepare()) return false;
    const auto result = ini::writeString(path_, section, key, value);
    lastError_ = result.error;
    return result.ok;
}

bool SettingsStore::SaveMany(std::string_view section,
                             const std::vector<std::pair<std::string, std::string>>& values)
{
    if (!Prepare()) return false;
    const auto result = ini::edit(path_, [&](ini::Document& doc) {
        for (const auto& [key, value] : values)
            doc.set(section, key, value);
    });
    lastError_ = result.error;
    return result.ok;
}

ini::Document SettingsStore::Snapshot() const
{
    return ini::Document::load(path_);
}

bool SettingsStore::DeleteSection(std::string_view section)
{
    const auto result = ini::deleteSection(path_, section);
    lastError_ = result.error;
    return result.ok;
}

} // namespace px
