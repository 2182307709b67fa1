// The per-terminal record counters (clsPXDBase): three keys per terminal in an INI file, so that
// each record is fetched once. "LastCount" empty or not a number reads as -1.
#pragma once

#include <functional>
#include <string>

namespace px {

class RecordStore {
public:
    std::string DefMachineName = "Machine";
    std::string FilePath;
    int MachineID = 0;

    std::function<void(long number, const std::string& description)> OnError;
    std::function<void(const std::string& key)> OnChange;

    std::string GetRecordName() const { return DefMachineName + "-" + std::to_string(MachineID); }

    std::string Fields(const std::string& key, const std::string& def);
    // False when the store refused the write (error 9); the download is never interrupted.
    bool SetFields(const std::string& key, const std::string& value);
    long LastCount();
    bool SetLastCount(long n);
    std::string FirstRecord() { return Fields("FirstRecord", ""); }
    bool SetFirstRecord(const std::string& record) { return SetFields("FirstRecord", record); }
    std::string LastRecord() { return Fields("LastRecord", ""); }
    bool SetLastRecord(const std::string& record) { return SetFields("LastRecord", record); }
    bool Delete();
    // Record index was saved: its raw text becomes FirstRecord (index 0) or LastRecord, and
    // LastCount becomes index + 1, in one write, so the two never disagree after a crash.
    bool SaveProgress(long index, const std::string& raw);

    long ErrorNo() const { return errorNo_; }
    const std::string& Error() const { return error_; }

private:
    void Fail(long number, const std::string& description);
    long errorNo_ = 0;
    std::string error_;
};

} // namespace px
