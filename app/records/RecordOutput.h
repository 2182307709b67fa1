// The header line of an output file and the Format.ini type that shapes the lines.
#pragma once

#include <string>

namespace px {

class Saver;
namespace fmt {
class FmtData;
}

// The header line a Format.ini "Header" value asks for: "" for FALSE or empty, the template's
// header for TRUE, otherwise the text with \T turned into a TAB and \\ into \.
std::string HeaderFor(const std::string& headerValue, const fmt::FmtData& formatter);

// The header line of the output type section of formatIni ("" for none; an empty formatIni
// means no header).
std::string OutputHeader(const std::string& formatIni, const std::string& section,
                         const fmt::FmtData& formatter);

// Writes the header through the writer when its file is empty (size 0). formatIni and section
// name the selected output type; an empty formatIni means no header.
bool WriteHeaderIfEmpty(Saver& writer, const std::string& formatIni, const std::string& section,
                        const fmt::FmtData& formatter);

} // namespace px
