#include "DeviceDirectory.h"

#include "FileAppend.h"
#include "SettingsStore.h"
#include "VbText.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace px {

namespace {

constexpr const char* kSection = "DeviceList";

// A numeric field: empty reads as 0, anything else must be a whole number in range.
bool NumberField(const std::string& field, long lo, long hi, long* out)
{
    const std::string t = Trim(field);
    if (t.empty()) {
        *out = 0;
        return true;
    }
    if (!IsNumeric(t)) return false;
    const double v = Val(t);
    if (v < static_cast<double>(lo) || v > static_cast<double>(hi)) return false;
    *out = static_cast<long>(v);
    return true;
}

} // namespace

DeviceDirectory::DeviceDirectory(SettingsStore& settings) : settings_(settings)
{
    for (int i = 0; i < kSlots; ++i)
        table[static_cast<std::size_t>(i)].ID = 0;
}

std::string DeviceDirectory::LineText(int id, const std::string& name)
{
    return Digits(id, 3) + "-" + name;
}

std::string DeviceDirectory::EntryText(const DeviceEntry& e)
{
    return std::to_string(e.ID) + "," + e.Name + "," + e.Extra + "," + std::to_string(e.ComPort) +
           "," + std::to_string(e.Baud) + "," + e.IPAddr + "," + std::to_string(e.IPPort);
}

std::string DeviceDirectory::PortItemText(int index)
{
    return index == kDeviceServerItem ? "HB400K7" : "COM " + std::to_string(index);
}

void DeviceDirectory::Note(const std::string& text)
{
    if (note) note(text);
}

void DeviceDirectory::ResetDefaultEntry(int serloPort)
{
    DeviceEntry& d = table[0];
    d.Name = "Default";
    d.ID = 0;
    d.Extra.clear();
    d.ComPort = static_cast<std::int16_t>(serloPort);
    d.Baud = 19200;
    d.IPAddr = "0.0.0.0";
    d.IPPort = 1001;
}

bool DeviceDirectory::ParseEntry(const std::string& text, DeviceEntry* entry,
                                 std::string* why) const
{
    const auto f = SplitComma(text);
    if (f.size() != 7) {
        *why = std::to_string(f.size()) + " fields instead of 7";
        return false;
    }
    long id, com, baud, port;
    if (!NumberField(f[0], 0, 255, &id) || !NumberField(f[3], -32768, 32767, &com) ||
        !NumberField(f[4], -32768, 32767, &baud) ||
        !NumberField(f[6], -2147483647L - 1, 2147483647L, &port)) {
        *why = "a number field is not a number in range";
        return false;
    }
    entry->ID = static_cast<std::int16_t>(id);
    entry->Name = f[1];
    entry->Extra = f[2];
    entry->ComPort = static_cast<std::int16_t>(com);
    entry->Baud = static_cast<std::int16_t>(baud);
    entry->IPAddr = f[5];
    entry->IPPort = static_cast<std::int32_t>(port);
    return true;
}

void DeviceDirectory::AddLine(int id)
{
    lines_.push_back({LineText(id, table[static_cast<std::size_t>(id)].Name), id});
}

void DeviceDirectory::LoadDeviceInfo(const std::string& fileName)
{
    if (ReadDeviceInfo(fileName)) {
        std::vector<std::pair<std::string, std::string>> mirrored;
        for (std::size_t i = 1; i < lines_.size(); ++i)
            mirrored.emplace_back("ID" + std::to_string(lines_[i].itemData),
                                  EntryText(table[static_cast<std::size_t>(lines_[i].itemData)]));
        // One rewrite of the store for the whole list: a directory of 255 terminals would
        // otherwise rewrite it 255 times at every start.
        if (!mirrored.empty() && !settings_.SaveMany(kSection, mirrored))
            Note("Terminal list: the settings store cannot be written (" + settings_.LastError() +
                 ")");
    }
    if (!settings_.Save(kSection, "OpenType", "Open"))
        Note("Terminal list: the settings store cannot be written (" + settings_.LastError() + ")");
}

bool DeviceDirectory::ReadDeviceInfo(const std::string& fileName)
{
    lines_.clear();
    listIndex_ = -1;
    lines_.push_back({"000-Default", 0});
    if (settings_.Get(kSection, "OpenType", "Close") != "Close") {
        // The last run did not end cleanly: the mirror holds the newer copy.
        const ini::Document mirror = settings_.Snapshot();
        for (int n = 1; n < kSlots; ++n) {
            const std::string value = mirror.get(kSection, "ID" + std::to_string(n), "", 32768);
            if (value.empty()) continue;
            DeviceEntry e;
            std::string why;
            if (!ParseEntry(value, &e, &why) || e.ID != n) {
                if (why.empty() && e.ID != 0) why = "it names machine ID " + std::to_string(e.ID);
                if (!why.empty())
                    Note("Terminal list: mirror entry ID" + std::to_string(n) + " skipped (" + why +
                         ")");
                continue;
            }
            table[static_cast<std::size_t>(n)] = e;
            AddLine(n);
        }
        return false;
    }
    std::ifstream in(fileName, std::ios::binary);
    std::string line;
    for (int count = 0; count < kSlots && std::getline(in, line); ++count) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        DeviceEntry e;
        std::string why;
        if (!ParseEntry(line, &e, &why)) {
            if (Trim(line).empty()) continue;
            std::string note = "Terminal list: line " + std::to_string(count + 1);
            note.append(" of ").append(fileName).append(" skipped (").append(why).append(")");
            Note(note);
            continue;
        }
        if (e.ID < 1) break; // the end mark of the file
        if (table[static_cast<std::size_t>(e.ID)].ID != 0) {
            Note("Terminal list: line " + std::to_string(count + 1) + " repeats machine ID " +
                 std::to_string(e.ID) + " and was skipped");
            continue;
        }
        table[static_cast<std::size_t>(e.ID)] = e;
        AddLine(e.ID);
    }
    return true;
}

bool DeviceDirectory::SaveDeviceInfo(const std::string& fileName, std::string* error) const
{
    std::string text;
    for (int n = 1; n < kSlots; ++n)
        if (table[static_cast<std::size_t>(n)].ID > 0)
            text += EntryText(table[static_cast<std::size_t>(n)]) + "\r\n";
    return ReplaceFile(fileName, text, error);
}

int DeviceDirectory::GetNewID()
{
    for (int n = 1; n < kSlots; ++n) {
        DeviceEntry& e = table[static_cast<std::size_t>(n)];
        if (e.ID != 0) continue;
        e.ID = static_cast<std::int16_t>(n);
        e.Name = "Machine-" + std::to_string(n);
        e.Extra.clear();
        e.ComPort = 0;
        e.IPAddr = "0.0.0.0";
        e.IPPort = 1001;
        return n;
    }
    return 0;
}

void DeviceDirectory::AutoSaveDevice(int id)
{
    if (id < 1 || id >= kSlots) return;
    if (!settings_.Save(kSection, "ID" + std::to_string(id),
                        EntryText(table[static_cast<std::size_t>(id)])))
        Note("Terminal list: entry " + std::to_string(id) + " could not be mirrored (" +
             settings_.LastError() + ")");
}

void DeviceDirectory::Add()
{
    const int id = GetNewID();
    if (id <= 0) return;
    AddLine(id);
    AutoSaveDevice(id);
    Changed();
}

void DeviceDirectory::Delete()
{
    if (listIndex_ <= 0 || listIndex_ >= static_cast<int>(lines_.size())) return;
    const int id = lines_[static_cast<std::size_t>(listIndex_)].itemData;
    table[static_cast<std::size_t>(id)].ID = 0;
    lines_.erase(lines_.begin() + listIndex_);
    Select(static_cast<int>(lines_.size()) - 1);
    AutoSaveDevice(id);
    // Deleting the connected terminal's entry leaves the connection; other deletes do not touch it.
    if (currentId && currentId() == id) {
        currentId() = 0;
        if (offLine) offLine();
    }
}

int DeviceDirectory::IndexOfId(int id) const
{
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].itemData == id) return static_cast<int>(i);
    return -1;
}

bool DeviceDirectory::SharedLink(int comPort, const std::string& address, int ipPort) const
{
    int count = 0;
    for (int n = 1; n < kSlots; ++n) {
        const DeviceEntry& e = table[static_cast<std::size_t>(n)];
        if (e.ID == 0) continue;
        if (comPort != 0
                ? e.ComPort == comPort
                : e.ComPort == 0 && e.IPAddr == address && (e.IPPort & 0xFFFF) == (ipPort & 0xFFFF))
            ++count;
    }
    return count > 1;
}

bool DeviceDirectory::SelectId(int id)
{
    const int index = IndexOfId(id);
    if (index < 0) return false;
    Select(index);
    return true;
}

void DeviceDirectory::RefreshLine(int id)
{
    const int index = IndexOfId(id);
    if (index > 0)
        lines_[static_cast<std::size_t>(index)].text =
            LineText(id, table[static_cast<std::size_t>(id)].Name);
    Changed();
}

void DeviceDirectory::Select(int listIndex)
{
    if (listIndex < 0 || listIndex >= static_cast<int>(lines_.size())) return;
    listIndex_ = listIndex;
    iSelectedID_ = lines_[static_cast<std::size_t>(listIndex)].itemData;
    const DeviceEntry e = table[static_cast<std::size_t>(iSelectedID_)];
    bFilling_ = true;
    EditName(e.Name);
    EditIpAddress(e.ComPort != 0 ? std::string("0.0.0.0") : e.IPAddr);
    if (e.ComPort < 0 || e.ComPort > 255) {
        if (monitor) monitor("lstDevice_Click - Invalid property value(380)");
    } else if (fields_.portItem != e.ComPort) {
        ChoosePortItem(e.ComPort);
    }
    fields_.tcpPort = EditTcpPort(std::to_string(e.IPPort));
    bFilling_ = false;
    Changed();
}

bool DeviceDirectory::EditName(const std::string& text)
{
    if (text.find(',') != std::string::npos) return false;
    fields_.name = text;
    table[static_cast<std::size_t>(iSelectedID_)].Name = text;
    if (listIndex_ > 0)
        lines_[static_cast<std::size_t>(listIndex_)].text = LineText(iSelectedID_, text);
    AutoSaveDevice(iSelectedID_);
    return true;
}

void DeviceDirectory::ChoosePortItem(int index)
{
    if (index < 0 || index > 255) return;
    fields_.portItem = index;
    if (PortItemText(index).rfind("COM", 0) == 0) EditIpAddress("0.0.0.0");
    if (bFilling_) return;
    table[static_cast<std::size_t>(iSelectedID_)].ComPort =
        static_cast<std::int16_t>(index == kDeviceServerItem ? 0 : index);
    AutoSaveDevice(iSelectedID_);
    if (currentId && iSelectedID_ == currentId() && offLine) offLine();
}

void DeviceDirectory::EditIpAddress(const std::string& text)
{
    if (text == fields_.ipAddress) return; // no change, no change handling
    fields_.ipAddress = text;
    if (bFilling_) return;
    table[static_cast<std::size_t>(iSelectedID_)].IPAddr = text;
    if (text != "0.0.0.0" && fields_.portItem != kDeviceServerItem)
        ChoosePortItem(kDeviceServerItem);
    AutoSaveDevice(iSelectedID_);
    if (currentId && iSelectedID_ == currentId() && offLine) offLine();
}

void DeviceDirectory::LeaveIpAddress()
{
    if (fields_.ipAddress != "0.0.0.0" && fields_.portItem != kDeviceServerItem)
        ChoosePortItem(kDeviceServerItem);
    Changed();
}

bool DeviceDirectory::AcceptPortKey(int key, const std::string& resultingText)
{
    if (key < 31) return true;
    if (key < '0' || key > '9') return false;
    return Val(resultingText) <= 65535.0;
}

std::string DeviceDirectory::EditTcpPort(const std::string& text)
{
    std::string t = text;
    if (!t.empty() && ((t[0] == '0' && t.size() > 1) || !IsNumeric(t)))
        t = std::to_string(static_cast<long long>(Val(t)));
    fields_.tcpPort = t;
    DeviceEntry& entry = table[static_cast<std::size_t>(iSelectedID_)];
    const auto port = static_cast<std::int32_t>(std::min(Val(t), 2147483647.0));
    // Like every other edit: mirrored at once so that a crash keeps it, and the connected
    // terminal's link no longer matches its entry.
    const bool edited = port != entry.IPPort && !bFilling_;
    entry.IPPort = port;
    if (edited) {
        AutoSaveDevice(iSelectedID_);
        if (currentId && iSelectedID_ == currentId() && offLine) offLine();
    }
    Changed();
    return t;
}

std::string DeviceDirectory::LeaveTcpPort()
{
    std::string t = fields_.tcpPort;
    if (Trim(t).empty())
        t = "1001";
    else if (Val(t) > 65535.0)
        t = "65535";
    return t == fields_.tcpPort ? t : EditTcpPort(t);
}

} // namespace px
