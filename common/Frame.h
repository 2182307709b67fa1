// The terminal frame: STX, text, optional two-digit checksum, CR. Pure functions over bytes,
// shared by the link library and the main program.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace px::frame {

inline constexpr char STX = 2;
inline constexpr char CR = 13;

// Sum of the character codes modulo 256.
std::uint8_t Sum(std::string_view text);
// The checksum as two upper-case hexadecimal digits ("0A", "00").
std::string Checksum(std::string_view text);
// A byte as two upper-case hexadecimal digits, as commands carry IDs and register values.
std::string HexByte(std::uint8_t value);
// STX + text [+ checksum] + CR.
std::string Build(std::string_view text, bool withChecksum);
// Value of two hexadecimal digits (either case), or -1 when they are not both hex digits.
int HexPair(char high, char low);

} // namespace px::frame
