// The long options: what each command line means, and every usage error named for the user.
#include "LongOptions.h"

#include <gtest/gtest.h>

using px::LongOptions;
using px::ParseLongOptions;
using Command = LongOptions::Command;

namespace {

LongOptions Parse(std::vector<std::string> args)
{
    return ParseLongOptions(args);
}

std::string ErrorOf(std::vector<std::string> args)
{
    const LongOptions o = ParseLongOptions(args);
    EXPECT_FALSE(o.error.empty()) << "accepted: " << ::testing::PrintToString(args);
    return o.error;
}

} // namespace

TEST(LongOptions, OnlyALineThatBeginsWithTwoDashesIsOptions)
{
    EXPECT_TRUE(px::IsOptionLine({"--export", "a"}));
    EXPECT_TRUE(px::IsOptionLine({"--bogus"}));
    EXPECT_FALSE(px::IsOptionLine({}));
    EXPECT_FALSE(px::IsOptionLine({"/TS:ONCE", "--help"}));
    EXPECT_FALSE(px::IsOptionLine({"-h"}));
}

TEST(LongOptions, HelpVersionAndStatus)
{
    EXPECT_EQ(Parse({"--help"}).command, Command::Help);
    EXPECT_EQ(Parse({"--version"}).command, Command::Version);
    EXPECT_EQ(Parse({"--archive-status"}).command, Command::ArchiveStatus);
    EXPECT_EQ(Parse({"--export", "2026-03-01", "2026-03-31", "--help"}).command, Command::Help);
}

TEST(LongOptions, ExportWithEveryOption)
{
    const LongOptions o = Parse({"--export", "2026-03-01", "2026-03-31", "--terminal", "7",
                                 "--type", "CSV file", "--out", "/srv/S.txt"});
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.command, Command::Export);
    EXPECT_EQ(o.from, "2026-03-01");
    EXPECT_EQ(o.to, "2026-03-31");
    EXPECT_EQ(o.terminal, 7);
    EXPECT_EQ(o.type, "CSV file");
    EXPECT_EQ(o.out, "/srv/S.txt");
    const LongOptions g =
        Parse({"--out=/tmp/TS:ONCE/S", "--terminal=255", "--export", "2026-02-28", "2026-02-28"});
    EXPECT_EQ(g.error, "");
    EXPECT_EQ(g.out, "/tmp/TS:ONCE/S");
    EXPECT_EQ(g.terminal, 255);
    const LongOptions plain = Parse({"--export", "2024-02-29", "2024-03-01"});
    EXPECT_EQ(plain.error, "");
    EXPECT_FALSE(plain.terminal);
    EXPECT_FALSE(plain.out);
    EXPECT_EQ(plain.type, "");
}

TEST(LongOptions, UsageErrorsNameTheirCause)
{
    EXPECT_EQ(ErrorOf({"--bogus"}), "unknown option '--bogus'");
    EXPECT_EQ(ErrorOf({"--help", "--bogus=1"}), "unknown option '--bogus'");
    EXPECT_EQ(ErrorOf({"--export", "2026-03-05", "2026-03-01"}),
              "FROM 2026-03-05 is after TO 2026-03-01");
    EXPECT_EQ(ErrorOf({"--export", "2026-02-30", "2026-03-01"}),
              "FROM '2026-02-30' is not a date written YYYY-MM-DD");
    EXPECT_EQ(ErrorOf({"--export", "2026-03-01", "2026/03/02"}),
              "TO '2026/03/02' is not a date written YYYY-MM-DD");
    EXPECT_EQ(ErrorOf({"--export", "2026-3-1", "2026-03-02"}),
              "FROM '2026-3-1' is not a date written YYYY-MM-DD");
    EXPECT_EQ(ErrorOf({"--export", "2026-03-01"}),
              "--export needs two dates, FROM and TO (YYYY-MM-DD)");
    EXPECT_EQ(ErrorOf({"--export", "2026-03-01", "2026-03-02", "--terminal", "0"}),
              "--terminal needs a machine ID from 1 to 255, not '0'");
    EXPECT_EQ(ErrorOf({"--export", "2026-03-01", "2026-03-02", "--terminal", "1x"}),
              "--terminal needs a machine ID from 1 to 255, not '1x'");
    EXPECT_EQ(ErrorOf({"--export", "2026-03-01", "2026-03-02", "--out"}),
              "option --out needs a value");
    EXPECT_EQ(ErrorOf({"--export", "2026-03-01", "2026-03-02", "--out="}),
              "--out needs a file name");
    EXPECT_EQ(ErrorOf({"--export", "2026-03-01", "2026-03-02", "--type", "A", "--type", "B"}),
              "--type is given twice");
    EXPECT_EQ(ErrorOf({"--archive-status", "--export", "2026-03-01", "2026-03-02"}),
              "--export cannot be combined with --archive-status");
    EXPECT_EQ(ErrorOf({"--archive-status", "--archive-status"}), "--archive-status is given twice");
    EXPECT_EQ(ErrorOf({"--archive-status", "--out", "x"}),
              "--terminal, --type and --out belong to --export");
    EXPECT_EQ(ErrorOf({"--version", "/S"}), "unexpected argument '/S'");
    EXPECT_EQ(ErrorOf({"--version=2"}), "option --version takes no value after '='");
    EXPECT_EQ(ErrorOf({"--", "x"}), "unexpected argument '--'");
}

TEST(LongOptions, TheUsageNamesEveryForm)
{
    const std::string usage = px::Usage("px745", "PX745");
    for (const char* part : {"px745 --export FROM TO [--terminal ID] [--type NAME] [--out FILE]",
                             "px745 --archive-status", "px745 --help | --version", "/TS:ONCE",
                             "$PX745_HOME", "px745(1)", "Archive/URL"})
        EXPECT_NE(usage.find(part), std::string::npos) << part;
}
