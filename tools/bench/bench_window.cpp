// The main window's start-up and responsiveness: time from process start to the first painted
// window (empty program folder, then a 255-entry directory), and the event loop's longest stall
// while the window is idle and while a scheduled run over simulated terminals runs in the same
// process. Run on a real display (tools/bench.sh starts a virtual one).
#include "BenchSupport.h"
#include "Connect.h"
#include "DeviceOps.h"
#include "MainWindow.h"
#include "Program.h"
#include "ScheduledRun.h"
#include "SimProcess.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using namespace bench;

namespace {

const Clock::time_point kProcessStart = Clock::now();

// Notes the first paint of the window.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint) painted = true;
        return false;
    }
};

struct Window {
    std::unique_ptr<px::MainWindow> window = std::make_unique<px::MainWindow>();
    std::unique_ptr<px::Program> program;
    explicit Window(const std::string& commandLine)
        : program(std::make_unique<px::Program>("PX740", *window, commandLine))
    {
        window->Bind(*program);
    }
    ~Window()
    {
        window->Unbind();
        program.reset();
    }
};

double StartUp(const char* what, const std::function<void(const std::string&)>& prepare)
{
    const std::string home = MakeHome(what);
    prepare(home);
    const auto t0 = Clock::now();
    Window w("");
    if (w.program->Load() != 0) {
        std::fprintf(stderr, "start-up failed\n");
        std::exit(1);
    }
    w.window->AfterLoad();
    PaintWatch watch;
    w.window->installEventFilter(&watch);
    w.window->show();
    while (!watch.painted && MsSince(t0) < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    const double ms = MsSince(t0);
    std::printf("start-up to first paint, %-28s %7.1f ms\n", what, ms);
    w.window->removeEventFilter(&watch);
    fs::remove_all(home);
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const double appReady = MsSince(kProcessStart);
    const int terminals = argc > 1 ? std::atoi(argv[1]) : 5;
    const int records = argc > 2 ? std::atoi(argv[2]) : 500;
    std::printf("platform %s; QApplication ready %.1f ms after process start\n",
                qPrintable(QGuiApplication::platformName()), appReady);

    StartUp("empty program folder", [](const std::string&) {});
    StartUp("255-entry directory", [](const std::string& home) {
        std::ofstream out(home + "/px740/PX740.TXT", std::ios::binary);
        for (int id = 1; id <= 255; ++id)
            out << id << ",Terminal " << id << ",," << (id % 8 + 1) << ",19200,10.0.0." << id
                << ",1001\r\n";
    });

    // Idle, then a scheduled run over simulated terminals in the same process.
    const std::string home = MakeHome("run");
    std::vector<std::unique_ptr<px::testing::SimProcess>> sims;
    std::ofstream ports(home + "/config/serlo/ports.ini", std::ios::binary);
    ports << "[SERIALCOMM]\r\n";
    std::ofstream dir(home + "/px740/PX740.TXT", std::ios::binary);
    for (int i = 0; i < terminals; ++i) {
        sims.push_back(std::make_unique<px::testing::SimProcess>(
            std::vector<std::string>{"--pty", "--quiet", "--id", std::to_string(i + 1), "--records",
                                     std::to_string(records)}));
        if (!sims.back()->ok()) {
            std::fprintf(stderr, "simulator did not start\n");
            return 1;
        }
        ports << sims.back()->endpoint() << "=COM" << (10 + i) << "\r\n";
        dir << (i + 1) << ",T" << (i + 1) << ",," << (10 + i) << ",19200,0.0.0.0,1001\r\n";
    }
    // A device server too, for the terminal-open figures over TCP.
    const std::string tcpAddress = "127.0.0.77";
    sims.push_back(std::make_unique<px::testing::SimProcess>(
        std::vector<std::string>{"--tcp", tcpAddress + ":0", "--quiet", "--id", "99"}));
    if (!sims.back()->ok()) {
        std::fprintf(stderr, "device-server simulator did not start\n");
        return 1;
    }
    const std::string tcpPort =
        sims.back()->endpoint().substr(sims.back()->endpoint().rfind(':') + 1);
    dir << "99,Server,,0,19200," << tcpAddress << "," << tcpPort << "\r\n";
    ports.close();
    dir.close();

    Window w("");
    if (w.program->Load() != 0) return 1;
    w.window->AfterLoad();
    w.window->show();
    Pump(500);
    StallMeter meter;
    meter.Start();
    Pump(3000);
    std::printf("longest event-loop stall, idle window (3 s)        %7.1f ms\n", meter.Stop());

    // Double-click to connected: terminal 1 on a pty, terminal 99 behind a device server.
    for (const char* which : {"001-T1", "099-Server"}) {
        const auto& lines = w.program->core().directory().Lines();
        int row = -1;
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i].text == which) row = static_cast<int>(i);
        meter.Start();
        const auto opened = Clock::now();
        const bool ok = w.program->core().OpenTerminal(row);
        const double ms = MsSince(opened);
        std::printf("open %-10s %s in %7.1f ms, longest stall %5.1f ms\n", which,
                    ok ? "connected" : "FAILED   ", ms, meter.Stop());
    }
    w.program->core().session().device().OffLine();

    meter.Start();
    const auto t0 = Clock::now();
    w.program->run().TSChkDevice();
    const double seconds = MsSince(t0) / 1000;
    const double stall = meter.Stop();
    std::printf("scheduled run, %d terminals x %d records: %.2f s, %.0f records/s\n", terminals,
                records, seconds, terminals * records / seconds);
    std::printf("longest event-loop stall during the run             %7.1f ms\n", stall);
    if (!w.program->run().LastRunComplete()) std::fprintf(stderr, "the run was not complete\n");
    fs::remove_all(home);
    return 0;
}
