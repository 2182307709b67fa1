// The transfer progress window: shown while a transfer runs (forced here, as the tests run on the
// offscreen platform), updated by the transfer loop without blocking it, the host's window
// disabled meanwhile, and its Cancel ending the transfer.
#include "XmodemProgress.h"
#include "CJXmodem.h"
#include "CSerloCtrl.h"
#include "PtyPair.h"
#include "TempHome.h"
#include "Wait.h"
#include "XmodemBlock.h"

#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <fstream>
#include <poll.h>
#include <thread>

using namespace serlo;
using namespace std::chrono_literals;

namespace {

struct Snapshot {
    bool shown = false;
    QString title;
    QString status;
    QString percent;
    int barValue = -1;
    bool hostEnabled = true;
};

// What the window shows right now; then presses its Cancel.
Snapshot LookAndCancel(const CJXmodem& link, QWidget& host)
{
    Snapshot s;
    const XmodemProgress* progress = link.Progress();
    if (!progress || !progress->Window()) return s;
    QDialog* d = progress->Window();
    s.shown = d->isVisible();
    s.title = d->windowTitle();
    s.hostEnabled = host.isEnabled();
    for (QLabel* label : d->findChildren<QLabel*>()) {
        if (label->text().endsWith('%'))
            s.percent = label->text();
        else
            s.status = label->text();
    }
    if (auto* bar = d->findChild<QProgressBar*>()) s.barValue = bar->value();
    for (QPushButton* b : d->findChildren<QPushButton*>())
        if (b->text() == "Cancel") b->click();
    return s;
}

// Answers every packet with ACK, slowly enough for the window to be looked at.
void SlowReceiver(int fd)
{
    auto write = [fd](char c) { [[maybe_unused]] auto n = ::write(fd, &c, 1); };
    write('C');
    std::string packet;
    char buf[256];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0) return;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) return;
        packet.append(buf, static_cast<std::size_t>(n));
        if (packet[0] != xmodem::SOH) return; // the cancel sequence
        if (packet.size() >= 133) {
            packet.erase(0, 133);
            std::this_thread::sleep_for(5ms);
            write(xmodem::ACK);
        }
    }
}

} // namespace

TEST(XmodemProgressWindow, SendingShowsTheWindowAndItsCancelEndsTheTransfer)
{
    TempHome home;
    PtyPair pty;
    CSerloCtrl ctrl;
    ctrl.SetProperty(dispid::ExtPort, Value::Str(pty.path()));
    ctrl.SetProperty(dispid::ExtPortOpen, Value::Bool(true));
    ASSERT_TRUE(ctrl.PortOpen());
    ctrl.Link().SetProgressMode(XmodemProgress::Mode::Window);
    const std::string file = home.dir() + "/big.bin";
    std::ofstream(file, std::ios::binary) << std::string(400 * 128, 'x');

    QWidget host;
    host.setWindowTitle("host");
    host.show();
    Snapshot seen;
    QTimer::singleShot(400ms, &ctrl, [&] { seen = LookAndCancel(ctrl.Link(), host); });
    std::thread peer([&] { SlowReceiver(pty.master()); });
    const bool ok = ctrl.CallMethod(dispid::PostFile, {Value::Str(file)}).AsBool();
    peer.join();

    EXPECT_FALSE(ok);
    EXPECT_TRUE(seen.shown);
    EXPECT_EQ(seen.title, "Send File...");
    EXPECT_TRUE(seen.status.startsWith("Send File BLK:")) << seen.status.toStdString();
    EXPECT_EQ(seen.status.size(), 18);
    EXPECT_GT(seen.barValue, 0); // the loop moved it while the window was up
    EXPECT_TRUE(seen.percent.endsWith('%'));
    EXPECT_FALSE(seen.hostEnabled);
    // Closed with the transfer, and the host works again.
    EXPECT_EQ(ctrl.Link().Progress(), nullptr);
    EXPECT_TRUE(host.isEnabled());
}

TEST(XmodemProgressWindow, ReceivingShowsItsOwnCaption)
{
    TempHome home;
    PtyPair pty;
    CSerloCtrl ctrl;
    ctrl.SetProperty(dispid::ExtPort, Value::Str(pty.path()));
    ctrl.SetProperty(dispid::ExtPortOpen, Value::Bool(true));
    ASSERT_TRUE(ctrl.PortOpen());
    ctrl.Link().SetProgressMode(XmodemProgress::Mode::Window);
    QWidget host;
    host.show();
    Snapshot seen;
    QTimer::singleShot(200ms, &ctrl, [&] { seen = LookAndCancel(ctrl.Link(), host); });
    // A sender that has not started yet: the window waits with it.
    const bool ok =
        ctrl.CallMethod(dispid::RecvFile, {Value::Str(home.dir() + "/in.bin"), Value::Bool(false)})
            .AsBool();
    EXPECT_FALSE(ok);
    EXPECT_EQ(seen.title, "Receive File...");
    EXPECT_EQ(seen.status, "Recv File BLK:0000");
    EXPECT_EQ(seen.percent, " 0 %");
    EXPECT_TRUE(host.isEnabled());
}

TEST(XmodemProgressWindow, ClosingTheWindowCountsAsCancel)
{
    int cancels = 0;
    XmodemProgress progress(
        "Send File...", [&] { ++cancels; }, XmodemProgress::Mode::Window);
    ASSERT_NE(progress.Window(), nullptr);
    EXPECT_EQ(progress.PercentText(), " 0 %");
    progress.Window()->reject();
    EXPECT_EQ(cancels, 1);
}

TEST(XmodemProgressWindow, HeadlessHostsGetNoWindow)
{
    XmodemProgress progress("Send File...", nullptr, XmodemProgress::Mode::Headless);
    EXPECT_EQ(progress.Window(), nullptr);
    EXPECT_EQ(progress.DisabledHostWindow(), nullptr);
    // The offscreen platform counts as headless.
    if (QGuiApplication::platformName() == "offscreen") {
        EXPECT_FALSE(XmodemProgress::GuiAvailable());
    }
}

TEST(XmodemProgressWindow, AControlOnAnotherThreadShowsNoWindowAndLeavesTheHostAlone)
{
    QWidget host;
    host.show();
    bool window = true;
    bool guiThere = true;
    // Widgets exist only on the GUI thread: a session's thread transfers without a window.
    QThread* worker = QThread::create([&] {
        XmodemProgress progress("Send File...", nullptr, XmodemProgress::Mode::Window);
        window = progress.Window() != nullptr || progress.DisabledHostWindow() != nullptr;
        guiThere = XmodemProgress::GuiAvailable();
    });
    worker->start();
    ASSERT_TRUE(px::waitUntil([&] { return worker->isFinished(); }, px::Millis(5000)));
    delete worker;
    EXPECT_FALSE(window);
    EXPECT_FALSE(guiThere);
    EXPECT_TRUE(host.isEnabled());
}
