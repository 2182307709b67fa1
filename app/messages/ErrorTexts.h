// The numbered error texts of the error dialog: message code -> language text and English default.
#pragma once

#include <string>

namespace px {

class Texts;

// The text of message code n; code 21 names the machine ID of the terminal currently open.
std::string ErrorText(int n, const Texts& texts, int currentMachineId);

// Wraps a text so that no line is wider than width - 50 in the given measure: characters are
// added one by one and the character that makes a line too wide ends it; lines joined with CR.
template <typename Measure>
std::string AdjustWidth(const std::string& text, int width, Measure measure)
{
    const int limit = width - 50;
    std::string out, line;
    for (std::size_t i = 0; i < text.size();) {
        // One whole UTF-8 character at a time.
        std::size_t n = 1;
        while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80)
            ++n;
        line.append(text, i, n);
        i += n;
        if (measure(line) > limit) {
            if (!out.empty()) out += '\r';
            out += line;
            line.clear();
        }
    }
    if (!line.empty()) {
        if (!out.empty()) out += '\r';
        out += line;
    }
    return out;
}

} // namespace px
