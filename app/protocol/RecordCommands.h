// The records page's commands: the upload as a start/stop toggle, the manual save with its
// questions and the erase that may follow it, and the database dialog's two actions. No path
// through them erases a record that is not in a written file.
#pragma once

#include "ManualUpload.h"

#include <cstddef>
#include <string>

namespace px {

class RecordGrid;
class Saver;
class TerminalSession;
class View;
struct Options;
struct ProgramPaths;
namespace fmt {
class FmtData;
}

// What the records page's commands work with besides the terminal's session.
struct RecordsDesk {
    RecordGrid& grid;
    Saver& backup;
    const ProgramPaths& paths;
    View& view;
    Options& options;             // output type, card-ID length, save folder and file name
    fmt::FmtData& formatter;      // the output type's template
    const std::string& formatIni; // Format.ini, "" when it has no output types
    std::function<void(int id, long first, const std::vector<reply::RecordLine>& records)> archive;
    UploadTarget Upload() const { return {grid, backup, paths, view, archive}; }
};

// cmdRecord(0): starts an upload of the terminal's new records into the grid, or stops the one
// running. Every control it disabled is enabled again however the upload ends.
void UploadButton(TerminalSession& session, const RecordsDesk& desk);
// cmdRecord(1): fetches the terminal's records, saves the grid to a file the user names, and
// offers to erase the terminal when every record is in that file.
void SaveButton(TerminalSession& session, const RecordsDesk& desk);

// The Save dialog's file types: the selected output type's filter first, then text files.
std::string SaveFilter(const Options& options, const std::string& formatIni);
// "00010 / 00125": records in the grid and in the terminal.
std::string CountLabel(std::size_t rows, long count);

// The database dialog's "Ok" with option 0 (initialise) or 1 (prepare for recovery), -1 when
// none is chosen. False keeps the dialog open.
bool DatabaseOk(TerminalSession& session, RecordGrid& grid, View& view, int option);

} // namespace px
