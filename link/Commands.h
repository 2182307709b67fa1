// Command texts of the control's protocol methods and the readings of their replies, as pure
// functions. A builder returns nullopt for arguments outside the command's fixed format, so that
// nothing malformed ever reaches a terminal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace serlo::cmd {

// Longest password: the command with its terminator must fit 20 bytes.
inline constexpr std::size_t kMaxPassword = 18;

std::optional<std::string> Polling(int id);
std::optional<std::string> SetID(int id);
std::optional<std::string> Login(std::string_view password);
std::optional<std::string> SetPassword(std::string_view password);
std::optional<std::string> GetRecord(int number);
std::optional<std::string> EraseRecord(int number);
std::optional<std::string> WriteRecord(int number, std::string_view data);
std::optional<std::string> GetRegister(int addr);
std::optional<std::string> SetRegister(int addr, std::string_view param);
std::optional<std::string> SetTime(int year, int month, int day, int hour, int minute, int second,
                                   int week);
std::optional<std::string> GetFileInfo(int index);
// "FN", "FD", "FM", "FX", "ZX", "UX", "UY" followed by a path or file name.
std::optional<std::string> WithPath(std::string_view prefix, std::string_view path);

// The second login command of a challenge reply ("N" + c1 + c2 in hex): the response bytes
// (c1 - hi) mod 256 and c2 xor lo as four upper-case hex digits; nullopt when the reply carries
// no challenge.
std::optional<std::string> ChallengeResponse(std::string_view reply, int hiCode, int loCode);

// Hexadecimal reply digits read one by one: "0".."9" are 0..9, every other character c is
// (code of c) - 55, so "A".."F" give 10..15.
std::int64_t HexDigits(std::string_view digits);
// Decimal reply digits read as (code of c) - 48 each, unchecked.
std::int64_t DecDigits(std::string_view digits);

} // namespace serlo::cmd
