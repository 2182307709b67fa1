// The records page's upload: the terminal's records after those already in the grid go into the
// grid and the monthly backup, with the progress shown as they come. The same button stops it
// before its next record.
#pragma once

#include "RecordLines.h"
#include "Replies.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace px {

class RecordGrid;
class Saver;
class TerminalSession;
class View;
struct ProgramPaths;

// What the upload fills and where it shows its progress.
struct UploadTarget {
    RecordGrid& grid;
    Saver& backup;
    const ProgramPaths& paths; // the month's backup file and Format.ini's card-ID filter
    View& view;
    // Records taken from terminal id, the first at index first, go to the punch archive
    // (empty: no archive).
    std::function<void(int id, long first, const std::vector<reply::RecordLine>& records)> archive;
};

// False when the terminal stopped answering (reported, and off line).
bool UploadRecord(TerminalSession& session, const UploadTarget& target);

// Number, card ID, event, date and time of the records grid.
std::array<std::string, 5> GridRow(const reply::RecordLine& record, const CardIdFilter& filter);

} // namespace px
