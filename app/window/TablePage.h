// What the bell page and the In/Out page share: a busy flag and an hourglass with the grid held
// still while a transfer runs, both restored however the handler ends.
#pragma once

#include <string>

namespace px {

class Core;
class TimeGrid;

class TableBusy {
public:
    TableBusy(Core& core, TimeGrid* grid, bool& busy);
    ~TableBusy();
    TableBusy(const TableBusy&) = delete;
    TableBusy& operator=(const TableBusy&) = delete;

private:
    Core& core_;
    TimeGrid* grid_;
    bool& busy_;
};

// Logs the lines of a loaded file that held no valid time (one line for all of them).
void NoteInvalidLines(Core& core, const char* table, const std::string& file, int invalid);

} // namespace px
