#include "TablePage.h"

#include "Core.h"
#include "TimeGrid.h"

namespace px {

TableBusy::TableBusy(Core& core, TimeGrid* grid, bool& busy) : core_(core), grid_(grid), busy_(busy)
{
    busy_ = true;
    core_.SetWindowPointer(kPointerHourglass);
    grid_->HideEditors();
    grid_->setEnabled(false);
}

TableBusy::~TableBusy()
{
    grid_->setEnabled(true);
    core_.SetWindowPointer(kPointerDefault);
    busy_ = false;
}

void NoteInvalidLines(Core& core, const char* table, const std::string& file, int invalid)
{
    if (invalid <= 0) return;
    core.eventLog().WriteLog(std::string(table) + " file " + file + ": " + std::to_string(invalid) +
                                 " line(s) held no valid time; their rows were left empty",
                             false);
}

} // namespace px
