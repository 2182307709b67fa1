// The records page's commands: the upload as a start/stop toggle, the manual save with its
// questions and the erase that may follow it, and the database dialog's two actions. No path
// through them erases a record that is not in a written file.
#pragma once

#include <cstddef>
#include <string>

namespace px {

class Core;

// cmdRecord(0): starts an upload of the terminal's new records into the grid, or stops the one
// running. Every control it disabled is enabled again however the upload ends.
void UploadButton(Core& core);
// cmdRecord(1): fetches the terminal's records, saves the grid to a file the user names, and
// offers to erase the terminal when every record is in that file.
void SaveButton(Core& core);

// The Save dialog's file types: the selected output type's filter first, then text files.
std::string SaveFilter(const Core& core);
// "00010 / 00125": records in the grid and in the terminal.
std::string CountLabel(std::size_t rows, long count);

// The database dialog's "Ok" with option 0 (initialise) or 1 (prepare for recovery), -1 when
// none is chosen. False keeps the dialog open.
bool DatabaseOk(Core& core, int option);

} // namespace px
