#include "VbText.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace px {

double Val(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    std::string number;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) number += text[i++];
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9')
            number += c;
        else if (c == '.' && !point) {
            point = true;
            number += c;
        } else
            break;
    }
    return std::strtod(number.c_str(), nullptr);
}

bool IsNumeric(std::string_view text)
{
    const std::string t = Trim(text);
    if (t.empty()) return false;
    char* end = nullptr;
    (void)std::strtod(t.c_str(), &end); // only where the number ends matters
    // strtod also takes "inf", "nan" and hexadecimal forms; a plain number starts like one.
    const char first = t[0];
    const bool plainStart = std::isdigit(static_cast<unsigned char>(first)) || first == '+' ||
                            first == '-' || first == '.';
    return plainStart && end && *end == '\0' && t.find_first_of("xXnN") == std::string::npos;
}

bool ToBool(std::string_view text)
{
    const std::string t = UCase(Trim(text));
    if (t == "TRUE") return true;
    if (t == "FALSE" || t.empty()) return false;
    return IsNumeric(t) && std::strtod(t.c_str(), nullptr) != 0.0;
}

std::string Trim(std::string_view text)
{
    return std::string(chars::TrimBlanks(text));
}

std::string Digits(long value, int width)
{
    char buffer[32];
    // Wide enough for any long: the result is never cut.
    (void)std::snprintf(buffer, sizeof buffer, "%0*ld", width, value);
    return buffer;
}

std::string UCase(std::string_view text)
{
    std::string out(text);
    for (auto& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

} // namespace px
