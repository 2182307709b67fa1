// px74x-sim: attendance terminals on a pseudo-terminal or behind a simulated device server,
// for tests, benchmarks and the demo. See README.md for the contract.
#include "Bus.h"
#include "Net.h"
#include "Options.h"
#include "Output.h"
#include "PtyLine.h"
#include "Records.h"
#include "Sim.h"
#include "TcpLine.h"
#include "UdpChannel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <memory>

using namespace sim;

namespace {

int fatal(const std::string& message)
{
    (void)std::fprintf(stderr, "px74x-sim: %s\n", message.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    // A closed standard descriptor would otherwise be taken by a socket and get the log.
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) < 0) open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    (void)std::signal(SIGPIPE, SIG_IGN);
    (void)setvbuf(stdout, nullptr, _IOLBF, 0); // unbuffered output still works, only slower

    Options options;
    if (int status = parseOptions(argc, argv, options); status >= 0) return status;
    setQuiet(options.quiet);

    if (!options.filesDir.empty()) {
        struct stat st {};
        if (stat(options.filesDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return fatal("--files: " + options.filesDir + " is not a folder");
    }

    std::vector<std::string> fileRecords;
    std::string error;
    if (!options.recordsFile.empty() && !loadRecordsFile(options.recordsFile, fileRecords, error))
        return fatal(error);
    if (fileRecords.size() + options.records > Unit::kMaxRecords)
        return fatal("more than 1000000 records per unit");
    std::vector<Unit> units;
    for (int id : options.ids) {
        units.emplace_back(id, fileRecords);
        units.back().addGenerated(options.records);
    }

    std::unique_ptr<Line> line;
    std::unique_ptr<UdpChannel> udp;
    if (options.tcp) {
        sockaddr_in addr{};
        if (!resolveIpv4(options.tcpHost, options.tcpPort, addr, error)) return fatal(error);
        // The configuration channel first: the TCP line announces itself on success.
        sockaddr_in udpAddr = addr;
        udpAddr.sin_port = htons(uint16_t(options.udpPort));
        udp = std::make_unique<UdpChannel>();
        if (!udp->bindTo(udpAddr, error)) return fatal(error);
        auto tcpLine = std::make_unique<TcpLine>();
        if (!tcpLine->listenOn(addr, error)) return fatal(error);
        line = std::move(tcpLine);
    } else {
        auto ptyLine = std::make_unique<PtyLine>(options.linkPath);
        if (!ptyLine->open(error)) return fatal(error);
        line = std::move(ptyLine);
    }

    Sim sim(options, Bus(std::move(units)), std::move(line), std::move(udp));
    return sim.run();
}
