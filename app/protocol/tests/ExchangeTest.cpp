// The main program's exchange and monitor against a simulated terminal on a pty and behind a
// simulated device server.
#include "Exchange.h"
#include "CoreHarness.h"
#include "Frame.h"
#include "Wait.h"

#include <QTimer>
#include <gtest/gtest.h>

#include <stdexcept>

using namespace std::chrono_literals;
using px::testing::CoreHarness;
using px::testing::SimProcess;

namespace {

std::string Sum(const std::string& text)
{
    return text + px::frame::Checksum(text);
}

class ExchangeOnPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(h.linkReady) << h.linkError;
        sim = h.StartPtySim(5, {"--id", "1", "--version", "V1.7"});
        ASSERT_TRUE(sim->ok());
        link().SetCommPort(5);
        link().SetVNetTimeout(2000);
        link().SetPortOpen(true);
        ASSERT_TRUE(link().PortOpen());
    }
    px::SerloClient& link() { return h.core->session().link(); }
    px::Exchange& ex() { return h.core->session().exchange(); }
    px::LinkState& st() { return h.core->session().state(); }
    std::string monitor() const { return h.core->MonitorText(); }

    CoreHarness h;
    std::unique_ptr<SimProcess> sim;
};

// A view whose pointer change fails with an exception that is not the program's own.
class FailingView : public px::HeadlessView {
public:
    bool fail = false;
    void SetPointers(int screen, int window) override
    {
        px::HeadlessView::SetPointers(screen, window);
        if (fail) throw std::runtime_error("view gone");
    }
};

} // namespace

TEST_F(ExchangeOnPty, CommandIsFramedWithAndWithoutChecksum)
{
    // The simulated terminal takes "V" only without arguments; the frame on the wire is the point.
    ex().SendVNetCmd("V", true, false);
    EXPECT_FALSE(sim->waitPrefix("RX \\x02V56\\x0D").empty());
    EXPECT_NE(monitor().find("APP:<STX>V56<CR>"), std::string::npos);
    EXPECT_EQ(ex().SendVNetCmd("V", false, false), "AV1.7");
    EXPECT_FALSE(sim->waitPrefix("RX \\x02V\\x0D").empty());
    EXPECT_NE(monitor().find("APP:<STX>V<CR>\r\nDEV:<STX>AV1.7<CR>\r\n"), std::string::npos);
    EXPECT_EQ(st().nBusyDepth, 0);
    EXPECT_EQ(h.core->ScreenPointer(), px::kPointerDefault);
    EXPECT_EQ(h.core->WindowPointer(), px::kPointerDefault);
    EXPECT_EQ(h.view.status, "Command accepted");
    EXPECT_EQ(h.core->state().nStatusID, 9100);
}

TEST_F(ExchangeOnPty, ReplyChecksumIsCheckedAndRemoved)
{
    ASSERT_TRUE(sim->command("reply-once \\x02" + Sum("A12") + "\\r"));
    EXPECT_EQ(ex().SendVNetCmd("B01", false, true), "A12");

    ASSERT_TRUE(sim->command("reply-once \\x02A1299\\r"));
    EXPECT_EQ(ex().SendVNetCmd("B01", false, true), "");
    EXPECT_FALSE(st().bCmdTimeout);
    EXPECT_NE(monitor().find("DEV:<STX><CR>"), std::string::npos);

    ASSERT_TRUE(sim->command("reply-once \\x02AB\\r"));
    EXPECT_EQ(ex().SendVNetCmd("B01", false, true), "");
}

TEST_F(ExchangeOnPty, NoiseAndRepeatedStxAreIgnored)
{
    ASSERT_TRUE(sim->command("reply-once xyz\\x01\\x02" + Sum("A12") + "\\r"));
    EXPECT_EQ(ex().SendVNetCmd("B01", false, true), "A12");
    ASSERT_TRUE(sim->command("reply-once \\x02junk\\x02" + Sum("A12") + "\\r"));
    EXPECT_EQ(ex().SendVNetCmd("B01", false, true), "A12");
}

TEST_F(ExchangeOnPty, TimeOutSetsBothFlagsAndDropsThePartialReply)
{
    link().SetVNetTimeout(300);
    ASSERT_TRUE(sim->command("reply-once \\x02A12"));
    st().bLinkTimeout = false;
    const auto t0 = px::tickCount();
    EXPECT_EQ(ex().SendVNetCmd("B01", false, false), "");
    const auto elapsed = px::tickCount() - t0;
    EXPECT_GE(elapsed, 290);
    EXPECT_LT(elapsed, 2000);
    EXPECT_TRUE(st().bCmdTimeout);
    EXPECT_TRUE(st().bLinkTimeout);
    EXPECT_NE(monitor().find("DRV:$TIMEOUT\r\n"), std::string::npos);
    EXPECT_EQ(h.view.status, "Not Unit Found");
    EXPECT_EQ(monitor().find("DEV:"), std::string::npos);
}

TEST_F(ExchangeOnPty, StopRequestEndsTheWaitAtOnce)
{
    link().SetVNetTimeout(5000);
    ASSERT_TRUE(sim->command("silent on"));
    QTimer::singleShot(100, [this] { st().bStopComm = true; });
    const auto t0 = px::tickCount();
    EXPECT_EQ(ex().SendVNetCmd("V", false, false), "");
    EXPECT_LT(px::tickCount() - t0, 1000);
    EXPECT_FALSE(st().bCmdTimeout);
    EXPECT_EQ(monitor().find("DEV:"), std::string::npos);
    EXPECT_EQ(monitor().find("DRV:"), std::string::npos);
}

TEST_F(ExchangeOnPty, AStaleStopFlagDoesNotStopANewExchange)
{
    st().bStopComm = true;
    EXPECT_EQ(ex().SendVNetCmd("V", false, false), "AV1.7");
    EXPECT_FALSE(st().bStopComm);
}

TEST_F(ExchangeOnPty, RefusalShowsItsReasonText)
{
    ASSERT_TRUE(sim->command("refuse V 05"));
    EXPECT_EQ(ex().SendVNetCmd("V", false, false), "N05");
    EXPECT_EQ(h.core->state().nStatusID, 9005);
    ASSERT_TRUE(sim->command("refuse V 42"));
    EXPECT_EQ(ex().SendVNetCmd("V", false, false), "N42");
    EXPECT_EQ(h.core->state().nStatusID, 9005); // codes from 7 up change nothing
}

TEST_F(ExchangeOnPty, ClosedPortSendsNothing)
{
    link().SetPortOpen(false);
    h.core->ClearMonitor();
    EXPECT_EQ(ex().SendVNetCmd("V", false, false), "");
    EXPECT_FALSE(st().bCmdTimeout);
    EXPECT_EQ(monitor(), "");
    EXPECT_EQ(st().nBusyDepth, 0);
}

TEST_F(ExchangeOnPty, ControlMethodsReachTheSameMonitor)
{
    h.core->ClearMonitor();
    EXPECT_TRUE(link().Polling(1).rfind("A01", 0) == 0);
    EXPECT_NE(monitor().find("APP:<STX>D01<CR>"), std::string::npos);
    EXPECT_NE(monitor().find("DEV:<STX>A01"), std::string::npos);
    link().SetVNetTimeout(200);
    ASSERT_TRUE(sim->command("silent on"));
    st().bLinkTimeout = false;
    EXPECT_EQ(link().GetTime(), "");
    EXPECT_TRUE(st().bLinkTimeout);
    EXPECT_NE(monitor().find("DRV:$TIMEOUT"), std::string::npos);
}

TEST(Monitor, TraceTextWithOrWithoutFramingShowsTheSameLine)
{
    CoreHarness h;
    h.core->session().exchange().Serlo_VNetMonitor(2, "\x02"
                                                      "A12\r");
    const std::string framed = h.core->MonitorText();
    h.core->ClearMonitor();
    h.core->session().exchange().Serlo_VNetMonitor(2, "A12");
    EXPECT_EQ(h.core->MonitorText(), framed);
    EXPECT_EQ(framed, "DEV:<STX>A12<CR>\r\n");
}

TEST(Monitor, PaneKeepsItsTailAndObeysTheCheckBox)
{
    CoreHarness h;
    h.core->state().monitorChecked = false;
    h.core->ShowText("hidden");
    EXPECT_EQ(h.core->MonitorText(), "");
    h.core->state().monitorChecked = true;
    for (int i = 0; i < 500; ++i)
        h.core->ShowText("line " + std::to_string(i));
    const std::string& text = h.core->MonitorText();
    EXPECT_LE(text.size(), 4096u);
    EXPECT_GE(text.size(), 2000u);
    EXPECT_EQ(text.rfind("line 499\r\n"), text.size() - 10);
    EXPECT_EQ(text.rfind("line ", 0), 0u); // starts with a whole line
    EXPECT_EQ(h.view.monitor, text);
}

TEST(ExchangeOnTcp, DeviceServerExchange)
{
    CoreHarness h;
    ASSERT_TRUE(h.linkReady) << h.linkError;
    std::string address;
    int port = 0;
    auto sim = h.StartTcpSim({"--id", "3"}, &address, &port);
    ASSERT_TRUE(sim->ok());
    auto& link = h.core->session().link();
    link.SetIAddress(address);
    link.SetIPort(port > 32767 ? port - 65536 : port);
    link.SetCommPort(0);
    link.SetVNetTimeout(2000);
    link.SetPortOpen(true);
    ASSERT_TRUE(link.PortOpen());
    EXPECT_EQ(h.core->session().exchange().SendVNetCmd("D03", false, false).substr(0, 3), "A03");
    EXPECT_EQ(h.core->session().exchange().SendVNetCmd("V", false, false), "AV1.7");
}

// Depth and pointer come back however the exchange is left: a depth left raised would refuse
// closing for ever.
TEST(ExchangeGuard, AForeignExceptionLeavesNoBusyDepth)
{
    CoreHarness h; // the private home
    FailingView view;
    view.writeToStderr = false;
    px::Core core("PX740", view);
    core.SetScreenPointer(px::kPointerDefault);
    view.fail = true;
    EXPECT_THROW(core.session().exchange().SendVNetCmd("V", false, false), std::runtime_error);
    view.fail = false;
    EXPECT_EQ(core.session().state().nBusyDepth, 0);
    EXPECT_EQ(core.ScreenPointer(), px::kPointerDefault);
}
