// The "Settings" text of the control ("N,8,1"): parity letter at position 1, data bits at 3,
// stop-bit code at 5. Positions are fixed; the separators are not examined.
#pragma once

#include <optional>
#include <string_view>

namespace serlo {

struct Framing {
    int parity = 0; // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int dataBits = 8;
    int stopCode = 1;
};

// nullopt when the first character is not a parity letter (N, O, E, M, S in either case). A
// missing or non-digit position reads as 0, which the link then refuses as a data-bit count.
std::optional<Framing> ParseSettings(std::string_view text);

} // namespace serlo
