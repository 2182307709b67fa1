#include "Options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace sim {

namespace {

const char kUsage[] =
    "usage: px74x-sim [--pty | --tcp ADDR:PORT] [options]\n"
    "  --link PATH            pty mode: symbolic link to the current pty slave\n"
    "  --udp-port N           tcp mode: configuration datagrams on ADDR:N (65535)\n"
    "  --id N[,N...]          machine IDs 0..255 of the units on the line (1)\n"
    "  --model TEXT           poll reply text after the ID digits (APX740)\n"
    "  --version TEXT         firmware version (V1.7)\n"
    "  --ext TEXT             version extension, sent after one space\n"
    "  --records N            generated records per unit (0)\n"
    "  --records-file PATH    records for every unit, one CID,E,YYYY/MM/DD,hh:mm:ss a line\n"
    "  --baud N               pace the line at N baud, 10 bits a byte; 0 = unpaced (0)\n"
    "  --delay MS             extra delay before each reply (0)\n"
    "  --password TEXT        password that L accepts (any, when not given)\n"
    "  --challenge HI,LO,C1,C2  challenge for a wrong L (see README)\n"
    "  --udp-silent           never answer configuration datagrams\n"
    "  --quiet                do not log RX/TX lines\n"
    "  --files DIR            folder of the terminal's files for XMODEM (memory when not given)\n"
    "  --xmodem-timeout MS    XMODEM time-out (3000)\n"
    "  --xmodem-checksum      receive files in checksum mode (NAK) instead of CRC mode (C)\n";

int usageError(const std::string& message)
{
    (void)std::fprintf(stderr, "px74x-sim: %s\n%s", message.c_str(), kUsage);
    return 2;
}

std::vector<std::string> splitCommas(const std::string& text)
{
    std::vector<std::string> parts;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, ','))
        parts.push_back(part);
    if (!text.empty() && text.back() == ',') parts.emplace_back();
    return parts;
}

} // namespace

bool parseNumber(const std::string& text, int64_t min, int64_t max, int64_t& value)
{
    if (text.empty()) return false;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || text[hex ? 2 : 0] == '-' || text[hex ? 2 : 0] == '+' ||
        v < min || v > max)
        return false;
    value = v;
    return true;
}

// One branch per option, in the order of the usage text above.
// NOLINTNEXTLINE(readability-function-size)
int parseOptions(int argc, char** argv, Options& o)
{
    bool modeSeen = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        if (auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
            hasValue = true;
        }
        auto need = [&]() -> bool {
            if (hasValue) return true;
            if (i + 1 >= argc) return false;
            value = argv[++i];
            return true;
        };
        auto number = [&](int64_t min, int64_t max, int64_t& out) -> bool {
            return need() && parseNumber(value, min, max, out);
        };
        int64_t n = 0;
        if (arg == "--help" || arg == "-h") {
            (void)std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--pty") {
            if (modeSeen && o.tcp) return usageError("--pty and --tcp exclude each other");
            modeSeen = true;
        } else if (arg == "--tcp") {
            if (modeSeen && !o.tcp) return usageError("--pty and --tcp exclude each other");
            auto colon = need() ? value.rfind(':') : std::string::npos;
            if (colon == std::string::npos || !parseNumber(value.substr(colon + 1), 0, 65535, n))
                return usageError("--tcp needs ADDR:PORT");
            o.tcp = modeSeen = true;
            o.tcpHost = value.substr(0, colon);
            o.tcpPort = int(n);
        } else if (arg == "--link") {
            if (!need() || value.empty()) return usageError("--link needs a path");
            o.linkPath = value;
        } else if (arg == "--udp-port") {
            if (!number(0, 65535, n)) return usageError("--udp-port needs a port number");
            o.udpPort = int(n);
        } else if (arg == "--id") {
            if (!need()) return usageError("--id needs N[,N...]");
            o.ids.clear();
            for (const std::string& part : splitCommas(value)) {
                if (!parseNumber(part, 0, 255, n)) return usageError("bad machine ID: " + part);
                o.ids.push_back(int(n));
            }
            if (o.ids.empty()) return usageError("--id needs N[,N...]");
        } else if (arg == "--model") {
            if (!need()) return usageError("--model needs a text");
            o.profile.model = value;
        } else if (arg == "--version") {
            if (!need()) return usageError("--version needs a text");
            o.profile.version = value;
        } else if (arg == "--ext") {
            if (!need()) return usageError("--ext needs a text");
            o.profile.ext = value;
        } else if (arg == "--records") {
            if (!number(0, int64_t(Unit::kMaxRecords), n))
                return usageError("--records needs a count up to 1000000");
            o.records = uint64_t(n);
        } else if (arg == "--records-file") {
            if (!need()) return usageError("--records-file needs a path");
            o.recordsFile = value;
        } else if (arg == "--baud") {
            if (!number(0, 100'000'000, o.baud)) return usageError("--baud needs a rate");
        } else if (arg == "--delay") {
            if (!number(0, 3'600'000, o.delayMs)) return usageError("--delay needs milliseconds");
        } else if (arg == "--password") {
            if (!need()) return usageError("--password needs a text");
            o.profile.password = value;
        } else if (arg == "--challenge") {
            auto parts = need() ? splitCommas(value) : std::vector<std::string>{};
            int64_t v[4] = {};
            if (parts.size() != 4) return usageError("--challenge needs HI,LO,C1,C2");
            for (int k = 0; k < 4; ++k)
                if (!parseNumber(parts[size_t(k)], 0, 255, v[k]))
                    return usageError("--challenge values are 0..255");
            o.profile.challenge =
                Challenge{unsigned(v[0]), unsigned(v[1]), unsigned(v[2]), unsigned(v[3])};
        } else if (arg == "--udp-silent") {
            o.udpSilent = true;
        } else if (arg == "--quiet") {
            o.quiet = true;
        } else if (arg == "--files") {
            if (!need() || value.empty()) return usageError("--files needs a folder");
            o.filesDir = value;
        } else if (arg == "--xmodem-timeout") {
            if (!number(1, 3'600'000, o.xmodemTimeoutMs))
                return usageError("--xmodem-timeout needs milliseconds");
        } else if (arg == "--xmodem-checksum") {
            o.xmodemChecksum = true;
        } else {
            return usageError("unknown option " + arg);
        }
    }
    return -1;
}

} // namespace sim
