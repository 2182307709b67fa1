#include "TsTableLine.h"

namespace px {

namespace {

std::string TwoCharacters(const std::string& text)
{
    if (text == "XX") return text;
    const std::string padded = "00" + text;
    return padded.substr(padded.size() - 2);
}

bool Valid(const std::string& s, int max)
{
    return s == "XX" ||
           (s[0] >= '0' && s[0] <= '9' && s[1] >= '0' && s[1] <= '9' && std::stoi(s) < max);
}

} // namespace

TsCells ParseTsTableLine(std::string line)
{
    if (!line.empty() && line.back() == '\r') line.pop_back();
    line += "XXXXXXXXXX";
    TsCells cells{TwoCharacters(line.substr(0, 2)), TwoCharacters(line.substr(3, 2))};
    if (!Valid(cells.hour, 24) || !Valid(cells.minute, 60)) return {};
    return cells;
}

} // namespace px
