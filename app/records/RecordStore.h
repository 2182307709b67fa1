// The per-terminal record counters (clsPXDBase): three keys per terminal in an INI file, so that
// each record is fetched once. "LastCount" empty or not a number reads as -1. A download in
// progress also marks where its files stood, so that a line written just before the program was
// killed can be recognised at the next start instead of being written twice.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// One terminal's counters as a download starts from them.
struct StoredCounters {
    long lastCount = -1;     // records saved; -1 when unknown
    std::string firstRecord; // raw text of record 0
    std::string lastRecord;  // raw text of record lastCount - 1
};

// A download that had not ended when the counters were last written.
struct PendingDownload {
    long first = 0;          // its first record
    std::string firstRecord; // that record's raw text
    FileMarks marks;         // the files after its last counted record
    bool lastWriter = false; // no other terminal's counters were written after it
};

// Whole lines that a killed download wrote to one file without their counters, one after
// another from where the file ended at the last counted record.
struct LeftLines {
    std::string path;
    long long at = -1;              // where the first starts; -1: none
    std::vector<long long> lengths; // each line's length, its CR LF included
    std::size_t Count() const { return at < 0 ? 0 : lengths.size(); }
    // Where line i starts.
    long long Offset(std::size_t i) const;
};

// The lines a killed download left: those of records index, index + 1, ...; the first record's
// raw text is known when it was the download's first record.
struct LeftOver {
    long index = 0;
    std::optional<std::string> record;
    LeftLines output, mail, backup;
    // The same lines without the first n records' (claimed by a download); nullopt when none
    // are left.
    std::optional<LeftOver> After(std::size_t n) const;
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
    // LastCount, FirstRecord and LastRecord of the current terminal in one read.
    StoredCounters Counters();
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
    // Records first, first + 1, ... (raw texts raws) were saved: as SaveProgress of each in one
    // write. Left-over lines that the download has not taken over yet stay noted as stillLeft.
    bool SaveBatch(long first, const std::vector<std::string>& raws, const FileMarks& marks,
                   const LeftOver* stillLeft);

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
