// Date patterns, date/time text values and the date placeholder of names and subjects.
#include "DateFormat.h"

#include <gtest/gtest.h>

#include <cstdint>

using px::DateTime;
using px::ExpandDate;
using px::FormatDate;
using px::FormatDateText;

namespace {

const DateTime kMarch5 = px::MakeDateTime(2026, 3, 5, 8, 1, 2);

DateTime TimeOnly(int hour, int minute, int second)
{
    DateTime t;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    t.hasTime = true;
    return t;
}

// Restores the default short date after a test that changes it.
struct ShortDateGuard {
    ~ShortDateGuard() { px::SetShortDatePattern(px::kDefaultShortDate); }
};

} // namespace

TEST(ParseDateTime, AcceptedForms)
{
    struct Case {
        const char* text;
        DateTime expected;
    } cases[] = {
        {"2026/03/05", px::MakeDate(2026, 3, 5)},
        {"2026-03-05", px::MakeDate(2026, 3, 5)},
        {"2026/3/5", px::MakeDate(2026, 3, 5)},
        {"2024/02/29", px::MakeDate(2024, 2, 29)},
        {"2000-02-29", px::MakeDate(2000, 2, 29)},
        {"9999/12/31", px::MakeDate(9999, 12, 31)},
        {"2026/03/05 08:01:02", kMarch5},
        {"  2026-03-05\t 08:01:02  ", kMarch5},
        {"2026/03/05 8:01", px::MakeDateTime(2026, 3, 5, 8, 1, 0)},
        {"23:59:59", TimeOnly(23, 59, 59)},
        {"00:00", TimeOnly(0, 0, 0)},
    };
    for (const Case& c : cases) {
        const auto v = px::ParseDateTime(c.text);
        ASSERT_TRUE(v.has_value()) << c.text;
        EXPECT_EQ(*v, c.expected) << c.text;
    }
}

TEST(ParseDateTime, RejectedForms)
{
    const char* cases[] = {
        "",
        " ",
        "2026/02/30",
        "2025/02/29",
        "1900/02/29",
        "2026/13/01",
        "2026/00/10",
        "2026/04/31",
        "0000/01/01",
        "25:00",
        "24:00:00",
        "12:60",
        "12:30:60",
        "26/03/05",
        "2026/03-05",
        "2026.03.05",
        "20260305",
        "2026/03/05x",
        "2026/03/05 25:00",
        "2026/03/005",
        "12:345",
        "-1:00",
        "12:",
        ":30",
        "2026/03/05T08:01",
        "abc",
        "08:01:02 2026/03/05",
        "2026//03/05",
    };
    for (const char* text : cases)
        EXPECT_FALSE(px::ParseDateTime(text).has_value()) << text;
}

TEST(FormatDate, PatternsOfTheProgram)
{
    struct Case {
        const char* pattern;
        const char* expected;
    } cases[] = {
        {"YYYY/MM/DD", "2026/03/05"},
        {"hh:nn:ss", "08:01:02"},
        {"YYYYMMDD", "20260305"},
        {"YYYYDDMM", "20260503"},
        {"MMDDYYYY", "03052026"},
        {"DDMMYYYY", "05032026"},
        {"YYYY-MM-DD", "2026-03-05"},
        {"YYYY-DD-MM", "2026-05-03"},
        {"MM-DD-YYYY", "03-05-2026"},
        {"DD-MM-YYYY", "05-03-2026"},
        {"YYYY-MM", "2026-03"},
        {"YYYYMM.BAK", "202603.BAK"},
        {"YYYYMM.TXT", "202603.TXT"},
        {"MM/DD HH:nn", "03/05 08:01"},
        {"YYYYMMDD hh:nn", "20260305 08:01"},
        {"YYYY/MM/DD HH:NN:SS", "2026/03/05 08:01:02"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatDate(kMarch5, c.pattern), c.expected) << c.pattern;
}

TEST(FormatDate, Tokens)
{
    struct Case {
        const char* pattern;
        const char* expected;
    } cases[] = {
        {"yyyy-mm-dd", "2026-03-05"}, // tokens in any case
        {"YY", "26"},
        {"YYY", "26Y"},                 // no three-letter token: YY, then a literal
        {"Y M D H N S", "Y M D H N S"}, // single letters are literals
        {"hh:mm", "08:01"},             // MM after an hour token is minutes
        {"HH:MM:SS", "08:01:02"},
        {"hhmm", "0801"},
        {"HH:NN MM", "08:01 03"}, // after a minute token MM is the month again
        {"MM HH", "03 08"},
        {"HH DD MM", "08 05 03"},
        {"Date: DD", "Date: 05"},
        {"[YYYY]", "[2026]"},
        {"\\/:*?", "\\/:*?"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatDate(kMarch5, c.pattern), c.expected) << c.pattern;
}

TEST(FormatDate, NamedFormats)
{
    const DateTime dateOnly = px::MakeDate(2026, 3, 5);
    const DateTime timeOnly = TimeOnly(8, 1, 2);
    struct Case {
        DateTime value;
        const char* pattern;
        const char* expected;
    } cases[] = {
        {kMarch5, "General Date", "2026/03/05 08:01:02"},
        {kMarch5, "general date", "2026/03/05 08:01:02"},
        {kMarch5, "", "2026/03/05 08:01:02"},
        {dateOnly, "General Date", "2026/03/05"},
        {timeOnly, "General Date", "08:01:02"},
        {kMarch5, "Short Date", "2026/03/05"},
        {dateOnly, "SHORT DATE", "2026/03/05"},
        {timeOnly, "YYYY/MM/DD", "1899/12/30"}, // a value without date is day zero
        {dateOnly, "HH:NN:SS", "00:00:00"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatDate(c.value, c.pattern), c.expected) << c.pattern;
}

TEST(FormatDate, ShortDateFollowsTheSetting)
{
    ShortDateGuard guard;
    EXPECT_EQ(px::ShortDatePattern(), "YYYY/MM/DD");
    px::SetShortDatePattern("DD.MM.YYYY");
    EXPECT_EQ(FormatDate(kMarch5, "Short Date"), "05.03.2026");
    EXPECT_EQ(FormatDate(kMarch5, "General Date"), "05.03.2026 08:01:02");
    px::SetShortDatePattern("General Date"); // never read as a named format again
    EXPECT_EQ(FormatDate(kMarch5, "Short Date"), "General Date");
    px::SetShortDatePattern("");
    EXPECT_EQ(px::ShortDatePattern(), "YYYY/MM/DD");
}

TEST(FormatDate, PatternFromLocaleFormat)
{
    struct Case {
        const char* locale;
        const char* expected;
    } cases[] = {
        {"dd.MM.yyyy", "DD.MM.YYYY"}, {"M/d/yy", "MM/DD/YY"}, {"yyyy-MM-dd", "YYYY-MM-DD"},
        {"d MMM yyyy", "DD MM YYYY"}, {"dddd", ""},           {"'Date' yyyy", "Date YYYY"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(px::ShortDatePatternFromLocale(c.locale), c.expected) << c.locale;
}

TEST(FormatDateText, TextValues)
{
    struct Case {
        const char* value;
        const char* pattern;
        const char* expected;
    } cases[] = {
        {"2026/03/05", "YYYYMMDD", "20260305"},
        {"2026-03-05", "YYYY/MM/DD", "2026/03/05"},
        {"08:01:02", "hh:nn:ss", "08:01:02"},
        {"8:1", "hh:nn:ss", "08:01:00"},
        {" 2026-3-5 8:01 ", "YYYY/MM/DD HH:NN:SS", "2026/03/05 08:01:00"},
        {"2026/03/05 08:01:02", "", "2026/03/05 08:01:02"},
        // Not a date or time: the value comes back unchanged.
        {"2026/02/30", "YYYYMMDD", "2026/02/30"},
        {"25:00", "hh:nn", "25:00"},
        {"abc", "YYYY", "abc"},
        {"", "YYYY", ""},
        {" 12 ", "YYYY", " 12 "},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatDateText(c.value, c.pattern), c.expected) << c.value << " / " << c.pattern;
}

TEST(DateTime, NameByDate)
{
    EXPECT_EQ(FormatDate(px::MakeDate(2026, 3, 5), "YYYY-MM-DD") + "." + "TXT", "2026-03-05.TXT");
}

TEST(DateTime, Weekday)
{
    struct Case {
        DateTime value;
        int expected;
    } cases[] = {
        {px::MakeDate(2026, 3, 5), 5}, // Thursday
        {px::MakeDate(2026, 3, 8), 1}, // Sunday
        {px::MakeDate(2026, 3, 7), 7}, // Saturday
        {px::MakeDate(2000, 1, 1), 7},  {px::MakeDate(2024, 2, 29), 5},
        {px::MakeDate(1, 1, 1), 2}, // Monday in the proleptic Gregorian calendar
        {px::MakeDate(2026, 2, 30), 0}, {DateTime{}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(px::Weekday(c.value), c.expected) << FormatDate(c.value, "YYYY/MM/DD");
}

TEST(DateTime, NowIsAValidLocalDateTime)
{
    const DateTime now = px::Now();
    EXPECT_TRUE(now.hasDate);
    EXPECT_TRUE(now.hasTime);
    EXPECT_TRUE(px::IsValidDate(now.year, now.month, now.day));
    EXPECT_TRUE(px::IsValidTime(now.hour, now.minute, now.second));
    EXPECT_GE(now.year, 2024);
    EXPECT_GE(px::Weekday(now), 1);
}

TEST(ExpandDate, Cases)
{
    const std::string now = "2026/03/05 08:01:02";
    struct Case {
        const char* text;
        const char* placeholder;
        const char* defaultPattern;
        const char* expected;
    } cases[] = {
        {"Rec{Date}.txt", "{Date#}", "YYYYMMDD", "Rec20260305.txt"},
        {"Att-{Date,'YYYY-MM'}", "{Date#}", "YYYYMMDD", "Att-2026-03"},
        {"A{Foo}B", "{Date#}", "YYYYMMDD", "AB"},
        {"PX740Rec{Date,'YYYYMM'}.txt", "{Date#}", "YYYYMMDD", "PX740Rec202603.txt"},
        {"Attendance - {Date,\"YYYYMMDD hh:nn\"}", "{Date#}", "Short Date",
         "Attendance - 20260305 08:01"},
        {"Attendance - {Date}", "{Date#}", "Short Date", "Attendance - 2026/03/05"},
        {"PX740Rec.txt", "{Date#}", "YYYYMMDD", "PX740Rec.txt"},
        {"{DATE}-{ date }", "{Date#}", "YYYYMMDD", "20260305-20260305"},
        {"{Date,YYYY}", "{Date#}", "YYYYMMDD", "20260305"},          // no quotes: default pattern
        {"{Date,''}", "{Date#}", "YYYYMMDD", "2026/03/05 08:01:02"}, // empty pattern: general
        {"{Date,'}", "{Date#}", "YYYYMMDD", "20260305"},             // one quote only
        {"{Date, 'YYYY' }", "{Date#}", "YYYYMMDD", "2026"},
        {"{Date,0=A,1=B}", "{Date#}", "YYYYMMDD", "20260305"}, // mapping option is ignored
        {"{a{Date}}", "{Date#}", "YYYYMMDD", ""},              // outer group is not Date
        {"}{Date}", "{Date#}", "YYYYMMDD", "}{Date}"},         // a lone close brace ends it
        {"{Date}}{Date}", "{Date#}", "YYYYMMDD", "20260305}{Date}"},
        {"{Date", "{Date#}", "YYYYMMDD", "{Date"},
        {"{{Date}", "{Date#}", "YYYYMMDD", "{20260305"},
        {"a\\tb{Date}\\\\", "{Date#}", "YYYYMMDD", "a\tb20260305\\"},
        {"Rec[Date].txt", "[Date#]", "YYYYMMDD", "Rec20260305.txt"},
        {"Rec{Date}.txt", "{Date}", "YYYYMMDD",
         "Rec2026/03/05 08:01:02.txt"}, // not a date placeholder
        {"", "{Date#}", "YYYYMMDD", ""},
        {"   ", "{Date#}", "YYYYMMDD", ""},
        {"Rec{Date}", "{", "YYYYMMDD", ""},
        {"Rec{Date}", " { ", "YYYYMMDD", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ExpandDate(c.text, c.placeholder, now, c.defaultPattern), c.expected) << c.text;
    EXPECT_EQ(ExpandDate("Rec{Date}", "{Date#}", "", "YYYYMMDD"), "");
    EXPECT_EQ(ExpandDate("Rec{Date}", "{Date#}", "  ", "YYYYMMDD"), "");
    EXPECT_EQ(ExpandDate("Rec{Date}", "{Date#}", "soon", "YYYYMMDD"), "Recsoon");
}

TEST(ExpandDate, DateTimeValue)
{
    EXPECT_EQ(ExpandDate("Rec{Date}.txt", "{Date#}", kMarch5, "YYYYMMDD"), "Rec20260305.txt");
    EXPECT_EQ(ExpandDate("{Date}", "{Date#}", px::MakeDate(2026, 3, 5), "General Date"),
              "2026/03/05");
    EXPECT_EQ(ExpandDate("{Date,'hh:nn'}", "{Date#}", kMarch5, "YYYYMMDD"), "08:01");
}

TEST(ExpandDate, InsertedTextIsNotExpandedAgain)
{
    // A value that is not a date goes in unchanged; its braces must not start another round.
    EXPECT_EQ(ExpandDate("x{Date}y", "{Date#}", "{Date}", "YYYYMMDD"), "x{Date}y");
    EXPECT_EQ(ExpandDate("x{Date}y", "{Date#}", kMarch5, "{Date}"), "x{Date}y");
    EXPECT_EQ(ExpandDate("{Date}{Date}", "{Date#}", "}{", "YYYYMMDD"), "}{}{");
}

TEST(DateFormat, BadInputStaysBounded)
{
    // Random texts from an alphabet rich in the characters the parsers look at.
    const std::string alphabet = "{}Date,'\"YMDHNSymdhns:/- 0123456789\\tT#%&";
    std::uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    for (int round = 0; round < 20000; ++round) {
        std::string text, pattern, value;
        for (int k = static_cast<int>(next() % 40); k > 0; --k)
            text.push_back(alphabet[next() % alphabet.size()]);
        for (int k = static_cast<int>(next() % 12); k > 0; --k)
            pattern.push_back(alphabet[next() % alphabet.size()]);
        value = round % 2 ? "2026/03/05 08:01:02" : text.substr(0, 20);
        const std::string expanded = ExpandDate(text, "{Date#}", value, pattern);
        ASSERT_LE(expanded.size(), text.size() * (value.size() + 2 * pattern.size() + 24) + 1)
            << text;
        const std::string formatted = FormatDateText(value, pattern);
        ASSERT_LE(formatted.size(), value.size() + 2 * pattern.size() + 24) << pattern;
    }
}
