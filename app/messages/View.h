// What the core may do to the screen. The Qt main window implements it; HeadlessView serves
// unattended runs and tests. The core never touches a widget directly.
#pragma once

#include <string>
#include <vector>

namespace px {

struct Stamp;

enum class Icon { None = 0, Critical = 16, Question = 32, Exclamation = 48, Information = 64 };

// Mouse pointer values as the program uses them.
inline constexpr int kPointerDefault = 0;
inline constexpr int kPointerHourglass = 11;

class View {
public:
    virtual ~View() = default;

    virtual void SetStatus(const std::string& text) = 0;      // the status line
    virtual void SetMonitorText(const std::string& text) = 0; // the whole protocol monitor pane
    virtual void SetMessageLine(const std::string& text) = 0; // the one-line progress message
    virtual void SetProgress(int value, int maximum) = 0;     // the record progress bar
    virtual void SetCountLabel(const std::string& text) = 0;  // "00010 / 00125"
    virtual void SetCaption(const std::string& text) = 0;     // the main window's caption
    // Application-wide pointer and the main window's own pointer (kPointer* values).
    virtual void SetPointers(int screen, int window) = 0;
    // A modal message that waits for a person; headless views report it instead.
    virtual void MessageBox(const std::string& text, Icon icon, const std::string& title) = 0;
    // A yes/no question; headless views take the default answer.
    virtual bool Question(const std::string& text, Icon icon, bool defaultYes) = 0;
    // The device pages (1 to 3) and the device command buttons follow the connection state.
    virtual void SetDevicePageEnabled(int page, bool enabled) { (void)page, (void)enabled; }
    virtual void SetDeviceButtonsEnabled(bool enabled) { (void)enabled; }
    // The record-mode frame shows the terminal's mode (0..3); -1 hides the frame.
    virtual void ShowRecordMode(int mode) { (void)mode; }
    // Options 0..2 follow basic; "Schedule" follows schedule unless the version is unknown.
    virtual void SetRecordModeOptionsEnabled(bool basic, bool schedule, bool scheduleKnown)
    {
        (void)basic, (void)schedule, (void)scheduleKnown;
    }
    // Shows a page of the page control (0 settings ... 5).
    virtual void ShowPage(int page) { (void)page; }
    // The terminal list is usable (it is locked while a terminal is being opened).
    virtual void SetTerminalListEnabled(bool enabled) { (void)enabled; }
    // The record page's commands and the other pages during a record transfer.
    virtual void SetRecordControlsEnabled(bool enabled) { (void)enabled; }
    // A window operation holds the link: the other device controls are disabled meanwhile.
    virtual void SetOperationRunning(bool running) { (void)running; }
    // The scheduler's status pane (the event log's view).
    virtual void SetStatusLogText(const std::string& text) { (void)text; }
    // The device dialogs. The ID dialog answers the chosen line ("" for Cancel); the clock dialog
    // edits the time and answers whether one was chosen. Headless, every dialog is cancelled.
    virtual std::string AskNewId(const std::vector<std::string>& lines)
    {
        (void)lines;
        return {};
    }
    virtual bool AskTime(Stamp& time)
    {
        (void)time;
        return false;
    }
    virtual void ShowDisplayModeDialog() {}
    // Closing: the field being edited is left first, so its leave rule has run before the saves.
    virtual void FinishEditing() {}
    // A file dialog: the chosen path, "" for Cancel. filters as "CSV (*.csv);;Text (*.txt)".
    virtual std::string AskFile(bool save, const std::string& folder, const std::string& name,
                                const std::string& filters)
    {
        (void)save, (void)folder, (void)name, (void)filters;
        return {};
    }
    // The records page's upload runs: its button becomes the stop button.
    virtual void SetUploadRunning(bool running) { (void)running; }
    virtual void ShowLoginDialog() {}
    // The modal error dialog with one of the numbered error texts.
    virtual void ShowError(const std::string& text) = 0;
    // The non-blocking message window; buttons carries the icon style (16, 32, 48, 64).
    virtual void ShowMsg(const std::string& prompt, int buttons, const std::string& title) = 0;
};

} // namespace px
