// What a terminal session tells the world: protocol monitor lines, the status line, numbered
// errors, event-log lines and the busy pointer. A session never touches a widget or a file of
// the program itself; the window's core shows these at once, a scheduled run collects them in
// its own order and thread.
#pragma once

#include <string>
#include <string_view>

namespace px {

class SessionReporter {
public:
    virtual ~SessionReporter() = default;

    // One line of the protocol monitor ("APP:...", "DEV:...", "DRV:...", notes).
    virtual void Monitor(const std::string& line) = 0;
    // The status line: a text as it stands, or a language text remembered by its number so that
    // a change of language can show it again; RememberStatus only notes the number.
    virtual void Status(const std::string& text) = 0;
    virtual void StatusText(int id, std::string_view def) = 0;
    virtual void RememberStatus(int id) = 0;
    // The user-interface text with this number in the current language, and the program title
    // (the caption of message boxes).
    virtual std::string Text(int id, std::string_view def) const = 0;
    virtual const std::string& Title() const = 0;
    // One of the numbered error texts about the terminal with machine ID unit: a dialog for a
    // person, a line for work nobody watches.
    virtual void Error(int n, int unit) = 0;
    // One line of the event log; silent lines reach the file only.
    virtual void Log(const std::string& line, bool silent) = 0;
    // The busy pointers (kPointer* values): the application-wide one and the window's own.
    virtual int ScreenPointer() const = 0;
    virtual void SetScreenPointer(int value) = 0;
    virtual int WindowPointer() const = 0;
    virtual void SetWindowPointer(int value) = 0;
    // The scheduler is started: the status line keeps the run's messages, and the window's
    // device controls stay as the run left them.
    virtual bool SchedulerRunning() const = 0;
    // The terminal's line of the directory ("001-Gate") belongs in the window's caption; "" when
    // no terminal answered.
    virtual void CaptionTerminal(const std::string& line) { (void)line; }
    // The session left its terminal: the window locks what needs one.
    virtual void WentOffLine() {}
};

} // namespace px
