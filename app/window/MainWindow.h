// The program's main window: six pages over the core, the status line in its status bar, the
// protocol monitor and the tray. It is the core's view; its handlers only call core routines, and
// the pages bind their own controls. The same core runs behind the headless view when there is no
// display.
#pragma once

#include "View.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>
#include <vector>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QSystemTrayIcon;
class QTabWidget;

namespace px {

class FrmMsg;
class Program;
class ProgramPage;
class RecordsPage;
class SchedulerPage;
class TerminalsPage;

class MainWindow : public QMainWindow, public View {
public:
    MainWindow();
    ~MainWindow() override;

    // Binds the window to its program; call before Program::Load, whose steps show here.
    void Bind(Program& program);
    // Before the program is destroyed: its teardown may still report here.
    void Unbind();
    // After Program::Load: controls take the loaded options and the current language.
    void AfterLoad();

    // A second start asked for this window: out of the tray, restored and in front.
    void ShowFromOutside();
    // Minimises, to the tray where a system tray exists ("/S").
    void StartMinimised();

    // View
    void SetStatus(const std::string& text) override;
    void SetMonitorText(const std::string& text) override;
    void SetMessageLine(const std::string& text) override;
    void SetProgress(int value, int maximum) override;
    void SetCountLabel(const std::string& text) override;
    void SetCaption(const std::string& text) override;
    void SetPointers(int screen, int window) override;
    void MessageBox(const std::string& text, Icon icon, const std::string& title) override;
    bool Question(const std::string& text, Icon icon, bool defaultYes) override;
    void SetDevicePageEnabled(int page, bool enabled) override;
    void SetDeviceButtonsEnabled(bool enabled) override;
    void ShowRecordMode(int mode) override;
    void SetRecordModeOptionsEnabled(bool basic, bool schedule, bool scheduleKnown) override;
    std::string AskNewId(const std::vector<std::string>& lines) override;
    bool AskTime(Stamp& time) override;
    void ShowDisplayModeDialog() override;
    void FinishEditing() override;
    void ShowLoginDialog() override;
    std::string AskFile(bool save, const std::string& folder, const std::string& name,
                        const std::string& filters) override;
    void SetUploadRunning(bool running) override;
    void ShowPage(int page) override;
    void SetTerminalListEnabled(bool enabled) override;
    void SetRecordControlsEnabled(bool enabled) override;
    void SetOperationRunning(bool running) override;
    void SetStatusLogText(const std::string& text) override;
    void ShowError(const std::string& text) override;
    void ShowMsg(const std::string& prompt, int buttons, const std::string& title) override;

    // The language box changed: texts of the new language everywhere, state captions from the
    // state, the terminal's part of the caption kept.
    void SwitchLanguage(const QString& name);

    // The scheduler started or stopped: page 0, the device pages and buttons wait while it runs.
    void SchedulerStateChanged(bool started);

    bool MonitorShown() const;
    bool ScreenPointerBusy() const { return overrideCursor_; }
    QTabWidget* Pages() const { return tabs_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildPages();
    void ApplyTexts();
    void UpdateMonitorLayout();
    void RestoreFromTray();
    void PageChanged(int page);

    Program* program_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    std::vector<ProgramPage*> pages_;
    TerminalsPage* terminals_ = nullptr;
    RecordsPage* records_ = nullptr;
    SchedulerPage* scheduler_ = nullptr;
    QLabel* labStatus_ = nullptr;
    QCheckBox* chkMonitor_ = nullptr;
    QPlainTextEdit* txtMonitor_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    std::unique_ptr<FrmMsg> frmMsg_;
    QString shownMonitor_; // what the monitor pane shows, to append only what is new
    bool overrideCursor_ = false;
    bool recordControls_ = true;
    std::vector<bool> tabsBeforeTransfer_; // tab states a record transfer put aside
    bool operationRunning_ = false;
};

} // namespace px
