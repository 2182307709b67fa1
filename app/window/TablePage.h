// What the bell page and the In/Out page share: their transfers to and from the terminal (under
// the operation guard, with an hourglass and the grid held still, all restored however the
// handler ends) and their table files.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace px {

class Core;
class TimeGrid;
class TimeTable;

// A transfer of the table: does nothing while another operation holds the link or the page is
// already busy. transfer runs with the grid disabled and the hourglass shown.
void RunTableTransfer(Core& core, TimeGrid* grid, bool& busy,
                      const std::function<void()>& transfer);
// Upload: the grid emptied, filled from the terminal, the cursor on the first row.
void UploadToGrid(Core& core, TimeGrid* grid, TimeTable& table, bool& busy);

// Save dialog, file written through the atomic writer, then opened with the desktop's handler.
void SaveTableFile(Core& core, QWidget* owner, TimeTable& table, const QString& folder,
                   const QString& name, const char* what);
// Open dialog and load; lines without a valid time are counted in one event-log line.
void LoadTableFile(Core& core, QWidget* owner, TimeGrid* grid, TimeTable& table,
                   const QString& folder, const QString& filters, const char* what);

} // namespace px
