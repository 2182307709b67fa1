// The reply parsers, each against a table of replies a terminal sends or a damaged line brings.
#include "Replies.h"
#include "VbText.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

using namespace px::reply;

namespace {

struct TimeCase {
    const char* reply;
    std::optional<px::Stamp> expected;
};

std::ostream& operator<<(std::ostream& os, const TimeCase& c)
{
    return os << '"' << c.reply << '"';
}

class TimeReplies : public ::testing::TestWithParam<TimeCase> {};

TEST_P(TimeReplies, Parse)
{
    const auto got = ParseTime(GetParam().reply);
    const auto& want = GetParam().expected;
    ASSERT_EQ(got.has_value(), want.has_value());
    if (!want) return;
    EXPECT_EQ(got->year, want->year);
    EXPECT_EQ(got->month, want->month);
    EXPECT_EQ(got->day, want->day);
    EXPECT_EQ(got->hour, want->hour);
    EXPECT_EQ(got->minute, want->minute);
    EXPECT_EQ(got->second, want->second);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TimeReplies,
    ::testing::Values(TimeCase{"A20260305080102", px::Stamp{2026, 3, 5, 8, 1, 2}},
                      // a weekday digit after the seconds is ignored
                      TimeCase{"A202412312359594", px::Stamp{2024, 12, 31, 23, 59, 59}},
                      TimeCase{"A20240229000000", px::Stamp{2024, 2, 29, 0, 0, 0}},
                      TimeCase{"A20250229000000", std::nullopt}, // no 29 February in 2025
                      TimeCase{"A20261305080102", std::nullopt}, // month 13
                      TimeCase{"A20260305240000", std::nullopt}, // hour 24
                      TimeCase{"A2026030508010", std::nullopt},  // one digit short
                      TimeCase{"N20260305080102", std::nullopt}, // refused
                      TimeCase{"", std::nullopt}));

struct CountCase {
    const char* reply;
    long expected;
};

std::ostream& operator<<(std::ostream& os, const CountCase& c)
{
    return os << '"' << c.reply << '"';
}

class CountReplies : public ::testing::TestWithParam<CountCase> {};

TEST_P(CountReplies, Parse)
{
    EXPECT_EQ(ParseRecordCount(GetParam().reply), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, CountReplies,
                         ::testing::Values(CountCase{"A0000", 0}, CountCase{"A001F", 31},
                                           CountCase{"A1FFC", 8188}, CountCase{"AffFF", 65535},
                                           CountCase{"A001", -1}, CountCase{"A00010", -1},
                                           CountCase{"A00G0", -1}, CountCase{"N0001", -1},
                                           CountCase{"", -1}));

TEST(PollReplies, IdAndModel)
{
    const auto poll = ParsePoll("A05PX740 V1");
    ASSERT_TRUE(poll);
    EXPECT_EQ(poll->id, 5);
    EXPECT_EQ(poll->model, "PX740 V1");
    const auto hexId = ParsePoll("AFEPX745");
    ASSERT_TRUE(hexId);
    EXPECT_EQ(hexId->id, 254);
    const auto badId = ParsePoll("AZZPX740");
    ASSERT_TRUE(badId);
    EXPECT_EQ(badId->id, -1);
    EXPECT_FALSE(ParsePoll("A05XX740"));
    EXPECT_FALSE(ParsePoll("N05PX740"));
    EXPECT_FALSE(ParsePoll(""));
}

TEST(VersionReplies, VersionAndExtension)
{
    const auto both = ParseVersion("A1.7R (JIS-II)");
    ASSERT_TRUE(both);
    EXPECT_EQ(both->version, "1.7R");
    EXPECT_EQ(both->ext, "(JIS-II)");
    const auto plain = ParseVersion("A 1.6 ");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->version, "1.6");
    EXPECT_EQ(plain->ext, "");
    EXPECT_FALSE(ParseVersion("A"));
    EXPECT_FALSE(ParseVersion("A1"));
    EXPECT_FALSE(ParseVersion("N1.7"));
}

struct RegisterCase {
    const char* reply;
    int decimal;
    int hex;
};

std::ostream& operator<<(std::ostream& os, const RegisterCase& c)
{
    return os << '"' << c.reply << '"';
}

class RegisterReplies : public ::testing::TestWithParam<RegisterCase> {};

TEST_P(RegisterReplies, Parse)
{
    EXPECT_EQ(ParseDecimalRegister(GetParam().reply), GetParam().decimal);
    EXPECT_EQ(ParseHexRegister(GetParam().reply), GetParam().hex);
}

INSTANTIATE_TEST_SUITE_P(Table, RegisterReplies,
                         ::testing::Values(RegisterCase{"A00", 0, 0}, RegisterCase{"A03", 3, 3},
                                           RegisterCase{"A10", 10, 16}, RegisterCase{"A0A", -1, 10},
                                           RegisterCase{"A99x", 99, 153},
                                           RegisterCase{"A0", -1, -1}, RegisterCase{"N03", -1, -1},
                                           RegisterCase{"", -1, -1}));

TEST(SlotReplies, EventByMaskAndTime)
{
    EXPECT_EQ(ParseSlotEvent("A01", "A01"), "01");
    EXPECT_EQ(ParseSlotEvent("A00", "A00A01"), "00");
    EXPECT_FALSE(ParseSlotEvent("AFF", "A00A01")); // a free slot
    EXPECT_FALSE(ParseSlotEvent("N01", "N01"));
    EXPECT_EQ(ParseSlotTime("A0730"), "07:30");
    EXPECT_EQ(ParseSlotTime("A2359"), "23:59");
    EXPECT_EQ(ParseSlotTime("A2400"), "");
    EXPECT_EQ(ParseSlotTime("AXXXX"), "");
    EXPECT_EQ(ParseSlotTime("A07300"), "");
    EXPECT_EQ(ParseSlotTime("N0730"), "");
    EXPECT_EQ(px::TimeFromCells(" 7", "5 "), "07:05");
    EXPECT_EQ(px::TimeFromCells("7", "60"), "");
    EXPECT_EQ(px::TimeFromCells("", "00"), "");
}

TEST(RefusalReplies, AcceptedOrReasonCode)
{
    EXPECT_TRUE(px::IsAccepted("A"));
    EXPECT_TRUE(px::IsAccepted("A0730"));
    EXPECT_FALSE(px::IsAccepted("N07"));
    EXPECT_FALSE(px::IsAccepted(""));
    EXPECT_FALSE(px::IsAccepted(" A"));
    EXPECT_EQ(RefusalCode("N07"), 7);
    EXPECT_EQ(RefusalCode("N1"), 1);
    EXPECT_EQ(RefusalCode("N123"), 12);
    EXPECT_EQ(RefusalCode("Nx7"), 0);
    EXPECT_EQ(RefusalCode("N"), 0);
}

struct RecordCase {
    const char* reply;
    int index;
    bool accepted;
    bool fixedLayout;
    const char* cardId;  // after the split, when the line has one
    const char* rebuilt; // with ";" as separator
};

std::ostream& operator<<(std::ostream& os, const RecordCase& c)
{
    return os << '"' << c.reply << "\" #" << c.index;
}

class RecordReplies : public ::testing::TestWithParam<RecordCase> {};

TEST_P(RecordReplies, AcceptAndSplit)
{
    const RecordCase& c = GetParam();
    const auto rec = AcceptRecord(c.reply, c.index);
    ASSERT_EQ(rec.has_value(), c.accepted);
    const RecordLine split = SplitRecord(c.reply);
    EXPECT_EQ(split.text, c.reply);
    EXPECT_EQ(split.fixedLayout, c.fixedLayout);
    EXPECT_EQ(split.cardId, c.cardId);
    EXPECT_EQ(RebuildRecord(split, ";", split.cardId), c.rebuilt);
    if (rec) {
        EXPECT_EQ(rec->cardId, split.cardId);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, RecordReplies,
    ::testing::Values(
        RecordCase{"A0000,0012345678,1,2026/03/05,08:01:02", 0, true, true, "0012345678",
                   "A0000;0012345678;1;2026/03/05;08:01:02"},
        RecordCase{"A001F,12,1,2026/03/05,08:01:02", 31, true, true, "12",
                   "A001F;12;1;2026/03/05;08:01:02"},
        // another index than the one asked for
        RecordCase{"A0002,0012345678,1,2026/03/05,08:01:02", 1, false, true, "0012345678",
                   "A0002;0012345678;1;2026/03/05;08:01:02"},
        // a one-character card ID: accepted and rebuilt, but no fixed layout for the grid
        RecordCase{"A0001,1,1,2026/03/05,08:01:02", 1, true, false, "1",
                   "A0001;1;1;2026/03/05;08:01:02"},
        RecordCase{"A0001,12,1,2026/02/30,08:01:02", 1, false, true, "12",
                   "A0001;12;1;2026/02/30;08:01:02"}, // no such date
        RecordCase{"A0001,12,1,2026/03/05,08:61:02", 1, false, true, "12",
                   "A0001;12;1;2026/03/05;08:61:02"}, // no such time
        // any character between date and time: accepted, rebuilt, not in the fixed layout
        RecordCase{"A0001,12,1,2026/03/05X08:01:02", 1, true, false, "12",
                   "A0001;12;1;2026/03/05X08:01:02"},
        RecordCase{"A0001;12,1,2026/03/05,08:01:02", 1, false, false, "1,2026/03/05,08:01:02",
                   "A0001;12;1,2026/03/05,08:01:02;1;2026/03/05;08:01:02"}, // first comma
        RecordCase{"N07", 0, false, false, "", ""}, RecordCase{"", 0, false, false, "", ""},
        RecordCase{"A0000,2026/03/05,08", 0, false, false, "", ""}));

TEST(RecordReplies, FieldsOfTheFixedLayout)
{
    const RecordLine rec = SplitRecord("A001F,12,1,2026/03/05,08:01:02");
    ASSERT_TRUE(rec.fixedLayout);
    EXPECT_EQ(rec.index, "001F");
    EXPECT_EQ(RecordIndex(rec.index), 31);
    EXPECT_EQ(rec.event, "1");
    EXPECT_EQ(rec.date, "2026/03/05");
    EXPECT_EQ(rec.time, "08:01:02");
    EXPECT_EQ(RecordIndex(""), 0);
    EXPECT_EQ(RecordIndex("00G0"), -1);
    EXPECT_EQ(RecordIndex("FFFFFFFF"), -1);
}

TEST(RecordReplies, CardIdFilter)
{
    EXPECT_EQ(FilterCardId("0012345678", 3, 4), "1234");
    EXPECT_EQ(FilterCardId("0012345678", 9, 4), "78");
    EXPECT_EQ(FilterCardId("0012345678", 11, 4), "");
    EXPECT_EQ(FilterCardId("0012345678", 0, 4), "0012345678");
    EXPECT_EQ(FilterCardId("0012345678", 1, -2), "");
}

TEST(Digits, LeadingZerosToTheWidth)
{
    EXPECT_EQ(px::Digits(7, 3), "007");
    EXPECT_EQ(px::Digits(1234, 3), "1234");
    EXPECT_EQ(px::Digits(-5, 3), "-05");
    EXPECT_EQ(px::Digits(0, 5), "00000");
    EXPECT_EQ(px::ThreeDigits(42), "042");
}

} // namespace
