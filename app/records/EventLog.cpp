#include "EventLog.h"

#include "DateFormat.h"
#include "FileAppend.h"
#include "VbText.h"

#include <new>

namespace px {

void EventLog::AppendToView(const std::string& text)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            view_ += text;
            return;
        } catch (const std::bad_alloc&) {
            // Out of memory: shrink the limit, start the view afresh and say so.
            const long need = 2 * static_cast<long>(text.size());
            MaxView = std::max(512L, static_cast<long>(view_.size()) - need);
            view_ = FormatDate(Now(), "YYYY/MM/DD HH:NN:SS") + " Out of Memory!";
        }
    }
}

bool EventLog::WriteLog(const std::string& line, bool silent)
{
    if (mirror) mirror(line);
    if (!silent) {
        const std::string added = line + "\r\n";
        AppendToView(added);
        const std::string trimmedStart = Trim(added);
        selLength_ = static_cast<int>(trimmedStart.size());
        selStart_ = static_cast<int>(view_.size()) - selLength_;
        TrimView();
        if (viewText) viewText(view_);
    }
    if (path_.empty()) return false;
    return AppendLine(path_, line, nullptr);
}

void EventLog::AppendView(const std::string& text)
{
    AppendToView(text);
    TrimView();
    if (viewText) viewText(view_);
}

void EventLog::ClearText()
{
    view_.clear();
    selStart_ = selLength_ = 0;
    if (viewText) viewText(view_);
}

void EventLog::TrimView()
{
    if (MaxView < 101 || static_cast<long>(view_.size()) <= MaxView) return;
    // 1-based positions as the view counts them.
    const long start = static_cast<long>(view_.size()) - MaxView / 3 + 1;
    const std::size_t cr = view_.find('\r', static_cast<std::size_t>(std::max(0L, start - 1)));
    const std::size_t cut = cr == std::string::npos ? view_.size() : cr;
    view_.erase(0, cut);
    selStart_ = selStart_ - static_cast<int>(cut) > 0 ? selStart_ - static_cast<int>(cut) : 0;
}

bool EventLog::OpenMonth(const std::string& folder, const DateTime& now)
{
    monthFolder_ = folder;
    return Accept(JoinPath(folder, FormatDate(now, "YYYY-MM") + "-log.txt"));
}

bool EventLog::FollowMonth(const DateTime& now)
{
    if (monthFolder_.empty()) return true;
    const std::string name = FormatDate(now, "YYYY-MM") + "-log.txt";
    return name == fileName_ || Accept(JoinPath(monthFolder_, name));
}

bool EventLog::OpenFile(const std::string& path)
{
    monthFolder_.clear();
    return Accept(path);
}

bool EventLog::Accept(const std::string& rawPath)
{
    const std::string path = Trim(rawPath);
    if (path.empty()) return false;
    if (!TouchFile(path, nullptr)) return false;
    path_ = path;
    const std::size_t slash = path.rfind('/');
    fileName_ = slash == std::string::npos ? path : path.substr(slash + 1);
    return true;
}

} // namespace px
