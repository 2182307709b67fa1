// ASCII character tests of the formatter, independent of the C locale.
#pragma once

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

} // namespace px::chars
