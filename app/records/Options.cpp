#include "Options.h"

#include "OutputNames.h"
#include "ProgramPaths.h"
#include "SettingsStore.h"
#include "VbText.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace px {

namespace {

constexpr const char* kSave = "SaveOptions";
constexpr const char* kSchedule = "Time schedular";

} // namespace

int ParseTimeOfDay(const std::string& text)
{
    int h = -1, m = -1, s = 0;
    char tail = 0;
    const std::string t = Trim(text);
    const int n = std::sscanf(t.c_str(), "%d:%d:%d%c", &h, &m, &s, &tail);
    if (n < 2 || n > 3) return -1;
    if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59) return -1;
    return h * 3600 + m * 60 + s;
}

int IntervalWithMinimum(int seconds)
{
    return seconds < 60 ? 60 + std::max(seconds, 0) : seconds;
}

std::string FormatTimeOfDay(int seconds)
{
    char buffer[16];
    (void)std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", seconds / 3600 % 100,
                        seconds / 60 % 60, seconds % 60); // bounded fields: never cut
    return buffer;
}

Options LoadOptions(const SettingsStore& store, const ProgramPaths& paths,
                    const std::string& monthFileName)
{
    Options o;
    o.mailTo = store.Get(kSave, "txtMailTo", "");
    o.mailToChecked = store.Get(kSave, "OptMailTo", "FALSE") == "TRUE" && !Trim(o.mailTo).empty();
    o.mailSubject = store.Get(kSave, "MailSubject", "Attendance - {Date,\"YYYYMMDD hh:nn\"}");
    if (Trim(o.mailSubject).empty()) o.mailSubject = "Attendance - {Date}";
    o.fixName = store.Get(kSave, "FixName", paths.title + "Rec.txt");
    if (Trim(o.fixName).empty()) o.fixName = paths.title + "Rec.txt";
    o.dateName = store.Get(kSave, "DateName", "YYYYMMDD");
    o.subName = store.Get(kSave, "SubName", "TXT");
    o.optFixName = store.Get(kSave, "OptFixName", "FALSE") == "TRUE";
    o.format = store.Get(kSave, "Format", "(Default)");

    o.idLenText = store.Get("RECORDS", "IDLEN", "14");
    o.nIDLen = IdLength(o.idLenText);
    // A length outside what the box accepts is shown and kept as its bound.
    if (Val(o.idLenText) > 99.0 || Val(o.idLenText) < 0.0) o.idLenText = std::to_string(o.nIDLen);

    o.sat = Val(store.Get(kSchedule, "SAT", "0")) == 1.0;
    o.timeModeInterval = store.Get(kSchedule, "TimeMode", "Interval") == "Interval";
    o.intervalSeconds = ParseTimeOfDay(store.Get(kSchedule, "IntervalTime", "00:01:00"));
    o.intervalSeconds = o.intervalSeconds < 0 ? 60 : IntervalWithMinimum(o.intervalSeconds);
    o.tsavePath = store.Get(kSchedule, "TSavePath", paths.RecordsDir());
    std::error_code ec;
    if (!std::filesystem::is_directory(o.tsavePath, ec)) o.tsavePath = paths.RecordsDir();
    o.tsfileName = store.Get(kSchedule, "tsfileName", monthFileName);
    // Kept only in the file: a person sets it there for a site whose links need it.
    const double parallel = Val(store.Get(kSchedule, "Parallel", "0"));
    o.parallel = parallel >= 1 ? static_cast<int>(std::min(parallel, double{kMaxParallel})) : 0;

    o.serloPort = static_cast<int>(Val(store.Get("SERLO", "PORT", "1")));
    o.serloBaud = static_cast<int>(Val(store.Get("SERLO", "BAUD", "19200")));
    o.loginSave = ToBool(store.Get("LOGIN", "SAVE", "false"));
    o.viewMonitor = o.loginSave && Val(store.Get("SERLO", "VIEW", "0")) != 0.0;
    o.language = store.Get("Settings", "Language", "");
    o.savePath = store.Get("SAVE", "PATH", paths.RecordsDir());
    return o;
}

void SaveOnClose(SettingsStore& store, const Options& o, const CloseValues& v,
                 const std::function<bool(std::string*)>& saveTimeTable,
                 const std::function<void(const std::string&, const std::string&)>& fail)
{
    auto put = [&](const char* section, const char* key, const std::string& value) {
        if (!store.Save(section, key, value))
            fail(std::string(section) + "/" + key, store.LastError());
    };
    put("SERLO", "PORT", std::to_string(v.commPort));
    put("SERLO", "BAUD", std::to_string(v.baudRate));
    put("SERLO", "VIEW", o.viewMonitor ? "1" : "0");
    put("Settings", "Language", v.language);
    put("SAVE", "PATH", o.savePath);
    put(kSchedule, "TSavePath", o.tsavePath);
    put(kSchedule, "tsfileName", o.tsfileName);
    put(kSchedule, "SAT", o.sat ? "1" : "0");
    put("SERLO", "iAddr", v.iAddr);
    put("RECORDS", "IDLEN", o.idLenText);
    put(kSchedule, "TimeMode", o.timeModeInterval ? "Interval" : "Table");
    put(kSchedule, "IntervalTime", FormatTimeOfDay(o.intervalSeconds));
    if (saveTimeTable) {
        std::string error;
        if (!saveTimeTable(&error)) fail("TsTable", error);
    }
    put(kSave, "txtMailTo", o.mailTo);
    put(kSave, "OptMailTo", o.mailToChecked ? "TRUE" : "FALSE");
    put(kSave, "MailSubject", o.mailSubject);
    put(kSave, "FixName", o.fixName);
    put(kSave, "DateName", o.dateName);
    put(kSave, "SubName", o.subName);
    put(kSave, "OptFixName", o.optFixName ? "TRUE" : "FALSE");
    put(kSave, "Format", o.format);
    if (!v.directorySaved) {
        fail("DeviceList", "kept in the settings store: the terminal list file was not written");
        return;
    }
    if (!store.DeleteSection("DeviceList")) fail("DeviceList", store.LastError());
    put("DeviceList", "OpenType", "Close");
}

} // namespace px
