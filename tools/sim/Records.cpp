#include "Records.h"

#include "Escape.h"
#include "Output.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace sim {

std::string generatedRecord(int seedId, uint64_t index)
{
    const uint64_t card = (uint64_t(seedId) * 1000003u + index * 7919u) % 10000000000u;
    const uint64_t minutes = uint64_t{8} * 60 + index; // the sequence starts at 08:00
    // Calendar days, free of the time zone that mktime() would bring in.
    using namespace std::chrono;
    const year_month_day date{sys_days{year{2026} / January / 5} + days{int64_t(minutes / 1440)}};
    const unsigned minuteOfDay = unsigned(minutes % 1440);
    char buf[64];
    (void)std::snprintf(buf, sizeof buf, "%010llu,%c,%04d/%02u/%02u,%02u:%02u:00",
                        static_cast<unsigned long long>(card), char('0' + index % 4),
                        int(date.year()), unsigned(date.month()), unsigned(date.day()),
                        minuteOfDay / 60, minuteOfDay % 60);
    return buf;
}

bool loadRecordsFile(const std::string& path, std::vector<std::string>& bodies, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path + ": " + errnoText(errno);
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        // Escapes let a record carry any byte, a line break included.
        const auto body = unescapeText(line);
        if (!body) {
            error = path + ":" + std::to_string(number) + ": malformed escape";
            return false;
        }
        bodies.push_back(*body);
    }
    return true;
}

} // namespace sim
