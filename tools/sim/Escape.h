// Byte escaping for the log lines and for the TEXT arguments of control commands.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sim {

// Bytes below 0x20, above 0x7E and the backslash become \xNN (upper-case hex).
std::string escapeBytes(std::string_view bytes);

// Understands \xNN, \r, \n, \t and \\; nullopt on a malformed escape.
std::optional<std::string> unescapeText(std::string_view text);

} // namespace sim
