#include "Program.h"

#include "Archive.h"
#include "CmdSwitch.h"
#include "Connect.h"
#include "DeviceOps.h"
#include "FormatIni.h"
#include "RecordLines.h"
#include "TextIds.h"
#include "VbText.h"

#include <QLocale>
#include <QTimer>

#include <algorithm>

namespace px {

Program::Program(const std::string& title, View& view, std::string commandLine)
    : commandLine_(std::move(commandLine)), core_(std::make_unique<Core>(title, view)),
      mailer_(std::make_unique<Mailer>()),
      run_(std::make_unique<ScheduledRun>(core_->ForRun(), *mailer_)),
      scheduler_(std::make_unique<Scheduler>(core_->ForScheduler()))
{
    scheduler_->run = [this] { run_->TSChkDevice(); };
    scheduler_->stopRun = [this] { run_->StopSessions(); };
    scheduler_->openTerminal = [this](int line) {
        // The stop sequence reconnects the user's terminal; a failure must not leave an
        // unattended window waiting on a dialog.
        struct Quiet {
            bool& flag;
            bool before;
            ~Quiet() { flag = before; }
        } quiet{core_->state().bQuietErrors, core_->state().bQuietErrors};
        quiet.flag = true;
        core_->OpenTerminal(line);
    };
    scheduler_->endProgram = [this] { CloseThenQuit(OnceExitStatus()); };
}

Program::~Program() = default;

void Program::LogFailure(const std::string& what, const std::string& error)
{
    core_->eventLog().WriteLog(FormatDate(Now(), "General Date") +
                                   "  ErrNo:75  Description:" + what + ": " + error,
                               false);
}

// The start-up sequence in its fixed order, one commented section per step; kept whole so that
// the order is read in one place.
// NOLINTNEXTLINE(readability-function-size)
int Program::Load()
{
    if (loaded_) return 2;
    loaded_ = true;
    Core& core = *core_;
    const ProgramPaths& paths = core.paths();
    std::string error;
    if (!paths.EnsureFolders(&error)) {
        core.view().MessageBox("Cannot create the program folder: " + error, Icon::Critical,
                               core.Title());
        return 2;
    }
    paths.SeedData();
    paths.RemoveStaleTemporaries();
    szVersionText = core.Title() + VersionSuffix();
    if (QLocale::system().language() != QLocale::C)
        SetShortDatePattern(ShortDatePatternFromLocale(
            QLocale::system().dateFormat(QLocale::ShortFormat).toStdString()));

    core.session().device().ReadPX74XInfo(paths.In(core.Title() + ".ini"));
    core.options() = LoadOptions(core.settings(), paths, FormatDate(Now(), "YYYYMM.TXT"));
    Options& o = core.options();

    // Output types of Format.ini.
    core.szFormatIni = paths.In("Format.ini");
    formatTypes = OutputTypes(core.szFormatIni);
    if (formatTypes.size() == 1) core.szFormatIni.clear();
    formatIndex = 0;
    for (std::size_t i = 0; i < formatTypes.size(); ++i)
        if (formatTypes[i] == o.format) formatIndex = static_cast<int>(i);
    o.format = formatTypes[static_cast<std::size_t>(formatIndex)];
    core.ShowPage(0);

    // Language.
    languages = FillLanguageList(paths.In("Language"), o.language);
    if (!languages.ok()) {
        core.view().MessageBox("No language files found.  Please reinstall this program.",
                               Icon::Critical, core.Title());
        return 2;
    }
    const std::string chosen = languages.names[static_cast<std::size_t>(languages.selected)];
    if (!o.language.empty() && UCase(chosen) != UCase(o.language))
        core.view().MessageBox("Previously used language could not be found.  Please choose "
                               "some other language before you continue.",
                               Icon::Exclamation, core.Title());
    core.texts().SetLanguageFile(paths.In("Language/" + chosen + ".txt"));
    o.language = chosen;

    // Terminal directory.
    core.directory().LoadDeviceInfo(paths.In(core.Title() + ".TXT"));
    core.directory().ResetDefaultEntry(o.serloPort);

    // Time table and event log.
    scheduler_->TsTableFile(true);
    core.eventLog().MaxView = 5120;
    core.eventLog().OpenMonth(paths.In("Logfiles"), Now());
    core.view().SetMessageLine("");

    mailer_->settings = MailSettings::Load(core.settings());

    // Link set-up.
    if (!core.CreateLink(&error)) {
        core.view().MessageBox(error, Icon::Critical, core.Title());
        return 2;
    }
    SerloClient& link = core.session().link();
    link.SetCommPort(o.serloPort < 0 ? 0 : o.serloPort);
    link.SetBaudRate(o.serloBaud);
    link.SetHandshaking(0);
    link.SetVNetTimeout(core.linkTimeoutMs);
    core.state().monitorChecked = o.loginSave && o.viewMonitor;
    const std::string monitorHeader = core.Title() + "-Monitor" + VersionSuffix() + "\r\n";
    core.ShowText(monitorHeader);
    core.baseCaption = core.GetText(1, core.Title()) + VersionSuffix();
    core.view().SetCaption(core.baseCaption);
    core.ioSchedule().Clear();

    // Command line.
    scheduler_->nTSCmdMode = 0;
    const std::string mode = GetCmdSwitch(commandLine_, "/TS:", false);
    if (mode == "ONCE") {
        scheduler_->nTSCmdMode = 1;
    } else if (mode == "INTERVAL") {
        o.timeModeInterval = true;
        scheduler_->nTSCmdMode = 2;
    } else if (mode == "TIMETABLE") {
        o.timeModeInterval = false;
        scheduler_->nTSCmdMode = 3;
    }
    if (scheduler_->nTSCmdMode != 0) {
        core.ShowPage(kSchedulerPage);
        startMinimised = GetCmdSwitch(commandLine_, "/S", true) == "/S";
    } else {
        core.ShowPage(0);
        if (GetCmdSwitch(commandLine_, "/MONITOR", true) == "/MONITOR") {
            // The header went by while the pane was still inactive: the pane starts with it.
            const bool collected = core.state().monitorChecked;
            core.state().bMonitorMode = true;
            core.state().monitorChecked = true;
            if (!collected) core.ShowText(monitorHeader);
        }
    }
    link.SetEventMask(33);
    // Records an earlier run left in the archive's journal go in now.
    core.archive().Start();
    return 0;
}

std::string Program::VersionSuffix()
{
    return " V" + std::to_string(kMajor) + "." + std::to_string(kMinor) + " R" +
           std::to_string(kRevision) + " " + kDescription;
}

bool Program::SwitchLanguage(const std::string& name)
{
    Core& core = *core_;
    const auto at = std::find(languages.names.begin(), languages.names.end(), name);
    if (at == languages.names.end()) return false;
    languages.selected = static_cast<int>(at - languages.names.begin());
    core.texts().SetLanguageFile(core.paths().In("Language/" + name + ".txt"));
    core.options().language = name;
    core.view().SetStatus(core.state().nStatusID > 0 ? core.GetText(core.state().nStatusID, "")
                                                     : std::string());
    core.baseCaption = core.GetText(1, "") + VersionSuffix();
    return true;
}

void Program::CloseThenQuit(int status)
{
    if (Close()) {
        if (quit) quit(status);
        return;
    }
    // A ping or an exchange still runs: the saves must not be skipped, so wait for it.
    QTimer::singleShot(200, [this, status] { CloseThenQuit(status); });
}

bool Program::Close()
{
    Core& core = *core_;
    ProgramState& st = core.state();
    // Every refusal shows in the status line too: the monitor pane is often hidden.
    auto refuse = [&core](const std::string& line) {
        core.ShowText(line);
        core.ShowStatusText(line);
        return false;
    };
    if (st.bTSRunning) {
        const std::string text =
            core.GetText(txt::kSchedulerBlocksClose.id, txt::kSchedulerBlocksClose.english);
        core.ShowMsg(text, 48);
        core.ShowStatusText(text);
        return false;
    }
    LinkState& link = core.session().state();
    if (link.pingsInProgress > 0) {
        link.bStopPing = true;
        return refuse("Can't Unload for MyPing!");
    }
    if (link.nBusyDepth != 0) return refuse("Can't Unload for Busy!");
    try {
        if (core.session().link().IsCreated() && core.session().link().Busy())
            return refuse("Can't Unload for Serlo");
    } catch (const std::exception&) {
    }
    // The control's own reply waits do not set Busy: a window handler in the middle of a
    // terminal operation would otherwise have its window destroyed under it.
    if (st.operationRunning) return refuse("Can't Unload for an operation in progress");
    core.view().FinishEditing();
    st.bUnloading = true;
    if (mailer_->SessionID() != 0) {
        core.eventLog().WriteLog("SessionSignOff", false);
        mailer_->MapiSignOff();
    }
    try {
        if (core.session().link().IsCreated()) core.session().link().SetPortOpen(false);
    } catch (const std::exception& e) {
        LogFailure("PortOpen", e.what());
    }
    std::string error;
    CloseValues values;
    values.directorySaved =
        core.directory().SaveDeviceInfo(core.paths().In(core.Title() + ".TXT"), &error);
    if (!values.directorySaved) LogFailure("Terminal list", error);
    try {
        if (core.session().link().IsCreated()) {
            values.commPort = core.session().link().CommPort();
            values.baudRate = core.session().link().BaudRate();
        }
    } catch (const std::exception&) {
    }
    values.language = core.options().language;
    values.iAddr = core.directory().CurrentFields().ipAddress;
    SaveOnClose(
        core.settings(), core.options(), values,
        [this](std::string* e) { return scheduler_->TsTableFile(false, e); },
        [this](const std::string& what, const std::string& e) { LogFailure(what, e); });
    return true;
}

} // namespace px
