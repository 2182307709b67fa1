// Event routing inside the control with injected line states: a pseudo-terminal has no modem
// lines, so the reader's findings are handed to the link directly.
#include "CJXmodem.h"
#include "CSerloCtrl.h"
#include "LinkEvents.h"
#include "PtyPair.h"
#include "TempHome.h"
#include "Wait.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <thread>

using namespace serlo;
using namespace std::chrono_literals;

namespace {

struct Recorder {
    std::vector<std::int32_t> ids;
    std::vector<QThread*> threads;
    void attach(CSerloCtrl& c)
    {
        c.Advise([this](std::int32_t id, const std::vector<Value>&) {
            ids.push_back(id);
            threads.push_back(QThread::currentThread());
        });
    }
};

} // namespace

TEST(CtrlEvents, ModemLineEventsFromTheReaderThreadFollowTheMask)
{
    TempHome home;
    CSerloCtrl ctrl;
    Recorder rec;
    rec.attach(ctrl);
    ctrl.SetProperty(dispid::EventMask, Value::I4(EV_CTS | EV_RLSD));

    // Delivered from another thread, as the reader does, and raised on the control's thread.
    std::thread reader([&] { ctrl.Link().HandleEvents(EV_CTS); });
    reader.join();
    ASSERT_TRUE(px::waitUntil([&] { return rec.ids.size() == 1; }, 1000ms));
    EXPECT_EQ(rec.ids[0], 1);
    EXPECT_EQ(rec.threads[0], QCoreApplication::instance()->thread());

    std::thread other([&] { ctrl.Link().HandleEvents(EV_DSR | EV_RING); });
    other.join();
    px::waitFor(50ms);
    EXPECT_EQ(rec.ids.size(), 1u);
    // Both passes were accumulated for CommEvent.
    EXPECT_EQ(ctrl.GetProperty(dispid::CommEvent).i, EV_CTS | EV_DSR | EV_RING);
    EXPECT_EQ(ctrl.GetProperty(dispid::CommEvent).i, 0);
}

TEST(CtrlEvents, TransferNotificationsRaiseOnTransfer)
{
    CSerloCtrl ctrl;
    std::vector<std::vector<Value>> got;
    ctrl.Advise([&](std::int32_t id, const std::vector<Value>& args) {
        if (id == 2) got.push_back(args);
    });
    ctrl.Link().Notify(5, 17);
    ctrl.Link().Notify(9, 1); // not a transfer code: no event
    ASSERT_TRUE(px::waitUntil([&] { return !got.empty(); }, 1000ms));
    px::waitFor(20ms);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0][0].i, 5);
    EXPECT_EQ(got[0][1].i, 17);
}

TEST(CtrlEvents, SettingsChangesReachTheOpenPort)
{
    TempHome home;
    PtyPair pty;
    CSerloCtrl ctrl;
    ctrl.SetProperty(dispid::ExtPort, Value::Str(pty.path()));
    ctrl.SetProperty(dispid::ExtPortOpen, Value::Bool(true));
    ASSERT_TRUE(ctrl.PortOpen());
    // Mark and space parity, odd speeds and every flow mode are accepted by the line.
    EXPECT_TRUE(ctrl.Link().SetFraming(ParityMark, 7, 2));
    EXPECT_TRUE(ctrl.Link().SetFraming(ParitySpace, 8, 5));
    EXPECT_TRUE(ctrl.Link().SetSpeed(250000));
    EXPECT_TRUE(ctrl.Link().SetFlowControl(FC_XonXoff | FC_RtsCts));
    EXPECT_FALSE(ctrl.Link().SetFraming(ParityNone, 9, 1));
    EXPECT_FALSE(ctrl.Link().SetSpeed(0));
    ctrl.SetProperty(dispid::ExtPortOpen, Value::Bool(false));
    EXPECT_FALSE(ctrl.Link().SetSpeed(9600)); // closed: stored for the next open
    EXPECT_EQ(ctrl.Link().Speed(), 9600);
}

TEST(CtrlEvents, Rs485WritesStillArriveWhole)
{
    TempHome home;
    PtyPair pty;
    CSerloCtrl ctrl;
    ctrl.SetProperty(dispid::Handshaking, Value::I2(FC_RS485));
    ctrl.SetProperty(dispid::ExtPort, Value::Str(pty.path()));
    ctrl.SetProperty(dispid::ExtPortOpen, Value::Bool(true));
    ASSERT_TRUE(ctrl.PortOpen());
    const auto t0 = px::tickCount();
    ctrl.SetProperty(dispid::Text, Value::Str("RS485 frame"));
    // The bracketing waits are bounded even where no transmitter-empty event exists.
    EXPECT_LT(px::tickCount() - t0, 2000);
    EXPECT_EQ(pty.receive(11), "RS485 frame");
}

TEST(CtrlEvents, ALateLostNoticeLeavesANewerOpenAlone)
{
    TempHome home;
    PtyPair first, second;
    CSerloCtrl ctrl;
    ctrl.SetProperty(dispid::ExtPort, Value::Str(first.path()));
    ctrl.SetProperty(dispid::ExtPortOpen, Value::Bool(true));
    const int earlier = ctrl.Link().OpenCount();
    ctrl.SetProperty(dispid::ExtPort, Value::Str(second.path()));
    ctrl.SetProperty(dispid::ExtPortOpen, Value::Bool(true));
    ASSERT_TRUE(ctrl.PortOpen());
    QCoreApplication::postEvent(&ctrl, new LinkLostEvent(earlier)); // meant for the first open
    px::waitFor(px::Millis(20));
    EXPECT_TRUE(ctrl.PortOpen());
    QCoreApplication::postEvent(&ctrl, new LinkLostEvent(ctrl.Link().OpenCount()));
    px::waitFor(px::Millis(20));
    EXPECT_FALSE(ctrl.PortOpen());
}

TEST(CtrlEvents, AWriteStopsWhenAHandlerClosesThePortAndOpensAnother)
{
    TempHome home;
    PtyPair first, second;
    CSerloCtrl ctrl;
    ctrl.SetProperty(dispid::ExtPort, Value::Str(first.path()));
    ctrl.SetProperty(dispid::ExtPortOpen, Value::Bool(true));
    ASSERT_TRUE(ctrl.PortOpen());
    // Far more than the line holds, so the write has to wait for room, pumping events.
    const std::string big(1 << 20, 'w');
    bool switched = false;
    QTimer::singleShot(0, [&] {
        ctrl.SetProperty(dispid::ExtPort, Value::Str(second.path()));
        ctrl.SetProperty(dispid::ExtPortOpen, Value::Bool(true));
        switched = ctrl.PortOpen();
    });
    const int written = ctrl.Link().Write(reinterpret_cast<const std::uint8_t*>(big.data()),
                                          static_cast<int>(big.size()));
    ASSERT_TRUE(switched);
    EXPECT_GT(written, 0);
    EXPECT_LT(written, static_cast<int>(big.size()));
    // Not one byte of the first port's buffer reaches the port opened meanwhile.
    EXPECT_EQ(second.receive(1, 200), "");
    EXPECT_LE(first.receive(big.size(), 200).size(), static_cast<std::size_t>(written));
}
