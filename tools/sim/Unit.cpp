#include "Unit.h"

#include "Frame.h"
#include "Records.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace sim {

namespace {

// Reason codes of "N" replies.
constexpr const char* kUnknownCommand = "N01";
constexpr const char* kMalformed = "N02";
constexpr const char* kNoRecord = "N03";
constexpr const char* kWrongPassword = "N04";
constexpr const char* kDatabaseFull = "N07";
constexpr const char* kBadChecksum = "N09";

std::optional<unsigned> parseHex(std::string_view s)
{
    if (s.empty()) return std::nullopt;
    unsigned v = 0;
    for (char c : s) {
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        if (d < 0) return std::nullopt;
        v = v * 16 + unsigned(d);
    }
    return v;
}

std::optional<int> parseDecimal(std::string_view s)
{
    if (s.empty() || s.size() > 9) return std::nullopt;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

std::string hex(unsigned value, int width)
{
    char buf[16];
    (void)std::snprintf(buf, sizeof buf, "%0*X", width, value); // at most 8 digits: fits
    return buf;
}

Reply plain(std::string text)
{
    return {std::move(text), false};
}
Reply summed(std::string text)
{
    return {std::move(text), true};
}

// The digits are checked first, so month and day fit chrono's types.
bool validDate(int year, int month, int day)
{
    return std::chrono::year_month_day{std::chrono::year{year},
                                       std::chrono::month{static_cast<unsigned>(month)},
                                       std::chrono::day{static_cast<unsigned>(day)}}
        .ok();
}

} // namespace

Unit::Unit(int id, std::vector<std::string> records)
    : id_(id), seedId_(id), records_(std::move(records))
{
    for (int r = 0; r < 256; ++r) {
        if ((r >= 2 && r <= 33) || (r >= 68 && r <= 99))
            registers_[r] = "0000";
        else if (r >= 100 && r <= 131)
            registers_[r] = "FF";
        else
            registers_[r] = "00";
    }
}

bool Unit::addGenerated(uint64_t count)
{
    if (count > kMaxRecords - records_.size()) return false;
    records_.reserve(records_.size() + count);
    for (uint64_t i = 0; i < count; ++i)
        records_.push_back(generatedRecord(seedId_, generated_++));
    return true;
}

// One case per terminal command letter, each a few lines: the switch reads as the command table.
// NOLINTNEXTLINE(readability-function-size)
std::optional<Reply> Unit::execute(std::string_view text, const Profile& profile)
{
    if (text.empty()) return plain(kUnknownCommand);
    const std::string_view arg = text.substr(1);
    switch (text[0]) {
    case 'D':
        return plain("A" + hex(unsigned(id_), 2) + profile.model);
    case 'V':
        if (!arg.empty()) return plain(kMalformed);
        return plain("A" + profile.version + (profile.ext.empty() ? "" : " " + profile.ext));
    case 'F':
        if (arg.empty()) return plain("A" + profile.version);
        if (arg[0] == 'I') {
            if (!parseDecimal(arg.substr(1))) return plain(kMalformed);
            return summed("A"); // the simulated file system is empty
        }
        if (arg[0] == 'N') return plain("A0");
        if (arg[0] == 'D' || arg[0] == 'M' || arg[0] == 'X') return plain("A");
        return plain(kUnknownCommand);
    case 'N':
        if (!arg.empty()) return plain(kMalformed);
        return summed("A" + hex(unsigned(std::min<size_t>(records_.size(), 0xFFFF)), 4));
    case 'G': {
        auto index = arg.size() == 4 ? parseHex(arg) : std::nullopt;
        if (!index) return plain(kMalformed);
        if (*index >= records_.size()) return plain(kNoRecord);
        return summed("A" + hex(*index, 4) + "," + records_[*index]);
    }
    case 'T':
        if (!arg.empty()) return plain(kMalformed);
        return plain("A" + clockText());
    case 'S':
        return setClock(arg);
    case 'B': {
        auto reg = arg.size() == 2 ? parseHex(arg) : std::nullopt;
        if (!reg) return plain(kMalformed);
        return summed("A" + registers_[*reg]);
    }
    case 'C': {
        auto reg = arg.size() >= 5 && arg[2] == ',' ? parseHex(arg.substr(0, 2)) : std::nullopt;
        if (!reg) return plain(kMalformed);
        if (!hasValidChecksum(text)) return plain(kBadChecksum);
        registers_[*reg] = std::string(arg.substr(3, arg.size() - 5));
        return plain("A");
    }
    case 'I': {
        auto id = arg.size() == 2 ? parseHex(arg) : std::nullopt;
        if (!id) return plain(kMalformed);
        id_ = int(*id);
        return plain("A");
    }
    case 'L':
        return login(arg, profile);
    case 'O':
    case 'R':
    case 'M':
        return plain(arg.empty() ? "A" : kMalformed);
    case 'P':
        if (arg.size() < 2) return plain(kMalformed);
        return plain(hasValidChecksum(text) ? "A" : kBadChecksum);
    case 'E':
        if (arg.empty()) {
            records_.clear();
            return plain("A");
        }
        return plain(arg.size() == 4 && parseHex(arg) ? "A" : kMalformed);
    case 'W': {
        auto index = arg.size() >= 7 && arg[4] == ',' ? parseHex(arg.substr(0, 4)) : std::nullopt;
        if (!index) return plain(kMalformed);
        if (!hasValidChecksum(text)) return plain(kBadChecksum);
        std::string body(arg.substr(5, arg.size() - 7));
        if (*index < records_.size()) {
            records_[*index] = std::move(body);
        } else {
            if (records_.size() >= kMaxRecords) return plain(kDatabaseFull);
            records_.push_back(std::move(body));
        }
        return plain("A");
    }
    default:
        return plain(kUnknownCommand);
    }
}

Reply Unit::login(std::string_view password, const Profile& profile)
{
    const bool expectResponse = challengeIssued_;
    challengeIssued_ = false;
    if (!profile.password || password == *profile.password) return plain("A");
    if (!profile.challenge) return plain(kWrongPassword);
    const Challenge& c = *profile.challenge;
    if (expectResponse) {
        std::string response = hex((c.c1 - c.hi) & 0xFF, 2) + hex((c.c2 ^ c.lo) & 0xFF, 2);
        if (password == response) return plain("A");
    }
    challengeIssued_ = true;
    std::string challenge = "N";
    challenge.append(hex(c.c1, 2)).append(hex(c.c2, 2));
    return plain(challenge);
}

Reply Unit::setClock(std::string_view digits)
{
    if (digits.size() != 15) return plain(kMalformed);
    for (char c : digits)
        if (c < '0' || c > '9') return plain(kMalformed);
    auto field = [&](size_t pos, size_t len) { return *parseDecimal(digits.substr(pos, len)); };
    std::tm tm{};
    tm.tm_year = field(0, 4) - 1900;
    tm.tm_mon = field(4, 2) - 1;
    tm.tm_mday = field(6, 2);
    tm.tm_hour = field(8, 2);
    tm.tm_min = field(10, 2);
    tm.tm_sec = field(12, 2);
    tm.tm_isdst = -1;
    const int year = tm.tm_year + 1900;
    if (year < 1970 || !validDate(year, tm.tm_mon + 1, tm.tm_mday) || tm.tm_hour > 23 ||
        tm.tm_min > 59 || tm.tm_sec > 59)
        return plain(kMalformed);
    const std::time_t wanted = std::mktime(&tm);
    if (wanted == std::time_t(-1)) return plain(kMalformed);
    clockOffset_ = int64_t(wanted) - int64_t(std::time(nullptr));
    return plain("A");
}

std::string Unit::clockText() const
{
    const std::time_t t = std::time_t(int64_t(std::time(nullptr)) + clockOffset_);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    (void)std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", tm.tm_year + 1900,
                        tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec); // fits
    return buf;
}

} // namespace sim
