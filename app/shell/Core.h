// The main program's core: program state, the link control, the texts and the view, without any
// widget. The Qt window and the headless runs both drive this object.
#pragma once

#include "ProgramState.h"
#include "SerloClient.h"
#include "Texts.h"
#include "View.h"

#include <string>

namespace px {

class Exchange;

class Core {
public:
    // title is "PX740" or "PX745".
    Core(std::string title, View& view);
    ~Core();
    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;

    const std::string& Title() const { return title_; }
    View& view() { return view_; }
    ProgramState& state() { return state_; }
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

    // Pointers: the application-wide one and the main window's own.
    int ScreenPointer() const { return screenPointer_; }
    int WindowPointer() const { return windowPointer_; }
    void SetScreenPointer(int value);
    void SetWindowPointer(int value);

private:
    std::string title_;
    View& view_;
    ProgramState state_;
    SerloClient link_;
    Texts texts_;
    std::unique_ptr<Exchange> exchange_;
    std::string monitorText_;
    int screenPointer_ = kPointerDefault;
    int windowPointer_ = kPointerDefault;
};

} // namespace px
