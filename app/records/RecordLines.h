// What a downloaded record becomes in the files of a scheduled run: the output line (also the
// mail copy's) through the active template, and the monthly backup line. The export from the
// archive builds its lines here too, so that it writes exactly what the run wrote.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace px {

namespace fmt {
class FmtData;
}
namespace reply {
struct RecordLine;
}

// The card-ID filter of Format.ini's section General.
struct CardIdFilter {
    bool on = false;
    long start = 0;
    long length = 0;
    std::string Apply(const std::string& cardId) const;
};

// Reads CardIDFilterEnabled, CardIDStart and CardIDLength: the filter is on when enabled and both
// numbers are non-zero; a position below 1 or a negative length selects nothing and counts as off.
CardIdFilter ReadCardIdFilter(const std::string& formatIni);

// The output types offered: "(Default)", then the sections of Format.ini except GENERAL.
std::vector<std::string> OutputTypes(const std::string& formatIni);

// The template of a run: the Format of the output type (unless "(Default)" or no Format.ini),
// else the ID-length template when the card-ID length box holds a number above 0, else the
// standard template.
std::string RunTemplate(const std::string& outputType, const std::string& idLenText,
                        const std::string& szFormatIni);

// The Format.ini that gives the output type's header: "" for "(Default)" (no header).
std::string HeaderFormatIni(const std::string& outputType, const std::string& szFormatIni);

struct RecordLines {
    std::string output; // also the mail copy's
    std::string backup;
};

// Buffers reused from one line to the next, so that a batch of lines costs few allocations.
struct LineBuffers {
    std::string rebuilt, line, formatted;
};

// The output line of record index of terminal id, through the formatter's active template,
// appended to out. NUL, CR and LF, which would split a field or the line, are shown as <NUL>,
// <CR> and <LF>.
void AppendOutputLine(std::string& out, fmt::FmtData& formatter, const CardIdFilter& filter, int id,
                      long index, const reply::RecordLine& record, LineBuffers& buffers);
std::string OutputLineFor(fmt::FmtData& formatter, const CardIdFilter& filter, int id, long index,
                          const reply::RecordLine& record);
RecordLines LinesFor(fmt::FmtData& formatter, const CardIdFilter& filter, int id, long index,
                     const reply::RecordLine& record);

} // namespace px
