// The GNU-style long options: --help, --version, --export FROM TO [--terminal ID] [--type NAME]
// [--out FILE] and --archive-status. A command line whose first argument starts with "--" is
// read as options only, never searched for the "/S"-style switches, so any path is safe as a
// value. Parsing only; the program decides what each command does.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace px {

struct LongOptions {
    enum class Command { None, Help, Version, Export, ArchiveStatus };
    Command command = Command::None;
    std::string from, to; // --export FROM TO, "YYYY-MM-DD"
    std::optional<int> terminal;
    std::string type;
    std::optional<std::string> out; // "-" is standard output, as no --out
    std::string error;              // not empty: a usage error, named for the user
};

// Whether the arguments (without the program name) are options: the first starts with "--".
bool IsOptionLine(const std::vector<std::string>& args);

LongOptions ParseLongOptions(const std::vector<std::string>& args);

// The text of --help. exe is "px740", title "PX740".
std::string Usage(const std::string& exe, const std::string& title);

} // namespace px
