#include "RunWriter.h"

#include "EventLog.h"
#include "FileAppend.h"
#include "FmtData.h"
#include "Ini.h"
#include "Options.h"
#include "OutputNames.h"
#include "ProgramPaths.h"
#include "RecordOutput.h"
#include "Replies.h"
#include "Saver.h"
#include "Trace.h"
#include "VbText.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace px {

namespace {

const std::string S10(10, ' ');

// Lines of one batch at most, and the bytes they may take, behind a mark: more is not what a
// killed download of this program leaves.
constexpr std::size_t kMaxLeftLines = RunWriter::kBatch;
constexpr long long kMaxLeftBytes = 1 << 20;

// Whether line i of the lines a killed download left in this writer's file is exactly this one.
bool LeftThere(const LeftLines& left, std::size_t i, const Saver& writer, const std::string& line)
{
    if (i >= left.Count() || left.path != writer.Path() ||
        left.lengths[i] != static_cast<long long>(line.size()) + 2)
        return false;
    std::ifstream in(left.path, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(left.lengths[i]), '\0');
    in.seekg(left.Offset(i));
    return in.read(bytes.data(), static_cast<std::streamsize>(bytes.size())) &&
           bytes == line + "\r\n";
}

} // namespace

RunWriter::RunWriter(RunServices& services, std::function<DateTime()> now)
    : s_(services), now_(std::move(now))
{
}

void RunWriter::Log(const std::string& line) const
{
    qCDebug(pxApp).noquote() << "run log:" << line.c_str();
    s_.eventLog.FollowMonth(now_());
    s_.eventLog.WriteLog(line, false);
}

void RunWriter::Silent(const std::string& line) const
{
    qCDebug(pxApp).noquote() << "run note:" << line.c_str();
    s_.eventLog.FollowMonth(now_());
    s_.eventLog.WriteLog(line, true);
}

std::string RunWriter::CountersPath() const
{
    return s_.paths.In("Records/" + s_.paths.title + ".INI");
}

void RunWriter::AddPart(int id, RunPart& part)
{
    Writing w;
    w.id = id;
    w.part = &part;
    parts_.push_back(std::move(w));
}

void RunWriter::Cursor(const Writing& w)
{
    s_.recordStore.FilePath = CountersPath();
    s_.recordStore.MachineID = w.id;
}

LeftLines RunWriter::FindLeftLines(const FileMark& mark)
{
    LeftLines left;
    const long long size = FileSizeOf(mark.path);
    if (mark.path.empty() || mark.end < 0 || size <= mark.end || size - mark.end > kMaxLeftBytes)
        return left;
    std::ifstream in(mark.path, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(size - mark.end), '\0');
    in.seekg(mark.end);
    if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) return left;
    std::vector<long long> lengths;
    std::size_t from = 0;
    for (std::size_t lf; (lf = bytes.find('\n', from)) != std::string::npos; from = lf + 1)
        lengths.push_back(static_cast<long long>(lf + 1 - from));
    if (from < bytes.size()) {
        // A write cut short: the line is ended, so that the next one starts on a line of its
        // own; its record is written again whole.
        if (AppendLine(mark.path, "", nullptr)) Log(S10 + "ended a line cut short in " + mark.path);
    }
    if (lengths.empty() || lengths.size() > kMaxLeftLines) return left;
    left.path = mark.path;
    left.at = mark.end;
    left.lengths = std::move(lengths);
    return left;
}

void RunWriter::TakeLeftOvers(const std::vector<int>& ids)
{
    leftOvers_.clear();
    unsure_.clear();
    RecordStore& store = s_.recordStore;
    store.FilePath = CountersPath();
    for (int id : ids) {
        store.MachineID = id;
        // Behind the marks of the download that wrote the counters last, nothing is covered by
        // a counter: any later counted line would lie there too. Before this run writes
        // anything, the whole lines found there are noted for good.
        const auto pending = store.Pending();
        const long count = store.LastCount();
        if (pending && pending->lastWriter && count >= pending->first) {
            LeftOver left;
            left.index = count;
            if (count == pending->first) left.record = pending->firstRecord;
            left.output = FindLeftLines(pending->marks.output);
            left.mail = FindLeftLines(pending->marks.mail);
            left.backup = FindLeftLines(pending->marks.backup);
            // A download killed again after taking over lines noted before: those stay noted,
            // together with any it wrote anew.
            if (const auto noted = store.LeftOverLines(); noted && noted->index == left.index) {
                if (!left.record) left.record = noted->record;
                for (auto lines : {&LeftOver::output, &LeftOver::mail, &LeftOver::backup})
                    if ((left.*lines).Count() == 0) left.*lines = (*noted).*lines;
            }
            if (left.output.Count() + left.mail.Count() + left.backup.Count() > 0 &&
                !store.KeepLeftOver(left))
                unsure_.insert(id); // a second kill could not tell them: the terminal waits
        }
        if (auto left = store.LeftOverLines()) leftOvers_.emplace(id, std::move(*left));
    }
}

bool RunWriter::OpenWriters()
{
    Options& o = s_.options;
    std::error_code ec;
    if (!std::filesystem::is_directory(o.tsavePath, ec)) o.tsavePath = s_.paths.RecordsDir();
    const bool output = s_.outputWriter.OpenFile(JoinPath(o.tsavePath, o.tsfileName));
    bool backup = false;
    if (!output)
        Log("can't open file!");
    else if (!(backup = s_.backupWriter.OpenFile(BackupFilePath(s_.paths, now_()))))
        Log("can't open backup file!");
    // The mail writer stays enabled on its last path even when this open fails.
    if (o.mailToChecked && !s_.mailWriter.OpenFile(MailFilePath(s_.paths, o.tsfileName)))
        Log("can't open mail file!");
    return output && backup;
}

void RunWriter::WriteHeaders()
{
    const std::string type = s_.options.format;
    const std::string ini = type.empty() || type == "(Default)" ? std::string() : s_.formatIni;
    WriteHeaderIfEmpty(s_.outputWriter, ini, type, s_.formatter);
    // A mail writer opened once stays enabled on its last path.
    if (s_.mailWriter.Enable()) WriteHeaderIfEmpty(s_.mailWriter, ini, type, s_.formatter);
}

void RunWriter::CounterFailed(Writing& w, PartResult& result)
{
    // The records would be fetched and written again by the next run: stop this terminal.
    const std::string& error = s_.recordStore.Error();
    Log(S10 + (error.empty() ? std::string("save data NG!") : "save data NG!(" + error + ")"));
    w.counterFailed = true;
    result.counterFailed = true;
    result.failed = true;
}

void RunWriter::Resume(Writing& w, const PartItem& item, PartResult& result)
{
    w.resumed = item.resumed;
    w.last = item.index;
    result.saved = item.index;
    if (const auto left = leftOvers_.find(w.id); left != leftOvers_.end()) {
        w.left = std::move(left->second);
        leftOvers_.erase(left);
    }
    if (item.reset && !s_.recordStore.SetLastCount(0)) CounterFailed(w, result);
}

FileMarks RunWriter::Marks() const
{
    const auto mark = [](const Saver& w) { return FileMark{w.Path(), w.FileSize()}; };
    FileMarks marks{mark(s_.outputWriter), {}, mark(s_.backupWriter)};
    if (s_.mailWriter.Enable()) marks.mail = mark(s_.mailWriter);
    return marks;
}

bool RunWriter::Begin(Writing& w, const PartItem& first, PartResult& result)
{
    // Only the first records of a download can be ones whose lines a killed run wrote without
    // their counters: from the same index, and the same records (its first one's kept text, or
    // the stored records still matching the terminal's, which is what resuming relies on).
    w.claiming = w.left && first.index == w.left->index &&
                 (w.left->record ? first.text == *w.left->record : w.resumed) &&
                 unsure_.count(w.id) == 0;
    if (!s_.recordStore.BeginDownload(first.index, first.text, Marks(), w.claiming)) {
        CounterFailed(w, result);
        return false;
    }
    w.begun = true;
    return true;
}

// The lines of a batch that file f still needs: the first ones may be there already.
std::vector<std::string> RunWriter::Unclaimed(Writing& w, int f, long first,
                                              const std::vector<std::string>& lines)
{
    const Saver* writers[3] = {&s_.outputWriter, &s_.mailWriter, &s_.backupWriter};
    const LeftLines* left[3] = {nullptr, nullptr, nullptr};
    if (w.claiming && w.left)
        left[0] = &w.left->output, left[1] = &w.left->mail, left[2] = &w.left->backup;
    std::size_t k = 0;
    // Only a run of lines from the first left one on is taken over.
    while (left[f] && k < lines.size() &&
           first + static_cast<long>(k) == w.left->index + static_cast<long>(w.claimed[f]) &&
           LeftThere(*left[f], w.claimed[f], *writers[f], lines[k])) {
        ++w.claimed[f];
        ++k;
    }
    return {lines.begin() + static_cast<std::ptrdiff_t>(k), lines.end()};
}

void RunWriter::WriteBatch(Writing& w, const std::vector<const PartItem*>& batch,
                           PartResult& result)
{
    if (batch.empty()) return;
    if (!w.begun && !Begin(w, *batch.front(), result)) return;
    const long first = batch.front()->index;
    std::vector<std::string> output, backup, raws;
    std::vector<reply::RecordLine> records;
    for (const PartItem* item : batch) {
        records.push_back(reply::SplitRecord(item->text));
        const RecordLines lines =
            LinesFor(s_.formatter, w.filter, w.id, item->index, records.back());
        output.push_back(lines.output);
        backup.push_back(lines.backup);
        raws.push_back(item->text);
    }
    Saver& out = s_.outputWriter;
    Saver& mail = s_.mailWriter;
    Saver& back = s_.backupWriter;
    if (!out.WriteLines(Unclaimed(w, 0, first, output))) {
        Log(S10 + (out.Error().empty() ? std::string("save data NG!")
                                       : "save data NG!(" + out.Error() + ")"));
        result.failed = true;
        return;
    }
    // The output line is the record of truth; the copies' failures are reported, once each.
    const auto copy = [&](Saver& writer, int f, const std::vector<std::string>& lines,
                          const char* what, int& failures) {
        const std::vector<std::string> needed = Unclaimed(w, f, first, lines);
        if (writer.WriteLines(needed)) return;
        if (failures == 0) Log(S10 + "can't write " + what + " file!(" + writer.Error() + ")");
        failures += static_cast<int>(needed.size());
    };
    if (mail.Enable()) copy(mail, 1, output, "mail", result.mailFailures);
    copy(back, 2, backup, "backup", result.backupFailures);

    // The archive's journal: after the records' text lines, before their counters.
    if (s_.archive) s_.archive(w.id, first, records);

    const long last = first + static_cast<long>(batch.size()) - 1;
    std::optional<LeftOver> stillLeft;
    if (w.claiming && w.left)
        stillLeft = w.left->After(static_cast<std::size_t>(std::max(0L, last + 1 - w.left->index)));
    if (!s_.recordStore.SaveBatch(first, raws, Marks(), stillLeft ? &*stillLeft : nullptr)) {
        CounterFailed(w, result);
        return;
    }
    w.last = last + 1;
    result.saved = w.last;
}

void RunWriter::EndDownload(Writing& w, PartResult& result)
{
    // After a failed counter write the marks stay: the next run can still recognise the lines.
    RecordStore& store = s_.recordStore;
    if (w.begun && !w.counterFailed && store.Pending() && !store.EndDownload())
        CounterFailed(w, result);
}

void RunWriter::Handle(Writing& w, std::vector<PartItem>& items, PartResult& result)
{
    // A failure found here drops the rest, until the poll has seen it.
    const bool failedBefore = result.failed;
    const auto failedNow = [&] { return result.failed && !failedBefore; };
    std::vector<const PartItem*> batch;
    const auto flush = [&] {
        if (!failedNow()) WriteBatch(w, batch, result);
        batch.clear();
    };
    for (const PartItem& item : items) {
        if (failedNow()) return;
        if (item.kind == PartItem::Kind::Record) {
            batch.push_back(&item);
            if (batch.size() == kBatch) flush();
            continue;
        }
        flush();
        if (failedNow()) return;
        switch (item.kind) {
        case PartItem::Kind::Log:
            Log(item.text);
            break;
        case PartItem::Kind::Silent:
            Silent(item.text);
            break;
        case PartItem::Kind::OpenFiles:
            Open(w, result);
            break;
        case PartItem::Kind::Resume:
            Resume(w, item, result);
            break;
        case PartItem::Kind::DeleteCounters:
            if (!s_.recordStore.Delete()) CounterFailed(w, result);
            break;
        case PartItem::Kind::EndDownload:
            EndDownload(w, result);
            break;
        case PartItem::Kind::Record:
            break;
        }
    }
    flush();
}

void RunWriter::Open(Writing& w, PartResult& result)
{
    if (!OpenWriters()) {
        result.failed = result.openFailed = true;
        return;
    }
    WriteHeaders();
    result.outputPath = s_.outputWriter.Path();
    w.filter = ReadCardIdFilter(s_.paths.In("Format.ini"));
    // Lines a second kill could not tell apart: this terminal waits for the next run.
    if (unsure_.count(w.id)) CounterFailed(w, result);
}

bool RunWriter::Pump()
{
    while (head_ < parts_.size()) {
        Writing& w = parts_[head_];
        RunPart& part = *w.part;
        if (!part.Started()) return false;
        bool drop = false;
        std::vector<PartItem> items = part.Take(kBatch, drop);
        if (items.empty()) {
            if (!part.Done()) return false;
            ++head_;
            continue;
        }
        if (drop) {
            part.Handled(items.size());
            return true;
        }
        Cursor(w);
        PartResult result = part.Result();
        Handle(w, items, result);
        part.Handled(items.size(), [&result](PartResult& r) { r = result; });
        return true;
    }
    return false;
}

} // namespace px
