// The view of unattended runs and tests: keeps the last texts it was given, writes messages that
// would wait for a person to standard error and to a log sink, and answers questions with their
// default.
#pragma once

#include "View.h"

#include <functional>
#include <string>
#include <vector>

namespace px {

class HeadlessView : public View {
public:
    // Where messages go besides standard error (the event log, once it exists).
    std::function<void(const std::string&)> logSink;
    bool writeToStderr = true;

    void SetStatus(const std::string& text) override { status = text; }
    void SetMonitorText(const std::string& text) override { monitor = text; }
    void SetMessageLine(const std::string& text) override { messageLine = text; }
    void SetProgress(int value, int maximum) override
    {
        progress = value;
        progressMax = maximum;
    }
    void SetCountLabel(const std::string& text) override { countLabel = text; }
    void SetCaption(const std::string& text) override { caption = text; }
    void SetPointers(int screen, int window) override
    {
        screenPointer = screen;
        windowPointer = window;
    }
    void MessageBox(const std::string& text, Icon icon, const std::string& title) override;
    bool Question(const std::string& text, Icon icon, bool defaultYes) override;
    void ShowError(const std::string& text) override
    {
        MessageBox(text, Icon::Critical, "Error Message");
    }
    void ShowMsg(const std::string& prompt, int, const std::string& title) override
    {
        MessageBox(prompt, Icon::Exclamation, title);
    }

    std::string AskFile(bool, const std::string&, const std::string&, const std::string&) override
    {
        return fileAnswer;
    }
    // Unattended runs cancel file dialogs; tests may name a file instead.
    std::string fileAnswer;
    // Tests may answer questions themselves; otherwise the default answer is taken.
    std::function<bool(const std::string& text, bool defaultYes)> answer;

    std::string status, monitor, messageLine, countLabel, caption;
    int progress = 0, progressMax = 0;
    int screenPointer = kPointerDefault, windowPointer = kPointerDefault;
    // The message boxes and questions, in order: the latest kMaxMessages at most, since an
    // unattended run lasts months.
    static constexpr std::size_t kMaxMessages = 1000;
    std::vector<std::string> messages;

private:
    void Keep(const std::string& line);
};

} // namespace px
