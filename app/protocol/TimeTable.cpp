// The bell table and the In/Out schedule as rows and as text files; no terminal involved.
#include "TimeTables.h"

#include "FileAppend.h"
#include "Replies.h"
#include "TableTransfer.h"
#include "VbText.h"

#include <fstream>

namespace px {

namespace {

bool IsTimeCell(const std::string& cell, int max)
{
    if (cell.empty() || cell.size() > 2) return false;
    for (char c : cell)
        if (c < '0' || c > '9') return false;
    return std::stoi(cell) <= max;
}

} // namespace

std::string CompactTime(const std::string& entry)
{
    const std::string head = entry.substr(0, 5);
    const std::size_t colon = head.find(':');
    if (colon == std::string::npos) return {};
    const std::string t = TimeFromCells(head.substr(0, colon), head.substr(colon + 1));
    return t.empty() ? std::string() : t.substr(0, 2) + t.substr(3, 2);
}

std::string TimeTable::RowLabel(int index)
{
    return Digits(index + 1, 2);
}

void TimeTable::Clear()
{
    for (auto& r : rows)
        r = TimeRow{};
    Changed();
}

std::vector<std::string> TimeTable::Entries() const
{
    std::vector<std::string> entries;
    for (const auto& r : rows) {
        const std::string time = TimeFromCells(r.hour, r.minute);
        if (time.empty())
            entries.emplace_back();
        else if (kind_ == Kind::Bell)
            entries.push_back(time + ",01");
        else
            entries.push_back(time + (UCase(r.direction) == "IN" ? ",01" : ",00"));
    }
    return entries;
}

void TimeTable::Show(const std::vector<std::string>& entries)
{
    for (int i = 0; i < kRows; ++i) {
        TimeRow& r = rows[static_cast<std::size_t>(i)];
        const std::string e =
            i < static_cast<int>(entries.size()) ? entries[static_cast<std::size_t>(i)] : "";
        const std::string time = CompactTime(e);
        const std::string code = e.size() >= 2 ? e.substr(e.size() - 2) : "";
        const bool active = kind_ == Kind::Bell
                                ? code == "01"
                                : std::string("A00A01").find("A" + code) != std::string::npos;
        if (!e.empty() && active && time.size() == 4) {
            r.hour = time.substr(0, 2);
            r.minute = time.substr(2, 2);
            if (kind_ == Kind::InOut) r.direction = Val(code) == 0 ? "Out" : "In";
        } else {
            r.hour = r.minute = "  ";
            r.direction.clear();
        }
        r.grey = false;
    }
    Changed();
}

void TimeTable::SetAllGrey(bool grey)
{
    for (auto& r : rows)
        r.grey = grey;
    Changed();
}

bool TimeTable::Save(const std::string& path, std::string* error) const
{
    std::string text;
    for (const auto& r : rows) {
        text += r.hour + "," + r.minute;
        if (kind_ == Kind::InOut) text += "," + r.direction;
        text += "\r\n";
    }
    return ReplaceFile(path, text, error);
}

int TimeTable::Load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return -1;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return LoadText(text);
}

int TimeTable::LoadText(std::string_view text)
{
    for (auto& r : rows)
        r = TimeRow{};
    int invalid = 0;
    std::size_t at = 0;
    for (int i = 0; i < kRows && at < text.size(); ++i) {
        std::size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos) end = text.size();
        const std::string line(text.substr(at, end - at));
        at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        const auto f = SplitComma(line);
        const std::string hour = f.size() > 0 ? Trim(f[0]) : "";
        const std::string minute = f.size() > 1 ? Trim(f[1]) : "";
        if (hour.empty() && minute.empty()) continue; // an empty row, as Save writes one
        // A bell row takes exactly two digits each; a schedule row any valid time.
        const bool valid = kind_ == Kind::Bell ? IsTimeCell(hour, 23) && hour.size() == 2 &&
                                                     IsTimeCell(minute, 59) && minute.size() == 2
                                               : !TimeFromCells(hour, minute).empty();
        if (!valid) {
            ++invalid;
            continue;
        }
        TimeRow& r = rows[static_cast<std::size_t>(i)];
        const std::string time = TimeFromCells(hour, minute);
        r.hour = time.substr(0, 2);
        r.minute = time.substr(3, 2);
        if (kind_ == Kind::InOut)
            r.direction = UCase(Trim(f.size() > 2 ? f[2] : "")) == "IN" ? "In" : "Out";
    }
    Changed();
    return invalid;
}

} // namespace px
