// Why a link did not open: a closed set of causes with the system's detail beside it, and the
// text a field engineer reads in the monitor and the event log (with a hint where one helps).
#pragma once

#include <string>

namespace serlo {

struct OpenFailure {
    enum class Cause {
        None,
        NotMapped,  // "COMn" is not in the port map
        NoDevice,   // the device path does not exist (adapter unplugged)
        Permission, // the user may not open the device
        InUse,      // another program holds the port
        NotSerial,  // the path is not a terminal device
        Connect,    // the TCP connection to the device server failed
        Other,
    };
    Cause cause = Cause::None;
    int error = 0;        // errno where the system gave one
    std::string port;     // what was asked for: "COM5", "/dev/ttyUSB0", "10.0.0.5:1001"
    std::string path;     // the device the name resolved to
    std::string group;    // Permission: the group that owns the device
    bool inGroup = false; // Permission: this process already has that group
    bool listed = false;  // Permission: the user is listed in the group, this session predates it
    std::string holder;   // InUse: "pid 1234 (name)" when it can be found
    std::string detail;   // NotMapped: the map's path; Connect: the socket's description
};

// Classifies an errno from opening path (the device for port) and gathers what the text needs:
// the device's group and the user's membership, or the process that holds the port.
OpenFailure ClassifyOpenError(const std::string& port, const std::string& path, int error);

// "COM5 (/dev/ttyUSB0): permission denied; ..." — the text after "$OPEN ERROR ".
std::string Describe(const OpenFailure& failure);

// A process that has path open, as "pid N (name)"; empty when none is visible (other users'
// processes are visible to root only).
std::string FindHolder(const std::string& path);

} // namespace serlo
