// Text conversions with the forgiving rules the program's settings and fields have always had:
// a number is read from the leading characters that form one, a Boolean from a word or a number.
#pragma once

#include "CharClass.h"

#include <string>
#include <string_view>

namespace px {

using chars::SplitComma;

// Leading blanks skipped, then an optional sign, digits and one decimal point; reading stops at
// the first other character. "12abc" is 12, "abc" is 0, " -1.5x" is -1.5.
double Val(std::string_view text);
// The whole text (blanks around it allowed) is a decimal number, with optional sign, fraction
// and exponent.
bool IsNumeric(std::string_view text);
// True/False words (any case), or a number where non-zero is true; anything else is nullopt's
// stand-in: false.
bool ToBool(std::string_view text);
std::string Trim(std::string_view text);
// A number with leading zeros to at least width digits: Digits(7, 3) is "007", Digits(-5, 3)
// "-05".
std::string Digits(long value, int width);
// A machine ID as the files write it: "007".
inline std::string ThreeDigits(int value)
{
    return Digits(value, 3);
}
std::string UCase(std::string_view text);

} // namespace px
