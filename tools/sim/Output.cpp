#include "Output.h"

#include "Escape.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace sim {

namespace {
bool gQuiet = false;
}

void setQuiet(bool quiet)
{
    gQuiet = quiet;
}

void emitLine(std::string_view line)
{
    // A reader that went away loses the lines; the simulator goes on serving the line.
    (void)std::fwrite(line.data(), 1, line.size(), stdout);
    (void)std::fputc('\n', stdout);
    (void)std::fflush(stdout);
}

std::string errnoText(int error)
{
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer); // the GNU variant
}

void emitTrace(std::string_view line)
{
    if (!gQuiet) emitLine(line);
}

void emitTraffic(std::string_view tag, std::string_view bytes)
{
    if (gQuiet) return;
    std::string line(tag);
    line += ' ';
    line += escapeBytes(bytes);
    emitLine(line);
}

} // namespace sim
