#include "FileAppend.h"

#include "Ini.h"
#include "SysError.h"
#include "Wait.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace px {

namespace {

bool AppendNow(const std::string& path, std::string_view text, std::string* error, bool durable)
{
    std::string line;
    line.reserve(text.size() + 2);
    line.append(text).append("\r\n");
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (error) *error = ErrnoText(errno);
        return false;
    }
    struct stat st {};
    const off_t before = ::fstat(fd, &st) == 0 ? st.st_size : -1;
    std::size_t done = 0;
    int failure = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            failure = n < 0 ? errno : ENOSPC;
            break;
        }
    }
    if (!failure && durable && ::fdatasync(fd) != 0) failure = errno;
    if (failure && before >= 0 && ::ftruncate(fd, before) != 0 && error)
        *error = ErrnoText(failure) + "; the partial line could not be removed";
    else if (failure && error)
        *error = ErrnoText(failure);
    if (::close(fd) != 0 && !failure) {
        failure = errno;
        if (error) *error = ErrnoText(failure);
    }
    return failure == 0;
}

} // namespace

bool AppendLine(const std::string& path, std::string_view text, std::string* error, bool durable)
{
    if (!durable) return AppendNow(path, text, error, false);
    // A durable write waits for the disk, which may take long on a busy machine.
    bool ok = false;
    runPumped([&] { ok = AppendNow(path, text, error, true); });
    return ok;
}

bool SyncFile(const std::string& path, std::string* error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = ErrnoText(errno);
        return false;
    }
    bool ok = false;
    runPumped([&] {
        ok = ::fdatasync(fd) == 0;
        if (!ok && error) *error = ErrnoText(errno);
    });
    ::close(fd);
    return ok;
}

bool ReplaceFile(const std::string& path, std::string_view text, std::string* error)
{
    const auto result = ini::replaceFile(path, text);
    if (!result && error) *error = path + ": " + result.error;
    return result.ok;
}

bool TouchFile(const std::string& path, std::string* error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (error) *error = ErrnoText(errno);
        return false;
    }
    ::close(fd);
    return true;
}

bool FileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

long long FileSizeOf(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

std::string JoinPath(const std::string& folder, const std::string& file)
{
    if (folder.empty()) return file;
    if (folder.back() == '/') return folder + file;
    return folder + "/" + file;
}

} // namespace px
