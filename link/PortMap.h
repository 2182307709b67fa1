// The map from Windows-style port names ("COM3") to Linux device paths, kept in
// ${XDG_CONFIG_HOME:-$HOME/.config}/serlo/ports.ini, section [SERIALCOMM], one "device=COMn" line
// per port. The file is authoritative: numbers never move once given, so a terminal stays on its
// COM number when adapters come and go. Newly seen adapters are appended.
#pragma once

#include <string>
#include <vector>

namespace serlo {

class PortMap {
public:
    struct Entry {
        std::string device; // "/dev/ttyS0", "/dev/serial/by-id/usb-..."
        std::string name;   // "COM1"
    };

    // devRoot and sysRoot are "/dev" and "/sys" except in tests.
    explicit PortMap(std::string mapPath = DefaultPath(), std::string devRoot = "/dev",
                     std::string sysRoot = "/sys");

    static std::string DefaultPath();

    // Creates the map from the ports present when it does not exist, appends ports seen for the
    // first time, and returns the entries in file order.
    std::vector<Entry> Refresh();
    // Entries as the file holds them, without looking for new ports.
    std::vector<Entry> Read() const;

    // Device path of a port name (case-insensitive), looking for new ports once when the name is
    // unknown; empty when the name is not mapped.
    std::string Resolve(const std::string& portName);

private:
    struct Detected {
        std::vector<std::pair<std::string, int>> uarts; // device, COM number
        std::vector<std::string> byId;                  // devices in name order
    };
    Detected Detect() const;

    std::string mapPath_;
    std::string devRoot_;
    std::string sysRoot_;
};

} // namespace serlo
