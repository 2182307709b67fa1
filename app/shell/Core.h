// The main program's core: program state, settings, terminal directory, the link control, the
// texts and the view, without any widget. The Qt window and the headless runs both drive it.
#pragma once

#include "DeviceDirectory.h"
#include "Options.h"
#include "ProgramPaths.h"
#include "ProgramState.h"
#include "SerloClient.h"
#include "SettingsStore.h"
#include "Texts.h"
#include "View.h"

#include <functional>
#include <memory>
#include <string>

namespace px {

class Exchange;

class Core {
public:
    // title is "PX740" or "PX745"; the folders follow from it and the environment.
    Core(std::string title, View& view);
    ~Core();
    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;

    const std::string& Title() const { return paths_.title; }
    const ProgramPaths& paths() const { return paths_; }
    View& view() { return view_; }
    ProgramState& state() { return state_; }
    SettingsStore& settings() { return settings_; }
    Options& options() { return options_; }
    DeviceDirectory& directory() { return directory_; }
    SerloClient& link() { return link_; }
    Exchange& exchange() { return *exchange_; }
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
    std::string monitorText_;
    int screenPointer_ = kPointerDefault;
    int windowPointer_ = kPointerDefault;
};

} // namespace px
