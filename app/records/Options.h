// The program's settings as the window's controls hold them, with the rules for reading them at
// start-up and the order in which closing writes them back.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace px {

class SettingsStore;
struct ProgramPaths;

// Terminals a scheduled run may poll at the same time, at most (each takes a thread).
inline constexpr int kMaxParallel = 32;

struct Options {
    // SaveOptions
    std::string mailTo;
    bool mailToChecked = false;
    std::string mailSubject;
    std::string fixName;
    std::string dateName = "YYYYMMDD";
    std::string subName = "TXT";
    bool optFixName = false;
    std::string format = "(Default)";
    // RECORDS
    std::string idLenText = "14";
    int nIDLen = 14;
    // Time schedular
    bool sat = false;
    bool timeModeInterval = true;
    int intervalSeconds = 60;
    std::string tsavePath;
    std::string tsfileName;
    // Terminals polled at the same time; 0: one per distinct link, at most eight.
    int parallel = 0;
    // SERLO
    int serloPort = 1;
    int serloBaud = 19200;
    bool viewMonitor = false;
    // others
    std::string language;
    std::string savePath;
    bool loginSave = false;
};

// Reads every setting with its default and rule. monthFileName is today's "YYYYMM.TXT".
Options LoadOptions(const SettingsStore& store, const ProgramPaths& paths,
                    const std::string& monthFileName);

// "hh:nn:ss" (also "h:nn" and "h:nn:ss") as seconds of the day, or -1 when it is not a time.
int ParseTimeOfDay(const std::string& text);
// The scheduler's interval as it is used: one of no hours and no minutes would run at every tick,
// and is one minute longer (the interval picker's own correction), whoever set it.
int IntervalWithMinimum(int seconds);
std::string FormatTimeOfDay(int seconds);

// What closing writes, besides the options: the link's port and speed, the language box's text
// and the address shown in the address field.
struct CloseValues {
    int commPort = 1;
    int baudRate = 19200;
    std::string language;
    std::string iAddr;
    // The terminal list file was written: its copy in the settings store may go. When it was not,
    // the copy stays and the next start restores the list from it.
    bool directorySaved = true;
};

// Writes the settings in the closing order; saveTimeTable runs between the scheduler keys and the
// save options. Every failed step is reported through fail (what, error) and the next one is
// still tried. Ends by deleting DeviceList and writing DeviceList/OpenType = "Close".
void SaveOnClose(SettingsStore& store, const Options& options, const CloseValues& values,
                 const std::function<bool(std::string*)>& saveTimeTable,
                 const std::function<void(const std::string&, const std::string&)>& fail);

} // namespace px
