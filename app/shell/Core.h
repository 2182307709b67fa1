// The main program's core: program state, settings, terminal directory, texts, record store,
// writers, event log and the view, without any widget. The Qt window and the headless runs both
// drive it. The window's own terminal session (its link to the terminal it works with) reports
// here; the sessions of a scheduled run belong to the run.
#pragma once

#include "DeviceDirectory.h"
#include "EventLog.h"
#include "FmtData.h"
#include "Options.h"
#include "ProgramPaths.h"
#include "ProgramState.h"
#include "RecordGrid.h"
#include "RecordStore.h"
#include "Saver.h"
#include "SessionReporter.h"
#include "SettingsStore.h"
#include "TerminalSession.h"
#include "Texts.h"
#include "TimeTables.h"
#include "View.h"

#include <functional>
#include <memory>
#include <string>

namespace px {

namespace archive {
class Archive;
}
struct OpenHooks;
struct RecordsDesk;
struct RunServices;
struct SchedulerServices;

class Core : public SessionReporter {
public:
    // title is "PX740" or "PX745"; the folders follow from it and the environment.
    Core(const std::string& title, View& view);
    ~Core() override;
    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;

    const std::string& Title() const override { return paths_.title; }
    const ProgramPaths& paths() const { return paths_; }
    View& view() { return view_; }
    ProgramState& state() { return state_; }
    SettingsStore& settings() { return settings_; }
    Options& options() { return options_; }
    const Options& options() const { return options_; }
    DeviceDirectory& directory() { return directory_; }
    const DeviceDirectory& directory() const { return directory_; }
    // The terminal session of the window's operations.
    TerminalSession& session() { return *session_; }
    TimeTable& bellTable() { return bellTable_; }
    TimeTable& ioSchedule() { return ioSchedule_; }
    EventLog& eventLog() { return eventLog_; }
    fmt::FmtData& formatter() { return formatter_; }
    RecordStore& recordStore() { return recordStore_; }
    RecordGrid& recordGrid() { return recordGrid_; }
    // What the records page's commands, opening a terminal, the scheduled run and the scheduler
    // work with.
    RecordsDesk Records();
    OpenHooks OpenTerminalHooks();
    RunServices ForRun();
    SchedulerServices ForScheduler();
    // The window's terminal with the window's hooks (the terminal list's double-click).
    bool OpenTerminal(int listIndex);
    Saver& outputWriter() { return outputWriter_; }
    Saver& backupWriter() { return backupWriter_; }
    Saver& mailWriter() { return mailWriter_; }
    archive::Archive& archive() { return *archive_; }

    // Format.ini of the program folder, or "" when it has no output types.
    std::string szFormatIni;
    const Texts& texts() const { return texts_; }
    Texts& texts() { return texts_; }

    // The text with this number in the current language, or the default.
    std::string GetText(int number, std::string_view def) const { return texts_.Get(number, def); }

    // Creates the window session's link control.
    bool CreateLink(std::string* error);

    // Appends one line to the protocol monitor when it is shown; the pane keeps roughly its last
    // 2048 characters once it passes 4096.
    void ShowText(const std::string& text);
    const std::string& MonitorText() const { return monitorText_; }
    void ClearMonitor();

    // Status line, remembering the text number so a change of language can show it again.
    void ShowStatus(int textId, std::string_view def);
    void ShowStatusText(const std::string& text);

    // The numbered error dialog (about the window's terminal) and the non-blocking message
    // window.
    void ErrorBox(int n) { Error(n, session_->state().iCurrentID); }
    void ShowMsg(const std::string& prompt, int buttons = 48, const std::string& title = {});

    // The link time-out of terminal sessions and scheduled runs. Tests lower it to keep fault
    // runs short; the program never changes it.
    int linkTimeoutMs = 10000;

    // The window caption before a terminal's name is added to it.
    std::string baseCaption;

    // Esc during a window operation: the exchange, ping or terminal opening in progress ends.
    void StopOperation() { session_->StopOperation(); }

    // Shows a page of the page control and remembers which one is shown.
    void ShowPage(int page);

    // Runs when a terminal has been opened and identified: the pages that show its data start
    // empty (the record grid, once it exists, hooks in here).
    std::function<void()> onTerminalOpened;

    // SessionReporter: the window session's reports reach the view at once.
    void Monitor(const std::string& line) override { ShowText(line); }
    void Status(const std::string& text) override { ShowStatusText(text); }
    void StatusText(int id, std::string_view def) override { ShowStatus(id, def); }
    void RememberStatus(int id) override { state_.nStatusID = id; }
    std::string Text(int id, std::string_view def) const override { return GetText(id, def); }
    void Error(int n, int unit) override;
    void Log(const std::string& line, bool silent) override { eventLog_.WriteLog(line, silent); }
    int ScreenPointer() const override { return screenPointer_; }
    void SetScreenPointer(int value) override;
    int WindowPointer() const override { return windowPointer_; }
    void SetWindowPointer(int value) override;
    bool SchedulerRunning() const override { return state_.bTSRunning; }
    void CaptionTerminal(const std::string& line) override;
    void WentOffLine() override;

private:
    ProgramPaths paths_;
    View& view_;
    ProgramState state_;
    SettingsStore settings_;
    Options options_;
    DeviceDirectory directory_;
    Texts texts_;
    std::unique_ptr<TerminalSession> session_;
    TimeTable bellTable_{TimeTable::Kind::Bell};
    TimeTable ioSchedule_{TimeTable::Kind::InOut};
    EventLog eventLog_;
    fmt::FmtData formatter_;
    RecordStore recordStore_;
    RecordGrid recordGrid_;
    Saver outputWriter_;
    Saver backupWriter_;
    Saver mailWriter_;
    std::string monitorText_;
    int screenPointer_ = kPointerDefault;
    int windowPointer_ = kPointerDefault;
    // Last: it is stopped first, while the event log can still take its final word.
    std::unique_ptr<archive::Archive> archive_;
};

} // namespace px
