// The main program's core: program state, settings, terminal directory, the link control, the
// texts and the view, without any widget. The Qt window and the headless runs both drive it.
#pragma once

#include "DeviceDirectory.h"
#include "EventLog.h"
#include "FmtData.h"
#include "Options.h"
#include "Ping.h"
#include "ProgramPaths.h"
#include "ProgramState.h"
#include "RecordGrid.h"
#include "RecordStore.h"
#include "Saver.h"
#include "SerloClient.h"
#include "SettingsStore.h"
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
class DeviceOps;
class RecordUpload;
class Exchange;

class Core {
public:
    // title is "PX740" or "PX745"; the folders follow from it and the environment.
    Core(const std::string& title, View& view);
    ~Core();
    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;

    const std::string& Title() const { return paths_.title; }
    const ProgramPaths& paths() const { return paths_; }
    View& view() { return view_; }
    ProgramState& state() { return state_; }
    SettingsStore& settings() { return settings_; }
    Options& options() { return options_; }
    const Options& options() const { return options_; }
    DeviceDirectory& directory() { return directory_; }
    const DeviceDirectory& directory() const { return directory_; }
    SerloClient& link() { return link_; }
    Exchange& exchange() { return *exchange_; }
    DeviceOps& device() { return *device_; }
    Pinger& pinger() { return pinger_; }
    TimeTable& bellTable() { return bellTable_; }
    TimeTable& ioSchedule() { return ioSchedule_; }
    EventLog& eventLog() { return eventLog_; }
    fmt::FmtData& formatter() { return formatter_; }
    RecordStore& recordStore() { return recordStore_; }
    RecordGrid& recordGrid() { return recordGrid_; }
    RecordUpload& upload() { return *upload_; }
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

    // Creates the link control and connects its events to the core.
    bool CreateLink(std::string* error);

    // Appends one line to the protocol monitor when it is shown; the pane keeps roughly its last
    // 2048 characters once it passes 4096.
    void ShowText(const std::string& text);
    const std::string& MonitorText() const { return monitorText_; }
    void ClearMonitor();

    // Status line, remembering the text number so a change of language can show it again.
    void ShowStatus(int textId, std::string_view def);
    void ShowStatusText(const std::string& text);

    // The numbered error dialog and the non-blocking message window.
    void ErrorBox(int n);
    void ShowMsg(const std::string& prompt, int buttons = 48, const std::string& title = {});

    // Pointers: the application-wide one and the main window's own.
    int ScreenPointer() const { return screenPointer_; }
    int WindowPointer() const { return windowPointer_; }
    void SetScreenPointer(int value);
    void SetWindowPointer(int value);

    // Where notes for the event log go until the event log exists.
    std::function<void(const std::string&)> logNote;

    // The link time-out of terminal sessions and scheduled runs. Tests lower it to keep fault
    // runs short; the program never changes it.
    int linkTimeoutMs = 10000;

    // The window caption before a terminal's name is added to it.
    std::string baseCaption;

    // Esc during a window operation: the exchange, ping or terminal opening in progress ends.
    void StopOperation()
    {
        state_.bStopComm = true;
        state_.bStopPing = true;
        state_.bCancelOpen = true;
        state_.bStopUpload = true;
    }

    // Shows a page of the page control and remembers which one is shown.
    void ShowPage(int page);

    // Runs when a terminal has been opened and identified: the pages that show its data start
    // empty (the record grid, once it exists, hooks in here).
    std::function<void()> onTerminalOpened;

private:
    ProgramPaths paths_;
    View& view_;
    ProgramState state_;
    SettingsStore settings_;
    Options options_;
    DeviceDirectory directory_;
    SerloClient link_;
    Texts texts_;
    std::unique_ptr<Exchange> exchange_;
    std::unique_ptr<DeviceOps> device_;
    Pinger pinger_;
    TimeTable bellTable_{TimeTable::Kind::Bell};
    TimeTable ioSchedule_{TimeTable::Kind::InOut};
    EventLog eventLog_;
    fmt::FmtData formatter_;
    RecordStore recordStore_;
    RecordGrid recordGrid_;
    std::unique_ptr<RecordUpload> upload_;
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
