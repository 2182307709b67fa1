#include "RecordLines.h"

#include "FmtData.h"
#include "FormatIni.h"
#include "Ini.h"
#include "OutputNames.h"
#include "Replies.h"
#include "Saver.h"
#include "VbText.h"

#include <algorithm>

namespace px {

std::string CardIdFilter::Apply(const std::string& cardId) const
{
    return on ? reply::FilterCardId(cardId, start, length) : cardId;
}

CardIdFilter ReadCardIdFilter(const std::string& file)
{
    const bool enabled =
        UCase(ini::getString(file, "General", "CardIDFilterEnabled", "FALSE")) == "TRUE";
    const long length =
        static_cast<long>(Val(ini::getString(file, "General", "CardIDLength", "0")));
    const long start = static_cast<long>(Val(ini::getString(file, "General", "CardIDStart", "0")));
    CardIdFilter filter;
    // A negative position or length cannot select anything: treated as off.
    if (enabled && length != 0 && start != 0 && start >= 1 && length >= 0)
        filter = {true, start, length};
    return filter;
}

std::vector<std::string> OutputTypes(const std::string& formatIni)
{
    std::vector<std::string> types = {"(Default)"};
    for (const auto& section : fmt::ListIniSections(formatIni))
        if (!section.empty() && UCase(section) != "GENERAL") types.push_back(section);
    return types;
}

std::string RunTemplate(const std::string& outputType, const std::string& idLenText,
                        const std::string& szFormatIni)
{
    const long idLength = IdLength(idLenText);
    if (!szFormatIni.empty() && !outputType.empty() && outputType != "(Default)")
        return ini::getString(szFormatIni, outputType, "Format", fmt::kStandardTemplate,
                              ini::kBuf2048);
    if (!Trim(idLenText).empty() && idLength > 0) return fmt::IdLengthTemplate(idLength);
    return std::string(fmt::kStandardTemplate);
}

std::string HeaderFormatIni(const std::string& outputType, const std::string& szFormatIni)
{
    return outputType.empty() || outputType == "(Default)" ? std::string() : szFormatIni;
}

std::string OutputLineFor(fmt::FmtData& formatter, const CardIdFilter& filter, int id, long index,
                          const reply::RecordLine& record)
{
    const std::string nul(1, '\0');
    // A NUL would split the formatter's fields and a CR or LF the line: they are shown instead.
    reply::RecordLine shown = record;
    shown.tail = OneLine(record.tail);
    const std::string cardId = OneLine(filter.Apply(record.cardId));
    const std::string rebuilt = reply::RebuildRecord(shown, nul, cardId);
    const std::string line = ThreeDigits(id) + nul + (rebuilt.size() > 6 ? rebuilt.substr(6) : "") +
                             nul + std::to_string(index + 1);
    std::string formatted = formatter.FormatRecord(line, '\0');
    if (!formatter.bTemplateOK()) // unformatted, but never with NUL bytes
        std::replace(formatted.begin(), formatted.end(), '\0', ',');
    return OneLine(formatted);
}

RecordLines LinesFor(fmt::FmtData& formatter, const CardIdFilter& filter, int id, long index,
                     const reply::RecordLine& record)
{
    return {OutputLineFor(formatter, filter, id, index, record),
            OneLine(ThreeDigits(id) + "," + record.text)};
}

} // namespace px
