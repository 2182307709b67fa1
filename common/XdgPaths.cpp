#include "XdgPaths.h"

#include <QByteArray>
#include <QtGlobal>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace px::xdg {

namespace {

std::string FromEnv(const char* name, const char* fallbackUnderHome)
{
    if (const char* value = std::getenv(name); value && *value) return value;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + fallbackUnderHome;
}

// The folder itself, never what a link there points to: a directory of this user that nobody
// else can enter. A folder just made is given its mode first (the umask may have cut it).
bool Private(const std::string& path, bool justMade)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
    if (ok && justMade && (st.st_mode & 07777) != 0700)
        ok = ::fchmod(fd, 0700) == 0 && ::fstat(fd, &st) == 0;
    ok = ok && (st.st_mode & 07777) == 0700;
    ::close(fd);
    return ok;
}

std::string TempBase()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && tmp[0] == '/' ? tmp : "/tmp";
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base;
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

std::string EnsureRuntimeDir(const std::string& prefix)
{
    if (const char* set = std::getenv("XDG_RUNTIME_DIR"); set && *set) return set;
    const std::string base = TempBase() + "/" + prefix + "-runtime-";
    // The same folder for every run of this user, so runs leave no trail; another user may have
    // made that name first (or put a link there), and then a folder of our own is made instead.
    std::string path = base + std::to_string(::geteuid());
    const bool made = ::mkdir(path.c_str(), 0700) == 0;
    if (!made && errno != EEXIST) path.clear();
    if (!path.empty() && !Private(path, made)) path.clear();
    if (path.empty()) {
        std::string pattern = base + "XXXXXX";
        if (!::mkdtemp(pattern.data()) || !Private(pattern, true)) return {};
        path = pattern;
    }
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(path));
    return path;
}

} // namespace px::xdg
