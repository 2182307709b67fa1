// Command line of px74x-sim.
#pragma once

#include "Unit.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct Options {
    bool tcp = false;
    std::string linkPath;
    std::string tcpHost;
    int tcpPort = 0;
    int udpPort = 65535;
    std::vector<int> ids{1};
    Profile profile;
    uint64_t records = 0;
    std::string recordsFile;
    int64_t baud = 0;
    int64_t delayMs = 0;
    bool udpSilent = false;
    bool quiet = false;
    std::string filesDir; // empty: files live in memory
    int64_t xmodemTimeoutMs = 3000;
    bool xmodemChecksum = false; // receive with NAK and checksum packets instead of "C" and CRC
};

// Exit status for main(): -1 to go on, otherwise the status to exit with.
int parseOptions(int argc, char** argv, Options& options);

// Decimal, or hexadecimal with 0x; false when not a whole number in [min, max].
bool parseNumber(const std::string& text, int64_t min, int64_t max, int64_t& value);

} // namespace sim
