#include "StaleTemp.h"

#include <cctype>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace px::ini {

namespace {

constexpr std::time_t kQuietSeconds = 60;
constexpr std::size_t kRandomPart = 6; // mkstemp's XXXXXX

bool IsTemporaryOf(const std::string& entry, const std::string& name)
{
    if (entry.size() != name.size() + 2 + kRandomPart || entry[0] != '.' ||
        entry.compare(1, name.size(), name) != 0 || entry[name.size() + 1] != '.')
        return false;
    for (std::size_t i = name.size() + 2; i < entry.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(entry[i]))) return false;
    return true;
}

bool RemoveIfStale(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool stale = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                 std::time(nullptr) - st.st_mtime >= kQuietSeconds &&
                 ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    // Holding the lock while it goes: a writer cannot take up the name meanwhile (mkstemp never
    // reuses an existing one), and a live writer's file is never locked here.
    if (stale) stale = ::unlink(path.c_str()) == 0;
    ::close(fd);
    return stale;
}

} // namespace

int RemoveStaleTemporaries(const std::string& folder, const std::vector<std::string>& names)
{
    int removed = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string file = entry.path().filename().string();
        for (const auto& name : names)
            if (IsTemporaryOf(file, name) && RemoveIfStale(entry.path().string())) ++removed;
    }
    return removed;
}

} // namespace px::ini
