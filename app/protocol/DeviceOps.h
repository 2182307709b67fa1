// Every operation the program performs on a session's terminal: clock, record count, machine ID,
// identification by polling, registers and database commands with the message each failure
// shows, and leaving the connection. Results reach the person only through the session's
// reporter.
#pragma once

#include "Replies.h"

#include <cstdint>
#include <string>

namespace px {

class TerminalSession;

class DeviceOps {
public:
    explicit DeviceOps(TerminalSession& session) : session_(session) {}

    // The terminal found by the last poll.
    std::string sModel;
    std::string sVersion;
    std::string sExt;
    long lMaxCount = 0;
    double dEraseRatio = 0.8;
    int nPolledID = -1;

    bool GetPXTime(Stamp* time);
    bool SetPXTime(const Stamp& time);
    // Number of records, or -1.
    long GetPXRecordCount();
    // The terminal takes another machine ID: up to three attempts, re-polling the old ID between
    // them. The directory's part of a change of ID is the caller's.
    bool SetTerminalID(int newId, int oldId);
    // One poll of a machine ID with model and version; the poll reply, or "".
    std::string PollingPX74X(int id);
    // The erase ratio from the info file (written with its default when missing).
    bool ReadPX74XInfo(const std::string& infoFile);
    static double ReadEraseRatio(const std::string& infoFile);
    // Leaves the terminal: the link closes and the window locks what needs a terminal; not while
    // the scheduler runs, whose sessions leave their terminals themselves.
    void OffLine();
    // One of the numbered error texts about this terminal.
    void Error(int n);

    // On a TCP link: the device server's serial side back to 19200 N,8,1 without flow control.
    void PrepareLinkForPoll();

    // Register and database commands of the device buttons; each clears bLinkTimeout first and
    // shows its failure message (code 1 after a time-out) itself.
    bool ResetTerminal();
    int ReadDisplayMode(); // 0 or 1; -1 after a time-out
    bool SetDisplayMode(int mode);
    int ReadBellDuration(); // seconds, or -1
    bool SetBellDuration(int seconds);
    static constexpr int kRecordModeRegister = 66;
    static constexpr int kRelayModeRegister = 67;
    int ReadRecordMode(); // 0..3, or -1 when it cannot be read
    // Record or relay mode: the mode as two decimal digits into its register; a time-out shows
    // code 1 and goes off line.
    void SetModeRegister(int reg, int mode);
    bool InitializeDatabase();
    bool PrepareRecovery();

    // Capacity from version and extension (unchanged for versions between 1.6 and 1.7).
    static long CapacityFor(const std::string& version, const std::string& ext, long current);
    // The erase ratio text of the info file read as a fraction between 0 and 0.8.
    static double EraseRatioFrom(const std::string& value);

private:
    bool Failed(int specificCode); // shows code 1 or the specific one, then goes off line
    TerminalSession& session_;
};

} // namespace px
