#include "RecordStore.h"

#include "Frame.h"
#include "Ini.h"
#include "VbText.h"
#include "Wait.h"

#include <limits>

namespace px {

namespace {

constexpr long kWriteFailed = 9;
// Raw records are read back whole: a cut one would never match the terminal's record again.
constexpr std::size_t kWholeValue = std::numeric_limits<std::size_t>::max();
// Names the terminal whose counters were written last, so that a download left pending by an
// earlier crash is not trusted once any other download has counted lines after it.
constexpr const char* kDownloads = "Downloads";

bool Escaped(unsigned char c)
{
    return c < 0x21 || c == 0x7F || c == '%' || c == '"' || c == '\'';
}

// Whether an INI line gives the text back exactly: no line break or NUL inside, nothing that
// trimming or unquoting would remove, and not our own escape mark in front.
bool KeptPlain(std::string_view raw)
{
    if (raw.empty()) return true;
    if (raw.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos) return false;
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (raw.front() == '%' || blank(raw.front()) || blank(raw.back())) return false;
    return !(raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') &&
             raw.back() == raw.front());
}

const char* MarkKey(int file, bool end)
{
    static const char* const keys[3][2] = {
        {"OutputFile", "OutputEnd"}, {"MailFile", "MailEnd"}, {"BackupFile", "BackupEnd"}};
    return keys[file][end ? 1 : 0];
}

const char* const kLeftKeys[3] = {"LeftOutput", "LeftMail", "LeftBackup"};

void ForgetLeftOver(ini::Document& doc, const std::string& section)
{
    doc.removeKey(section, "LeftIndex");
    doc.removeKey(section, "LeftRecord");
    for (const char* key : kLeftKeys)
        doc.removeKey(section, key);
}

// "start,length/length/...,path" of left-over lines (files of earlier versions hold one length).
std::string LeftLineText(const LeftLines& lines)
{
    // Appended piece by piece: GCC 12 misreads a literal joined to a temporary as an overlap.
    std::string text = std::to_string(lines.at);
    text += ',';
    for (std::size_t i = 0; i < lines.lengths.size(); ++i) {
        if (i) text += '/';
        text.append(std::to_string(lines.lengths[i]));
    }
    text += ',';
    text.append(EncodeStoredRecord(lines.path));
    return text;
}

LeftLines ParseLeftLine(const std::string& text)
{
    LeftLines lines;
    const std::size_t a = text.find(',');
    const std::size_t b = a == std::string::npos ? a : text.find(',', a + 1);
    if (b == std::string::npos) return lines;
    const double at = Val(text.substr(0, a));
    if (at < 0 || at > 9e15) return lines;
    std::vector<long long> lengths;
    const std::string all = text.substr(a + 1, b - a - 1);
    for (std::size_t from = 0;;) {
        const std::size_t slash = all.find('/', from);
        const double length = Val(all.substr(from, slash - from));
        if (length < 1 || length > 9e15) return lines;
        lengths.push_back(static_cast<long long>(length));
        if (slash == std::string::npos) break;
        from = slash + 1;
    }
    if (lengths.empty()) return lines;
    lines.at = static_cast<long long>(at);
    lines.lengths = std::move(lengths);
    lines.path = DecodeStoredRecord(text.substr(b + 1));
    return lines;
}

void SetLeftOver(ini::Document& doc, const std::string& section, const LeftOver& left)
{
    ForgetLeftOver(doc, section);
    doc.set(section, "LeftIndex", std::to_string(left.index));
    if (left.record) doc.set(section, "LeftRecord", EncodeStoredRecord(*left.record));
    const LeftLines* lines[3] = {&left.output, &left.mail, &left.backup};
    for (int i = 0; i < 3; ++i)
        if (lines[i]->Count() > 0) doc.set(section, kLeftKeys[i], LeftLineText(*lines[i]));
}

void SetMarks(ini::Document& doc, const std::string& section, const FileMarks& marks)
{
    const FileMark* all[3] = {&marks.output, &marks.mail, &marks.backup};
    for (int i = 0; i < 3; ++i) {
        doc.set(section, MarkKey(i, false), EncodeStoredRecord(all[i]->path));
        doc.set(section, MarkKey(i, true), std::to_string(all[i]->end));
    }
}

} // namespace

long long LeftLines::Offset(std::size_t i) const
{
    long long at_ = at;
    for (std::size_t k = 0; k < i && k < lengths.size(); ++k)
        at_ += lengths[k];
    return at_;
}

std::optional<LeftOver> LeftOver::After(std::size_t n) const
{
    LeftOver rest;
    rest.index = index + static_cast<long>(n);
    bool any = false;
    const auto cut = [&](const LeftLines& from, LeftLines& to) {
        if (from.Count() <= n) return;
        to.path = from.path;
        to.at = from.Offset(n);
        to.lengths.assign(from.lengths.begin() + static_cast<std::ptrdiff_t>(n),
                          from.lengths.end());
        any = true;
    };
    cut(output, rest.output);
    cut(mail, rest.mail);
    cut(backup, rest.backup);
    if (n == 0) rest.record = record;
    return any ? std::optional<LeftOver>(std::move(rest)) : std::nullopt;
}

std::string EncodeStoredRecord(std::string_view raw)
{
    if (KeptPlain(raw)) return std::string(raw);
    std::string out = "%";
    for (char c : raw) {
        const auto byte = static_cast<unsigned char>(c);
        if (Escaped(byte)) {
            out += '%';
            out += frame::HexByte(byte);
        } else {
            out += c;
        }
    }
    return out;
}

std::string DecodeStoredRecord(std::string_view stored)
{
    if (stored.empty() || stored.front() != '%') return std::string(stored);
    std::string out;
    for (std::size_t i = 1; i < stored.size(); ++i) {
        const int value = stored[i] == '%' && i + 2 < stored.size()
                              ? frame::HexPair(stored[i + 1], stored[i + 2])
                              : -1;
        if (value >= 0) {
            out += static_cast<char>(value);
            i += 2;
        } else {
            out += stored[i]; // never written by EncodeStoredRecord; kept as it stands
        }
    }
    return out;
}

void RecordStore::ClearError()
{
    errorNo_ = 0;
    error_.clear();
}

void RecordStore::Fail(long number, const std::string& description)
{
    errorNo_ = number;
    error_ = description;
    if (OnError) OnError(number, description);
}

std::string RecordStore::Fields(const std::string& key, const std::string& def)
{
    ClearError();
    return ini::getString(FilePath, GetRecordName(), key, def, ini::kBuf512);
}

bool RecordStore::SetFields(const std::string& key, const std::string& value)
{
    ClearError();
    const auto result = ini::writeString(FilePath, GetRecordName(), key, value);
    if (!result) {
        Fail(kWriteFailed, FilePath + ": " + result.error);
        return false;
    }
    if (OnChange) OnChange(key);
    return true;
}

bool RecordStore::Edit(const std::function<void(ini::Document&)>& change)
{
    ClearError();
    // One read-modify-write that never replaces a file it could not read: the other
    // terminals' counters live in the same file.
    // The counters are on disk when this returns; waiting for that must not hold the window.
    ini::WriteResult result;
    runPumped([&] { result = ini::edit(FilePath, change); });
    if (!result) {
        Fail(kWriteFailed, FilePath + ": " + result.error);
        return false;
    }
    return true;
}

long RecordStore::LastCount()
{
    const std::string text = Trim(Fields("LastCount", ""));
    if (!IsNumeric(text)) return -1;
    const double value = Val(text);
    // A count no terminal can hold is as unusable as no count (and would not convert).
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return -1;
    return static_cast<long>(value);
}

bool RecordStore::SetLastCount(long n)
{
    return SetFields("LastCount", n == -1 ? std::string() : std::to_string(n));
}

std::string RecordStore::StoredRecord(const std::string& key)
{
    ClearError();
    return DecodeStoredRecord(ini::getString(FilePath, GetRecordName(), key, "", kWholeValue));
}

StoredCounters RecordStore::Counters()
{
    StoredCounters c;
    c.lastCount = LastCount();
    c.firstRecord = FirstRecord();
    c.lastRecord = LastRecord();
    return c;
}

std::string RecordStore::FirstRecord()
{
    return StoredRecord("FirstRecord");
}

bool RecordStore::SetFirstRecord(const std::string& record)
{
    return SetFields("FirstRecord", EncodeStoredRecord(record));
}

std::string RecordStore::LastRecord()
{
    return StoredRecord("LastRecord");
}

bool RecordStore::SetLastRecord(const std::string& record)
{
    return SetFields("LastRecord", EncodeStoredRecord(record));
}

bool RecordStore::SaveBatch(long first, const std::vector<std::string>& raws,
                            const FileMarks& marks, const LeftOver* stillLeft)
{
    if (raws.empty()) return true;
    const std::string section = GetRecordName();
    const long last = first + static_cast<long>(raws.size()) - 1;
    if (!Edit([&](ini::Document& doc) {
            if (first == 0) doc.set(section, "FirstRecord", EncodeStoredRecord(raws.front()));
            if (last > 0) doc.set(section, "LastRecord", EncodeStoredRecord(raws.back()));
            doc.set(section, "LastCount", std::to_string(last + 1));
            SetMarks(doc, section, marks);
            if (stillLeft)
                SetLeftOver(doc, section, *stillLeft);
            else
                ForgetLeftOver(doc, section);
            doc.set(kDownloads, "Last", section);
        }))
        return false;
    if (OnChange) {
        if (first == 0) OnChange("FirstRecord");
        if (last > 0) OnChange("LastRecord");
        OnChange("LastCount");
    }
    return true;
}

bool RecordStore::SaveProgress(long index, const std::string& raw, const FileMarks* marks)
{
    const std::string section = GetRecordName();
    const char* key = index == 0 ? "FirstRecord" : "LastRecord";
    if (!Edit([&](ini::Document& doc) {
            doc.set(section, key, EncodeStoredRecord(raw));
            doc.set(section, "LastCount", std::to_string(index + 1));
            if (marks) SetMarks(doc, section, *marks);
            ForgetLeftOver(doc, section);
            doc.set(kDownloads, "Last", section);
        }))
        return false;
    if (OnChange) {
        OnChange(key);
        OnChange("LastCount");
    }
    return true;
}

bool RecordStore::BeginDownload(long first, const std::string& raw, const FileMarks& marks,
                                bool takesLeftOver)
{
    const std::string section = GetRecordName();
    return Edit([&](ini::Document& doc) {
        doc.set(section, "Pending", std::to_string(first));
        doc.set(section, "PendingRecord", EncodeStoredRecord(raw));
        SetMarks(doc, section, marks);
        if (!takesLeftOver) ForgetLeftOver(doc, section);
        doc.set(kDownloads, "Last", section);
    });
}

bool RecordStore::KeepLeftOver(const LeftOver& left)
{
    const std::string section = GetRecordName();
    return Edit([&](ini::Document& doc) { SetLeftOver(doc, section, left); });
}

std::optional<LeftOver> RecordStore::LeftOverLines()
{
    ClearError();
    const ini::Document doc = ini::Document::load(FilePath);
    const std::string section = GetRecordName();
    const auto index = doc.find(section, "LeftIndex");
    if (!index || !IsNumeric(*index) || Val(*index) < 0 || Val(*index) > 2147483647.0)
        return std::nullopt;
    LeftOver left;
    left.index = static_cast<long>(Val(*index));
    if (const auto record = doc.find(section, "LeftRecord", kWholeValue))
        left.record = DecodeStoredRecord(*record);
    LeftLines* lines[3] = {&left.output, &left.mail, &left.backup};
    for (int i = 0; i < 3; ++i)
        *lines[i] = ParseLeftLine(doc.get(section, kLeftKeys[i], "", kWholeValue));
    return left;
}

bool RecordStore::EndDownload()
{
    const std::string section = GetRecordName();
    return Edit([&](ini::Document& doc) {
        doc.removeKey(section, "Pending");
        doc.removeKey(section, "PendingRecord");
        for (int i = 0; i < 3; ++i) {
            doc.removeKey(section, MarkKey(i, false));
            doc.removeKey(section, MarkKey(i, true));
        }
    });
}

std::optional<PendingDownload> RecordStore::Pending()
{
    ClearError();
    const ini::Document doc = ini::Document::load(FilePath);
    const std::string section = GetRecordName();
    const auto first = doc.find(section, "Pending");
    if (!first || !IsNumeric(*first) || Val(*first) < 0) return std::nullopt;
    PendingDownload p;
    p.first = static_cast<long>(std::min(Val(*first), 2147483647.0));
    p.firstRecord = DecodeStoredRecord(doc.get(section, "PendingRecord", "", kWholeValue));
    FileMark* all[3] = {&p.marks.output, &p.marks.mail, &p.marks.backup};
    for (int i = 0; i < 3; ++i) {
        all[i]->path = DecodeStoredRecord(doc.get(section, MarkKey(i, false), "", kWholeValue));
        const std::string end = Trim(doc.get(section, MarkKey(i, true), ""));
        const double value = IsNumeric(end) ? Val(end) : -1;
        all[i]->end = value >= 0 && value < 9e15 ? static_cast<long long>(value) : -1;
    }
    p.lastWriter = doc.get(kDownloads, "Last", "") == section;
    return p;
}

bool RecordStore::Delete()
{
    ClearError();
    const auto result = ini::deleteSection(FilePath, GetRecordName());
    if (!result) {
        Fail(kWriteFailed, FilePath + ": " + result.error);
        return false;
    }
    return true;
}

} // namespace px
