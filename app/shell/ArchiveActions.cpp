#include "ArchiveActions.h"

#include "Archive.h"
#include "Core.h"
#include "Wait.h"

#include <atomic>
#include <thread>

namespace px::archive {

ExportSettings ViewExportSettings(Core& core, const std::string& outputType)
{
    ExportSettings s;
    s.outputType = outputType.empty() ? std::string("(Default)") : outputType;
    s.idLenText = core.options().idLenText;
    s.szFormatIni = core.szFormatIni;
    s.filter = ReadCardIdFilter(core.paths().In("Format.ini"));
    s.terminalOrder = DirectoryOrder(core.directory());
    return s;
}

bool ExportFromView(Core& core, const PunchQuery& range, const std::string& outputType,
                    const std::string& path, long long* lines, std::string* error)
{
    *lines = 0;
    const ShippingConfig& config = core.archive().Config();
    if (!config.target) {
        *error = config.targetError;
        return false;
    }
    auto db = MakeArchiveDb(*config.target);
    if (!db) {
        *error = "the archive is switched off (Archive/URL = off)";
        return false;
    }
    const ExportSettings settings = ViewExportSettings(core, outputType);
    std::atomic<bool> done = false;
    bool ok = false;
    std::string why;
    long long written = 0;
    std::thread worker([&] {
        ok = db->Open(&why) && ExportToFile(*db, settings, range, path, &written, &why);
        done = true;
    });
    core.SetScreenPointer(kPointerHourglass);
    waitUntil([&] { return done.load(); }, std::chrono::hours(24));
    worker.join();
    core.SetScreenPointer(kPointerDefault);
    *lines = written;
    *error = why;
    const std::string what =
        "export " + range.from + " to " + range.to + " (" + settings.outputType + ")";
    core.eventLog().WriteLog(
        FormatDate(Now(), "MM/DD HH:nn") + " Archive " + what +
            (ok ? ": " + std::to_string(written) + " punches written to " + path
                : " failed: " + why),
        false);
    return ok;
}

} // namespace px::archive
