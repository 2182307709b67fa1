#include "Commands.h"

#include "Frame.h"

#include <cstdio>

namespace serlo::cmd {

namespace {

// Text arguments go inside a frame: an STX or CR in them would cut the frame short.
bool FitsInFrame(std::string_view text)
{
    return text.find(px::frame::STX) == std::string_view::npos &&
           text.find(px::frame::CR) == std::string_view::npos;
}

std::string Format(const char* format, int value)
{
    char buffer[32];
    (void)std::snprintf(buffer, sizeof buffer, format, value); // one int: always fits
    return buffer;
}

bool IsByte(int v)
{
    return v >= 0 && v <= 255;
}

std::string Prefixed(std::string_view prefix, std::string_view text)
{
    std::string out;
    out.reserve(prefix.size() + text.size());
    out.append(prefix).append(text);
    return out;
}

} // namespace

std::optional<std::string> Polling(int id)
{
    if (!IsByte(id)) return std::nullopt;
    return Format("D%02X", id);
}

std::optional<std::string> SetID(int id)
{
    if (!IsByte(id)) return std::nullopt;
    return Format("I%02X", id);
}

std::optional<std::string> Login(std::string_view password)
{
    if (password.size() > kMaxPassword || !FitsInFrame(password)) return std::nullopt;
    return Prefixed("L", password);
}

std::optional<std::string> SetPassword(std::string_view password)
{
    if (password.size() > kMaxPassword || !FitsInFrame(password)) return std::nullopt;
    return Prefixed("P", password);
}

std::optional<std::string> GetRecord(int number)
{
    if (number < 0 || number > 0x7FFF) return std::nullopt;
    return Format("G%04X", number);
}

std::optional<std::string> EraseRecord(int number)
{
    if (number < 0) return std::string("E"); // the whole database
    if (number > 0x7FFF) return std::nullopt;
    return Format("E%04X", number);
}

std::optional<std::string> WriteRecord(int number, std::string_view data)
{
    if (number < 0 || number > 0x7FFF || !FitsInFrame(data)) return std::nullopt;
    return Format("W%04x,", number) + std::string(data);
}

std::optional<std::string> GetRegister(int addr)
{
    if (!IsByte(addr)) return std::nullopt;
    return Format("B%02X", addr);
}

std::optional<std::string> SetRegister(int addr, std::string_view param)
{
    if (!IsByte(addr) || !FitsInFrame(param)) return std::nullopt;
    return Format("C%02X,", addr) + std::string(param);
}

std::optional<std::string> SetTime(int year, int month, int day, int hour, int minute, int second,
                                   int week)
{
    auto within = [](int v, int max) { return v >= 0 && v <= max; };
    if (!within(year, 9999) || !within(month, 99) || !within(day, 99) || !within(hour, 99) ||
        !within(minute, 99) || !within(second, 99) || !within(week, 9))
        return std::nullopt;
    char buffer[32];
    // The ranges are checked above: the command always fits.
    (void)std::snprintf(buffer, sizeof buffer, "S%04d%02d%02d%02d%02d%02d%d", year, month, day,
                        hour, minute, second, week);
    return std::string(buffer);
}

std::optional<std::string> GetFileInfo(int index)
{
    if (index < 0) return std::nullopt;
    return Format("FI%d", index);
}

std::optional<std::string> WithPath(std::string_view prefix, std::string_view path)
{
    if (!FitsInFrame(path)) return std::nullopt;
    return Prefixed(prefix, path);
}

std::optional<std::string> ChallengeResponse(std::string_view reply, int hiCode, int loCode)
{
    if (reply.size() < 5 || reply[0] != 'N') return std::nullopt;
    const int c1 = px::frame::HexPair(reply[1], reply[2]);
    const int c2 = px::frame::HexPair(reply[3], reply[4]);
    if (c1 < 0 || c2 < 0) return std::nullopt;
    const int r1 = (c1 - hiCode) & 0xFF;
    const int r2 = (c2 ^ loCode) & 0xFF;
    return px::frame::HexByte(static_cast<std::uint8_t>(r1)) +
           px::frame::HexByte(static_cast<std::uint8_t>(r2));
}

std::int64_t HexDigits(std::string_view digits)
{
    std::int64_t value = 0;
    for (unsigned char c : digits) {
        const int d = (c >= '0' && c <= '9') ? c - '0' : c - 55;
        value = value * 16 + d;
        if (value > (std::int64_t{1} << 40) || value < -(std::int64_t{1} << 40))
            break; // a runaway reply cannot overflow
    }
    return value;
}

std::int64_t DecDigits(std::string_view digits)
{
    std::int64_t value = 0;
    for (unsigned char c : digits) {
        value = value * 10 + (c - 48);
        if (value > (std::int64_t{1} << 40) || value < -(std::int64_t{1} << 40)) break;
    }
    return value;
}

} // namespace serlo::cmd
