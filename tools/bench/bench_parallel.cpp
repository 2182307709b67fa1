// Scheduled runs over many device servers: the wall time of one session at a time against the
// default (one per link, at most eight), records per second, the program's peak memory, the
// longest event-loop stall with the window shown, and addresses that answer nothing, whose
// time-outs should overlap instead of adding up.
//
// bench_parallel [terminals] [records] [unreachable]: the unreachable addresses lie in
// 198.51.100.0/24; tools/bench.sh routes that range into a loopback of a network namespace of
// its own, where nothing answers (without such a route the ping fails at once).
#include "BenchSupport.h"
#include "CoreHarness.h"
#include "HeadlessView.h"
#include "MainWindow.h"
#include "Program.h"
#include "ScheduledRun.h"
#include "SimProcess.h"

#include <QApplication>

#include <cstdio>
#include <fstream>
#include <memory>

using namespace bench;
using px::testing::SimProcess;

namespace {

double PeakMb()
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    double kb = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmHWM: %lf kB", &kb) == 1) break;
    std::fclose(f);
    return kb / 1024;
}

struct Site {
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::string> lines; // the directory file's lines
};

// Terminals 1..n, each behind a device server of its own paced at 19200 baud, then unreachable
// addresses.
Site MakeSite(int terminals, int records, int unreachable)
{
    Site site;
    for (int i = 0; i < terminals; ++i) {
        const std::string address = px::testing::CoreHarness::UniqueLoopbackAddress();
        site.sims.push_back(std::make_unique<SimProcess>(std::vector<std::string>{
            "--tcp", address + ":0", "--quiet", "--id", std::to_string(i + 1), "--records",
            std::to_string(records), "--baud", "19200"}));
        const std::string& at = site.sims.back()->endpoint();
        site.lines.push_back(std::to_string(i + 1) + ",T" + std::to_string(i + 1) + ",,0,19200," +
                             address + "," + at.substr(at.rfind(':') + 1));
    }
    for (int k = 0; k < unreachable; ++k) {
        const int id = terminals + k + 1;
        site.lines.push_back(std::to_string(id) + ",U" + std::to_string(id) +
                             ",,0,19200,198.51.100." + std::to_string(10 + k) + ",1001");
    }
    return site;
}

struct Figures {
    double seconds = 0;
    double stall = 0;
    long records = 0;
};

// One scheduled run in a program folder of its own, so that every record is downloaded.
Figures RunOnce(const Site& site, int parallel, bool withWindow)
{
    const std::string home = MakeHome("parallel");
    {
        std::ofstream dir(home + "/px740/PX740.TXT", std::ios::binary);
        for (const auto& line : site.lines)
            dir << line << "\r\n";
    }
    Figures f;
    StallMeter meter;
    std::unique_ptr<px::MainWindow> window;
    px::HeadlessView headless;
    headless.writeToStderr = false;
    if (withWindow) window = std::make_unique<px::MainWindow>();
    px::Program program("PX740", window ? static_cast<px::View&>(*window) : headless, "");
    if (window) window->Bind(program);
    program.Load();
    if (window) {
        window->AfterLoad();
        window->show();
        window->ShowPage(4);
        Pump(300);
    }
    program.core().options().parallel = parallel;
    meter.Start();
    const auto t0 = Clock::now();
    program.run().TSChkDevice();
    f.seconds = MsSince(t0) / 1000;
    f.stall = meter.Stop();
    for (const auto& entry : std::filesystem::directory_iterator(home + "/px740/Records"))
        if (entry.path().extension() == ".BAK") {
            std::ifstream in(entry.path(), std::ios::binary);
            for (std::string line; std::getline(in, line);)
                ++f.records;
        }
    if (window) window->Unbind();
    std::filesystem::remove_all(home);
    return f;
}

void Report(const char* what, const Figures& f)
{
    std::printf("%-34s %7.1f s, %6.1f records/s, %ld records\n", what, f.seconds,
                f.records / f.seconds, f.records);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int terminals = argc > 1 ? std::atoi(argv[1]) : 20;
    const int records = argc > 2 ? std::atoi(argv[2]) : 500;
    const int unreachable = argc > 3 ? std::atoi(argv[3]) : 5;
    std::printf("platform %s; %d device servers at 19200 baud, %d records each\n",
                qPrintable(QGuiApplication::platformName()), terminals, records);

    const Site site = MakeSite(terminals, records, 0);
    const Figures parallel = RunOnce(site, 0, false);
    const double peak = PeakMb();
    Report("headless, default sessions (8):", parallel);
    std::printf("  peak resident memory of the program %.1f MB\n", peak);
    const Figures sequential = RunOnce(site, 1, false);
    Report("headless, Parallel=1:", sequential);
    std::printf("  %.1f times faster with the default\n", sequential.seconds / parallel.seconds);
    const Figures shown = RunOnce(site, 0, true);
    Report("window shown, default sessions:", shown);
    std::printf("  longest event-loop stall with the window %.1f ms\n", shown.stall);

    if (unreachable > 0) {
        // Fewer records: the figure of interest is what the silent addresses add.
        const int live = terminals - unreachable;
        const Site few = MakeSite(live, 50, 0);
        const Site silent = MakeSite(live, 50, unreachable);
        const Figures a = RunOnce(few, 0, false);
        const Figures b = RunOnce(silent, 0, false);
        const Figures c = RunOnce(few, 1, false);
        const Figures d = RunOnce(silent, 1, false);
        std::printf("%d live terminals x 50 records, %d addresses that answer nothing:\n", live,
                    unreachable);
        std::printf("  default sessions: %.1f s without them, %.1f s with them (+%.1f s)\n",
                    a.seconds, b.seconds, b.seconds - a.seconds);
        std::printf("  Parallel=1:       %.1f s without them, %.1f s with them (+%.1f s)\n",
                    c.seconds, d.seconds, d.seconds - c.seconds);
    }
    return 0;
}
