#include "ManualSave.h"

#include "FileAppend.h"
#include "FmtData.h"
#include "Ini.h"
#include "ManualUpload.h"
#include "Options.h"
#include "RecordCommands.h"
#include "RecordGrid.h"
#include "RecordOutput.h"
#include "RuntimeError.h"
#include "Saver.h"
#include "TerminalSession.h"
#include "VbText.h"

#include <cstdio>

namespace px {

std::string SelectedFormatType(const Options& o, const std::string& formatIni)
{
    if (formatIni.empty() || o.format.empty() || o.format == "(Default)") return {};
    return o.format;
}

bool SaveRecord(TerminalSession& session, const RecordsDesk& desk, const std::string& fileName)
{
    SessionReporter& report = session.reporter();
    const std::string type = SelectedFormatType(desk.options, desk.formatIni);
    Saver writer;
    if (!writer.OpenFile(fileName)) {
        report.Log("can't open file!", false);
        return false;
    }
    fmt::FmtData& formatter = desk.formatter;
    if (!type.empty())
        formatter.LoadTemplate(
            ini::getString(desk.formatIni, type, "Format", fmt::kStandardTemplate, ini::kBuf2048));
    WriteHeaderIfEmpty(writer, type.empty() ? std::string() : desk.formatIni, type, formatter);

    RecordGrid& grid = desk.grid;
    const int idLen = desk.options.nIDLen;
    const std::string unit = ThreeDigits(session.state().iCurrentID);
    const bool backupFile = UCase(Trim(fileName)).size() >= 3 &&
                            UCase(Trim(fileName)).compare(Trim(fileName).size() - 3, 3, "BAK") == 0;
    for (;;) {
        for (std::size_t r = grid.writtenRows; r < grid.rows.size(); ++r) {
            const auto& row = grid.rows[r];
            std::string line = unit;
            for (std::size_t c = 1; c < row.size(); ++c) {
                std::string cell = row[c];
                if (c == 1 && idLen > 0) {
                    const std::string padded =
                        std::string(static_cast<std::size_t>(idLen), '0') + cell;
                    cell = padded.substr(padded.size() - static_cast<std::size_t>(idLen));
                }
                line += "," + cell;
            }
            if (!type.empty()) {
                line.append(",").append(std::to_string(r + 1));
                line = formatter.FormatRecord(line, ',');
            }
            if (!writer.WriteFile(line)) {
                report.Log("save data NG!(" + writer.Error() + ")", false);
                return false;
            }
            grid.writtenRows = r + 1;
        }
        if (backupFile) return true;
        long count = 0;
        try {
            count = session.link().GetRecordCount();
        } catch (const RuntimeError&) {
            return true;
        }
        const std::size_t before = grid.rows.size();
        if (count <= static_cast<long>(before)) return true;
        UploadRecord(session, desk.Upload());
        if (grid.rows.size() == before) return true; // nothing more could be fetched
    }
}

} // namespace px
