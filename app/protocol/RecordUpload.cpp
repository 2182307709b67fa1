#include "RecordUpload.h"

#include "Core.h"
#include "DateFormat.h"
#include "DeviceOps.h"
#include "FormatIni.h"
#include "Frame.h"
#include "Ini.h"
#include "OutputNames.h"
#include "RuntimeError.h"
#include "VbText.h"
#include "Wait.h"

#include <cstdio>

namespace px {

namespace {

const std::string kIndent(10, ' ');

int HexIndex(const std::string& digits)
{
    int value = 0;
    for (char c : digits) {
        const int d = frame::HexPair('0', c);
        if (d < 0) return -1;
        value = value * 16 + d;
    }
    return value;
}

bool IsDateOrTime(const std::string& text)
{
    return ParseDateTime(text).has_value();
}

std::string FiveDigits(long v)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%05ld", v);
    return buffer;
}

} // namespace

void RecordUpload::ReadRecord(int index, bool& ok, std::string& line)
{
    ok = false;
    line.clear();
    SerloClient& link = core_.link();
    if (!link.PortOpen()) return;
    for (int attempt = 0; attempt < 5; ++attempt) {
        lastReply_ = link.GetRecord(index);
        const std::string& r = lastReply_;
        if (r.empty()) {
            if (!link.PortOpen()) {
                core_.eventLog().WriteLog(
                    kIndent + (link.CommPort() != 0 ? "COM Port is close!" : "TCP/IP disconnect!"),
                    false);
                break;
            }
            continue;
        }
        const long L = static_cast<long>(r.size());
        if (r[0] != 'A' || L < 6 || HexIndex(r.substr(1, 4)) != index || r[5] != ',') continue;
        // The last comma at or before position L-19 precedes the date; the time follows it.
        if (L - 19 < 1) continue;
        const std::size_t p = r.rfind(',', static_cast<std::size_t>(L - 19 - 1));
        if (p == std::string::npos) continue;
        const std::string date = r.substr(p + 1, 10);
        const std::string time = p + 12 < r.size() ? r.substr(p + 12, 10) : "";
        if (!IsDateOrTime(date) || !IsDateOrTime(time)) continue;
        ok = true;
        line = r;
        return;
    }
    if (link.CommPort() == 0 && link.PortOpen()) {
        const std::string address = link.IAddress();
        if (core_.pinger().Ping(address, 3000) == -1)
            core_.eventLog().WriteLog(kIndent + " can't ping " + address, false);
    }
}

std::string RecordUpload::RecordField(const std::string& line, int field)
{
    const long L = static_cast<long>(line.size());
    if (L <= 29) return {};
    auto at = [&](long pos) { return line[static_cast<std::size_t>(pos - 1)]; };
    if (at(6) != ',' || at(L - 21) != ',' || at(L - 19) != ',' || at(L - 8) != ',') return {};
    auto mid = [&](long from, long to) {
        return line.substr(static_cast<std::size_t>(from - 1),
                           static_cast<std::size_t>(to - from + 1));
    };
    switch (field) {
    case 0:
        return mid(2, 5);
    case 1:
        return mid(7, L - 22);
    case 2:
        return mid(L - 20, L - 20);
    case 3:
        return mid(L - 18, L - 9);
    case 4:
        return mid(L - 7, L);
    default:
        return {};
    }
}

std::string RecordUpload::FormatRecordLine(const std::string& line, const std::string& separator,
                                           bool filter, long start, long length)
{
    const long L = static_cast<long>(line.size());
    if (L < 6 || L - 21 < 1) return {};
    const std::size_t a = line.find(',', 5);
    const std::size_t b = line.rfind(',', static_cast<std::size_t>(L - 21 - 1));
    if (a == std::string::npos || b == std::string::npos || b < a) return {};
    std::string cardId = line.substr(a + 1, b - a - 1);
    if (filter && start >= 1)
        cardId = static_cast<std::size_t>(start - 1) < cardId.size()
                     ? cardId.substr(static_cast<std::size_t>(start - 1),
                                     static_cast<std::size_t>(std::max(0L, length)))
                     : std::string();
    std::string rest = line.substr(b);
    std::string out = line.substr(0, a) + separator + cardId;
    for (char c : rest) {
        if (c == ',')
            out += separator;
        else
            out += c;
    }
    return out;
}

std::string RecordUpload::FilteredCardId(const std::string& cardId) const
{
    if (!bCIDFilter) return cardId;
    if (static_cast<std::size_t>(lCIDStart - 1) >= cardId.size()) return {};
    return cardId.substr(static_cast<std::size_t>(lCIDStart - 1),
                         static_cast<std::size_t>(lCIDLength));
}

void RecordUpload::SetCardIDFilter()
{
    try {
        const std::string file = core_.paths().In("Format.ini");
        const bool enabled =
            UCase(ini::getString(file, "General", "CardIDFilterEnabled", "FALSE")) == "TRUE";
        const long length =
            static_cast<long>(Val(ini::getString(file, "General", "CardIDLength", "0")));
        const long start =
            static_cast<long>(Val(ini::getString(file, "General", "CardIDStart", "0")));
        bCIDFilter = enabled && length != 0 && start != 0;
        lCIDStart = bCIDFilter ? start : 0;
        lCIDLength = bCIDFilter ? length : 0;
        if (bCIDFilter && (start < 1 || length < 0)) {
            // A negative position or length cannot select anything: treat it as off.
            bCIDFilter = false;
            lCIDStart = lCIDLength = 0;
        }
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

bool RecordUpload::UploadRecord()
{
    ProgramState& st = core_.state();
    st.bLinkTimeout = false;
    st.bStopUpload = false;
    bool result = true;
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
                bool ok = false;
                std::string line;
                ReadRecord(static_cast<int>(i), ok, line);
                if (ok) {
                    failures = 0;
                    if (backupOk) backup.WriteFile(unit + "," + line);
                    const long number = HexIndex(RecordField(line, 0));
                    grid.Append({std::to_string(number + 1), FilteredCardId(RecordField(line, 1)),
                                 RecordField(line, 2), RecordField(line, 3), RecordField(line, 4)});
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
    return result;
}

} // namespace px
