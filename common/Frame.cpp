#include "Frame.h"

namespace px::frame {

std::uint8_t Sum(std::string_view text)
{
    unsigned sum = 0;
    for (unsigned char c : text)
        sum = (sum + c) & 0xFF;
    return static_cast<std::uint8_t>(sum);
}

std::string Checksum(std::string_view text)
{
    return HexByte(Sum(text));
}

std::string HexByte(std::uint8_t value)
{
    static const char kHex[] = "0123456789ABCDEF";
    return {kHex[value >> 4], kHex[value & 0xF]};
}

std::string Build(std::string_view text, bool withChecksum)
{
    std::string out;
    out.reserve(text.size() + 4);
    out += STX;
    out += text;
    if (withChecksum) out += Checksum(text);
    out += CR;
    return out;
}

int HexPair(char high, char low)
{
    auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    const int h = digit(high), l = digit(low);
    return (h < 0 || l < 0) ? -1 : h * 16 + l;
}

} // namespace px::frame
