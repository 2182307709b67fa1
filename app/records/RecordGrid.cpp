#include "RecordGrid.h"

#include <algorithm>

namespace px {

void RecordGrid::Clear()
{
    rows.clear();
    writtenRows = 0;
    ++generation;
    if (changed) changed();
}

void RecordGrid::Append(Row row)
{
    rows.push_back(std::move(row));
    if (changed) changed();
}

void RecordGrid::Sort(int firstColumn, int lastColumn, bool ascending)
{
    firstColumn = std::clamp(firstColumn, 0, 4);
    lastColumn = std::clamp(lastColumn, firstColumn, 4);
    std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
        for (int c = firstColumn; c <= lastColumn; ++c) {
            const auto i = static_cast<std::size_t>(c);
            if (a[i] != b[i]) return ascending ? a[i] < b[i] : a[i] > b[i];
        }
        return false;
    });
    ++generation;
    if (changed) changed();
}

} // namespace px
