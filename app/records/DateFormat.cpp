#include "DateFormat.h"

#include "CharClass.h"

#include <chrono>
#include <ctime>
#include <vector>

namespace px {
namespace {

constexpr auto npos = std::string_view::npos;

// The proleptic Gregorian date of the standard library; months and days past their end roll
// over when turned into days.
std::chrono::year_month_day CivilDate(int year, int month, int day)
{
    return std::chrono::year{year} / std::chrono::month{static_cast<unsigned>(month)} /
           std::chrono::day{static_cast<unsigned>(day)};
}

using chars::IsBlank;
using chars::IsDigit;
using chars::TrimSpaces;
using chars::Upper;

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

// Values come from callers and may be out of range; never index past a buffer or overflow.
void AppendNumber(std::string& out, long long v, int minDigits)
{
    char buf[24];
    int n = 0;
    const bool negative = v < 0;
    unsigned long long u =
        negative ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    do {
        buf[n++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u != 0);
    while (n < minDigits)
        buf[n++] = '0';
    if (negative) out.push_back('-');
    while (n > 0)
        out.push_back(buf[--n]);
}

void AppendTwo(std::string& out, int v)
{
    if (v >= 0 && v < 100) {
        out.push_back(static_cast<char>('0' + v / 10));
        out.push_back(static_cast<char>('0' + v % 10));
    } else {
        AppendNumber(out, v, 2);
    }
}

// Reads 1 to maxDigits digits at s[i].
bool ReadNumber(std::string_view s, std::size_t& i, std::size_t minDigits, std::size_t maxDigits,
                int& value)
{
    std::size_t n = 0;
    int v = 0;
    while (i < s.size() && IsDigit(s[i]) && n < maxDigits) {
        v = v * 10 + (s[i] - '0');
        ++i;
        ++n;
    }
    if (n < minDigits || (i < s.size() && IsDigit(s[i]))) return false;
    value = v;
    return true;
}

bool ParseDatePart(std::string_view s, std::size_t& i, DateTime& v)
{
    std::size_t k = i;
    int y = 0, m = 0, d = 0;
    if (!ReadNumber(s, k, 4, 4, y) || k >= s.size() || (s[k] != '/' && s[k] != '-')) return false;
    const char sep = s[k++];
    if (!ReadNumber(s, k, 1, 2, m) || k >= s.size() || s[k] != sep) return false;
    ++k;
    if (!ReadNumber(s, k, 1, 2, d) || !IsValidDate(y, m, d)) return false;
    v.year = y;
    v.month = m;
    v.day = d;
    v.hasDate = true;
    i = k;
    return true;
}

bool ParseTimePart(std::string_view s, std::size_t& i, DateTime& v)
{
    std::size_t k = i;
    int h = 0, m = 0, sec = 0;
    if (!ReadNumber(s, k, 1, 2, h) || k >= s.size() || s[k] != ':') return false;
    ++k;
    if (!ReadNumber(s, k, 1, 2, m)) return false;
    if (k < s.size() && s[k] == ':') {
        ++k;
        if (!ReadNumber(s, k, 1, 2, sec)) return false;
    }
    if (!IsValidTime(h, m, sec)) return false;
    v.hour = h;
    v.minute = m;
    v.second = sec;
    v.hasTime = true;
    i = k;
    return true;
}

std::string& ShortDateSetting()
{
    static std::string pattern(kDefaultShortDate);
    return pattern;
}

constexpr std::string_view kTimePattern = "hh:nn:ss";

void AppendTokens(std::string& out, const DateTime& v, std::string_view p)
{
    // MM means minutes after an hour token, also across literals as in "HH:MM".
    bool afterHour = false;
    std::size_t i = 0;
    const std::size_t n = p.size();
    const auto same = [&](std::size_t from, std::size_t count, char letter) {
        if (from + count > n) return false;
        for (std::size_t k = from; k < from + count; ++k)
            if (Upper(p[k]) != letter) return false;
        return true;
    };
    while (i < n) {
        const char u = Upper(p[i]);
        if (u == 'Y' && same(i, 4, 'Y')) {
            AppendNumber(out, v.year, 4);
            i += 4;
            afterHour = false;
            continue;
        }
        if ((u == 'Y' || u == 'M' || u == 'D' || u == 'H' || u == 'N' || u == 'S') &&
            same(i, 2, u)) {
            switch (u) {
            case 'Y':
                AppendTwo(out, ((v.year % 100) + 100) % 100);
                break;
            case 'M':
                AppendTwo(out, afterHour ? v.minute : v.month);
                break;
            case 'D':
                AppendTwo(out, v.day);
                break;
            case 'H':
                AppendTwo(out, v.hour);
                break;
            case 'N':
                AppendTwo(out, v.minute);
                break;
            default:
                AppendTwo(out, v.second);
                break;
            }
            afterHour = u == 'H';
            i += 2;
            continue;
        }
        out.push_back(p[i]);
        ++i;
    }
}

} // namespace

DateTime MakeDate(int year, int month, int day)
{
    DateTime v;
    v.year = year;
    v.month = month;
    v.day = day;
    v.hasDate = true;
    return v;
}

DateTime MakeDateTime(int year, int month, int day, int hour, int minute, int second)
{
    DateTime v = MakeDate(year, month, day);
    v.hour = hour;
    v.minute = minute;
    v.second = second;
    v.hasTime = true;
    return v;
}

bool IsValidDate(int year, int month, int day)
{
    // Checked before the conversion: chrono's day keeps only the low byte.
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31) return false;
    return CivilDate(year, month, day).ok();
}

bool IsValidTime(int hour, int minute, int second)
{
    return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

std::optional<DateTime> ParseDateTime(std::string_view text)
{
    text = chars::TrimBlanks(text);
    DateTime v;
    std::size_t i = 0;
    if (ParseDatePart(text, i, v)) {
        if (i == text.size()) return v;
        if (!IsBlank(text[i])) return std::nullopt;
        while (i < text.size() && IsBlank(text[i]))
            ++i;
    }
    if (ParseTimePart(text, i, v) && i == text.size()) return v;
    return std::nullopt;
}

DateTime Now()
{
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return MakeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                        tm.tm_sec);
}

int Weekday(const DateTime& value)
{
    if (!value.hasDate || !IsValidDate(value.year, value.month, value.day)) return 0;
    const std::chrono::weekday wd{
        std::chrono::sys_days{CivilDate(value.year, value.month, value.day)}};
    return static_cast<int>(wd.c_encoding()) + 1;
}

DateTime AddSeconds(const DateTime& v, long long seconds)
{
    using namespace std::chrono;
    const sys_seconds start = sys_days{CivilDate(v.year, v.month, v.day)} + hours{v.hour} +
                              minutes{v.minute} + std::chrono::seconds{v.second};
    const sys_seconds end = start + std::chrono::seconds{seconds};
    const sys_days day = floor<days>(end);
    const year_month_day ymd{day};
    const hh_mm_ss<std::chrono::seconds> time{end - day};
    return MakeDateTime(
        static_cast<int>(ymd.year()), static_cast<int>(unsigned(ymd.month())),
        static_cast<int>(unsigned(ymd.day())), static_cast<int>(time.hours().count()),
        static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()));
}

void SetShortDatePattern(std::string_view pattern)
{
    ShortDateSetting() = pattern.empty() ? kDefaultShortDate : pattern;
}

const std::string& ShortDatePattern()
{
    return ShortDateSetting();
}

std::string ShortDatePatternFromLocale(std::string_view f)
{
    std::string out;
    bool anyToken = false;
    std::size_t i = 0;
    while (i < f.size()) {
        const char c = f[i];
        if (c == '\'') { // quoted literal; '' is one apostrophe
            const std::size_t end = f.find('\'', i + 1);
            if (end == i + 1)
                out.push_back('\'');
            else
                out.append(f.substr(i + 1, (end == npos ? f.size() : end) - i - 1));
            i = end == npos ? f.size() : end + 1;
            continue;
        }
        std::size_t run = 1;
        while (i + run < f.size() && f[i + run] == c)
            ++run;
        const bool token = c == 'y' || c == 'M' || (c == 'd' && run <= 2);
        if (c == 'y')
            out += run >= 3 ? "YYYY" : "YY";
        else if (c == 'M')
            out += "MM";
        else if (c == 'd' && run <= 2)
            out += "DD";
        else if (c != 'd')
            out.append(f.substr(i, run)); // weekday names have no token
        anyToken = anyToken || token;
        i += run;
    }
    return anyToken ? out : std::string();
}

void AppendFormattedDate(std::string& out, const DateTime& value, std::string_view pattern)
{
    const std::string_view named = TrimSpaces(pattern);
    if (named.empty() || EqualNoCase(named, "General Date")) {
        const bool date = value.hasDate;
        const bool time = value.hasTime || !value.hasDate;
        if (date) AppendTokens(out, value, ShortDateSetting());
        if (date && time) out.push_back(' ');
        if (time) AppendTokens(out, value, kTimePattern);
        return;
    }
    if (EqualNoCase(named, "Short Date")) {
        AppendTokens(out, value, ShortDateSetting());
        return;
    }
    AppendTokens(out, value, pattern);
}

std::string FormatDate(const DateTime& value, std::string_view pattern)
{
    std::string out;
    AppendFormattedDate(out, value, pattern);
    return out;
}

void AppendFormattedDateText(std::string& out, std::string_view value, std::string_view pattern)
{
    if (const auto v = ParseDateTime(value))
        AppendFormattedDate(out, *v, pattern);
    else
        out.append(value);
}

std::string FormatDateText(std::string_view value, std::string_view pattern)
{
    std::string out;
    AppendFormattedDateText(out, value, pattern);
    return out;
}

void AppendTextEscapes(std::string& out, std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            const char next = text[i + 1];
            if (next == '\\' || next == 't' || next == 'T') {
                out.push_back(next == '\\' ? '\\' : '\t');
                ++i;
                continue;
            }
        }
        out.push_back(c);
    }
}

std::string ApplyTextEscapes(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    AppendTextEscapes(out, text);
    return out;
}

std::string ExpandDate(std::string_view text, std::string_view placeholder, std::string_view value,
                       std::string_view defaultPattern)
{
    const std::string_view ph = TrimSpaces(placeholder);
    if (TrimSpaces(text).empty() || ph.size() < 2 || TrimSpaces(value).empty()) return {};
    const char open = Upper(ph.front());
    const char close = Upper(ph.back());
    std::string name;
    for (char c : ph.substr(1, ph.size() - 2))
        name.push_back(Upper(c));
    const bool isDate = !name.empty() && name.back() == '#';
    if (!name.empty() && (name.back() == '#' || name.back() == '%' || name.back() == '&'))
        name.pop_back();
    const std::string_view wanted = TrimSpaces(name);

    // Groups close innermost first; the stack holds the open braces of the original text only,
    // so text put in for a group can never form a new group and the loop always ends.
    std::string work;
    work.reserve(text.size() + 16);
    std::vector<std::size_t> opens;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        const char u = Upper(text[i]);
        if (u == close) {
            if (opens.empty()) break; // a close brace with no open one before it ends the scan
            const std::size_t p = opens.back();
            opens.pop_back();
            const std::string inner = work.substr(p + 1);
            work.resize(p);
            const std::size_t comma = inner.find(',');
            std::string groupName;
            for (char c : TrimSpaces(std::string_view(inner).substr(0, comma)))
                groupName.push_back(Upper(c));
            if (groupName != wanted) continue;
            if (!isDate) {
                work.append(value);
                continue;
            }
            const std::string_view option =
                comma == std::string::npos ? std::string_view()
                                           : TrimSpaces(std::string_view(inner).substr(comma + 1));
            if (option.find_first_of("\"'", 1) != npos) {
                // A two-character option such as '' holds no pattern: the general format.
                const std::string_view pattern =
                    option.size() > 2 ? option.substr(1, option.size() - 2) : std::string_view();
                AppendFormattedDateText(work, value, pattern);
            } else {
                AppendFormattedDateText(work, value, defaultPattern);
            }
            continue;
        }
        if (u == open) opens.push_back(work.size());
        work.push_back(text[i]);
    }
    work.append(text.substr(i));
    return ApplyTextEscapes(work);
}

std::string ExpandDate(std::string_view text, std::string_view placeholder, const DateTime& value,
                       std::string_view defaultPattern)
{
    // The text form keeps which parts the value has, so "General Date" shows only those.
    std::string asText;
    if (value.hasDate) AppendTokens(asText, value, "YYYY/MM/DD");
    if (value.hasDate && value.hasTime) asText.push_back(' ');
    if (value.hasTime || !value.hasDate) AppendTokens(asText, value, "HH:NN:SS");
    return ExpandDate(text, placeholder, asText, defaultPattern);
}

} // namespace px
