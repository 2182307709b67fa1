#include "Output.h"

#include "Escape.h"

#include <cstdio>
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
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
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
