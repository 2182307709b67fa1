// libFuzzer target for the bell table, the In/Out schedule and the scheduler's time table files.
// The input is a file. Besides crashes it traps on a row holding anything but a valid time, an
// invalid-line count out of range, or a table that does not read back as it was written.
#include "FuzzInput.h"
#include "TimeTables.h"
#include "TsTableLine.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using px::fuzz::Check;

bool Cell(const std::string& s, int max)
{
    return s.size() == 2 && s[0] >= '0' && s[0] <= '9' && s[1] >= '0' && s[1] <= '9' &&
           std::stoi(s) <= max;
}

void CheckTable(px::TimeTable::Kind kind, std::string_view text)
{
    px::TimeTable table(kind);
    const int invalid = table.LoadText(text);
    Check(invalid >= 0 && invalid <= px::TimeTable::kRows);
    std::string written;
    for (const auto& r : table.rows) {
        if (r.hour.empty() && r.minute.empty()) {
            Check(r.direction.empty());
        } else {
            Check(Cell(r.hour, 23) && Cell(r.minute, 59));
            Check(kind == px::TimeTable::Kind::Bell ? r.direction.empty()
                                                    : r.direction == "In" || r.direction == "Out");
        }
        written += r.hour + "," + r.minute;
        if (kind == px::TimeTable::Kind::InOut) written += "," + r.direction;
        written += "\r\n";
    }
    px::TimeTable again(kind);
    Check(again.LoadText(written) == 0);
    for (int i = 0; i < px::TimeTable::kRows; ++i) {
        const auto& a = table.rows[static_cast<std::size_t>(i)];
        const auto& b = again.rows[static_cast<std::size_t>(i)];
        Check(a.hour == b.hour && a.minute == b.minute && a.direction == b.direction);
    }
    (void)table.Entries();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // One kind an input, by its length: both see every shape of file at half the cost.
    CheckTable(size % 2 ? px::TimeTable::Kind::InOut : px::TimeTable::Kind::Bell, text);
    std::string_view rest = text;
    for (int i = 0; i < 32 && !rest.empty(); ++i) {
        const px::TsCells cells = px::ParseTsTableLine(std::string(px::fuzz::Cut(rest)));
        Check(cells.hour == "XX" || Cell(cells.hour, 23));
        Check(cells.minute == "XX" || Cell(cells.minute, 59));
    }
    return 0;
}
