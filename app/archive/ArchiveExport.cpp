#include "ArchiveExport.h"

#include "DateFormat.h"
#include "DeviceDirectory.h"
#include "FmtData.h"
#include "Options.h"
#include "ProgramPaths.h"
#include "RecordOutput.h"
#include "Replies.h"
#include "Saver.h"
#include "SettingsStore.h"
#include "SysError.h"
#include "VbText.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <set>
#include <unistd.h>

namespace px::archive {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const
    {
        if (f) (void)std::fclose(f);
    }
};

} // namespace

std::vector<int> DirectoryOrder(const DeviceDirectory& directory)
{
    std::vector<int> ids;
    const auto& lines = directory.Lines();
    for (std::size_t i = 1; i < lines.size(); ++i)
        ids.push_back(lines[i].itemData);
    return ids;
}

std::optional<ExportSettings> LoadExportSettings(const ProgramPaths& paths, const std::string& type,
                                                 std::string* error)
{
    SettingsStore store(paths.settingsFile);
    const Options options = LoadOptions(store, paths, FormatDate(Now(), "YYYYMM.TXT"));
    ExportSettings s;
    s.idLenText = options.idLenText;
    const std::string formatIni = paths.In("Format.ini");
    const std::vector<std::string> types = OutputTypes(formatIni);
    s.szFormatIni = types.size() > 1 ? formatIni : std::string();
    s.filter = ReadCardIdFilter(formatIni);
    // As at start-up: a saved type that Format.ini no longer has is "(Default)".
    const std::string wanted = type.empty() ? options.format : type;
    const auto found = std::find_if(types.begin(), types.end(), [&](const std::string& t) {
        return type.empty() ? t == wanted : UCase(t) == UCase(wanted);
    });
    if (found == types.end() && !type.empty()) {
        std::string list;
        for (const auto& t : types)
            list += (list.empty() ? "" : ", ") + t;
        *error = "Format.ini (" + formatIni + ") has no output type \"" + type +
                 "\"; there are: " + list;
        return std::nullopt;
    }
    s.outputType = found == types.end() ? types.front() : *found;
    DeviceDirectory directory(store);
    directory.ReadDeviceInfo(paths.In(paths.title + ".TXT")); // the program may be running
    s.terminalOrder = DirectoryOrder(directory);
    return s;
}

bool ExportPunches(ArchiveDb& db, const ExportSettings& s, const PunchQuery& range,
                   const std::function<bool(std::string_view)>& write, long long* lines,
                   std::string* error)
{
    *lines = 0;
    fmt::FmtData formatter;
    // An invalid template writes the lines unformatted, as the run does.
    (void)formatter.LoadTemplate(RunTemplate(s.outputType, s.idLenText, s.szFormatIni),
                                 fmt::kStandardFields, ",", "{", "}");
    const std::string header =
        OutputHeader(HeaderFormatIni(s.outputType, s.szFormatIni), s.outputType, formatter);
    if (!header.empty() && !write(OneLine(header) + "\r\n")) return false;

    std::vector<int> order;
    if (range.terminal) {
        order.push_back(*range.terminal);
    } else {
        order = s.terminalOrder;
        std::vector<TerminalSummary> present;
        if (!db.Terminals(&present, error)) return false;
        const std::set<int> listed(order.begin(), order.end());
        for (const TerminalSummary& t : present)
            if (!listed.count(t.terminalId)) order.push_back(t.terminalId);
    }
    bool written = true;
    std::string line;
    LineBuffers buffers;
    for (const int id : order) {
        PunchQuery q = range;
        q.terminal = id;
        q.order = PunchQuery::Order::Export;
        q.lean = true;
        q.after.reset();
        q.limit = -1;
        const bool ok = db.Select(
            q,
            [&](const StoredPunch& p) {
                line.clear();
                AppendOutputLine(line, formatter, s.filter, p.terminalId, p.recordIndex,
                                 reply::SplitRecord(p.raw), buffers);
                line += "\r\n";
                written = write(line);
                *lines += written;
                return written;
            },
            error);
        if (!ok) return false;
        if (!written) return false;
    }
    return true;
}

bool ExportToFile(ArchiveDb& db, const ExportSettings& settings, const PunchQuery& range,
                  const std::string& path, long long* lines, std::string* error)
{
    const std::string temp = path + ".part" + std::to_string(::getpid());
    std::unique_ptr<std::FILE, FileCloser> out(std::fopen(temp.c_str(), "wb"));
    if (!out) {
        *error = temp + ": " + ErrnoText(errno);
        return false;
    }
    int writeError = 0;
    const bool exported = ExportPunches(
        db, settings, range,
        [&](std::string_view text) {
            if (std::fwrite(text.data(), 1, text.size(), out.get()) == text.size()) return true;
            writeError = errno;
            return false;
        },
        lines, error);
    if (exported && (std::fflush(out.get()) != 0 || ::fsync(::fileno(out.get())) != 0))
        writeError = errno;
    const bool closed = std::fclose(out.release()) == 0;
    if (exported && !closed && !writeError) writeError = errno;
    if (exported && !writeError && std::rename(temp.c_str(), path.c_str()) != 0) writeError = errno;
    if (!exported || writeError) {
        (void)std::remove(temp.c_str());
        if (writeError) *error = path + ": " + ErrnoText(writeError);
        return false;
    }
    return true;
}

} // namespace px::archive
