// The bell table and the In/Out schedule as row models (32 rows of hour, minute and, for the
// schedule, direction), their text files, and their transfer to and from the terminal.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace px {

class TerminalSession;

struct TimeRow {
    std::string hour;
    std::string minute;
    std::string direction; // In/Out schedule only: "In", "Out" or ""
    bool grey = false;     // shown as disabled on the terminal
};

class TimeTable {
public:
    static constexpr int kRows = 32;
    enum class Kind { Bell, InOut };

    explicit TimeTable(Kind kind) : kind_(kind) {}
    Kind kind() const { return kind_; }

    std::array<TimeRow, kRows> rows; // rows[i] is grid row i + 1
    // The rows changed as a whole (cleared, uploaded, loaded, greyed): the grid shows them again.
    std::function<void()> changed;

    // Grid row labels "01" .. "32".
    static std::string RowLabel(int index);
    void Clear();
    // The table entries a download writes: "hh:mm,01" for a bell, "hh:mm,01"/"hh:mm,00" for
    // In/Out, "" for a row without a valid time.
    std::vector<std::string> Entries() const;
    // Fills the rows from uploaded entries.
    void Show(const std::vector<std::string>& entries);
    void SetAllGrey(bool grey);

    // One line per row: "hour,minute" (bell) or "hour,minute,direction" (In/Out), CR LF.
    bool Save(const std::string& path, std::string* error) const;
    // Empties the rows, then reads up to 32 lines (CR LF, LF or CR ends) into rows 1, 2, ...;
    // a short file fills only as many rows. A line without a valid time leaves its row empty:
    // the result counts such lines, or is -1 when the file cannot be read.
    int Load(const std::string& path);
    // The same from the file's text.
    int LoadText(std::string_view text);

private:
    void Changed()
    {
        if (changed) changed();
    }

    Kind kind_;
};

// Transfers between the terminal and a table, with the failure messages and going off line after
// a time-out. Each returns whether the transfer succeeded.
bool DownloadTable(TerminalSession& session, TimeTable& table);
bool UploadTable(TerminalSession& session, TimeTable& table);
// "Disable": writes "00" to all 32 bell event registers and greys the rows.
bool DisableBellTable(TerminalSession& session, TimeTable& table);

} // namespace px
