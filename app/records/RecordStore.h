// The per-terminal record counters (clsPXDBase): three keys per terminal in an INI file, so that
// each record is fetched once. "LastCount" empty or not a number reads as -1. A download in
// progress also marks where its files stood, so that a line written just before the program was
// killed can be recognised at the next start instead of being written twice.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace px {

namespace ini {
class Document;
}

// A record's raw text as the counter file stores it: unchanged when an INI line keeps it exactly,
// otherwise "%" and the text with every byte that a line would lose or change written as %XX.
// Raw records always begin with "A", so files of earlier versions read unchanged.
std::string EncodeStoredRecord(std::string_view raw);
std::string DecodeStoredRecord(std::string_view stored);

// Where one output file ended after the last counted line ("" and -1: not written).
struct FileMark {
    std::string path;
    long long end = -1;
};

// The three files a download writes, in the order it writes them.
struct FileMarks {
    FileMark output, mail, backup;
};

// A download that had not ended when the counters were last written.
struct PendingDownload {
    long first = 0;          // its first record
    std::string firstRecord; // that record's raw text
    FileMarks marks;         // the files after its last counted record
    bool lastWriter = false; // no other terminal's counters were written after it
};

// One whole line that a killed download wrote to a file without its counter.
struct LeftLine {
    std::string path;
    long long at = -1; // where it starts; -1: none
    long long length = 0;
};

// The lines a killed download left: those of record index, whose raw text is known when it was
// the download's first record.
struct LeftOver {
    long index = 0;
    std::optional<std::string> record;
    LeftLine output, mail, backup;
};

class RecordStore {
public:
    std::string DefMachineName = "Machine";
    std::string FilePath;
    int MachineID = 0;

    std::function<void(long number, const std::string& description)> OnError;
    std::function<void(const std::string& key)> OnChange;

    std::string GetRecordName() const { return DefMachineName + "-" + std::to_string(MachineID); }

    std::string Fields(const std::string& key, const std::string& def);
    // False when the store refused the write (error 9); the caller decides what that means.
    bool SetFields(const std::string& key, const std::string& value);
    long LastCount();
    bool SetLastCount(long n);
    std::string FirstRecord();
    bool SetFirstRecord(const std::string& record);
    std::string LastRecord();
    bool SetLastRecord(const std::string& record);
    bool Delete();
    // Record index was saved: its raw text becomes FirstRecord (index 0) or LastRecord, and
    // LastCount becomes index + 1, in one write, so the two never disagree after a crash. With
    // marks, the files' ends after the record's lines are kept with them. Noted left-over lines
    // are forgotten: only a download's first record can take them over.
    bool SaveProgress(long index, const std::string& raw, const FileMarks* marks = nullptr);

    // A download is about to write record first (raw text raw) to files that now end at marks.
    // Left-over lines noted before are forgotten unless the download takes them over: then they
    // stay noted until its first counter is written, in case it is killed before that too.
    bool BeginDownload(long first, const std::string& raw, const FileMarks& marks,
                       bool takesLeftOver = false);
    // The download ended and its counters are written: nothing is pending any more.
    bool EndDownload();
    // The current terminal's download that never ended, if any.
    std::optional<PendingDownload> Pending();
    // Notes lines that such a download left, so that later runs still know them.
    bool KeepLeftOver(const LeftOver& left);
    std::optional<LeftOver> LeftOverLines();

    long ErrorNo() const { return errorNo_; }
    const std::string& Error() const { return error_; }

private:
    void ClearError();
    void Fail(long number, const std::string& description);
    bool Edit(const std::function<void(ini::Document&)>& change);
    std::string StoredRecord(const std::string& key);
    long errorNo_ = 0;
    std::string error_;
};

} // namespace px
