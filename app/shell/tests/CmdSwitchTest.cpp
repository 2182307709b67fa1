// The command-line reader: switch matching and value extraction, as a table of cases.
#include "CmdSwitch.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

struct SwitchCase {
    const char* commandLine;
    const char* name;
    bool flagOnly;
    const char* expected;
};

std::ostream& operator<<(std::ostream& os, const SwitchCase& c)
{
    return os << "GetCmdSwitch(\"" << c.commandLine << "\", \"" << c.name << "\", "
              << (c.flagOnly ? "true" : "false") << ")";
}

class CmdSwitchTable : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(CmdSwitchTable, Reads)
{
    const SwitchCase& c = GetParam();
    EXPECT_EQ(px::GetCmdSwitch(c.commandLine, c.name, c.flagOnly), c.expected);
}

const SwitchCase kCases[] = {
    // Values, in either case; the result is upper case.
    {"/TS:ONCE", "/TS:", false, "ONCE"},
    {"/ts:once", "/TS:", false, "ONCE"},
    {"/ts:interval", "/TS:", false, "INTERVAL"},
    {"/ts:timetable", "/TS:", false, "TIMETABLE"},
    {"/Ts:TimeTable", "/ts:", false, "TIMETABLE"},
    // A value followed by another switch.
    {"/ts:timetable /s", "/TS:", false, "TIMETABLE"},
    {"/ts:timetable /s", "/S", true, "/S"},
    {"  /TS:ONCE   /MONITOR  ", "/TS:", false, "ONCE"},
    {"/MONITOR /TS:ONCE", "/TS:", false, "ONCE"},
    // Written together: without a blank the value ends at the next "/".
    {"/TS:INTERVAL/MONITOR", "/TS:", false, "INTERVAL"},
    {"/TS:INTERVAL/MONITOR", "/MONITOR", true, "/MONITOR"},
    {"/TS:ONCE/S", "/TS:", false, "ONCE"},
    {"/TS:ONCE/S", "/S", true, "/S"},
    // Blanks inside the switch still match; the value may follow after blanks.
    {"/ TS :ONCE", "/TS:", false, "ONCE"},
    {"/ TS : ONCE", "/TS:", false, "ONCE"},
    {"/TS:   INTERVAL", "/TS:", false, "INTERVAL"},
    {"/TS:ONCE", " / ts : ", false, "ONCE"},
    // The matched text runs from "/" to the next "S": any switch that starts with "/S" is "/S".
    {"/S", "/S", true, "/S"},
    {"/s", "/s", true, "/S"},
    {"/STOP", "/S", true, "/S"},
    {"/TS:ONCE /SILENT", "/S", true, "/S"},
    {"/TS:ONCE", "/S", true, ""},
    {"/TS:TIMETABLE", "/S", true, ""},
    // Empty name or empty command line.
    {"", "/TS:", false, ""},
    {"   ", "/TS:", false, ""},
    {"/TS:ONCE", "", false, ""},
    {"/TS:ONCE", "   ", true, ""},
    {"", "/S", true, ""},
    // Unknown values come back as they are (upper case); a switch with no value gives "".
    {"/TS:WEEKLY", "/TS:", false, "WEEKLY"},
    {"/TS:", "/TS:", false, ""},
    {"/TS: /S", "/TS:", false, ""},
    {"/MONITOR", "/TS:", false, ""},
    // Flags carry no value.
    {"/MONITOR", "/MONITOR", true, "/MONITOR"},
    {"/monitor", "/Monitor", true, "/MONITOR"},
    {"/MON", "/MONITOR", true, ""},
    {"/TS:ONCE", "/MONITOR", true, ""},
    {"/TS:ONCE", "/TS:", true, "/TS:"},
};

INSTANTIATE_TEST_SUITE_P(GetCmdSwitch, CmdSwitchTable, ::testing::ValuesIn(kCases));

} // namespace
