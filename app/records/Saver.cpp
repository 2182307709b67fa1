#include "Saver.h"

#include "FileAppend.h"
#include "VbText.h"

#include <cerrno>

namespace px {

namespace {

// The error number the program reports for a failed file operation.
constexpr long kFileError = 75; // path/file access error

} // namespace

void Saver::ClearError()
{
    errorNo_ = 0;
    error_.clear();
}

bool Saver::OpenFile(const std::string& rawPath)
{
    ClearError();
    const std::string path = Trim(rawPath);
    if (path.empty()) return false;
    std::string error;
    if (!TouchFile(path, &error)) {
        errorNo_ = kFileError;
        error_ = error;
        return false;
    }
    enable_ = true;
    path_ = path;
    const std::size_t slash = path.rfind('/');
    fileName_ = slash == std::string::npos ? path : path.substr(slash + 1);
    return true;
}

bool Saver::WriteFile(const std::string& record)
{
    ClearError();
    if (writing_ || path_.empty()) return false;
    writing_ = true;
    std::string error;
    const bool ok = AppendLine(path_, record, &error, /*durable=*/true);
    writing_ = false;
    if (!ok) {
        errorNo_ = kFileError;
        error_ = error;
    }
    return ok;
}

long long Saver::FileSize() const
{
    return path_.empty() ? -1 : FileSizeOf(path_);
}

} // namespace px
