#include "RecordCommands.h"

#include "Ini.h"
#include "ManualSave.h"
#include "Options.h"
#include "OutputNames.h"
#include "RecordGrid.h"
#include "Replies.h"
#include "RuntimeError.h"
#include "TerminalSession.h"
#include "VbText.h"
#include "View.h"

#include <algorithm>
#include <filesystem>

namespace px {

namespace {

constexpr int kNoRecords = 8040;
constexpr int kNotAllFetched = 140;
constexpr int kEraseNow = 308;
constexpr int kNoOptionChosen = 11;

// One upload with the page held: the controls, caption and pointer come back however it ends.
class UploadRun {
public:
    UploadRun(TerminalSession& session, View& view) : session_(session), view_(view)
    {
        session_.state().bUploading = true;
        session_.state().bStopUpload = false;
        view_.SetUploadRunning(true);
        view_.SetRecordControlsEnabled(false);
        session_.reporter().SetWindowPointer(kPointerHourglass);
    }
    ~UploadRun()
    {
        session_.reporter().SetWindowPointer(kPointerDefault);
        view_.SetRecordControlsEnabled(true);
        session_.state().bUploading = false;
        view_.SetUploadRunning(false);
    }
    UploadRun(const UploadRun&) = delete;
    UploadRun& operator=(const UploadRun&) = delete;

private:
    TerminalSession& session_;
    View& view_;
};

void RunUpload(TerminalSession& session, const RecordsDesk& desk)
{
    UploadRun run(session, desk.view);
    UploadRecord(session, desk.Upload());
}

// The record count as the control reports it, or -1 when the terminal did not say.
long TerminalCount(TerminalSession& session)
{
    try {
        session.state().bLinkTimeout = false;
        const long n = session.link().PortOpen() ? session.link().GetRecordCount() : -1;
        return session.state().bLinkTimeout ? -1 : n;
    } catch (const RuntimeError&) {
        return -1;
    }
}

// Erases the terminal after a save: only when it still holds exactly the records the file got.
void EraseAfterSave(TerminalSession& session, RecordGrid& grid, View& view)
{
    SessionReporter& report = session.reporter();
    const long now = session.device().GetPXRecordCount();
    if (now < 0) {
        view.MessageBox(report.Text(3111, "The number of records in the terminal could "
                                          "not be read: nothing was erased."),
                        Icon::Exclamation, report.Title());
        return;
    }
    if (now != static_cast<long>(grid.RecordCount())) {
        // A punch arrived while the question was open (or the terminal changed otherwise):
        // erasing now would lose records that are in no file.
        view.MessageBox(report.Text(3110, "The terminal's records changed since they were saved: "
                                          "nothing was erased. Upload and save again."),
                        Icon::Exclamation, report.Title());
        return;
    }
    session.state().bLinkTimeout = false;
    const std::string reply = session.link().SendVNetCmd("E", false, false);
    if (!IsAccepted(reply)) {
        session.device().Error(session.state().bLinkTimeout ? 1 : 26);
        return; // the grid stays: it is the other copy of the records
    }
    grid.Clear();
}

} // namespace

std::string CountLabel(std::size_t rows, long count)
{
    return Digits(static_cast<long>(rows), 5) + " / " + Digits(count < 0 ? 0 : count, 5);
}

std::string SaveFilter(const Options& options, const std::string& formatIni)
{
    std::string text = "Text (*.txt)";
    const std::string type = SelectedFormatType(options, formatIni);
    if (type.empty()) return text;
    // Format.ini writes a filter the Windows way: "description|pattern".
    const std::string raw = ini::getString(formatIni, type, "Filter", "", ini::kBuf2048);
    const auto bar = raw.find('|');
    if (bar == std::string::npos || Trim(raw.substr(0, bar)).empty() ||
        Trim(raw.substr(bar + 1)).empty())
        return text;
    std::string description = Trim(raw.substr(0, bar));
    const std::string pattern = Trim(raw.substr(bar + 1, raw.find('|', bar + 1) - bar - 1));
    if (description.find('(') == std::string::npos) description += " (" + pattern + ")";
    return description + ";;" + text;
}

void UploadButton(TerminalSession& session, const RecordsDesk& desk)
{
    if (session.state().bUploading) {
        session.state().bStopUpload = true; // the running upload ends before its next record
        return;
    }
    RunUpload(session, desk);
}

void SaveButton(TerminalSession& session, const RecordsDesk& desk)
{
    Options& o = desk.options;
    View& view = desk.view;
    SessionReporter& report = session.reporter();
    o.tsfileName = OutputFileName(o, Now());
    RunUpload(session, desk);
    RecordGrid& grid = desk.grid;
    if (grid.RecordCount() == 0) return;
    long count = TerminalCount(session);
    // Not all of the terminal's records are in the grid (the upload was stopped or failed).
    if (count != static_cast<long>(grid.RecordCount()) && !report.SchedulerRunning() &&
        !view.Question(report.Text(kNotAllFetched, "Not all records of the terminal have "
                                                   "been uploaded. Save the records "
                                                   "anyway?"),
                       Icon::Question, true))
        return;
    const std::string file =
        view.AskFile(true, o.savePath, o.tsfileName, SaveFilter(o, desk.formatIni));
    if (file.empty()) {
        view.SetProgress(0, 0);
        return;
    }
    const bool saved = SaveRecord(session, desk, file);
    o.savePath = std::filesystem::path(file).parent_path().string();
    // Only a file that holds every row may stand in for the terminal's memory.
    if (saved && grid.writtenRows == grid.RecordCount() &&
        view.Question(report.Text(kEraseNow, "Erase the records in the terminal now?"),
                      Icon::Exclamation, false))
        EraseAfterSave(session, grid, view);
    count = TerminalCount(session);
    view.SetCountLabel(CountLabel(grid.RecordCount(), count));
}

bool DatabaseOk(TerminalSession& session, RecordGrid& grid, View& view, int option)
{
    DeviceOps& device = session.device();
    SessionReporter& report = session.reporter();
    if (option != 0 && option != 1) {
        device.Error(kNoOptionChosen);
        return false;
    }
    // A count that could not be read is a failure, never an empty terminal.
    const long n = device.GetPXRecordCount();
    if (n < 0) {
        device.Error(1);
        device.OffLine();
        return true;
    }
    const bool initialise = option == 0;
    if (initialise && n == 0) {
        view.MessageBox(report.Text(kNoRecords, "The terminal holds no records."),
                        Icon::Information, report.Title());
        return true;
    }
    if (n > 0) {
        const std::string question =
            report.Text(8021, "The terminal holds") + " " + std::to_string(n) + " " +
            (initialise ? report.Text(8022, "records. Initialize the database now?")
                        : report.Text(8023, "records. Prepare the database for data "
                                            "recovery now?"));
        if (!view.Question(question, Icon::Question, false)) return true;
    }
    session.state().bLinkTimeout = false;
    const std::string reply = session.link().SendVNetCmd(initialise ? "E" : "M", false, false);
    if (!IsAccepted(reply)) {
        device.Error(session.state().bLinkTimeout ? 1 : (initialise ? 26 : 27));
        device.OffLine();
        return true;
    }
    view.SetCountLabel("00000/" + Digits(std::max(0L, device.GetPXRecordCount()), 5));
    view.SetProgress(0, 0);
    grid.Clear();
    return true;
}

} // namespace px
