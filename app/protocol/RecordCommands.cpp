#include "RecordCommands.h"

#include "Core.h"
#include "DeviceOps.h"
#include "Ini.h"
#include "ManualSave.h"
#include "OutputNames.h"
#include "RecordUpload.h"
#include "Replies.h"
#include "RuntimeError.h"
#include "VbText.h"

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
    explicit UploadRun(Core& core) : core_(core)
    {
        core_.state().bUploading = true;
        core_.state().bStopUpload = false;
        core_.view().SetUploadRunning(true);
        core_.upload().EnableRecordControls(false);
        core_.SetWindowPointer(kPointerHourglass);
    }
    ~UploadRun()
    {
        core_.SetWindowPointer(kPointerDefault);
        core_.upload().EnableRecordControls(true);
        core_.state().bUploading = false;
        core_.view().SetUploadRunning(false);
    }
    UploadRun(const UploadRun&) = delete;
    UploadRun& operator=(const UploadRun&) = delete;

private:
    Core& core_;
};

void RunUpload(Core& core)
{
    UploadRun run(core);
    core.upload().UploadRecord();
}

// The record count as the control reports it, or -1 when the terminal did not say.
long TerminalCount(Core& core)
{
    try {
        core.state().bLinkTimeout = false;
        const long n = core.link().PortOpen() ? core.link().GetRecordCount() : -1;
        return core.state().bLinkTimeout ? -1 : n;
    } catch (const RuntimeError&) {
        return -1;
    }
}

// Erases the terminal after a save: only when it still holds exactly the records the file got.
void EraseAfterSave(Core& core)
{
    RecordGrid& grid = core.recordGrid();
    const long now = core.device().GetPXRecordCount();
    if (now < 0) {
        core.view().MessageBox(core.GetText(3111, "The number of records in the terminal could "
                                                  "not be read: nothing was erased."),
                               Icon::Exclamation, core.Title());
        return;
    }
    if (now != static_cast<long>(grid.RecordCount())) {
        // A punch arrived while the question was open (or the terminal changed otherwise):
        // erasing now would lose records that are in no file.
        core.view().MessageBox(
            core.GetText(3110, "The terminal's records changed since they were saved: nothing "
                               "was erased. Upload and save again."),
            Icon::Exclamation, core.Title());
        return;
    }
    core.state().bLinkTimeout = false;
    const std::string reply = core.link().SendVNetCmd("E", false, false);
    if (!IsAccepted(reply)) {
        core.ErrorBox(core.state().bLinkTimeout ? 1 : 26);
        return; // the grid stays: it is the other copy of the records
    }
    grid.Clear();
}

} // namespace

std::string CountLabel(std::size_t rows, long count)
{
    return Digits(static_cast<long>(rows), 5) + " / " + Digits(count < 0 ? 0 : count, 5);
}

std::string SaveFilter(const Core& core)
{
    std::string text = "Text (*.txt)";
    const std::string type = SelectedFormatType(core);
    if (type.empty()) return text;
    // Format.ini writes a filter the Windows way: "description|pattern".
    const std::string raw = ini::getString(core.szFormatIni, type, "Filter", "", ini::kBuf2048);
    const auto bar = raw.find('|');
    if (bar == std::string::npos || Trim(raw.substr(0, bar)).empty() ||
        Trim(raw.substr(bar + 1)).empty())
        return text;
    std::string description = Trim(raw.substr(0, bar));
    const std::string pattern = Trim(raw.substr(bar + 1, raw.find('|', bar + 1) - bar - 1));
    if (description.find('(') == std::string::npos) description += " (" + pattern + ")";
    return description + ";;" + text;
}

void UploadButton(Core& core)
{
    if (core.state().bUploading) {
        core.state().bStopUpload = true; // the running upload ends before its next record
        return;
    }
    RunUpload(core);
}

void SaveButton(Core& core)
{
    Options& o = core.options();
    o.tsfileName = OutputFileName(o, Now());
    RunUpload(core);
    RecordGrid& grid = core.recordGrid();
    if (grid.RecordCount() == 0) return;
    long count = TerminalCount(core);
    // Not all of the terminal's records are in the grid (the upload was stopped or failed).
    if (count != static_cast<long>(grid.RecordCount()) && !core.state().bTSRunning &&
        !core.view().Question(core.GetText(kNotAllFetched, "Not all records of the terminal have "
                                                           "been uploaded. Save the records "
                                                           "anyway?"),
                              Icon::Question, true))
        return;
    const std::string file = core.view().AskFile(true, o.savePath, o.tsfileName, SaveFilter(core));
    if (file.empty()) {
        core.view().SetProgress(0, 0);
        return;
    }
    const bool saved = SaveRecord(core, file);
    o.savePath = std::filesystem::path(file).parent_path().string();
    // Only a file that holds every row may stand in for the terminal's memory.
    if (saved && grid.writtenRows == grid.RecordCount() &&
        core.view().Question(core.GetText(kEraseNow, "Erase the records in the terminal now?"),
                             Icon::Exclamation, false))
        EraseAfterSave(core);
    count = TerminalCount(core);
    core.view().SetCountLabel(CountLabel(grid.RecordCount(), count));
}

bool DatabaseOk(Core& core, int option)
{
    if (option != 0 && option != 1) {
        core.ErrorBox(kNoOptionChosen);
        return false;
    }
    DeviceOps& device = core.device();
    // A count that could not be read is a failure, never an empty terminal.
    const long n = device.GetPXRecordCount();
    if (n < 0) {
        core.ErrorBox(1);
        device.OffLine();
        return true;
    }
    const bool initialise = option == 0;
    if (initialise && n == 0) {
        core.view().MessageBox(core.GetText(kNoRecords, "The terminal holds no records."),
                               Icon::Information, core.Title());
        return true;
    }
    if (n > 0) {
        const std::string question = core.GetText(8021, "The terminal holds") + " " +
                                     std::to_string(n) + " " +
                                     (initialise ? core.GetText(8022, "records. Initialize the "
                                                                      "database now?")
                                                 : core.GetText(8023, "records. Prepare the "
                                                                      "database for data "
                                                                      "recovery now?"));
        if (!core.view().Question(question, Icon::Question, false)) return true;
    }
    core.state().bLinkTimeout = false;
    const std::string reply = core.link().SendVNetCmd(initialise ? "E" : "M", false, false);
    if (!IsAccepted(reply)) {
        core.ErrorBox(core.state().bLinkTimeout ? 1 : (initialise ? 26 : 27));
        device.OffLine();
        return true;
    }
    core.view().SetCountLabel("00000/" + Digits(std::max(0L, device.GetPXRecordCount()), 5));
    core.view().SetProgress(0, 0);
    core.recordGrid().Clear();
    return true;
}

} // namespace px
