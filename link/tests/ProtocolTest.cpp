// The control's protocol methods against a simulated terminal on a pty: exact command texts,
// reply checks and the monitor events.
#include "CJXmodem.h"
#include "CSerloCtrl.h"
#include "Commands.h"
#include "Frame.h"
#include "SimProcess.h"
#include "TempHome.h"
#include "Wait.h"

#include <gtest/gtest.h>

using namespace serlo;
using px::testing::SimProcess;

namespace {

struct Monitor {
    std::vector<std::pair<int, std::string>> lines;
    int onComm = 0;
    void attach(CSerloCtrl& c)
    {
        c.Advise([this](std::int32_t id, const std::vector<Value>& args) {
            if (id == 3)
                lines.emplace_back(args[0].i, args[1].s);
            else if (id == 1)
                ++onComm;
        });
    }
};

std::string Sum(const std::string& text)
{
    return text + px::frame::Checksum(text);
}

class ControlOnPty : public ::testing::Test {
protected:
    void Start(std::vector<std::string> args = {})
    {
        args.insert(args.begin(), "--pty");
        sim = std::make_unique<SimProcess>(args);
        ASSERT_TRUE(sim->ok());
        ctrl.SetProperty(dispid::ExtPort, Value::Str(sim->endpoint()));
        ctrl.SetProperty(dispid::ExtPortOpen, Value::Bool(true));
        ASSERT_TRUE(ctrl.PortOpen());
        ctrl.SetProperty(dispid::VNetTimeout, Value::I4(1000));
        mon.attach(ctrl);
    }
    Value Call(std::int32_t id, std::vector<Value> args = {}) { return ctrl.CallMethod(id, args); }
    // The next frame the simulator received, as it logs it.
    std::string NextRx() { return sim->waitPrefix("RX "); }
    bool Sent(const std::string& escaped) { return !sim->waitPrefix("RX " + escaped).empty(); }

    TempHome home;
    CSerloCtrl ctrl;
    Monitor mon;
    std::unique_ptr<SimProcess> sim;
};

} // namespace

TEST_F(ControlOnPty, SendVNetCmdWritesTheFrameAndReportsIt)
{
    Start();
    // A fixed clock keeps the reply independent of today's date.
    ASSERT_EQ(ctrl.SendVNetCmd("S203006151200007", false, false), "A");
    EXPECT_EQ(NextRx(), "RX \\x02S203006151200007\\x0D");
    mon.lines.clear();
    Call(dispid::SendVNetCmd, {Value::Str("T"), Value::Bool(false), Value::Bool(false)});
    EXPECT_EQ(NextRx(), "RX \\x02T\\x0D");
    ASSERT_EQ(mon.lines.size(), 2u);
    EXPECT_EQ(mon.lines[0], std::make_pair(1, std::string("\x02T\r")));
    EXPECT_EQ(mon.lines[1].first, 2);
    EXPECT_EQ(mon.lines[1].second.substr(0, 11), "A2030061512");
}

TEST_F(ControlOnPty, ReplyChecksumOnAcceptedRepliesOnly)
{
    Start();
    ASSERT_TRUE(sim->command("reply-once \\x02" + Sum("A0123") + "\\r"));
    EXPECT_EQ(ctrl.SendVNetCmd("B01", false, true), "A0123");
    // The reply is reported before its checksum is removed.
    EXPECT_EQ(mon.lines.back(), std::make_pair(2, Sum("A0123")));

    mon.lines.clear();
    ASSERT_TRUE(sim->command("reply-once \\x02A012399\\r"));
    EXPECT_EQ(ctrl.SendVNetCmd("B01", false, true), "");
    ASSERT_EQ(mon.lines.size(), 3u);
    EXPECT_EQ(mon.lines[1], std::make_pair(2, std::string("A012399")));
    EXPECT_EQ(mon.lines[2], std::make_pair(0, std::string("$CHKSUM ERROR")));

    ASSERT_TRUE(sim->command("reply-once \\x02N05\\r"));
    EXPECT_EQ(ctrl.SendVNetCmd("B01", false, true), "N05");
    ASSERT_TRUE(sim->command("reply-once \\x02"
                             "A1\\r"));
    EXPECT_EQ(ctrl.SendVNetCmd("B01", false, true), "A1");
}

TEST_F(ControlOnPty, TimeOutIsReportedThroughTheMonitor)
{
    Start();
    ctrl.SetProperty(dispid::VNetTimeout, Value::I4(200));
    ASSERT_TRUE(sim->command("silent on"));
    EXPECT_EQ(Call(dispid::GetTime).s, "");
    EXPECT_EQ(mon.lines.back(), std::make_pair(0, std::string("$TIMEOUT")));
    EXPECT_FALSE(Call(dispid::Reset).AsBool());
    EXPECT_EQ(Call(dispid::GetRecordCount).i, 0);
}

TEST_F(ControlOnPty, AReplyCutOffBeforeItsCrIsATimeOut)
{
    Start();
    ctrl.SetProperty(dispid::VNetTimeout, Value::I4(200));
    ASSERT_TRUE(sim->command("reply-once \\x02"
                             "A"));
    EXPECT_FALSE(Call(dispid::Reset).AsBool());
    EXPECT_EQ(mon.lines.back(), std::make_pair(0, std::string("$TIMEOUT")));
}

TEST_F(ControlOnPty, CommandTextsAreExact)
{
    Start({"--id", "1", "--records", "3"});
    EXPECT_EQ(Call(dispid::GetRecord, {Value::I2(2)}).s.substr(0, 6), "A0002,");
    EXPECT_EQ(NextRx(), "RX \\x02G0002\\x0D");
    EXPECT_TRUE(Call(dispid::EraseRecord, {Value::I2(16)}).AsBool());
    EXPECT_EQ(NextRx(), "RX \\x02E0010\\x0D");
    EXPECT_TRUE(Call(dispid::EraseRecord, {Value::I2(-1)}).AsBool());
    EXPECT_EQ(NextRx(), "RX \\x02E\\x0D");
    EXPECT_TRUE(Call(dispid::WriteRecord, {Value::I2(26), Value::Str("x")}).AsBool());
    EXPECT_EQ(NextRx(), "RX \\x02" + Sum("W001a,x") + "\\x0D");
    EXPECT_TRUE(Call(dispid::SetRegister, {Value::I2(1), Value::Str("0A")}).AsBool());
    EXPECT_EQ(NextRx(), "RX \\x02" + Sum("C01,0A") + "\\x0D");
    EXPECT_EQ(Call(dispid::GetRegister, {Value::I2(1)}).s, "A0A");
    EXPECT_EQ(NextRx(), "RX \\x02"
                        "B01\\x0D");
    EXPECT_TRUE(Call(dispid::SetTime, {Value::I2(2003), Value::I2(12), Value::I2(31), Value::I2(23),
                                       Value::I2(59), Value::I2(59), Value::I2(4)})
                    .AsBool());
    EXPECT_EQ(NextRx(), "RX \\x02S200312312359594\\x0D");
    EXPECT_EQ(Call(dispid::Polling, {Value::I2(31)}).s, ""); // nobody with ID 31
    EXPECT_EQ(NextRx(), "RX \\x02"
                        "D1F\\x0D");
    EXPECT_TRUE(Call(dispid::Polling, {Value::I2(1)}).s.rfind("A01", 0) == 0);
    EXPECT_EQ(NextRx(), "RX \\x02"
                        "D01\\x0D");
    EXPECT_TRUE(Call(dispid::SetPassword, {Value::Str("abc")}).AsBool());
    EXPECT_EQ(NextRx(), "RX \\x02" + Sum("Pabc") + "\\x0D");
}

TEST_F(ControlOnPty, RecordCountIsReadAsHexadecimal)
{
    Start();
    ASSERT_TRUE(sim->command("reply-once \\x02" + Sum("A01F4") + "\\r"));
    EXPECT_EQ(Call(dispid::GetRecordCount).i, 500);
    ASSERT_TRUE(sim->command("reply-once \\x02" + Sum("AFFFF") + "\\r"));
    EXPECT_EQ(Call(dispid::GetRecordCount).i, 65535);
    ASSERT_TRUE(sim->command("reply-once \\x02N07\\r"));
    EXPECT_EQ(Call(dispid::GetRecordCount).i, 0);
    EXPECT_EQ(NextRx(), "RX \\x02N\\x0D");
}

TEST_F(ControlOnPty, LoginXAnswersTheChallengeWithWrappingArithmetic)
{
    // c1 0x20 - hi 0x50 wraps to 0xD0; c2 0x3C xor lo 0x0F is 0x33.
    Start({"--password", "secret", "--challenge", "80,15,32,60"});
    EXPECT_TRUE(
        Call(dispid::LoginX, {Value::Str("guess"), Value::I2(0x50), Value::I2(0x0F)}).AsBool());
    EXPECT_EQ(NextRx(), "RX \\x02Lguess\\x0D");
    EXPECT_EQ(NextRx(), "RX \\x02LD033\\x0D");
    EXPECT_EQ(ctrl.GetProperty(dispid::LastPassword).s, "D033");
    EXPECT_TRUE(Call(dispid::LoginX, {Value::Str("secret"), Value::I2(0), Value::I2(0)}).AsBool());
}

TEST_F(ControlOnPty, ArgumentsOutsideTheFormatsSendNothing)
{
    Start();
    struct Case {
        std::int32_t id;
        std::vector<Value> args;
    } cases[] = {
        {dispid::Polling, {Value::I2(256)}},
        {dispid::SetID, {Value::I2(-1)}},
        {dispid::GetRegister, {Value::I2(300)}},
        {dispid::SetRegister, {Value::I2(1), Value::Str("0\r1")}},
        {dispid::GetRecord, {Value::I2(-2)}},
        {dispid::WriteRecord, {Value::I2(-5), Value::Str("x")}},
        {dispid::Login, {Value::Str(std::string(19, 'p'))}},
        {dispid::SetPassword, {Value::Str(std::string(19, 'p'))}},
        {dispid::LoginX, {Value::Str(std::string(19, 'p')), Value::I2(0), Value::I2(0)}},
        {dispid::SetTime,
         {Value::I2(2026), Value::I2(1), Value::I2(1), Value::I2(0), Value::I2(0), Value::I2(0),
          Value::I2(10)}},
        {dispid::SetTime,
         {Value::I2(-1), Value::I2(1), Value::I2(1), Value::I2(0), Value::I2(0), Value::I2(0),
          Value::I2(1)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        mon.lines.clear();
        const Value v = Call(c.id, c.args);
        EXPECT_EQ(v.i, 0);
        EXPECT_EQ(v.s, "");
        ASSERT_EQ(mon.lines.size(), 1u);
        EXPECT_EQ(mon.lines[0].first, 0);
        EXPECT_EQ(mon.lines[0].second.rfind("$BAD ARGUMENT ", 0), 0u);
    }
    // File requests with another protocol are refused without a word.
    mon.lines.clear();
    EXPECT_FALSE(Call(dispid::SendFileReq, {Value::Str("a.txt"), Value::I2(1)}).AsBool());
    EXPECT_FALSE(Call(dispid::RecvFileReq, {Value::Str("a.txt"), Value::I2(7)}).AsBool());
    EXPECT_TRUE(mon.lines.empty());
    // The line stayed quiet through all of it: the next frame the simulator sees is this one.
    Call(dispid::Logout);
    EXPECT_EQ(NextRx(), "RX \\x02O\\x0D");
}

TEST_F(ControlOnPty, FileCommandsAndCounts)
{
    Start();
    EXPECT_TRUE(Call(dispid::MkDir, {Value::Str("/logs")}).AsBool());
    EXPECT_EQ(NextRx(), "RX \\x02"
                        "FM/logs\\x0D");
    ASSERT_TRUE(sim->command("reply-once \\x02"
                             "A12\\r"));
    EXPECT_EQ(Call(dispid::GetFileCount, {Value::Str("/")}).i, 12);
    Call(dispid::RecvFileReq, {Value::Str("f.bin"), Value::I2(1)});
    EXPECT_EQ(NextRx(), "RX \\x02"
                        "FN/\\x0D");
    EXPECT_EQ(NextRx(), "RX \\x02UYf.bin\\x0D");
}

TEST_F(ControlOnPty, OnCommIsQuietDuringAnExchange)
{
    Start();
    ctrl.SetProperty(dispid::EventMask, Value::I4(1));
    ASSERT_FALSE(Call(dispid::GetTime).s.empty());
    px::waitFor(px::Millis(30));
    EXPECT_EQ(mon.onComm, 0);
    ASSERT_TRUE(sim->command("raw xyz"));
    ASSERT_TRUE(px::waitUntil([&] { return mon.onComm > 0; }, px::Millis(2000)));
}

TEST(Commands, ParsersReadDigitByDigit)
{
    EXPECT_EQ(cmd::HexDigits("01F4"), 500);
    EXPECT_EQ(cmd::HexDigits("FFFF"), 65535);
    EXPECT_EQ(cmd::HexDigits("G"), 16); // 'G' - 55
    EXPECT_EQ(cmd::DecDigits("42"), 42);
    EXPECT_EQ(cmd::DecDigits("4A"), 57); // unchecked: 4 * 10 + ('A' - 48)
    EXPECT_EQ(cmd::ChallengeResponse("N203C", 0x50, 0x0F), "D033");
    EXPECT_EQ(cmd::ChallengeResponse("N2", 0, 0), std::nullopt);
    EXPECT_EQ(cmd::ChallengeResponse("A203C", 0, 0), std::nullopt);
    EXPECT_EQ(*cmd::Polling(7), "D07");
    EXPECT_EQ(*cmd::Polling(31), "D1F");
    EXPECT_EQ(*cmd::WriteRecord(26, "x"), "W001a,x");
    EXPECT_EQ(*cmd::SetTime(2003, 12, 31, 23, 59, 59, 4), "S200312312359594");
}
