// The event log (clsLoger): one line per event, appended to the monthly file under Logfiles/ and,
// unless silent, to the status view, which is trimmed to its last third once it grows past
// MaxView characters. Lines are written as given; time stamps belong to the callers.
#pragma once

#include <functional>
#include <string>

namespace px {

struct DateTime;

class EventLog {
public:
    // Shows the view's whole text (the scheduler's status pane); empty: no view.
    std::function<void(const std::string&)> viewText;
    // Receives every line too (the journal, when the program runs as a service).
    std::function<void(const std::string&)> mirror;
    // Character limit of the view; below 101 the view is never trimmed.
    long MaxView = 0;

    // Appends a line; true when it reached the file.
    bool WriteLog(const std::string& line, bool silent);
    void ClearText();
    // Adds text to the view only (the file is not touched).
    void AppendView(const std::string& text);
    // Accepts the log file path (creating the file); the file is not kept open.
    bool OpenFile(const std::string& path);
    void CloseFile() {}
    // Opens the month's file "YYYY-MM-log.txt" in folder; FollowMonth then moves to the file of
    // the month of now whenever that is another one (a log opened with OpenFile stays put).
    bool OpenMonth(const std::string& folder, const DateTime& now);
    bool FollowMonth(const DateTime& now);

    bool Enable() const { return static_cast<bool>(viewText) && !path_.empty(); }
    const std::string& Path() const { return path_; }
    const std::string& FileName() const { return fileName_; }
    int FileNumber() const { return 0; }
    const std::string& ViewText() const { return view_; }

    // What a change of the view's text does: trims it to about its last third once it is longer
    // than MaxView, starting at a line break; the selection start moves with the text.
    void TrimView();
    int SelectionStart() const { return selStart_; }

private:
    void AppendToView(const std::string& text);
    bool Accept(const std::string& path);

    std::string path_;
    std::string fileName_;
    std::string monthFolder_;
    std::string view_;
    int selStart_ = 0;
    int selLength_ = 0;
};

} // namespace px
