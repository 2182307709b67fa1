// The program as a whole, without its window: the start-up sequence in its order, the command
// line, and closing with its refusals and its saves. The Qt window and the headless runs both
// build on this object.
#pragma once

#include "Core.h"
#include "Mailer.h"
#include "ScheduledRun.h"
#include "Scheduler.h"
#include "Texts.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace px {

class Program {
public:
    static constexpr int kMajor = 1;
    static constexpr int kMinor = 0;
    static constexpr int kRevision = 0;
    static constexpr const char* kDescription = "Terminal Manager";
    // Pages of the page control that the program itself selects.
    static constexpr int kTerminalsPage = 0;
    static constexpr int kSchedulerPage = 4;

    Program(const std::string& title, View& view, std::string commandLine);
    ~Program();

    // Runs the start-up sequence. 0 when the program is ready, 2 when it could not start.
    int Load();
    // " V1.0 R0 Terminal Manager": the version part of the caption and the monitor header.
    static std::string VersionSuffix();
    // The language box: the texts of another language file. The window then translates its
    // controls; the caption's base is rebuilt here. False for a name that is not in the list.
    bool SwitchLanguage(const std::string& name);
    // Tries to close; false (and everything keeps running) while a refusal applies.
    bool Close();
    // Closes as soon as no refusal applies (trying again while one does), then quits.
    void CloseThenQuit(int status);

    // Ends the event loop with an exit status (set by main).
    std::function<void(int)> quit;

    Core& core() { return *core_; }
    Scheduler& scheduler() { return *scheduler_; }
    ScheduledRun& run() { return *run_; }
    Mailer& mailer() { return *mailer_; }

    int nTSCmdMode() const { return scheduler_->nTSCmdMode; }
    bool startMinimised = false;
    std::string szVersionText;
    std::vector<std::string> formatTypes; // "(Default)" and the Format.ini types
    int formatIndex = 0;
    LanguageList languages;

    // The exit status after a "/TS:ONCE" run: 0 when every entry was saved or had nothing new.
    int OnceExitStatus() const { return run_->LastRunComplete() ? 0 : 1; }

private:
    void LogFailure(const std::string& what, const std::string& error);

    std::string commandLine_;
    std::unique_ptr<Core> core_;
    std::unique_ptr<Mailer> mailer_;
    std::unique_ptr<ScheduledRun> run_;
    std::unique_ptr<Scheduler> scheduler_;
    bool loaded_ = false;
};

} // namespace px
