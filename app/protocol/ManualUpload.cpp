#include "ManualUpload.h"

#include "DateFormat.h"
#include "OutputNames.h"
#include "ProgramPaths.h"
#include "RecordGrid.h"
#include "RuntimeError.h"
#include "Saver.h"
#include "TerminalSession.h"
#include "VbText.h"
#include "View.h"
#include "Wait.h"

namespace px {

namespace {

std::string FiveDigits(long v)
{
    return Digits(v, 5);
}

// Backup lines and the archive's journal are made durable in batches: the terminal keeps every
// record until a save, so a crash can lose at most the copies of a batch, never a record.
constexpr std::size_t kBatch = 64;

} // namespace

std::array<std::string, 5> GridRow(const reply::RecordLine& rec, const CardIdFilter& filter)
{
    // A line without the fixed layout shows as record 1 with empty fields.
    const std::string cardId = rec.fixedLayout ? rec.cardId : std::string();
    return {std::to_string(reply::RecordIndex(rec.index) + 1), filter.Apply(cardId), rec.event,
            rec.date, rec.time};
}

// NOLINTNEXTLINE(readability-function-size)
bool UploadRecord(TerminalSession& session, const UploadTarget& target)
{
    LinkState& st = session.state();
    SessionReporter& report = session.reporter();
    View& view = target.view;
    st.bLinkTimeout = false;
    st.bStopUpload = false;
    bool result = true;
    int backupFailures = 0;
    bool syncFailed = false;
    bool unsynced = false;
    std::vector<reply::RecordLine> taken; // since the last flush
    long takenFirst = 0;
    Saver& backup = target.backup;
    // The backup's lines reach the disk before the archive's journal takes the same records.
    const auto flush = [&] {
        if (unsynced && backupFailures == 0 && !backup.Sync() && !syncFailed) {
            syncFailed = true;
            report.Log("can't write backup file!(" + backup.Error() + ")", false);
        }
        unsynced = false;
        if (!taken.empty() && target.archive) target.archive(st.iCurrentID, takenFirst, taken);
        taken.clear();
    };
    try {
        const long n = session.device().GetPXRecordCount();
        if (st.bLinkTimeout || n < 0) return true;
        const CardIdFilter filter = ReadCardIdFilter(target.paths.In("Format.ini"));
        if (n == 0 && !report.SchedulerRunning()) {
            view.MessageBox(report.Text(8040, "The terminal holds no records."), Icon::Information,
                            report.Title());
            return true;
        }
        RecordGrid& grid = target.grid;
        const long start = static_cast<long>(grid.RecordCount());
        const bool backupOk = backup.OpenFile(BackupFilePath(target.paths, Now()));
        if (!backupOk) report.Log("can't open backup file!", false);
        if (n >= 1 && start < n) {
            view.SetProgress(0, static_cast<int>(n));
            view.SetCountLabel(FiveDigits(start) + " / " + FiveDigits(n));
            const std::string unit = ThreeDigits(st.iCurrentID);
            int failures = 0;
            for (long i = start; i < n;) {
                pumpEvents();
                if (st.bStopUpload) break;
                if (const auto rec = session.records().FetchRecord(static_cast<int>(i))) {
                    failures = 0;
                    // The grid and the terminal still hold the record; a lost backup line is
                    // reported once, with its cause, and the upload goes on.
                    if (backupOk) {
                        if (!backup.WriteFile(unit + "," + rec->text, /*durable=*/false)) {
                            if (backupFailures++ == 0)
                                report.Log("can't write backup file!(" + backup.Error() + ")",
                                           false);
                        } else {
                            unsynced = true;
                        }
                    }
                    if (taken.empty()) takenFirst = i;
                    taken.push_back(*rec);
                    if (taken.size() == kBatch) flush();
                    grid.Append(GridRow(*rec, filter));
                    view.SetProgress(static_cast<int>(i + 1), static_cast<int>(n));
                    view.SetCountLabel(FiveDigits(i + 1) + " / " + FiveDigits(n));
                    ++i;
                    continue;
                }
                if (++failures >= 16) {
                    session.device().Error(session.records().LastReply().rfind("N07", 0) == 0 ? 29
                                                                                              : 1);
                    if (!report.SchedulerRunning()) session.device().OffLine();
                    result = false;
                    break;
                }
            }
            if (static_cast<long>(grid.RecordCount()) >= n)
                view.SetProgress(0, static_cast<int>(n));
        }
        st.bStopUpload = false;
    } catch (const RuntimeError& e) {
        result = false;
        flush();
        view.MessageBox(e.Report("UploadRecord"), Icon::Critical, report.Title());
        st.bStopUpload = false;
    }
    // Lines that reached the file but not the disk are reported once, never counted as lost.
    flush();
    if (backupFailures > 1)
        report.Log(std::to_string(backupFailures) + " lines not written to the backup file", false);
    return result;
}

} // namespace px
