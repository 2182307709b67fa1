#include "Core.h"

#include "Archive.h"
#include "DeviceOps.h"
#include "ErrorTexts.h"
#include "Exchange.h"
#include "RecordUpload.h"

namespace px {

namespace {

constexpr std::size_t kMonitorLimit = 4096;
constexpr std::size_t kMonitorKeep = 2048;

} // namespace

Core::Core(const std::string& title, View& view)
    : paths_(ProgramPaths::Resolve(title)), view_(view), settings_(paths_.settingsFile),
      directory_(settings_), exchange_(std::make_unique<Exchange>(*this)),
      device_(std::make_unique<DeviceOps>(*this)), pinger_(state_,
                                                           [this](const std::string& line) {
                                                               if (logNote) logNote(line);
                                                           }),
      upload_(std::make_unique<RecordUpload>(*this)), archive_(std::make_unique<archive::Archive>())
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
    // Until the program points it elsewhere, notes go to the event log.
    logNote = [this](const std::string& line) { eventLog_.WriteLog(line, false); };
    baseCaption = paths_.title;
    directory_.currentId = [this]() -> int& { return state_.iCurrentID; };
    directory_.note = [this](const std::string& text) {
        if (logNote) logNote(text);
    };
    directory_.monitor = [this](const std::string& text) { ShowText(text); };
    // A terminal just opened starts with empty tables and an empty record grid.
    onTerminalOpened = [this] {
        bellTable_.Clear();
        ioSchedule_.Clear();
        recordGrid_.Clear();
    };
    // Editing or deleting the connected terminal's entry leaves the connection.
    directory_.offLine = [this] { device_->OffLine(); };
    archive_->log = [this](const std::string& line) { eventLog_.WriteLog(line, false); };
    archive_->Configure(settings_.Get("Archive", "URL", ""), paths_.folder);
}

Core::~Core() = default;

bool Core::CreateLink(std::string* error)
{
    if (!link_.Create(error)) return false;
    link_.onMonitor = [this](int index, const std::string& text) {
        exchange_->Serlo_VNetMonitor(index, text);
    };
    return true;
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

void Core::ErrorBox(int n)
{
    const std::string text = ErrorText(n, texts_, state_.iCurrentID);
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
