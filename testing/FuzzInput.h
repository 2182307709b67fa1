// Shared by the libFuzzer targets: the input cut into lines, and a check that stops the run.
#pragma once

#include <string_view>

namespace px::fuzz {

// The text up to the next line break; rest keeps what follows it.
inline std::string_view Cut(std::string_view& rest)
{
    const std::size_t nl = rest.find('\n');
    const std::string_view head = rest.substr(0, nl);
    rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
    return head;
}

// A broken promise is a crash the fuzzer keeps, like any other.
inline void Check(bool ok)
{
    if (!ok) __builtin_trap();
}

} // namespace px::fuzz
