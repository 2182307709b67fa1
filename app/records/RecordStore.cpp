#include "RecordStore.h"

#include "Ini.h"
#include "VbText.h"

namespace px {

namespace {

constexpr long kWriteFailed = 9;

} // namespace

void RecordStore::Fail(long number, const std::string& description)
{
    errorNo_ = number;
    error_ = description;
    if (OnError) OnError(number, description);
}

std::string RecordStore::Fields(const std::string& key, const std::string& def)
{
    errorNo_ = 0;
    error_.clear();
    return ini::getString(FilePath, GetRecordName(), key, def, ini::kBuf512);
}

bool RecordStore::SetFields(const std::string& key, const std::string& value)
{
    errorNo_ = 0;
    error_.clear();
    const auto result = ini::writeString(FilePath, GetRecordName(), key, value);
    if (!result) {
        Fail(kWriteFailed, result.error);
        return false;
    }
    if (OnChange) OnChange(key);
    return true;
}

long RecordStore::LastCount()
{
    const std::string text = Trim(Fields("LastCount", ""));
    if (!IsNumeric(text)) return -1;
    return static_cast<long>(Val(text));
}

bool RecordStore::SetLastCount(long n)
{
    return SetFields("LastCount", n == -1 ? std::string() : std::to_string(n));
}

bool RecordStore::SaveProgress(long index, const std::string& raw)
{
    errorNo_ = 0;
    error_.clear();
    const std::string section = GetRecordName();
    const char* key = index == 0 ? "FirstRecord" : "LastRecord";
    // One read-modify-write that never replaces a file it could not read: the other
    // terminals' counters live in the same file.
    const auto result = ini::edit(FilePath, [&](ini::Document& doc) {
        doc.set(section, key, raw);
        doc.set(section, "LastCount", std::to_string(index + 1));
    });
    if (!result) {
        Fail(kWriteFailed, result.error);
        return false;
    }
    if (OnChange) {
        OnChange(key);
        OnChange("LastCount");
    }
    return true;
}

bool RecordStore::Delete()
{
    errorNo_ = 0;
    error_.clear();
    const auto result = ini::deleteSection(FilePath, GetRecordName());
    if (!result) {
        Fail(kWriteFailed, result.error);
        return false;
    }
    return true;
}

} // namespace px
