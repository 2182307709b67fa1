#include "SettingsString.h"

namespace serlo {

namespace {

int DigitAt(std::string_view text, std::size_t pos)
{
    if (pos >= text.size() || text[pos] < '0' || text[pos] > '9') return 0;
    return text[pos] - '0';
}

} // namespace

std::optional<Framing> ParseSettings(std::string_view text)
{
    if (text.empty()) return std::nullopt;
    Framing f;
    switch (text[0]) {
    case 'N':
    case 'n':
        f.parity = 0;
        break;
    case 'O':
    case 'o':
        f.parity = 1;
        break;
    case 'E':
    case 'e':
        f.parity = 2;
        break;
    case 'M':
    case 'm':
        f.parity = 3;
        break;
    case 'S':
    case 's':
        f.parity = 4;
        break;
    default:
        return std::nullopt;
    }
    f.dataBits = DigitAt(text, 2);
    f.stopCode = DigitAt(text, 4);
    return f;
}

} // namespace serlo
