#include "ArchiveStatus.h"

#include <cstdio>

namespace px::archive {

Backlog JournalBacklog(const std::string& journalFolder, const std::optional<JournalCursor>& cursor)
{
    const JournalReader reader(journalFolder);
    const std::string id = reader.Id();
    Backlog b;
    if (id.empty()) return b;
    const JournalPos from = cursor && cursor->journal == id ? cursor->pos : JournalPos{};
    b.records = reader.Count(from, &b.oldest);
    return b;
}

std::string BacklogLine(const Backlog& b)
{
    if (b.records == 0) return "Behind: nothing waits in the journal\n";
    return "Behind: " + std::to_string(b.records) + " record" + (b.records == 1 ? "" : "s") +
           " wait in the journal" +
           (b.oldest.empty() ? std::string() : ", the oldest downloaded " + b.oldest) + "\n";
}

bool StatusReport(ArchiveDb& db, const ArchiveTarget& target, const std::string& journalFolder,
                  const CursorKey& key, std::string* report, std::string* error)
{
    std::vector<TerminalSummary> terminals;
    if (!db.Terminals(&terminals, error)) return false;
    const auto cursor = db.Cursor(key, error);
    if (!cursor && !error->empty()) return false;
    std::string& r = *report;
    r = "Archive: " + target.shown + " (" +
        (target.kind == ArchiveTarget::Kind::Sqlite ? "SQLite" : "PostgreSQL") +
        ", schema version " + std::to_string(kSchemaVersion) + ")\n";
    long long total = 0, undated = 0;
    const TerminalSummary* newest = nullptr;
    char line[256];
    if (!terminals.empty()) r += "Terminal  Name                      Punches  Newest punch\n";
    for (const TerminalSummary& t : terminals) {
        (void)std::snprintf(line, sizeof line, "     %03d  %-24.24s %8lld  %s\n", t.terminalId,
                            t.name.c_str(), t.punches, t.newest.empty() ? "-" : t.newest.c_str());
        r += line;
        total += t.punches;
        undated += t.undated;
        if (!t.newest.empty() && (!newest || t.newest > newest->newest)) newest = &t;
    }
    r += "Total: " + std::to_string(total) + " punch" + (total == 1 ? "" : "es") + " from " +
         std::to_string(terminals.size()) + " terminal" + (terminals.size() == 1 ? "" : "s");
    if (undated > 0) r += " (" + std::to_string(undated) + " without a valid date)";
    r += "\n";
    if (newest) {
        (void)std::snprintf(line, sizeof line, "Newest punch: %s, terminal %03d (%s)\n",
                            newest->newest.c_str(), newest->terminalId, newest->name.c_str());
        r += line;
    }
    r += BacklogLine(JournalBacklog(journalFolder, cursor));
    return true;
}

} // namespace px::archive
