// The shared trims, the comma split and the frame's hexadecimal byte.
#include "CharClass.h"
#include "Frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using px::chars::SplitComma;
using px::chars::TrimBlanks;
using px::chars::TrimSpaces;

TEST(CharClass, TrimSpacesKeepsTabs)
{
    EXPECT_EQ(TrimSpaces("  a b  "), "a b");
    EXPECT_EQ(TrimSpaces("\ta\t"), "\ta\t");
    EXPECT_EQ(TrimSpaces(" \t "), "\t");
    EXPECT_EQ(TrimSpaces("   "), "");
}

TEST(CharClass, TrimBlanksTakesSpacesAndTabs)
{
    EXPECT_EQ(TrimBlanks(" \ta b\t "), "a b");
    EXPECT_EQ(TrimBlanks("\t\t"), "");
    EXPECT_EQ(TrimBlanks("x\r"), "x\r");
}

TEST(CharClass, SplitCommaKeepsEmptyFields)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitComma(""), V{""});
    EXPECT_EQ(SplitComma("a"), V{"a"});
    EXPECT_EQ(SplitComma("a,,b"), (V{"a", "", "b"}));
    EXPECT_EQ(SplitComma(",x,"), (V{"", "x", ""}));
    EXPECT_EQ(SplitComma(" a , b"), (V{" a ", " b"}));
}

TEST(Frame, HexByteIsTwoUpperCaseDigits)
{
    EXPECT_EQ(px::frame::HexByte(0), "00");
    EXPECT_EQ(px::frame::HexByte(0x0A), "0A");
    EXPECT_EQ(px::frame::HexByte(0xFE), "FE");
    EXPECT_EQ(px::frame::Checksum("C01,0A"), px::frame::HexByte(px::frame::Sum("C01,0A")));
}
