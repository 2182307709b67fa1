// The record formatter as tables of cases: templates, record lines, digit conversions, escapes,
// bounds on hostile input, and the delivered sample Format.ini.
#include "FmtData.h"
#include "FormatIni.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace px::fmt;

namespace {

const std::string kLine = "001,12345,1,2026/03/05,08:01:02,7";
const std::string kSecondExample =
    "{UID}-{CID,'&8D'}/{Event,0=IN,1=OUT,2=BREAK}/{Date,'YYYYMMDD'}\\T{RecordNo,'&4Z'}";

std::string Format(const std::string& templ, const std::string& line, char delimiter = ',')
{
    FmtData f;
    f.LoadTemplate(templ);
    return f.FormatRecord(line, delimiter);
}

std::string Nul(std::string line)
{
    for (char& c : line)
        if (c == ',') c = '\0';
    return line;
}

// The value of one placeholder for the worked line with one field changed.
std::string WithEvent(const std::string& templ, const std::string& event)
{
    return Format(templ, "001,12345," + event + ",2026/03/05,08:01:02,7");
}

} // namespace

TEST(FormatRecord, WorkedExamples)
{
    struct Case {
        const char* name;
        std::string templ;
        bool ok;
        std::string expected;
    } cases[] = {
        {"standard", std::string(kStandardTemplate), true, "001,12345,1,2026/03/05,08:01:02"},
        {"fill, mapping, date, TAB, zeros", kSecondExample, true,
         "001-00012345/OUT/20260305\t0007"},
        {"hex and list", "{CID,'&6H'};{Event,In,Out,Break}", true, "003039;Out"},
        {"picture", "{Event,'**'}", true, "*1"},
        {"no braces", "UID,CID", false, kLine},
    };
    for (const Case& c : cases) {
        FmtData f;
        EXPECT_EQ(f.LoadTemplate(c.templ), c.ok) << c.name;
        EXPECT_EQ(f.bTemplateOK(), c.ok) << c.name;
        EXPECT_EQ(f.FormatRecord(kLine, ','), c.expected) << c.name;
        // The scheduled run passes the same values separated by NUL.
        EXPECT_EQ(f.FormatRecord(Nul(kLine), '\0'), c.ok ? c.expected : Nul(kLine)) << c.name;
    }
}

TEST(FormatRecord, SecondExampleItems)
{
    FmtData f;
    ASSERT_TRUE(f.LoadTemplate(kSecondExample));
    const auto& items = f.Items();
    ASSERT_EQ(items.size(), 6u);
    EXPECT_EQ(items[0].field, 0);
    EXPECT_EQ(items[0].kind, ItemKind::Plain);
    EXPECT_EQ(items[1].field, 1);
    EXPECT_EQ(items[1].kind, ItemKind::HexToDec); // &8D on a decimal field only fills
    EXPECT_EQ(items[1].width, 8);
    EXPECT_EQ(items[1].format, "");
    EXPECT_EQ(items[2].kind, ItemKind::Mapping);
    EXPECT_EQ(items[2].format, "0=IN,1=OUT,2=BREAK,");
    EXPECT_EQ(items[2].list, std::vector<std::string>{"0=IN,1=OUT,2=BREAK,"});
    EXPECT_EQ(items[3].kind, ItemKind::Picture);
    EXPECT_EQ(items[3].format, "YYYYMMDD");
    EXPECT_EQ(items[4].field, 5);
    EXPECT_EQ(items[4].kind, ItemKind::Picture);
    EXPECT_EQ(items[4].format, "0000");
    EXPECT_EQ(items[5].field, -1); // the trailing literal
    const auto& pieces = f.OutputPieces();
    ASSERT_EQ(pieces.size(), 13u);
    const std::vector<std::string> literals = {"", "-", "/", "/", "\t", ""};
    for (std::size_t j = 0; j < literals.size(); ++j)
        EXPECT_EQ(pieces[2 * j], literals[j]) << j;
    for (std::size_t k = 1; k < pieces.size(); k += 2)
        EXPECT_EQ(pieces[k], "") << k;
    EXPECT_EQ(pieces[12], "");
}

TEST(LoadTemplate, Validity)
{
    struct Case {
        const char* templ;
        bool ok;
        FmtError error;
        std::string output; // for the worked line
    } cases[] = {
        {"{UID},{CID", true, FmtError::None, "001,{CID"},
        {"{UID}{{CID}", false, FmtError::TwoOpenBraces, kLine},
        {"{Foo},{CID}", true, FmtError::None, ",12345"},
        {"{Foo}", false, FmtError::NoKnownField, kLine},
        {"{Event,0=IN,1=}", false, FmtError::BadMapping, kLine},
        {"{Event,0=IN, 1= ,2=X}", false, FmtError::BadMapping, kLine},
        {"{Event,=IN}", false, FmtError::BadMapping, kLine},
        {"{Event,In,,Out}", false, FmtError::BadList, kLine},
        {"{Event,In,Out,}", false, FmtError::BadList, kLine},
        {"{Event,In, ,Out}", false, FmtError::BadList, kLine},
        {"{Event,,In}", false, FmtError::BadList, kLine},
        {"{CID,'abc}", false, FmtError::BadPicture, kLine},
        {"{CID,''}", false, FmtError::BadPicture, kLine},
        {"{CID,\"x'}", true, FmtError::None, "5"}, // a double quote may close with an apostrophe
        {"", false, FmtError::EmptyTemplate, kLine},
        {"   ", false, FmtError::EmptyTemplate, kLine},
        {"{UID", false, FmtError::EmptyTemplate, kLine},
        {"UID}", false, FmtError::NoOpenBrace, kLine},
        {"{UID}x}", false, FmtError::NoOpenBrace, kLine},
        {"{UID,whatever}", true, FmtError::None,
         "001"}, // an option without quote, = or , is ignored
        {"{ uid }|{cid}", true, FmtError::None, "001|12345"},
        {"}", false, FmtError::NoOpenBrace, kLine},
        {"{}", false, FmtError::NoKnownField, kLine},
        {"{,}", false, FmtError::NoKnownField, kLine},
        {"{Foo,'", false, FmtError::EmptyTemplate, kLine},
        {"{Foo,''}{UID}", true, FmtError::None, "001"}, // options of unknown names are not read
    };
    for (const Case& c : cases) {
        FmtData f;
        EXPECT_EQ(f.LoadTemplate(c.templ), c.ok) << c.templ;
        EXPECT_EQ(f.ErrorNo(), static_cast<long>(c.error)) << c.templ << ": " << f.Error();
        EXPECT_EQ(f.Error().empty(), c.error == FmtError::None) << c.templ;
        EXPECT_EQ(f.FormatRecord(kLine, ','), c.output) << c.templ;
    }
}

TEST(LoadTemplate, FieldListAndBraces)
{
    FmtData f;
    EXPECT_FALSE(f.LoadTemplate("{UID}", ""));
    EXPECT_FALSE(f.LoadTemplate("{UID}", "  "));
    ASSERT_TRUE(f.LoadTemplate("[UID]-[CID]", kStandardFields, ",", "[", "]"));
    EXPECT_EQ(f.FormatRecord(kLine, ','), "001-12345");
    ASSERT_TRUE(f.LoadTemplate("<<CID>>", "uid%;cid%", ";", "<<", ">>"));
    EXPECT_EQ(f.FormatRecord("1;2", ';'), "2");
    EXPECT_FALSE(f.LoadTemplate("{UID}", kStandardFields, ",", "", "}"));

    ASSERT_TRUE(f.LoadTemplate("{a}{b}{c}{d}", "A,b%,C&,d#"));
    const auto& fields = f.Fields();
    ASSERT_EQ(fields.size(), 4u);
    EXPECT_EQ(fields[0].name, "A");
    EXPECT_EQ(fields[0].type, FieldType::Text);
    EXPECT_EQ(fields[1].name, "B");
    EXPECT_EQ(fields[1].type, FieldType::Decimal);
    EXPECT_EQ(fields[2].type, FieldType::Hex);
    EXPECT_EQ(fields[3].type, FieldType::Date);

    // Field names are not trimmed, so " CID" is another name than "CID".
    ASSERT_TRUE(f.LoadTemplate("{UID}{CID}", "UID%, CID%"));
    EXPECT_EQ(f.FindField("CID"), -1);
    EXPECT_EQ(f.FindField(" cid"), 1);
}

TEST(LoadTemplate, FailureKeepsThePreviousListsButDisablesFormatting)
{
    FmtData f;
    ASSERT_TRUE(f.LoadTemplate(kStandardTemplate));
    EXPECT_FALSE(f.LoadTemplate(""));
    EXPECT_EQ(f.Items().size(), 6u);
    EXPECT_FALSE(f.bTemplateOK());
    EXPECT_EQ(f.FormatRecord(kLine, ','), kLine);
    EXPECT_EQ(f.TemplateHeader(), "");
    ASSERT_TRUE(f.LoadTemplate(kStandardTemplate));
    EXPECT_EQ(f.ErrorNo(), 0);
}

TEST(FindField, StandardFields)
{
    FmtData f;
    ASSERT_TRUE(f.LoadTemplate(kStandardTemplate));
    struct Case {
        const char* name;
        int index;
    } cases[] = {{"UID", 0},      {"cid", 1},  {"Event", 2}, {"DATE", 3}, {"time", 4},
                 {"RecordNo", 5}, {"Foo", -1}, {" CID", -1}, {"", -1},    {"CID%", -1}};
    for (const Case& c : cases)
        EXPECT_EQ(f.FindField(c.name), c.index) << c.name;
}

TEST(FormatRecord, EdgeCases)
{
    struct Case {
        const char* name;
        std::string templ;
        std::string line;
        std::string expected;
    } cases[] = {
        {"list 5 of 3 entries", "{Event,A,B,C}", "001,1,5,2026/03/05,08:01:02,7", "C"},
        {"list 0", "{Event,A,B,C}", "001,1,0,2026/03/05,08:01:02,7", "A"},
        {"list keeps spaces", "{Event,A, B,C}", "001,1,1,2026/03/05,08:01:02,7", " B"},
        {"list value -1", "{Event,A,B,C}", "001,1,-1,d,t,7", "C"},
        {"list value -3", "{Event,A,B,C}", "001,1,-3,d,t,7", "A"},
        {"list value -4", "{Event,A,B,C}", "001,1,-4,d,t,7", "C"},
        {"list value 1.9", "{Event,A,B,C}", "001,1,1.9,d,t,7", "B"},
        {"list value -0.5", "{Event,A,B,C}", "001,1,-0.5,d,t,7", "A"},
        {"list value non-numeric", "{Event,A,B,C}", "001,1,x1,d,t,7", "A"},
        {"list value empty", "{Event,A,B,C}", "001,1,,d,t,7", "A"},
        {"list value 1e3", "{Event,A,B,C}", "001,1,1e3,d,t,7", "A"},
        {"list value of 30 digits", "{Event,A,B,C}", "001,1,100000000000000000000000000001,d,t,7",
         "C"},
        {"mapping absent", "{Event,0=IN,1=OUT}", "001,1,9,d,t,7", ""},
        {"mapping any case", "{Event,a=x,b=y}", "001,1,B,d,t,7", "y"},
        {"mapping keeps the written case", "{Event,0=In,1=Out}", "001,1,1,d,t,7", "Out"},
        {"mapping is a substring search", "{Event,0=IN,11=X,1=OUT}", "001,1,1,d,t,7", "X"},
        {"picture cuts long numbers", "{Event,'**'}", "001,1,123,d,t,7", "23"},
        {"picture equal length", "{Event,'**'}", "001,1,12,d,t,7", "12"},
        {"hex into picture", "{CID,'&H######'}", kLine, "##3039"},
        {"hex width cuts", "{CID,'&2H'}", kLine, "39"},
        {"not decimal stays", "{CID,'&H'}", "001,12A4,1,d,t,7", "12A4"},
        {"fill of a non-number", "{CID,'&8D'}", "001,ab,1,d,t,7", "000000ab"},
        {"card ID cut to width", "{CID,'&3D'}", kLine, "345"},
        {"spaces fill", "{Event,'&3S'}", kLine, "  1"},
        {"codes right after &", "{Event,'&S&Z'}", kLine, "1"},
        {"code without number", "{Event,'&xZ'}", kLine, "1"},
        {"& without code letter", "{Event,'a&b'}", kLine, "a&1"},
        {"lower-case code", "{Event,'&3z'}", kLine, "001"},
        {"date not a date", "{Date,'YYYYMMDD'}", "001,1,1,soon,t,7", "soon"},
        {"date general", "{Date}-{Time}", kLine, "2026/03/05-08:01:02"},
        {"date pattern on time", "{Time,'hh'}h", kLine, "08h"},
        {"too few values", std::string(kStandardTemplate), "001,12345,1", "001,12345,1"},
        {"too many values", std::string(kStandardTemplate), kLine + ",x", kLine + ",x"},
        {"empty line", std::string(kStandardTemplate), "", ""},
        {"empty values", "[{UID}|{CID,'&4D'}|{Date}]", ",,,,,", "[|0000|]"},
        {"backslash pair", "{UID}\\\\{CID}", kLine, "001\\12345"},
        {"backslash t", "{UID}\\t{CID}", kLine, "001\t12345"},
        {"backslash other", "{UID}\\x{CID}\\", kLine, "001\\x12345\\"},
        {"backslash pair then T", "{UID}\\\\T{CID}", kLine, "001\\T12345"},
        {"trailing literal", "<{UID}>", kLine, "<001>"},
        {"same field twice", "{CID}/{CID,'&H'}", kLine, "12345/3039"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Format(c.templ, c.line), c.expected) << c.name;
}

TEST(FormatRecord, TextAndHexFields)
{
    struct Case {
        const char* name;
        const char* templ;
        const char* line;
        const char* expected;
    } cases[] = {
        {"text picture overwritten", "{A,'-----'}", "ab,x", "ab---"},
        {"text cut to picture", "{A,'---'}", "abcdefg,x", "abc"},
        {"text plain", "{A}", "abc,x", "abc"},
        {"text with &nH keeps text", "{A,'&4H'}", "abc,x", "abc"},
        {"hex to decimal", "{H,'&D'}", "x,FFFFFFFF", "4294967295"},
        {"hex to decimal lower case", "{H,'&D'}", "x,ff", "255"},
        {"hex to decimal width", "{H,'&12D'}", "x,FFFFFFFF", "004294967295"},
        {"hex with &H only fills", "{H,'&6H'}", "x,ff", "0000ff"},
        {"hex not a number", "{H,'&D'}", "x,G1", "G1"},
    };
    for (const Case& c : cases) {
        FmtData f;
        ASSERT_TRUE(f.LoadTemplate(c.templ, "A,H&")) << c.name;
        EXPECT_EQ(f.FormatRecord(c.line, ','), c.expected) << c.name;
    }
}

TEST(TemplateHeader, Cases)
{
    struct Case {
        std::string templ;
        std::string header;
    } cases[] = {
        {std::string(kStandardTemplate), "UID,CID,EVENT,DATE,TIME"},
        {kSecondExample, "UID-CID/EVENT/DATE\tRECORDNO"},
        {"{Foo},{cid}", ",CID"},
        {"{UID},{CID", "UID,{CID"},
        {"UID,CID", ""},
        {"{UID}{{CID}", ""},
    };
    for (const Case& c : cases) {
        FmtData f;
        f.LoadTemplate(c.templ);
        EXPECT_EQ(f.TemplateHeader(), c.header) << c.templ;
    }
}

TEST(IdLengthTemplate, FillsAndCutsTheCardId)
{
    EXPECT_EQ(IdLengthTemplate(14),
              "{UID},{CID,'&14D'},{Event},{Date,'YYYY/MM/DD'},{Time,'hh:nn:ss'}");
    struct Case {
        long length;
        const char* expected;
    } cases[] = {
        {8, "001,00012345,1,2026/03/05,08:01:02"},
        {3, "001,345,1,2026/03/05,08:01:02"},
        {5, "001,12345,1,2026/03/05,08:01:02"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Format(IdLengthTemplate(c.length), kLine), c.expected) << c.length;
}

TEST(DigitConversion, DecToHex)
{
    // Expected values computed independently (Python int/format).
    struct Case {
        std::string text;
        long width;
        std::string expected;
    } cases[] = {
        {"12345", 0, "3039"},
        {"204803259", 0, "C350CBB"},
        {"4294967295", 0, "FFFFFFFF"},
        {"4294967296", 0, "100000000"},
        {"12345678901234567890", 0, "AB54A98CEB1F0AD2"},
        {"98765432109876543210", 0, "55AA54D38E5267EEA"},
        {"18446744073709551615", 0, "FFFFFFFFFFFFFFFF"},
        {"100000000000000000000", 0, "56BC75E2D63100000"},
        {"1111111111111111111111111111111111111111", 0, "343E8374E9884154BF837B571C71C71C7"},
        {std::string(64, '9'), 0, "184F03E93FF9F4DAA797ED6E38ED64BF6A1F00FFFFFFFFFFFFFFFF"},
        {"1" + std::string(100, '0'), 0,
         "1249AD2594C37CEB0B2784C4CE0BF38ACE408E211A7CAAB24308A82E8F10000000000000000000000000"},
        {"0", 0, "0"},
        {"0000", 0, "0"},
        {"00012345", 0, "3039"},
        {"  12345 ", 0, "3039"},
        {"255", 4, "00FF"},
        {"65535", 2, "FF"},
        {"4096", 0, "1000"},
        {"", 0, ""},
        {"   ", 0, "   "},
        {"12A4", 0, "12A4"},
        {" 12A4", 8, " 12A4"},
        {"-1", 0, "-1"},
        {"+1", 0, "+1"},
        {"1.5", 0, "1.5"},
        {"12 345", 0, "12 345"},
        {std::string(kMaxDigits + 1, '1'), 0, std::string(kMaxDigits + 1, '1')},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecToHex(c.text, c.width), c.expected) << c.text;
}

TEST(DigitConversion, HexToDec)
{
    struct Case {
        std::string text;
        long width;
        std::string expected;
    } cases[] = {
        {"FFFFFFFF", 0, "4294967295"},
        {"ffffffff", 0, "4294967295"},
        {"3039", 0, "12345"},
        {"C350CBB", 0, "204803259"},
        {"AB54A98CEB1F0AD2", 0, "12345678901234567890"},
        {"FEDCBA9876543210FEDCBA9876543210", 0, "338770000845734292534325025077361652240"},
        {std::string(40, 'F'), 0, "1461501637330902918203684832716283019655932542975"},
        {"10000", 0, "65536"},
        {"2710", 0, "10000"},
        {"0", 0, "0"},
        {"FF", 5, "00255"},
        {"G1", 0, "G1"},
        {"0x1F", 0, "0x1F"},
        {"", 3, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HexToDec(c.text, c.width), c.expected) << c.text;
}

TEST(DigitConversion, LongCardIdsRoundTrip)
{
    // Card IDs of hundreds of digits: decimal -> hex -> decimal gives the number back.
    std::uint32_t seed = 7;
    for (std::size_t len : {1u, 4u, 5u, 17u, 20u, 99u, 300u, 777u, 1024u}) {
        std::string digits;
        for (std::size_t k = 0; k < len; ++k) {
            seed = seed * 1103515245u + 12345u;
            digits.push_back(static_cast<char>('0' + (seed >> 16) % 10));
        }
        std::string expected =
            digits.substr(std::min(digits.find_first_not_of('0'), digits.size() - 1));
        const std::string hex = DecToHex(digits);
        EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos) << len;
        EXPECT_EQ(HexToDec(hex), expected) << len;
    }
}

TEST(PadLeft, Cases)
{
    struct Case {
        std::string text;
        long width;
        char fill;
        std::string expected;
    } cases[] = {
        {"abc", 0, '0', "abc"}, {"abc", 2, '0', "bc"}, {"abc", 3, '0', "abc"},
        {"7", 4, '0', "0007"},  {"7", 4, ' ', "   7"}, {"", 2, '*', "**"},
        {"x", -3, '0', "x"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PadLeft(c.text, c.width, c.fill), c.expected) << c.text << "/" << c.width;
    EXPECT_EQ(PadLeft("x", 1000000000L, '0').size(), static_cast<std::size_t>(kMaxWidth));
    const std::string longText(5000, 'a');
    EXPECT_EQ(PadLeft(longText, 6000, '0'), longText);
}

TEST(ReplaceEscape, Cases)
{
    struct Case {
        const char* text;
        const char* code;
        const char* replacement;
        const char* expected;
    } cases[] = {
        {"\\tID", "T", "\t", "\tID"},
        {"\\TID", "t", "\t", "\tID"},
        {"a\\\\Tb", "T", "\t", "a\\\\Tb"}, // a backslash pair is skipped
        {"a\\\\b", "\\", "", "a\\b"},      // empty replacement with code "\" is "\"
        {"a\\\\\\\\b", "\\", "", "a\\\\b"},
        {"a\\xb", "T", "\t", "a\\xb"},
        {"end\\", "T", "\t", "end\\"},
        {"\\t", "", "\t", "\\t"}, // no code: nothing replaced
        {"\\t", "  t  ", "<TAB>", "<TAB>"},
        {"\\tt", "Tab", "!", "!t"}, // only the first character of the code counts
        {"\\n", "N", "", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReplaceEscape(c.text, c.code, c.replacement), c.expected) << c.text;
}

TEST(ReplaceEscape, HeaderValues)
{
    const auto header = [](const std::string& value) {
        return ReplaceEscape(ReplaceEscape(value, "T", "\t"), "\\", "");
    };
    EXPECT_EQ(header("\\tID\\\\No"), "\tID\\No");
    EXPECT_EQ(header("A\\\\T"), "A\\T");
    EXPECT_EQ(header("Unit\\tCard"), "Unit\tCard");
    EXPECT_EQ(header("plain"), "plain");
}

TEST(FormatRecord, HugeWidthsAreCapped)
{
    EXPECT_EQ(WithEvent("{Event,'&999999Z'}", "1").size(), static_cast<std::size_t>(kMaxWidth));
    EXPECT_EQ(WithEvent("{Event,'&99999999999999999999999S'}", "1").size(),
              static_cast<std::size_t>(kMaxWidth));
    EXPECT_EQ(Format("{CID,'&999999D'}", kLine).size(), static_cast<std::size_t>(kMaxWidth));
    EXPECT_EQ(Format("{CID,'&999999H'}", kLine).size(), static_cast<std::size_t>(kMaxWidth));
    // Several codes in one picture never make it longer than the cap.
    EXPECT_EQ(WithEvent("{Event,'&3000Z&3000S'}", "1").size(), static_cast<std::size_t>(kMaxWidth));

    // The whole template has one fill budget.
    std::string many;
    for (int k = 0; k < 40; ++k)
        many += "{Event,'&4096Z'}";
    const std::string out = WithEvent(many, "1");
    EXPECT_LE(out.size(), static_cast<std::size_t>(kMaxTemplateFill) + 40);
    EXPECT_GE(out.size(), static_cast<std::size_t>(kMaxTemplateFill));
}

TEST(FormatRecord, BadInputDoesNotCrashAndStaysBounded)
{
    // Templates are random runs of template fragments, so that valid and invalid ones both occur.
    const char* fragments[] = {
        "{UID",   "{CID", "{Event",   "{Date", "{Time",       "{RecordNo", "{Foo",
        "}",      "}",    ",",        ",'",    "'",           "\"",        "&8D",
        "&6H",    "&3Z",  "&999999S", "&",     "=",           "0=IN",      "1=",
        "In,Out", ",,",   "'**'",     "{",     "\\t",         "\\",        "'YYYY-MM hh:mm'",
        "'&4Z'",  " ",    "x",        "9",     "General Date"};
    const std::string alphabet = "{}UIDC,'\"=&SZHD 0123456789\\tT#%-./:";
    std::uint32_t seed = 99;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    FmtData f;
    std::size_t loaded = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string templ, line;
        for (int k = static_cast<int>(next() % 16); k > 0; --k)
            templ += fragments[next() % std::size(fragments)];
        for (int k = static_cast<int>(next() % 50); k > 0; --k)
            line.push_back((next() % 2) ? ',' : alphabet[next() % alphabet.size()]);
        if (round % 3 == 0)
            line = "001," + std::string(1 + next() % 300, '9') + ",-7,2026/02/30,25:00,x";
        loaded += f.LoadTemplate(templ) ? 1 : 0;
        const std::string out = f.FormatRecord(line, ',');
        const std::size_t items = f.Items().size();
        ASSERT_LE(out.size(), templ.size() + static_cast<std::size_t>(kMaxTemplateFill) +
                                  items * (2 * line.size() + 64))
            << templ << " | " << line;
        ASSERT_LE(f.TemplateHeader().size(), templ.size() + items * 16) << templ;
    }
    EXPECT_GT(loaded, 100u); // the corpus does exercise valid templates
}

TEST(ModFmtData, IsOneInstance)
{
    EXPECT_EQ(&modFmtData(), &modFmtData());
    ASSERT_TRUE(modFmtData().LoadTemplate(kStandardTemplate));
    EXPECT_EQ(modFmtData().TemplateHeader(), "UID,CID,EVENT,DATE,TIME");
}

TEST(ExpandDate, FixedNamePerMonth)
{
    EXPECT_EQ(ExpandDate("Rec{Date,'YYYYMM'}.txt", "{Date#}", "2026/03/05 08:01:02", "YYYYMMDD"),
              "Rec202603.txt");
    EXPECT_EQ(ExpandDate("Rec{Date,'YYYYMM'}.txt", "{Date#}", "2026/03/31 23:59:59", "YYYYMMDD"),
              "Rec202603.txt");
}

namespace {

class TempIni : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string dir = ::testing::TempDir() + "fmtini-XXXXXX";
        ASSERT_NE(::mkdtemp(dir.data()), nullptr);
        dir_ = dir;
    }
    void TearDown() override
    {
        for (const std::string& p : written_)
            std::remove(p.c_str());
        ::rmdir(dir_.c_str());
    }
    std::string Write(const std::string& name, const std::string& text)
    {
        const std::string path = dir_ + "/" + name;
        std::FILE* f = std::fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f) {
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
        }
        written_.push_back(path);
        return path;
    }
    std::string dir_;
    std::vector<std::string> written_;
};

} // namespace

TEST_F(TempIni, ReadFormatIniRemembersSectionAndPath)
{
    const std::string a =
        Write("a.ini", "[One]\r\nFormat={UID}\r\nHeader=TRUE\r\n[Two]\r\nFormat={CID}\r\n");
    const std::string b = Write("b.ini", "[One]\r\nFormat=from b\r\n");
    EXPECT_EQ(ReadFormatIni("Format", "def", "One", a), "{UID}");
    EXPECT_EQ(ReadFormatIni("Header", "FALSE"), "TRUE");       // both remembered
    EXPECT_EQ(ReadFormatIni("Format", "def", "two"), "{CID}"); // new section, same path
    EXPECT_EQ(ReadFormatIni("Filter", ""), "");                // missing key: the default
    EXPECT_EQ(ReadFormatIni("Header", "FALSE"), "FALSE");      // section Two remembered
    EXPECT_EQ(ReadFormatIni("Format", "def", "One", b), "from b");
    EXPECT_EQ(ReadFormatIni("Format", "def", "", ""), "from b");
    EXPECT_EQ(ReadFormatIni("Format", "def", "One", dir_ + "/missing.ini"), "def");
}

TEST_F(TempIni, ReadFormatIniCutsValuesAt2047)
{
    const std::string path = Write("long.ini", "[T]\nFormat=" + std::string(3000, 'x') + "\n");
    EXPECT_EQ(ReadFormatIni("Format", "", "T", path).size(), 2047u);
}

TEST_F(TempIni, ListIniSections)
{
    EXPECT_EQ(ListIniSections(dir_ + "/missing.ini"), std::vector<std::string>{""});
    EXPECT_EQ(ListIniSections(Write("empty.ini", "")), std::vector<std::string>{""});
    EXPECT_EQ(ListIniSections(Write("none.ini", "; only a comment\r\nkey=value\r\n")),
              std::vector<std::string>{""});
    EXPECT_EQ(
        ListIniSections(Write("three.ini", "[GENERAL]\r\n[CSV]\r\nFormat={UID}\r\n[Fixed]\r\n")),
        (std::vector<std::string>{"GENERAL", "CSV", "Fixed"}));
    EXPECT_EQ(ListIniSections(Write("tiny.ini", "[ABCDEF]")), std::vector<std::string>{"ABCDEF"});
    // Names go through at most 32768 bytes (name + NUL each, one byte for the list end).
    std::string big;
    char name[16];
    for (int k = 0; k < 6000; ++k) {
        std::snprintf(name, sizeof name, "[S%04d]\r\n", k);
        big += name;
    }
    const auto names = ListIniSections(Write("big.ini", big));
    EXPECT_EQ(names.size(), 32767u / 6u);
    EXPECT_EQ(names.front(), "S0000");
}

TEST(SampleFormatIni, EveryTypeLoadsAndFormats)
{
    const std::string path = std::string(PX_SOURCE_DATA_DIR) + "/Format.ini";
    const std::vector<std::string> sections = ListIniSections(path);
    ASSERT_EQ(sections, (std::vector<std::string>{"GENERAL", "CSV", "Tab separated", "Fixed width",
                                                  "Hex card ID"}));

    EXPECT_EQ(ReadFormatIni("CardIDFilterEnabled", "?", "General", path), "FALSE");
    EXPECT_EQ(ReadFormatIni("CardIDLength", "?"), "0");
    EXPECT_EQ(ReadFormatIni("CardIDStart", "?"), "0");

    struct Expected {
        const char* section;
        const char* line;
        const char* header;
        const char* filter;
    } expected[] = {
        {"CSV", "001,12345,1,2026-03-05,08:01:02,7", "UID,CID,EVENT,DATE,TIME,RECORDNO",
         "CSV file (*.csv)|*.csv"},
        {"Tab separated", "001\t12345\tOUT\t2026/03/05\t08:01", "Unit\tCard\tEvent\tDate\tTime",
         ""},
        {"Fixed width", "00100000123450120260305080102000007", "", ""},
        {"Hex card ID", "001,00003039,Out,2026/03/05 08:01:02", "", "Text file (*.txt)|*.txt"},
    };
    for (const Expected& e : expected) {
        const std::string templ = ReadFormatIni("Format", kStandardTemplate, e.section, path);
        FmtData f;
        ASSERT_TRUE(f.LoadTemplate(templ)) << e.section << ": " << f.Error();
        EXPECT_EQ(f.FormatRecord(kLine, ','), e.line) << e.section;
        // Header rule: TRUE = field names, FALSE or empty = none, other text with escapes.
        const std::string h = ReadFormatIni("Header", "FALSE");
        std::string upper = h;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const std::string header = upper == "TRUE" ? f.TemplateHeader()
                                   : (upper == "FALSE" || upper.empty())
                                       ? ""
                                       : ReplaceEscape(ReplaceEscape(h, "T", "\t"), "\\", "");
        EXPECT_EQ(header, e.header) << e.section;
        EXPECT_EQ(ReadFormatIni("Filter", ""), e.filter) << e.section;
    }

    // Data files keep CR LF line ends.
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::string bytes;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, file)) > 0;)
        bytes.append(buf, n);
    std::fclose(file);
    ASSERT_FALSE(bytes.empty());
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] == '\n') {
            ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << "LF without CR at " << i;
        }
    EXPECT_EQ(bytes.back(), '\n');
}
