// Benchmark of XMODEM file transfer through libserlo.so's C ABI on a pseudo-terminal.
//
//   unpaced: a 1 MiB file each way, against lrzsz's rx and sx and against the simulator
//   paced:   the same against the simulator pacing the line at 115200 baud, compared with the
//            line limit of CRC mode, 128 * baud / (10 * (133 + 1)) bytes per second (a block of
//            133 bytes out and its ACK back, 10 bits a byte)
//
// Options: --paced-kib N (size of the paced file, default 1024), --baud N (default 115200).
#include "serlo.h"

#include "ChildProcess.h"
#include "PtyPair.h"
#include "SimProcess.h"
#include "Wait.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace {

constexpr int D_ExtPort = 14, D_ExtPortOpen = 28, D_PostFile = 31, D_RecvFile = 32,
              D_SendFileReq = 52, D_RecvFileReq = 53;

SerloVariant Str(const std::string& s)
{
    return {SERLO_VT_BSTR, 0, const_cast<char*>(s.c_str()), static_cast<int32_t>(s.size())};
}
SerloVariant I2(int v)
{
    return {SERLO_VT_I2, v, nullptr, 0};
}
SerloVariant Bool(bool v)
{
    return {SERLO_VT_BOOL, v ? -1 : 0, nullptr, 0};
}

bool CallBool(SerloCtrl* c, int id, std::vector<SerloVariant> args)
{
    SerloVariant out{};
    SerloInvoke(c, id, SERLO_DISPATCH_METHOD, args.data(), static_cast<int32_t>(args.size()), &out);
    return out.vt == SERLO_VT_BOOL && out.i4 != 0;
}

void Put(SerloCtrl* c, int id, SerloVariant v)
{
    SerloInvoke(c, id, SERLO_DISPATCH_PROPERTYPUT, &v, 1, nullptr);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool SameApartFromPadding(const std::string& got, const std::string& want)
{
    if (got.size() < want.size() || got.compare(0, want.size(), want) != 0) return false;
    for (std::size_t i = want.size(); i < got.size(); ++i)
        if (got[i] != 0 && got[i] != 0x1A) return false;
    return true;
}

struct Timed {
    bool ok;
    double seconds;
};

template <class F> Timed Time(F f)
{
    const auto t0 = px::tickCount();
    const bool ok = f();
    return {ok, static_cast<double>(px::tickCount() - t0) / 1000.0};
}

void Report(const char* what, const Timed& t, std::size_t bytes, bool intact, double limit = 0)
{
    const double rate = static_cast<double>(bytes) / t.seconds;
    std::printf("  %-34s %-5s %8.2f s %11.0f B/s", what, t.ok && intact ? "ok" : "FAIL", t.seconds,
                rate);
    if (limit > 0) std::printf("  %5.1f %% of %.0f B/s", 100.0 * rate / limit, limit);
    std::printf("\n");
}

std::string g_dir;

std::string Local(const std::string& name)
{
    return g_dir + "/" + name;
}

void WithLrzsz(const std::string& data)
{
    const std::string rx = ChildProcess::find({"rx", "lrx"});
    const std::string sx = ChildProcess::find({"sx", "lsx"});
    if (rx.empty() || sx.empty()) {
        std::printf("  lrzsz not installed: skipped\n");
        return;
    }
    PtyPair pty;
    LineRelay relay(pty.master());
    SerloCtrl* c = SerloCreate();
    Put(c, D_ExtPort, Str(pty.path()));
    Put(c, D_ExtPortOpen, Bool(true));

    Timed sent{};
    {
        ChildProcess peer({rx, "-c", "-b", "-q", "rx.bin"}, relay.programEnd(), g_dir,
                          Local("rx.err"));
        sent = Time([&] { return CallBool(c, D_PostFile, {Str(Local("src.bin"))}); });
        sent.ok = peer.wait(30000) == 0 && sent.ok;
    }
    Report("PostFile to rx (CRC)", sent, data.size(),
           SameApartFromPadding(ReadFile(Local("rx.bin")), data));
    Timed received{};
    {
        ChildProcess peer({sx, "-b", "-q", "rx.bin"}, relay.programEnd(), g_dir, Local("sx.err"));
        received = Time([&] {
            return CallBool(c, D_RecvFile, {Str(Local("from-sx.bin")), Bool(false)});
        });
        received.ok = peer.wait(30000) == 0 && received.ok;
    }
    Report("RecvFile from sx (CRC)", received, data.size(),
           SameApartFromPadding(ReadFile(Local("from-sx.bin")), data));
    std::printf("  (rx waits about 1 s before it acknowledges the EOT; that second is included)\n");
    SerloDestroy(c);
}

void WithSimulator(const std::string& data, int baud)
{
    std::vector<std::string> args = {"--pty", "--quiet", "--files", g_dir + "/terminal"};
    if (baud > 0) args.insert(args.end(), {"--baud", std::to_string(baud)});
    px::testing::SimProcess sim(args);
    if (!sim.ok()) {
        std::printf("  simulator did not start\n");
        return;
    }
    SerloCtrl* c = SerloCreate();
    Put(c, D_ExtPort, Str(sim.endpoint()));
    Put(c, D_ExtPortOpen, Bool(true));
    const double limit = baud > 0 ? 128.0 * baud / (10.0 * (133 + 1)) : 0;

    Timed sent{false, 1};
    if (CallBool(c, D_SendFileReq, {Str("bench.bin"), I2(0)}))
        sent = Time([&] { return CallBool(c, D_PostFile, {Str(Local("src.bin"))}); });
    sim.waitPrefix("XMODEM DONE", std::chrono::seconds(10));
    const std::string stored = ReadFile(g_dir + "/terminal/bench.bin");
    Report("PostFile to the simulator", sent, data.size(), SameApartFromPadding(stored, data),
           limit);

    Timed received{false, 1};
    if (CallBool(c, D_RecvFileReq, {Str("bench.bin"), I2(0)}))
        received = Time([&] {
            return CallBool(c, D_RecvFile, {Str(Local("from-sim.bin")), Bool(false)});
        });
    Report("RecvFile from the simulator", received, data.size(),
           ReadFile(Local("from-sim.bin")) == stored, limit);
    SerloDestroy(c);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int pacedKiB = 1024;
    int baud = 115200;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--paced-kib") == 0)
            pacedKiB = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--baud") == 0)
            baud = std::max(300, std::atoi(argv[i + 1]));
    }
    char tmp[] = "/tmp/bench-xmodem-XXXXXX";
    g_dir = mkdtemp(tmp);
    setenv("XDG_CONFIG_HOME", g_dir.c_str(), 1);
    setenv("XDG_DATA_HOME", g_dir.c_str(), 1);
    std::filesystem::create_directories(g_dir + "/terminal");

    auto makeFile = [](std::size_t size) {
        std::mt19937 rng(7);
        std::string data(size, '\0');
        for (auto& ch : data)
            ch = static_cast<char>(rng() & 0xFF);
        std::ofstream(Local("src.bin"), std::ios::binary)
            .write(data.data(), static_cast<std::streamsize>(data.size()));
        return data;
    };

    const std::string mib = makeFile(1 << 20);
    std::printf("XMODEM, %zu bytes each way over a pty, no pacing\n", mib.size());
    WithLrzsz(mib);
    WithSimulator(mib, 0);

    const std::string paced = makeFile(static_cast<std::size_t>(pacedKiB) * 1024);
    std::printf("XMODEM, %zu bytes each way over a pty paced at %d baud (simulator)\n",
                paced.size(), baud);
    WithSimulator(paced, baud);

    std::filesystem::remove_all(g_dir);
    return 0;
}
