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

void AppendOutputLine(std::string& out, fmt::FmtData& formatter, const CardIdFilter& filter, int id,
                      long index, const reply::RecordLine& record, LineBuffers& b)
{
    // The record rebuilt with NUL between its fields (a line without a card ID rebuilds empty).
    b.rebuilt.clear();
    if (record.hasCardId) {
        b.rebuilt += record.head;
        b.rebuilt += '\0';
        AppendOneLine(b.rebuilt, filter.Apply(record.cardId));
        AppendOneLine(b.rebuilt, record.tail, /*commaAsNul=*/true); // the formatter's fields
    }
    // Unit ID, card ID, event, date, time and record number.
    b.line = ThreeDigits(id);
    b.line += '\0';
    if (b.rebuilt.size() > 6) b.line.append(b.rebuilt, 6);
    b.line += '\0';
    b.line += std::to_string(index + 1);
    b.formatted.clear();
    formatter.FormatRecordTo(b.formatted, b.line, '\0');
    if (!formatter.bTemplateOK()) // unformatted, but never with NUL bytes
        std::replace(b.formatted.begin(), b.formatted.end(), '\0', ',');
    AppendOneLine(out, b.formatted);
}

std::string OutputLineFor(fmt::FmtData& formatter, const CardIdFilter& filter, int id, long index,
                          const reply::RecordLine& record)
{
    std::string out;
    LineBuffers buffers;
    AppendOutputLine(out, formatter, filter, id, index, record, buffers);
    return out;
}

RecordLines LinesFor(fmt::FmtData& formatter, const CardIdFilter& filter, int id, long index,
                     const reply::RecordLine& record)
{
    return {OutputLineFor(formatter, filter, id, index, record),
            OneLine(ThreeDigits(id) + "," + record.text)};
}

} // namespace px
