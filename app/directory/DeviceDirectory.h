// The terminal directory: 256 entries indexed by machine ID (0 is the default entry), the list
// lines the window shows, the directory file beside the program, and the live mirror of every
// edit in the settings store so that a crash loses nothing. The edit fields of the window are
// modelled here too, with the rules of their change and leave handlers, so the window only binds.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace px {

class SettingsStore;

struct DeviceEntry {
    std::int16_t ID = 0; // the slot's machine ID; 0 marks a free slot (and the default entry)
    std::string Name;
    std::string Extra;        // stored and restored unchanged
    std::int16_t ComPort = 0; // 0 = reached over TCP through a device server
    std::int16_t Baud = 0;
    std::string IPAddr = "0.0.0.0";
    std::int32_t IPPort = 1001;
};

class DeviceDirectory {
public:
    static constexpr int kSlots = 256;
    static constexpr int kDeviceServerItem = 0; // "HB400K7", index n of the port list is "COM n"

    struct Line {
        std::string text;
        int itemData; // machine ID
    };
    // What the edit fields show.
    struct Fields {
        std::string name;
        std::string ipAddress = "0.0.0.0";
        int portItem = 0; // index in the port list
        std::string tcpPort;
    };

    explicit DeviceDirectory(SettingsStore& settings);

    // Notes about skipped or unreadable data (the event log, once it exists).
    std::function<void(const std::string&)> note;
    // A run-time error the list handlers report on the monitor.
    std::function<void(const std::string&)> monitor;
    // Leaving the connection, when the connected terminal's entry is edited or deleted.
    std::function<void()> offLine;
    // The list or the edit fields changed (the window shows them again).
    std::function<void()> changed;
    // The machine ID of the connected terminal (program-wide); the directory reads and clears it.
    std::function<int&()> currentId;

    std::array<DeviceEntry, kSlots> table;
    const std::vector<Line>& Lines() const { return lines_; }
    int ListIndex() const { return listIndex_; }
    int SelectedId() const { return iSelectedID_; }
    const Fields& CurrentFields() const { return fields_; }
    bool Filling() const { return bFilling_; }

    static std::string LineText(int id, const std::string& name);
    static std::string EntryText(const DeviceEntry& e); // the seven fields joined by ","
    static std::string PortItemText(int index);         // "HB400K7" or "COM n"

    void ResetDefaultEntry(int serloPort);
    void LoadDeviceInfo(const std::string& fileName);
    // The same without a write to the settings store (a second process that only looks, such as
    // an export beside the running program). True when the list came from the file, false when
    // from the settings' mirror of an unfinished run.
    bool ReadDeviceInfo(const std::string& fileName);
    bool SaveDeviceInfo(const std::string& fileName, std::string* error) const;
    int GetNewID();
    void AutoSaveDevice(int id);

    // The Add and Delete buttons.
    void Add();
    void Delete();
    // A click on the list (also what selecting a line by program does).
    void Select(int listIndex);
    // Selects the line whose item data is id; false when there is none.
    bool SelectId(int id);
    int IndexOfId(int id) const;
    // Whether more than one terminal of the directory is reached through this link: a COM port
    // (comPort > 0), or a device server's address and TCP port.
    bool SharedLink(int comPort, const std::string& address, int ipPort) const;
    // Rewrites the list line of an entry from its fields.
    void RefreshLine(int id);

    // Edit fields. Each returns what the field then shows.
    // A comma would split the directory line: refused (false), the name stays as it was.
    bool EditName(const std::string& text);
    static bool AcceptNameKey(int key) { return key != ','; }
    void ChoosePortItem(int index);
    void EditIpAddress(const std::string& text);
    void LeaveIpAddress();
    // The TCP port field: key filter on the text the key would produce, change, leave.
    static bool AcceptPortKey(int key, const std::string& resultingText);
    std::string EditTcpPort(const std::string& text);
    std::string LeaveTcpPort();

    // One line of the directory file; false and the reason (possibly empty) when it is refused.
    bool ParseEntry(const std::string& text, DeviceEntry* entry, std::string* why) const;

private:
    void AddLine(int id);
    void Note(const std::string& text);
    void Changed()
    {
        if (changed) changed();
    }

    SettingsStore& settings_;
    std::vector<Line> lines_;
    int listIndex_ = -1;
    int iSelectedID_ = 0;
    bool bFilling_ = false;
    Fields fields_;
};

} // namespace px
