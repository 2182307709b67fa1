// The records page's grid as a row model: one row per uploaded record with its number, card ID,
// event, date and time. The upload continues after the rows already here, so clearing the grid
// makes the next upload start at record 0.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace px {

class RecordGrid {
public:
    using Row = std::array<std::string, 5>; // number, card ID, event, date, time

    std::vector<Row> rows;
    // Rows already written by the manual save, which continues after them.
    std::size_t writtenRows = 0;
    std::function<void()> changed;
    // Counts the changes that are not appends (clearing, sorting), so a view can tell an append
    // from a new order.
    unsigned long generation = 0;

    void Clear();
    void Append(Row row);
    std::size_t RecordCount() const { return rows.size(); }
    // Case-sensitive text order of the columns first..last, ascending or descending.
    void Sort(int firstColumn, int lastColumn, bool ascending);
};

} // namespace px
