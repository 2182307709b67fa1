#include "Core.h"

#include "Archive.h"
#include "Connect.h"
#include "DeviceControls.h"
#include "ErrorTexts.h"
#include "RecordCommands.h"
#include "RunServices.h"
#include "Scheduler.h"

namespace px {

namespace {

constexpr std::size_t kMonitorLimit = 4096;
constexpr std::size_t kMonitorKeep = 2048;

} // namespace

Core::Core(const std::string& title, View& view)
    : paths_(ProgramPaths::Resolve(title)), view_(view), settings_(paths_.settingsFile),
      directory_(settings_), session_(std::make_unique<TerminalSession>(*this)),
      archive_(std::make_unique<archive::Archive>())
{
    texts_.SetModelName(paths_.title);
    recordStore_.FilePath = paths_.In("Records/" + paths_.title + ".INI");
    // A counter that could not be written means records fetched again: say so, with the cause.
    recordStore_.OnError = [this](long number, const std::string& description) {
        eventLog_.WriteLog(std::string(10, ' ') + "Record counters - " + description + "(" +
                               std::to_string(number) + ")",
                           false);
    };
    eventLog_.viewText = [this](const std::string& text) { view_.SetStatusLogText(text); };
    baseCaption = paths_.title;
    directory_.currentId = [this]() -> int& { return session_->state().iCurrentID; };
    directory_.note = [this](const std::string& text) { eventLog_.WriteLog(text, false); };
    directory_.monitor = [this](const std::string& text) { ShowText(text); };
    // A terminal just opened starts with empty tables and an empty record grid.
    onTerminalOpened = [this] {
        bellTable_.Clear();
        ioSchedule_.Clear();
        recordGrid_.Clear();
    };
    // Editing or deleting the connected terminal's entry leaves the connection.
    directory_.offLine = [this] { session_->device().OffLine(); };
    archive_->log = [this](const std::string& line) { eventLog_.WriteLog(line, false); };
    archive_->Configure(settings_.Get("Archive", "URL", ""), paths_.folder);
}

Core::~Core()
{
    // The session reports here until it is gone.
    session_.reset();
}

bool Core::CreateLink(std::string* error)
{
    return session_->CreateLink(error);
}

RecordsDesk Core::Records()
{
    return {recordGrid_,
            backupWriter_,
            paths_,
            view_,
            options_,
            formatter_,
            szFormatIni,
            [this](int id, long first, const std::vector<reply::RecordLine>& records) {
                archive_->Take(id, directory_.table[static_cast<std::size_t>(id & 0xFF)].Name,
                               first, records);
            }};
}

OpenHooks Core::OpenTerminalHooks()
{
    const bool blocks = state_.currentPage == 0 && state_.bTSRunning;
    const bool monitor = state_.monitorChecked && state_.bMonitorMode;
    return {view_, blocks, monitor ? paths_.In(Title() + ".ini") : std::string(), linkTimeoutMs,
            onTerminalOpened};
}

bool Core::OpenTerminal(int listIndex)
{
    return px::OpenTerminal(*session_, directory_, listIndex, OpenTerminalHooks());
}

RunServices Core::ForRun()
{
    return {paths_,
            options_,
            szFormatIni,
            directory_,
            texts_,
            eventLog_,
            view_,
            recordStore_,
            formatter_,
            outputWriter_,
            backupWriter_,
            mailWriter_,
            state_.bStopRequested,
            linkTimeoutMs,
            [this](const std::string& line) { ShowText(line); },
            [this](const std::string& text) { ShowStatusText(text); },
            [this](int pointer) { SetScreenPointer(pointer); },
            [this](int id, long first, const std::vector<reply::RecordLine>& records) {
                archive_->Take(id, directory_.table[static_cast<std::size_t>(id & 0xFF)].Name,
                               first, records);
            },
            [this] {
                try {
                    if (session_->link().IsCreated()) session_->link().SetPortOpen(false);
                } catch (const std::exception&) {
                    // A link that cannot be closed is refused by the run's own open instead.
                }
            }};
}

SchedulerServices Core::ForScheduler()
{
    return {paths_,
            options_,
            eventLog_,
            view_,
            directory_,
            *session_,
            state_.bTSRunning,
            state_.bStopRequested,
            state_.operationRunning,
            [this](int screen, int window) {
                SetScreenPointer(screen);
                SetWindowPointer(window);
            }};
}

void Core::CaptionTerminal(const std::string& line)
{
    view_.SetCaption(line.empty() ? baseCaption : baseCaption + "  " + line);
}

void Core::WentOffLine()
{
    CmdPX700Enabled(*session_, view_, false);
    ShowPage(0);
    view_.SetProgress(0, 0);
}

void Core::ShowText(const std::string& text)
{
    if (!state_.monitorChecked && !state_.bMonitorMode) return;
    monitorText_ += text;
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) monitorText_ += "\r\n";
    if (monitorText_.size() > kMonitorLimit) {
        // Cut at a line break so the pane starts with a whole line.
        std::size_t cut = monitorText_.find('\r', monitorText_.size() - kMonitorKeep);
        if (cut == std::string::npos)
            cut = monitorText_.size();
        else if (++cut < monitorText_.size() && monitorText_[cut] == '\n')
            ++cut;
        monitorText_.erase(0, cut);
    }
    view_.SetMonitorText(monitorText_);
}

void Core::ClearMonitor()
{
    monitorText_.clear();
    view_.SetMonitorText(monitorText_);
}

void Core::ShowStatus(int textId, std::string_view def)
{
    state_.nStatusID = textId;
    view_.SetStatus(GetText(textId, def));
}

void Core::ShowStatusText(const std::string& text)
{
    view_.SetStatus(text);
}

void Core::ShowPage(int page)
{
    state_.currentPage = page;
    view_.ShowPage(page);
}

void Core::Error(int n, int unit)
{
    const std::string text = ErrorText(n, texts_, unit);
    // Work that nobody may be watching (the scheduler's reconnect) reports in the status line:
    // a modal box would hold an unattended window.
    if (state_.bQuietErrors) {
        view_.SetStatus(text);
        return;
    }
    view_.ShowError(text);
}

void Core::ShowMsg(const std::string& prompt, int buttons, const std::string& title)
{
    view_.ShowMsg(prompt, buttons, title.empty() ? Title() : title);
}

void Core::SetScreenPointer(int value)
{
    screenPointer_ = value;
    view_.SetPointers(screenPointer_, windowPointer_);
}

void Core::SetWindowPointer(int value)
{
    windowPointer_ = value;
    view_.SetPointers(screenPointer_, windowPointer_);
}

} // namespace px
