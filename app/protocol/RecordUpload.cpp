#include "RecordUpload.h"

#include "Archive.h"
#include "Core.h"
#include "DateFormat.h"
#include "DeviceOps.h"
#include "FormatIni.h"
#include "Ini.h"
#include "OutputNames.h"
#include "RecordLines.h"
#include "RuntimeError.h"
#include "VbText.h"
#include "Wait.h"

#include <cstdio>

namespace px {

namespace {

const std::string kIndent(10, ' ');

std::string FiveDigits(long v)
{
    return Digits(v, 5);
}

} // namespace

void RecordUpload::ReadRecord(int index, bool& ok, std::string& line)
{
    const auto record = FetchRecord(index);
    ok = record.has_value();
    line = ok ? record->text : std::string();
}

std::optional<reply::RecordLine> RecordUpload::FetchRecord(int index)
{
    SerloClient& link = core_.link();
    if (!link.PortOpen()) return std::nullopt;
    for (int attempt = 0; attempt < 5; ++attempt) {
        lastReply_ = link.GetRecord(index);
        if (lastReply_.empty()) {
            if (!link.PortOpen()) {
                core_.eventLog().WriteLog(
                    kIndent + (link.CommPort() != 0 ? "COM Port is close!" : "TCP/IP disconnect!"),
                    false);
                break;
            }
            continue;
        }
        if (auto record = reply::AcceptRecord(lastReply_, index)) return record;
    }
    if (link.CommPort() == 0 && link.PortOpen()) {
        const std::string address = link.IAddress();
        if (core_.pinger().Ping(address, 3000) == -1)
            core_.eventLog().WriteLog(kIndent + " can't ping " + address, false);
    }
    return std::nullopt;
}

std::string RecordUpload::RecordField(const std::string& line, int field)
{
    const reply::RecordLine rec = reply::SplitRecord(line);
    if (!rec.fixedLayout) return {};
    switch (field) {
    case 0:
        return rec.index;
    case 1:
        return rec.cardId;
    case 2:
        return rec.event;
    case 3:
        return rec.date;
    case 4:
        return rec.time;
    default:
        return {};
    }
}

std::string RecordUpload::FormatRecordLine(const std::string& line, const std::string& separator,
                                           bool filter, long start, long length)
{
    const reply::RecordLine rec = reply::SplitRecord(line);
    return reply::RebuildRecord(
        rec, separator, filter ? reply::FilterCardId(rec.cardId, start, length) : rec.cardId);
}

std::string RecordUpload::FilteredCardId(const std::string& cardId) const
{
    return bCIDFilter ? reply::FilterCardId(cardId, lCIDStart, lCIDLength) : cardId;
}

void RecordUpload::SetCardIDFilter()
{
    try {
        const CardIdFilter filter = ReadCardIdFilter(core_.paths().In("Format.ini"));
        bCIDFilter = filter.on;
        lCIDStart = filter.start;
        lCIDLength = filter.length;
    } catch (const std::exception& e) {
        bCIDFilter = false;
        lCIDStart = lCIDLength = 0;
        const std::string report = std::string("SetCardIDFilter - ") + e.what() + "(5)";
        if (core_.state().bTSRunning)
            core_.eventLog().WriteLog(report, false);
        else
            core_.view().MessageBox(report, Icon::Critical, core_.Title());
    }
}

bool RecordUpload::MatchStoredRecords(bool& ok)
{
    RecordStore& store = core_.recordStore();
    const long c = store.LastCount();
    ok = true;
    if (c <= 0) return false;
    std::string line;
    ReadRecord(0, ok, line);
    if (!ok || line != store.FirstRecord()) return false;
    if (c < 3) return true;
    ReadRecord(static_cast<int>(c - 1), ok, line);
    return ok && line == store.LastRecord();
}

void RecordUpload::EnableRecordControls(bool flag)
{
    core_.view().SetRecordControlsEnabled(flag);
}

std::array<std::string, 5> RecordUpload::GridRow(const reply::RecordLine& rec) const
{
    // A line without the fixed layout shows as record 1 with empty fields.
    const std::string cardId = rec.fixedLayout ? rec.cardId : std::string();
    return {std::to_string(reply::RecordIndex(rec.index) + 1), FilteredCardId(cardId), rec.event,
            rec.date, rec.time};
}

bool RecordUpload::UploadRecord()
{
    ProgramState& st = core_.state();
    st.bLinkTimeout = false;
    st.bStopUpload = false;
    bool result = true;
    int backupFailures = 0;
    try {
        const long n = core_.device().GetPXRecordCount();
        if (st.bLinkTimeout || n < 0) return true;
        SetCardIDFilter();
        if (n == 0 && !st.bTSRunning) {
            core_.view().MessageBox(core_.GetText(8040, "The terminal holds no records."),
                                    Icon::Information, core_.Title());
            return true;
        }
        RecordGrid& grid = core_.recordGrid();
        const long start = static_cast<long>(grid.RecordCount());
        Saver& backup = core_.backupWriter();
        const bool backupOk = backup.OpenFile(BackupFilePath(core_.paths(), Now()));
        if (!backupOk) core_.eventLog().WriteLog("can't open backup file!", false);
        if (n >= 1 && start < n) {
            core_.view().SetProgress(0, static_cast<int>(n));
            core_.view().SetCountLabel(FiveDigits(start) + " / " + FiveDigits(n));
            const std::string unit = ThreeDigits(st.iCurrentID);
            int failures = 0;
            for (long i = start; i < n;) {
                pumpEvents();
                if (st.bStopUpload) break;
                if (const auto rec = FetchRecord(static_cast<int>(i))) {
                    failures = 0;
                    // The grid and the terminal still hold the record; a lost backup line is
                    // reported once, with its cause, and the upload goes on.
                    if (backupOk && !backup.WriteFile(unit + "," + rec->text) &&
                        backupFailures++ == 0)
                        core_.eventLog().WriteLog(
                            "can't write backup file!(" + backup.Error() + ")", false);
                    core_.archive().Take(
                        st.iCurrentID,
                        core_.directory().table[static_cast<std::size_t>(st.iCurrentID)].Name, i,
                        *rec);
                    grid.Append(GridRow(*rec));
                    core_.view().SetProgress(static_cast<int>(i + 1), static_cast<int>(n));
                    core_.view().SetCountLabel(FiveDigits(i + 1) + " / " + FiveDigits(n));
                    ++i;
                    continue;
                }
                if (++failures >= 16) {
                    core_.ErrorBox(lastReply_.rfind("N07", 0) == 0 ? 29 : 1);
                    if (!st.bTSRunning) core_.device().OffLine();
                    result = false;
                    break;
                }
            }
            if (static_cast<long>(grid.RecordCount()) >= n)
                core_.view().SetProgress(0, static_cast<int>(n));
        }
        st.bStopUpload = false;
    } catch (const RuntimeError& e) {
        result = false;
        core_.view().MessageBox(e.Report("UploadRecord"), Icon::Critical, core_.Title());
        st.bStopUpload = false;
    }
    if (backupFailures > 1)
        core_.eventLog().WriteLog(
            std::to_string(backupFailures) + " lines not written to the backup file", false);
    return result;
}

} // namespace px
