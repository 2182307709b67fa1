#include "RecordUpload.h"

#include "RecordStore.h"
#include "TerminalSession.h"

namespace px {

namespace {

const std::string kIndent(10, ' ');

} // namespace

void RecordUpload::ReadRecord(int index, bool& ok, std::string& line)
{
    const auto record = FetchRecord(index);
    ok = record.has_value();
    line = ok ? record->text : std::string();
}

std::optional<reply::RecordLine> RecordUpload::FetchRecord(int index)
{
    SerloClient& link = session_.link();
    SessionReporter& report = session_.reporter();
    if (!link.PortOpen()) return std::nullopt;
    for (int attempt = 0; attempt < 5; ++attempt) {
        lastReply_ = link.GetRecord(index);
        if (lastReply_.empty()) {
            if (!link.PortOpen()) {
                report.Log(kIndent +
                               (link.CommPort() != 0 ? "COM Port is close!" : "TCP/IP disconnect!"),
                           false);
                break;
            }
            continue;
        }
        if (auto record = reply::AcceptRecord(lastReply_, index)) return record;
    }
    if (link.CommPort() == 0 && link.PortOpen()) {
        const std::string address = link.IAddress();
        if (session_.pinger().Ping(address, 3000) == -1)
            report.Log(kIndent + " can't ping " + address, false);
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

bool RecordUpload::MatchStoredRecords(const StoredCounters& stored, bool& ok)
{
    const long c = stored.lastCount;
    ok = true;
    if (c <= 0) return false;
    std::string line;
    ReadRecord(0, ok, line);
    if (!ok || line != stored.firstRecord) return false;
    if (c < 3) return true;
    ReadRecord(static_cast<int>(c - 1), ok, line);
    return ok && line == stored.lastRecord;
}

} // namespace px
