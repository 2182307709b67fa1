// The records and scheduler pages under load: the record grid with 100,000 rows (fill, sort each
// way, resident memory), an upload from a terminal paced at 19,200 baud with the window shown
// (against the line's limit), the status view's cost over 100,000 log lines, and a scheduled run
// with the window shown against the same run headless. Run on a real display (tools/bench.sh).
#include "BenchSupport.h"
#include "Connect.h"
#include "DeviceOps.h"
#include "HeadlessView.h"
#include "MainWindow.h"
#include "Program.h"
#include "RecordCommands.h"
#include "ScheduledRun.h"
#include "SimProcess.h"

#include <QApplication>

#include <cstdio>
#include <fstream>
#include <memory>

using namespace bench;
using px::testing::SimProcess;

namespace {

// Terminals 1..n on pseudo-terminals COM10.., each with the same number of records.
std::vector<std::unique_ptr<SimProcess>> Terminals(const std::string& home, int n, int records,
                                                   const std::vector<std::string>& extra = {})
{
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::ofstream ports(home + "/config/serlo/ports.ini", std::ios::binary);
    std::ofstream dir(home + "/px740/PX740.TXT", std::ios::binary);
    ports << "[SERIALCOMM]\r\n";
    for (int i = 0; i < n; ++i) {
        std::vector<std::string> args{"--pty",     "--quiet",
                                      "--id",      std::to_string(i + 1),
                                      "--records", std::to_string(records)};
        args.insert(args.end(), extra.begin(), extra.end());
        sims.push_back(std::make_unique<SimProcess>(args));
        ports << sims.back()->endpoint() << "=COM" << (10 + i) << "\r\n";
        dir << (i + 1) << ",T" << (i + 1) << ",," << (10 + i) << ",19200,0.0.0.0,1001\r\n";
    }
    return sims;
}

struct WindowProgram {
    std::unique_ptr<px::MainWindow> window = std::make_unique<px::MainWindow>();
    std::unique_ptr<px::Program> program;
    WindowProgram() : program(std::make_unique<px::Program>("PX740", *window, ""))
    {
        window->Bind(*program);
        program->Load();
        window->AfterLoad();
        window->show();
        Pump(300);
    }
    ~WindowProgram()
    {
        window->Unbind();
        program.reset();
    }
};

void BigGrid()
{
    const std::string home = MakeHome("grid");
    WindowProgram w;
    w.window->ShowPage(3);
    px::RecordGrid& grid = w.program->core().recordGrid();
    const double before = ResidentMb();
    auto t0 = Clock::now();
    for (int i = 0; i < 100000; ++i)
        grid.Append({std::to_string(i + 1), "00" + std::to_string(1000003 + i * 7919 % 99991),
                     std::to_string(i % 4), "2026/01/05", "08:00:00"});
    Pump(150); // the batched view update and a paint
    std::printf("grid 100,000 rows: fill %.0f ms", MsSince(t0));
    t0 = Clock::now();
    grid.Sort(1, 1, true);
    Pump(20);
    std::printf(", sort ascending %.0f ms", MsSince(t0));
    t0 = Clock::now();
    grid.Sort(1, 1, false);
    Pump(20);
    std::printf(", descending %.0f ms; resident %.0f MB (%.0f MB before the rows)\n", MsSince(t0),
                ResidentMb(), before);
    std::filesystem::remove_all(home);
}

void PacedUpload(int records)
{
    const std::string home = MakeHome("upload");
    auto sims = Terminals(home, 1, records, {"--baud", "19200"});
    WindowProgram w;
    px::Core& core = w.program->core();
    core.OpenTerminal(1);
    w.window->ShowPage(3);
    Pump(300); // the page's first paint is not the upload's
    StallMeter meter;
    meter.Start();
    const auto t0 = Clock::now();
    px::UploadButton(core.session(), core.Records());
    const double seconds = MsSince(t0) / 1000;
    const double stall = meter.Stop();
    // Frames: STX G nnnn CR out (7 bytes); STX A nnnn,cccccccccc,e,YYYY/MM/DD,hh:nn:ss, two
    // checksum digits and CR in (42 bytes).
    const double bytes = 7 + 42;
    const double limit = 19200.0 / (10 * bytes);
    const double rate = core.recordGrid().RecordCount() / seconds;
    std::printf("upload %zu records at 19200 baud, window shown: %.1f records/s = %.0f%% of the "
                "line's %.1f; longest stall %.1f ms\n",
                core.recordGrid().RecordCount(), rate, 100 * rate / limit, limit, stall);
    std::filesystem::remove_all(home);
}

void StatusView()
{
    const std::string home = MakeHome("log");
    WindowProgram w;
    w.window->ShowPage(4);
    px::EventLog& log = w.program->core().eventLog();
    const auto t0 = Clock::now();
    for (int i = 0; i < 100000; ++i) {
        log.WriteLog("12/08 10:00 line " + std::to_string(i) + " of the status view", false);
        if (i % 1000 == 0) QApplication::processEvents();
    }
    const double ms = MsSince(t0);
    std::printf("status view: 100,000 log lines in %.0f ms (%.1f us a line), view %zu characters\n",
                ms, 1000 * ms / 100000, log.ViewText().size());
    std::filesystem::remove_all(home);
}

double Run(bool withWindow, int terminals, int records, double* stall)
{
    const std::string home = MakeHome(withWindow ? "run-window" : "run-headless");
    auto sims = Terminals(home, terminals, records);
    StallMeter meter;
    double seconds = 0;
    if (withWindow) {
        WindowProgram w;
        w.window->ShowPage(4);
        Pump(300); // the window's first paint is not the run's
        meter.Start();
        const auto t0 = Clock::now();
        w.program->run().TSChkDevice();
        seconds = MsSince(t0) / 1000;
    } else {
        px::HeadlessView view;
        view.writeToStderr = false;
        px::Program program("PX740", view, "");
        program.Load();
        meter.Start();
        const auto t0 = Clock::now();
        program.run().TSChkDevice();
        seconds = MsSince(t0) / 1000;
    }
    *stall = meter.Stop();
    std::filesystem::remove_all(home);
    return terminals * records / seconds;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int uploadRecords = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int terminals = argc > 2 ? std::atoi(argv[2]) : 10;
    const int records = argc > 3 ? std::atoi(argv[3]) : 500;
    std::printf("platform %s\n", qPrintable(QGuiApplication::platformName()));
    if (argc > 1 && std::string(argv[1]) == "status") { // only the status view's figure
        StatusView();
        return 0;
    }
    BigGrid();
    StatusView();
    PacedUpload(uploadRecords);
    double stallWindow = 0, stallHeadless = 0;
    const double headless = Run(false, terminals, records, &stallHeadless);
    const double shown = Run(true, terminals, records, &stallWindow);
    std::printf("scheduled run %d terminals x %d records: headless %.0f records/s, window shown "
                "%.0f records/s (%.0f%%); longest stall with the window %.1f ms\n",
                terminals, records, headless, shown, 100 * shown / headless, stallWindow);
    return 0;
}
