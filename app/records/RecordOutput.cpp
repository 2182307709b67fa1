#include "RecordOutput.h"

#include "FmtData.h"
#include "FormatIni.h"
#include "Ini.h"
#include "Saver.h"
#include "VbText.h"

namespace px {

std::string HeaderFor(const std::string& headerValue, const fmt::FmtData& formatter)
{
    const std::string upper = UCase(headerValue);
    if (upper == "FALSE" || upper.empty()) return {};
    if (upper == "TRUE") return formatter.TemplateHeader();
    return fmt::ReplaceEscape(fmt::ReplaceEscape(headerValue, "T", "\t"), "\\", "");
}

std::string OutputHeader(const std::string& formatIni, const std::string& section,
                         const fmt::FmtData& formatter)
{
    if (formatIni.empty()) return {};
    return HeaderFor(ini::getString(formatIni, section, "Header", "FALSE", ini::kBuf2048),
                     formatter);
}

bool WriteHeaderIfEmpty(Saver& writer, const std::string& formatIni, const std::string& section,
                        const fmt::FmtData& formatter)
{
    if (writer.FileSize() != 0 || formatIni.empty()) return true;
    const std::string header = OutputHeader(formatIni, section, formatter);
    return header.empty() || writer.WriteFile(header);
}

} // namespace px
