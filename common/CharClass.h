// ASCII character tests, the two trims and the comma split, independent of the C locale and
// free of Qt, shared by the record formatter, the INI module and the program's text conversions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace px::chars {

inline char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
inline bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}
inline bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The program's trim of template and format texts removes spaces only: a TAB there is data
// (templates use it as a separator).
inline std::string_view TrimSpaces(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

// Settings, fields and INI values are trimmed of spaces and TABs.
inline std::string_view TrimBlanks(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// The fields between commas, as many as there are commas plus one ("" gives one empty field).
inline std::vector<std::string> SplitComma(std::string_view text)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        fields.emplace_back(text.substr(start, comma - start));
        if (comma == std::string_view::npos) return fields;
        start = comma + 1;
    }
}

} // namespace px::chars
