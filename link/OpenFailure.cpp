#include "OpenFailure.h"

#include "SysError.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace serlo {

namespace {

std::string GroupName(gid_t gid)
{
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->gr_name;
    return std::to_string(gid);
}

bool ProcessHasGroup(gid_t gid)
{
    if (getegid() == gid) return true;
    const int n = getgroups(0, nullptr);
    if (n <= 0) return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(n));
    const int got = getgroups(n, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

// The user appears in the group database: added to the group, but this login predates it.
bool UserListedInGroup(gid_t gid)
{
    std::vector<char> pwBuffer(16384);
    passwd user{};
    passwd* me = nullptr;
    if (getpwuid_r(geteuid(), &user, pwBuffer.data(), pwBuffer.size(), &me) != 0 || !me)
        return false;
    if (me->pw_gid == gid) return true;
    std::vector<char> grBuffer(65536);
    group entry{};
    group* found = nullptr;
    if (getgrgid_r(gid, &entry, grBuffer.data(), grBuffer.size(), &found) != 0 || !found)
        return false;
    for (char** member = found->gr_mem; member && *member; ++member)
        if (std::string(*member) == me->pw_name) return true;
    return false;
}

std::string Where(const OpenFailure& f)
{
    if (f.path.empty() || f.path == f.port) return f.port;
    return f.port + " (" + f.path + ")";
}

} // namespace

namespace {

std::string Named(const std::string& pid)
{
    std::string name;
    std::ifstream("/proc/" + pid + "/comm") >> name;
    return "pid " + pid + (name.empty() ? "" : " (" + name + ")");
}

// The process holding a lock on the device: /proc/locks names it by the node's device and inode.
std::string LockHolder(const struct stat& node)
{
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        // "1: FLOCK  ADVISORY  WRITE 1234 00:19:3 0 EOF"
        std::istringstream fields(line);
        std::string id, kind, mode, access, pid, where;
        if (!(fields >> id >> kind >> mode >> access >> pid >> where)) continue;
        unsigned major = 0, minor = 0;
        unsigned long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%lu", &major, &minor, &inode) != 3) continue;
        if (makedev(major, minor) == node.st_dev && inode == node.st_ino) return pid;
    }
    return {};
}

bool Digits(const std::string& s)
{
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::string FindHolder(const std::string& path)
{
    struct stat node {};
    std::error_code ec;
    const fs::path device = fs::canonical(path, ec);
    if (ec || ::stat(device.c_str(), &node) != 0) return {};
    if (const std::string pid = LockHolder(node); !pid.empty()) return Named(pid);
    // Without a lock, any other process that has the device open; this one last, as it may hold
    // the port through another link of its own.
    const std::string self = std::to_string(::getpid());
    bool mine = false;
    for (const auto& proc : fs::directory_iterator("/proc", ec)) {
        const std::string pid = proc.path().filename().string();
        if (!Digits(pid)) continue;
        std::error_code fdError;
        for (const auto& fd : fs::directory_iterator(proc.path() / "fd", fdError)) {
            std::error_code linkError;
            if (fs::read_symlink(fd.path(), linkError) != device) continue;
            if (pid != self) return Named(pid);
            mine = true;
            break;
        }
    }
    return mine ? Named(self) : std::string();
}

OpenFailure ClassifyOpenError(const std::string& port, const std::string& path, int error)
{
    OpenFailure f;
    f.port = port;
    f.path = path;
    f.error = error;
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
        f.cause = OpenFailure::Cause::NoDevice;
        break;
    case EACCES:
    case EPERM: {
        f.cause = OpenFailure::Cause::Permission;
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) {
            f.group = GroupName(st.st_gid);
            f.inGroup = ProcessHasGroup(st.st_gid);
            f.listed = !f.inGroup && UserListedInGroup(st.st_gid);
        }
        break;
    }
    case EBUSY:
        f.cause = OpenFailure::Cause::InUse;
        f.holder = FindHolder(path);
        break;
    case ENOTTY:
    case EINVAL:
        f.cause = OpenFailure::Cause::NotSerial;
        break;
    default:
        f.cause = OpenFailure::Cause::Other;
        break;
    }
    return f;
}

std::string Describe(const OpenFailure& f)
{
    using Cause = OpenFailure::Cause;
    switch (f.cause) {
    case Cause::None:
        return {};
    case Cause::NotMapped:
        return f.port + ": not in the port map " + f.detail;
    case Cause::NoDevice:
        return Where(f) + ": no such device (is the adapter plugged in?)";
    case Cause::Permission: {
        std::string text = Where(f) + ": permission denied";
        if (f.group.empty() || f.inGroup) return text;
        if (f.listed)
            return text + "; the user was added to group " + f.group +
                   " after this session began: log out and in again";
        return text + "; the user must be in group " + f.group +
               ", which owns the device (usermod -aG " + f.group + " USER, then log in again)";
    }
    case Cause::InUse:
        return Where(f) + ": in use by another program" + (f.holder.empty() ? "" : ", " + f.holder);
    case Cause::NotSerial:
        return Where(f) + ": not a serial device";
    case Cause::Connect:
        return f.port + ": " + f.detail;
    case Cause::Other:
        break;
    }
    return Where(f) + ": " + px::ErrnoText(f.error);
}

} // namespace serlo
