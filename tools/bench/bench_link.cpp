// Benchmark of the serial side of libserlo.so on a pseudo-terminal. The benchmark holds the pty
// master and plays the terminal, so that the moment a byte leaves the far end is known exactly.
//
//   latency:    byte written on the master -> RxCount shows it (median, 99th percentile)
//   throughput: a verified byte stream delivered to the host through Text, RxQueue 32767,
//               at several offered rates, with the count of dropped bytes
#include "serlo.h"

#include "Wait.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int32_t Put(SerloCtrl* c, int id, SerloVariant v)
{
    return SerloInvoke(c, id, SERLO_DISPATCH_PROPERTYPUT, &v, 1, nullptr);
}

int GetInt(SerloCtrl* c, int id)
{
    SerloVariant out{};
    SerloInvoke(c, id, SERLO_DISPATCH_PROPERTYGET, nullptr, 0, &out);
    return out.i4;
}

std::string GetText(SerloCtrl* c)
{
    SerloVariant out{};
    SerloInvoke(c, 17, SERLO_DISPATCH_PROPERTYGET, nullptr, 0, &out);
    std::string s;
    if (out.str) {
        s.assign(out.str, static_cast<std::size_t>(out.len));
        SerloFreeString(out.str);
    }
    return s;
}

double Percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

struct Throughput {
    double mbPerSecond;
    long long delivered;
    long long dropped;
};

// Streams `total` bytes of a known pattern at an offered rate (0 = as fast as the pty takes it).
Throughput Stream(SerloCtrl* ctrl, int master, long long total, double offeredMBps)
{
    std::atomic<bool> done{false};
    std::thread writer([&] {
        std::vector<char> chunk(4096);
        long long sent = 0;
        const auto start = Clock::now();
        while (sent < total) {
            for (std::size_t i = 0; i < chunk.size(); ++i)
                chunk[i] = static_cast<char>((sent + static_cast<long long>(i)) % 251);
            const std::size_t n = static_cast<std::size_t>(
                std::min<long long>(static_cast<long long>(chunk.size()), total - sent));
            const ssize_t w = ::write(master, chunk.data(), n);
            if (w > 0) sent += w;
            if (offeredMBps > 0) {
                const auto due = start + std::chrono::duration<double>(static_cast<double>(sent) /
                                                                       (offeredMBps * 1e6));
                std::this_thread::sleep_until(due);
            }
        }
        done = true;
    });
    long long received = 0, errors = 0;
    const auto start = Clock::now();
    auto last = start;
    while (true) {
        px::waitForEvent(px::Millis(50));
        const std::string text = GetText(ctrl);
        for (unsigned char c : text) {
            if (c != static_cast<unsigned char>(received % 251)) ++errors;
            ++received;
        }
        if (!text.empty()) last = Clock::now();
        if (received >= total || (done && Clock::now() - last > std::chrono::milliseconds(300)))
            break;
    }
    writer.join();
    const double seconds = std::chrono::duration<double>(last - start).count();
    // A dropped byte shows as a shortfall and shifts the pattern.
    return {static_cast<double>(received) / seconds / 1e6, received,
            (total - received) + (errors ? 1 : 0)};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    char tmp[] = "/tmp/bench-link-XXXXXX";
    const std::string home = mkdtemp(tmp);
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    setenv("XDG_DATA_HOME", home.c_str(), 1);

    int master = -1, slave = -1;
    char name[128];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return 1;
    termios t{};
    tcgetattr(master, &t);
    cfmakeraw(&t);
    tcsetattr(master, TCSANOW, &t);

    SerloCtrl* ctrl = SerloCreate();
    Put(ctrl, 7, {SERLO_VT_I4, 32767, nullptr, 0}); // RxQueue
    std::string path = name;
    Put(ctrl, 14, {SERLO_VT_BSTR, 0, path.data(), static_cast<int32_t>(path.size())});
    Put(ctrl, 28, {SERLO_VT_BOOL, -1, nullptr, 0}); // ExtPortOpen
    if (!GetInt(ctrl, 29)) {
        std::fprintf(stderr, "cannot open %s\n", name);
        return 1;
    }

    std::vector<double> latencies;
    for (int i = 0; i < 2000; ++i) {
        const auto t0 = Clock::now();
        [[maybe_unused]] auto w = ::write(master, "x", 1);
        px::waitUntil([&] { return GetInt(ctrl, 15) > 0; }, px::Millis(1000));
        latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        GetText(ctrl);
    }
    std::printf("latency byte -> RxCount over %zu samples: median %.1f us, p99 %.1f us\n",
                latencies.size(), Percentile(latencies, 0.5), Percentile(latencies, 0.99));

    const long long total = argc > 1 ? std::atoll(argv[1]) : 64LL << 20;
    for (double rate : {10.0, 20.0, 50.0, 0.0}) {
        GetInt(ctrl, 23); // clear CommError
        const Throughput r = Stream(ctrl, master, total, rate);
        const int commError = GetInt(ctrl, 23);
        std::printf("offered %-9s delivered %lld bytes at %.1f MB/s, dropped %lld, CE_RXOVER %s\n",
                    rate > 0 ? (std::to_string(static_cast<int>(rate)) + " MB/s").c_str()
                             : "unpaced",
                    r.delivered, r.mbPerSecond, r.dropped, (commError & 1) ? "yes" : "no");
    }
    SerloDestroy(ctrl);
    ::close(slave);
    ::close(master);
    return 0;
}
