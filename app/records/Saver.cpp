#include "Saver.h"

#include "FileAppend.h"
#include "VbText.h"

#include <cerrno>

namespace px {

namespace {

// The error number the program reports for a failed file operation.
constexpr long kFileError = 75; // path/file access error

} // namespace

bool HasLineBreakBytes(std::string_view text)
{
    return text.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos;
}

void AppendOneLine(std::string& out, std::string_view text, bool commaAsNul)
{
    for (char c : text) {
        if (c == '\0')
            out += "<NUL>";
        else if (c == '\r')
            out += "<CR>";
        else if (c == '\n')
            out += "<LF>";
        else if (c == ',' && commaAsNul)
            out += '\0';
        else
            out += c;
    }
}

std::string OneLine(std::string_view text)
{
    if (!HasLineBreakBytes(text)) return std::string(text);
    std::string out;
    out.reserve(text.size() + 8);
    AppendOneLine(out, text);
    return out;
}

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

bool Saver::WriteFile(const std::string& record, bool durable)
{
    ClearError();
    if (writing_ || path_.empty()) return false;
    writing_ = true;
    std::string error;
    const bool ok = AppendLine(path_, OneLine(record), &error, durable);
    writing_ = false;
    if (!ok) {
        errorNo_ = kFileError;
        error_ = error;
    }
    return ok;
}

bool Saver::WriteLines(const std::vector<std::string>& records)
{
    ClearError();
    if (writing_ || path_.empty()) return false;
    if (records.empty()) return true;
    std::string text;
    for (const auto& record : records) {
        if (!text.empty()) text += "\r\n";
        text += OneLine(record);
    }
    writing_ = true;
    std::string error;
    const bool ok = AppendLine(path_, text, &error, /*durable=*/true);
    writing_ = false;
    if (!ok) {
        errorNo_ = kFileError;
        error_ = error;
    }
    return ok;
}

bool Saver::Sync()
{
    ClearError();
    std::string error;
    if (!path_.empty() && SyncFile(path_, &error)) return true;
    errorNo_ = kFileError;
    error_ = path_.empty() ? "no file" : error;
    return false;
}

long long Saver::FileSize() const
{
    return path_.empty() ? -1 : FileSizeOf(path_);
}

} // namespace px
