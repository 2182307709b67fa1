// What a session of a scheduled run reports: its event-log lines go into its terminal's part, in
// order; monitor lines and status texts go to the run's thread; numbered errors are logged, since
// nobody watches a dialog of an unattended run.
#pragma once

#include "SessionReporter.h"

#include <functional>
#include <string>

namespace px {

class RunPart;
class Texts;

class RunReporter : public SessionReporter {
public:
    RunReporter(RunPart& part, const Texts& texts, std::string title,
                std::function<void(const std::string&)> monitor,
                std::function<void(const std::string&)> status);

    void Monitor(const std::string& line) override;
    void Status(const std::string& text) override;
    void StatusText(int id, std::string_view def) override;
    void RememberStatus(int id) override { (void)id; }
    std::string Text(int id, std::string_view def) const override;
    const std::string& Title() const override { return title_; }
    void Error(int n, int unit) override;
    void Log(const std::string& line, bool silent) override;
    int ScreenPointer() const override { return 0; }
    void SetScreenPointer(int value) override { (void)value; }
    int WindowPointer() const override { return 0; }
    void SetWindowPointer(int value) override { (void)value; }
    bool SchedulerRunning() const override { return true; }

private:
    RunPart& part_;
    const Texts& texts_; // the run's own copy: a change of language cannot reach it mid-run
    std::string title_;
    std::function<void(const std::string&)> monitor_;
    std::function<void(const std::string&)> status_;
};

} // namespace px
