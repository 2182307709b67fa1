#include "CmdSwitch.h"

#include "VbText.h"

namespace px {

namespace {

std::string WithoutBlanks(const std::string& s)
{
    std::string out;
    for (char c : s)
        if (c != ' ') out += c;
    return out;
}

// Whether the text from..to (inclusive), its blanks left out, is exactly name. Stops at the first
// difference: a long gap between a switch's first and last character costs no copy.
bool SpellsIgnoringBlanks(const std::string& text, std::size_t from, std::size_t to,
                          const std::string& name)
{
    std::size_t n = 0;
    for (std::size_t i = from; i <= to; ++i) {
        if (text[i] == ' ') continue;
        if (n == name.size() || text[i] != name[n]) return false;
        ++n;
    }
    return n == name.size();
}

} // namespace

std::string GetCmdSwitch(const std::string& commandLine, const std::string& rawName, bool flagOnly)
{
    std::string name = WithoutBlanks(UCase(Trim(rawName)));
    const std::string cmd = UCase(Trim(commandLine));
    if (name.empty() || cmd.empty()) return {};
    for (std::size_t c = 0; c < cmd.size(); ++c) {
        const std::size_t d = cmd.find(name.front(), c);
        if (d == std::string::npos) return {};
        const std::size_t e = cmd.find(name.back(), d + name.size() - 1);
        if (e == std::string::npos) return {};
        // Every start before d finds this same d: go on from the next one.
        c = d;
        if (!SpellsIgnoringBlanks(cmd, d, e, name)) continue;
        if (flagOnly) return name;
        const std::string rest = Trim(cmd.substr(e + 1));
        std::size_t end = rest.find(' ');
        if (end == std::string::npos) end = rest.find('/');
        return Trim(rest.substr(0, end));
    }
    return {};
}

} // namespace px
