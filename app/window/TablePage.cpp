#include "TablePage.h"

#include "Core.h"
#include "DesktopOpen.h"
#include "FileDialogs.h"
#include "OperationGuard.h"
#include "TimeGrid.h"
#include "TimeTables.h"

namespace px {

namespace {

// The hourglass, the grid held still and the busy flag, restored however the transfer ends.
class TableBusy {
public:
    TableBusy(Core& core, TimeGrid* grid, bool& busy) : core_(core), grid_(grid), busy_(busy)
    {
        busy_ = true;
        core_.SetWindowPointer(kPointerHourglass);
        grid_->HideEditors();
        grid_->setEnabled(false);
    }
    ~TableBusy()
    {
        grid_->setEnabled(true);
        core_.SetWindowPointer(kPointerDefault);
        busy_ = false;
    }
    TableBusy(const TableBusy&) = delete;
    TableBusy& operator=(const TableBusy&) = delete;

private:
    Core& core_;
    TimeGrid* grid_;
    bool& busy_;
};

} // namespace

void RunTableTransfer(Core& core, TimeGrid* grid, bool& busy, const std::function<void()>& transfer)
{
    if (busy) return;
    OperationGuard guard(core);
    if (!guard) return;
    TableBusy held(core, grid, busy);
    transfer();
}

void UploadToGrid(Core& core, TimeGrid* grid, TimeTable& table, bool& busy)
{
    RunTableTransfer(core, grid, busy, [&] {
        table.Clear();
        UploadTable(core.session(), table);
    });
    grid->setCurrentCell(0, 1);
}

void SaveTableFile(Core& core, QWidget* owner, TimeTable& table, const QString& folder,
                   const QString& name, const char* what)
{
    const QString file = AskSaveFile(owner, {}, folder, name, "text (*.txt)");
    if (file.isEmpty()) return;
    std::string error;
    if (!table.Save(file.toStdString(), &error)) {
        core.view().MessageBox(std::string("The ") + what + " could not be saved: " + error,
                               Icon::Critical, "");
        return;
    }
    OpenWithDesktop(core, file.toStdString());
}

void LoadTableFile(Core& core, QWidget* owner, TimeGrid* grid, TimeTable& table,
                   const QString& folder, const QString& filters, const char* what)
{
    const QString file = AskOpenFile(owner, {}, folder, filters);
    if (file.isEmpty()) return;
    grid->HideEditors();
    const int invalid = table.Load(file.toStdString());
    if (invalid < 0) {
        core.view().MessageBox("The file cannot be read: " + file.toStdString(), Icon::Critical,
                               "");
        return;
    }
    if (invalid > 0)
        core.eventLog().WriteLog(std::string(what) + " file " + file.toStdString() + ": " +
                                     std::to_string(invalid) +
                                     " line(s) held no valid time; their rows were left empty",
                                 false);
    grid->setCurrentCell(0, 2);
}

} // namespace px
