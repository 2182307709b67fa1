#include "Records.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace sim {

namespace {

// Proleptic Gregorian day count; avoids the time zone that mktime() would bring in.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void civilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = int64_t(yoe) + era * 400 + (m <= 2);
}

} // namespace

std::string generatedRecord(int seedId, uint64_t index)
{
    const uint64_t card = (uint64_t(seedId) * 1000003u + index * 7919u) % 10000000000u;
    const uint64_t minutes = uint64_t{8 * 60} + index; // the sequence starts at 08:00
    int64_t year = 0;
    unsigned month = 0, day = 0;
    civilFromDays(daysFromCivil(2026, 1, 5) + int64_t(minutes / 1440), year, month, day);
    const unsigned minuteOfDay = unsigned(minutes % 1440);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%010llu,%c,%04lld/%02u/%02u,%02u:%02u:00",
                  static_cast<unsigned long long>(card), char('0' + index % 4),
                  static_cast<long long>(year), month, day, minuteOfDay / 60, minuteOfDay % 60);
    return buf;
}

bool loadRecordsFile(const std::string& path, std::vector<std::string>& bodies, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) bodies.push_back(line);
    }
    return true;
}

} // namespace sim
