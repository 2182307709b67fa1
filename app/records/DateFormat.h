// The one date-pattern formatter of the program: file names, log lines, backup names and record
// fields all format dates here, so a pattern means the same everywhere. Qt-free and without
// I/O, so it is tested with tables and fuzzed on its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace px {

// A calendar date and/or a time of day. A value without a date part formats its date tokens as
// day zero of the date serial (1899/12/30); a value without a time part as 00:00:00.
struct DateTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    bool hasDate = false;
    bool hasTime = false;

    friend bool operator==(const DateTime&, const DateTime&) = default;
};

DateTime MakeDate(int year, int month, int day);
DateTime MakeDateTime(int year, int month, int day, int hour, int minute, int second);

bool IsValidDate(int year, int month, int day);
bool IsValidTime(int hour, int minute, int second);

// "YYYY/MM/DD" or "YYYY-MM-DD" (month and day may have one digit), "hh:mm" or "hh:mm:ss" (one
// or two digits each), or a date, blanks and a time. Surrounding blanks are ignored. Anything
// else, and impossible values (2026/02/30, 25:00), give nullopt.
std::optional<DateTime> ParseDateTime(std::string_view text);

// Current local date and time, both parts present.
DateTime Now();

// 1 = Sunday .. 7 = Saturday; 0 for a value without a valid date.
int Weekday(const DateTime& value);
// Seconds added to a date and time (negative to go back), across days, months and years; the
// result has both parts.
DateTime AddSeconds(const DateTime& value, long long seconds);

// Pattern of the named format "Short Date", set by the program from the system's locale.
inline constexpr std::string_view kDefaultShortDate = "YYYY/MM/DD";
void SetShortDatePattern(std::string_view pattern);
const std::string& ShortDatePattern();

// Turns a locale's short date format written with d/M/y letters (for example "dd.MM.yyyy" or
// "M/d/yy") into a pattern of this module; empty when it names no date token.
std::string ShortDatePatternFromLocale(std::string_view localeFormat);

// Tokens, letters in any case: YYYY, YY, MM (minutes when the previous token was an hour token),
// DD, HH, NN, SS; every other character is copied. The whole pattern "General Date" (also an
// empty pattern) or "Short Date" names a format.
std::string FormatDate(const DateTime& value, std::string_view pattern);
void AppendFormattedDate(std::string& out, const DateTime& value, std::string_view pattern);

// A date/time given as text; a text that is not a valid date or time comes back unchanged.
std::string FormatDateText(std::string_view value, std::string_view pattern);
void AppendFormattedDateText(std::string& out, std::string_view value, std::string_view pattern);

// The escapes of template literals: "\\" gives one backslash, "\t" or "\T" a TAB; any other
// backslash stays.
std::string ApplyTextEscapes(std::string_view text);
void AppendTextEscapes(std::string& out, std::string_view text);

// Fills the date placeholder of a file-name or subject template, for example "Rec{Date}.txt"
// with placeholder "{Date#}". A group may carry its own pattern in quotes ({Date,'YYYYMM'});
// other groups are deleted. Text inserted for a group is never read as a placeholder again.
std::string ExpandDate(std::string_view text, std::string_view placeholder, std::string_view value,
                       std::string_view defaultPattern);
std::string ExpandDate(std::string_view text, std::string_view placeholder, const DateTime& value,
                       std::string_view defaultPattern);

} // namespace px
