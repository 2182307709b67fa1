// Exchanges per second against px74x-sim without reply delay, over a pty and over TCP on
// loopback, for the control's own SendVNetCmd and for the main program's; then a GetRecord loop
// against a simulator pacing its line at 19200 baud, compared with the line's limit
// baud / (10 x (command frame bytes + reply frame bytes)).
#include "CoreHarness.h"
#include "Exchange.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>

using px::testing::CoreHarness;
using Clock = std::chrono::steady_clock;

namespace {

template <typename F> double PerSecond(int n, F&& exchange)
{
    const auto t0 = Clock::now();
    for (int i = 0; i < n; ++i)
        if (exchange().empty()) {
            std::fprintf(stderr, "exchange %d failed\n", i);
            return 0;
        }
    return n / std::chrono::duration<double>(Clock::now() - t0).count();
}

void Measure(CoreHarness& h, const char* line, int n)
{
    auto& link = h.core->session().link();
    const double control = PerSecond(n, [&] { return link.SendVNetCmd("V", false, false); });
    const double program =
        PerSecond(n, [&] { return h.core->session().exchange().SendVNetCmd("V", false, false); });
    std::printf(
        "%-4s control SendVNetCmd %8.0f /s (%.3f ms)   program SendVNetCmd %8.0f /s (%.3f ms)\n",
        line, control, 1000.0 / control, program, 1000.0 / program);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 20000;
    CoreHarness h;
    if (!h.linkReady) {
        std::fprintf(stderr, "%s\n", h.linkError.c_str());
        return 1;
    }
    h.core->state().monitorChecked = false;
    auto& link = h.core->session().link();

    auto pty = h.StartPtySim(5, {"--quiet", "--id", "1"});
    link.SetCommPort(5);
    link.SetPortOpen(true);
    Measure(h, "pty", n);
    link.SetPortOpen(false);

    std::string address;
    int port = 0;
    auto tcp = h.StartTcpSim({"--quiet", "--id", "1"}, &address, &port);
    link.SetIAddress(address);
    link.SetIPort(port > 32767 ? port - 65536 : port);
    link.SetCommPort(0);
    link.SetPortOpen(true);
    Measure(h, "tcp", n);
    link.SetPortOpen(false);

    const int baud = 19200, records = 200;
    auto paced = h.StartPtySim(6, {"--quiet", "--id", "1", "--baud", std::to_string(baud),
                                   "--records", std::to_string(records)});
    link.SetCommPort(6);
    link.SetPortOpen(true);
    const std::string sample = link.GetRecord(0);
    const auto t0 = Clock::now();
    for (int i = 0; i < records; ++i)
        if (link.GetRecord(i).empty()) {
            std::fprintf(stderr, "record %d failed\n", i);
            return 1;
        }
    const double perSecond = records / std::chrono::duration<double>(Clock::now() - t0).count();
    const int commandBytes = 7;                                     // STX G%04X CR
    const int replyBytes = static_cast<int>(sample.size()) + 2 + 2; // STX text checksum CR
    const double limit = baud / (10.0 * (commandBytes + replyBytes));
    std::printf("GetRecord at %d baud: %.2f records/s, line limit %.2f (%d + %d bytes), %.1f%%\n",
                baud, perSecond, limit, commandBytes, replyBytes, 100.0 * perSecond / limit);
    return 0;
}
