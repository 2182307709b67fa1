// The program-wide pieces a scheduled run works with: the directory it polls, the options and
// files it writes, the event log and the view it reports to. The run reads and writes them on the
// program's main thread only; its terminal sessions see none of them.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace px {

class DeviceDirectory;
class EventLog;
class RecordStore;
class Saver;
class SettingsStore;
class Texts;
class View;
struct Options;
struct ProgramPaths;
namespace fmt {
class FmtData;
}
namespace reply {
struct RecordLine;
}

struct RunServices {
    const ProgramPaths& paths;
    Options& options;
    const std::string& formatIni; // Format.ini, "" when it has no output types
    const DeviceDirectory& directory;
    const Texts& texts;
    EventLog& eventLog;
    View& view;
    RecordStore& recordStore;
    fmt::FmtData& formatter;
    Saver& outputWriter;
    Saver& backupWriter;
    Saver& mailWriter;
    // The scheduler's Stop, latched until the next Start.
    const std::atomic<bool>& stopRequested;
    // The link time-out of the run's exchanges.
    const int& linkTimeoutMs;
    // A line of the protocol monitor, the status line, the application-wide pointer.
    std::function<void(const std::string&)> monitor;
    std::function<void(const std::string&)> status;
    std::function<void(int)> screenPointer;
    // Records of terminal id from index first on, written to the text files and not yet counted,
    // go to the punch archive (empty: no archive).
    std::function<void(int id, long first, const std::vector<reply::RecordLine>& records)> archive;
    // The window's own session leaves its terminal: the run's sessions need its line.
    std::function<void()> releaseWindowLink;
};

} // namespace px
