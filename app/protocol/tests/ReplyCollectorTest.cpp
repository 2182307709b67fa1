// The frame and the reply collector as tables of cases.
#include "ReplyCollector.h"
#include "Frame.h"

#include <gtest/gtest.h>

using px::ReplyCollector;

namespace {

struct Collected {
    bool complete = false;
    std::string reply;
};

Collected Collect(const std::string& bytes, bool rx)
{
    ReplyCollector c(rx);
    for (char ch : bytes)
        if (c.Feed(ch)) return {true, c.Reply()};
    return {false, c.Reply()};
}

std::string WithSum(const std::string& text)
{
    return text + px::frame::Checksum(text);
}

} // namespace

TEST(Frame, ChecksumAndFraming)
{
    EXPECT_EQ(px::frame::Build("V", false), "\x02V\r");
    EXPECT_EQ(px::frame::Build("V", true), "\x02V56\r");
    EXPECT_EQ(px::frame::Checksum("@@@@"), "00"); // 4 x 64 = 256
    EXPECT_EQ(px::frame::Checksum("\n"), "0A");
    EXPECT_EQ(px::frame::Checksum(""), "00");
    EXPECT_EQ(px::frame::Checksum("\xff\x01"), "00");
    EXPECT_EQ(px::frame::HexPair('f', 'F'), 255);
    EXPECT_EQ(px::frame::HexPair('G', '0'), -1);
}

TEST(ReplyCollector, Cases)
{
    const std::string a12 = WithSum("A12");
    struct Case {
        const char* name;
        std::string bytes;
        bool rx;
        bool complete;
        std::string reply;
    } cases[] = {
        {"plain",
         "\x02"
         "AV1.7\r",
         false, true, "AV1.7"},
        {"checksum accepted", "\x02" + a12 + "\r", true, true, "A12"},
        {"checksum in lower case",
         "\x02"
         "A12" +
             std::string("a4") + "\r",
         true, true, "A12"},
        {"wrong checksum",
         "\x02"
         "A1299\r",
         true, true, ""},
        {"two characters",
         "\x02"
         "A1\r",
         true, true, ""},
        {"no checksum expected", "\x02" + a12 + "\r", false, true, a12},
        {"noise before STX", "xyz\x01\x02" + a12 + "\r", true, true, "A12"},
        {"two STX", "\x02junk\x02" + a12 + "\r", true, true, "A12"},
        {"no CR",
         "\x02"
         "A12",
         false, false, "A12"},
        {"bytes after CR stay",
         "\x02"
         "AB\rCD",
         false, true, "AB"},
        {"refusal with checksum flag", "\x02N07\r", true, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Collected got = Collect(c.bytes, c.rx);
        EXPECT_EQ(got.complete, c.complete);
        EXPECT_EQ(got.reply, c.reply);
    }
}

TEST(ReplyCollector, ReplyLengthIsBounded)
{
    const std::string huge = "\x02" + std::string(1 << 20, 'A');
    const Collected open = Collect(huge, false);
    EXPECT_FALSE(open.complete);
    EXPECT_EQ(open.reply.size(), ReplyCollector::kMaxReply);
    // An overlong reply can never pass a checksum test.
    std::string text(5000, 'A');
    EXPECT_EQ(Collect("\x02" + WithSum(text) + "\r", true).reply, "");
}
