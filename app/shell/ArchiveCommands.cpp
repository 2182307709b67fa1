#include "ArchiveCommands.h"

#include "Archive.h"
#include "ArchiveExport.h"
#include "ArchiveStatus.h"
#include "DateFormat.h"
#include "EventLog.h"
#include "LongOptions.h"
#include "ProgramPaths.h"
#include "SettingsStore.h"
#include "Shipping.h"

#include <cstdio>
#include <filesystem>

namespace px::archive {

namespace {

// What both commands start from: the program folder, its event log and the archive setting.
class Command {
public:
    explicit Command(const std::string& title) : paths_(ProgramPaths::Resolve(title))
    {
        exe_ = title;
        for (auto& c : exe_)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        // Only an existing program folder gets a log line; nothing else is created for it.
        std::error_code ec;
        if (std::filesystem::is_directory(paths_.In("Logfiles"), ec))
            log_.OpenMonth(paths_.In("Logfiles"), Now());
        SettingsStore store(paths_.settingsFile);
        config_.journalFolder = JournalFolderOf(paths_.folder);
        config_.key = OwnerKey(paths_.folder);
        config_.target = ParseArchiveUrl(store.Get("Archive", "URL", ""),
                                         DefaultDatabaseOf(paths_.folder), &config_.targetError);
    }

    // A message for the user, also kept in the event log.
    void Say(const std::string& text)
    {
        (void)std::fprintf(stderr, "%s: %s\n", exe_.c_str(), text.c_str());
        if (!log_.Path().empty())
            log_.WriteLog(FormatDate(Now(), "MM/DD HH:nn") + " Archive " + text, true);
    }

    // The database, open; nullptr (said why) when there is none to read.
    std::unique_ptr<ArchiveDb> Open(int* status)
    {
        *status = 1;
        if (!config_.target) {
            Say(config_.targetError);
            return nullptr;
        }
        const ArchiveTarget& t = *config_.target;
        if (t.kind == ArchiveTarget::Kind::Off) {
            Say("the archive is switched off (Archive/URL = off)");
            *status = 0;
            return nullptr;
        }
        std::error_code ec;
        if (t.kind == ArchiveTarget::Kind::Sqlite && !std::filesystem::exists(t.sqlitePath, ec)) {
            Say("there is no archive yet: " + t.sqlitePath + " does not exist");
            return nullptr;
        }
        auto db = MakeArchiveDb(t);
        std::string error;
        if (!db->Open(&error)) {
            Say("cannot open the archive: " + error);
            return nullptr;
        }
        *status = 0;
        return db;
    }

    const ProgramPaths& paths() const { return paths_; }
    ShippingConfig& config() { return config_; }

private:
    ProgramPaths paths_;
    std::string exe_;
    EventLog log_;
    ShippingConfig config_;
};

} // namespace

int RunExportCommand(const LongOptions& o, const std::string& title)
{
    Command cmd(title);
    std::string error;
    const auto settings = LoadExportSettings(cmd.paths(), o.type, &error);
    if (!settings) {
        cmd.Say(error);
        return 2;
    }
    // Records still in the journal go in first, so the export holds everything downloaded.
    if (cmd.config().target) {
        JournalShipping shipping(cmd.config());
        const auto outcome =
            shipping.ShipAll(std::chrono::steady_clock::now() + std::chrono::seconds(60));
        if (outcome == JournalShipping::Outcome::Failed)
            cmd.Say("records in the journal could not be archived first: " + shipping.Error());
    }
    int status = 1;
    const auto db = cmd.Open(&status);
    if (!db) return status == 0 ? 1 : status;
    const auto cursor = db->Cursor(cmd.config().key, &error);
    const Backlog waiting = JournalBacklog(cmd.config().journalFolder, cursor);
    if (waiting.records > 0)
        cmd.Say("the export may lack " + std::to_string(waiting.records) +
                " records that still wait in the journal");
    PunchQuery range;
    range.from = o.from;
    range.to = o.to;
    range.terminal = o.terminal;
    long long lines = 0;
    const bool toFile = o.out && *o.out != "-";
    const bool ok =
        toFile ? ExportToFile(*db, *settings, range, *o.out, &lines, &error)
               : ExportPunches(
                     *db, *settings, range,
                     [](std::string_view text) {
                         return std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
                     },
                     &lines, &error) &&
                     std::fflush(stdout) == 0;
    const std::string what = "export " + o.from + " to " + o.to +
                             (o.terminal ? " of terminal " + std::to_string(*o.terminal) : "") +
                             " (" + settings->outputType + ")";
    if (!ok) {
        cmd.Say(what + " failed: " + (error.empty() ? "standard output closed" : error));
        return 1;
    }
    cmd.Say(what + ": " + std::to_string(lines) + " punches written to " +
            (toFile ? *o.out : std::string("standard output")));
    return 0;
}

int RunStatusCommand(const std::string& title)
{
    Command cmd(title);
    int status = 1;
    const auto db = cmd.Open(&status);
    if (!db) {
        // What can be said without the database: how much the journal holds.
        const auto hint = ReadShippedHint(cmd.config().journalFolder);
        std::optional<JournalCursor> cursor;
        if (hint) cursor = JournalCursor{hint->first, hint->second};
        (void)std::fputs(BacklogLine(JournalBacklog(cmd.config().journalFolder, cursor)).c_str(),
                         stdout);
        return status;
    }
    std::string report, error;
    if (!StatusReport(*db, *cmd.config().target, cmd.config().journalFolder, cmd.config().key,
                      &report, &error)) {
        cmd.Say("cannot read the archive: " + error);
        return 1;
    }
    (void)std::fputs(report.c_str(), stdout);
    return 0;
}

} // namespace px::archive
