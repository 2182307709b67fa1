#include "Identify.h"

#include "DeviceDirectory.h"
#include "TerminalSession.h"
#include "TextIds.h"

#include <utility>

namespace px {

bool PollingID(TerminalSession& session, DeviceDirectory& dir, int id)
{
    LinkState& st = session.state();
    SerloClient& link = session.link();
    DeviceOps& device = session.device();
    SessionReporter& report = session.reporter();
    st.iCurrentID = 0;
    device.sModel.clear();
    device.sVersion.clear();
    report.CaptionTerminal("");
    device.lMaxCount = 0;

    std::string reply;
    int n = -1;
    bool found = false;
    if (link.PortOpen()) {
        device.PrepareLinkForPoll();
        for (int attempt = 0; attempt < 3 && !found && !st.bCancelOpen; ++attempt) {
            reply = device.PollingPX74X(id);
            if (!reply.empty()) {
                found = true;
                n = device.nPolledID;
            }
        }
    } else {
        report.Status(link.CommPort() != 0 ? "COM Port is closed" : "Disconnect");
    }
    if (found && n >= 0 && n < DeviceDirectory::kSlots) {
        report.CaptionTerminal(
            DeviceDirectory::LineText(n, dir.table[static_cast<std::size_t>(n)].Name));
    } else if (!found) {
        link.SetPortOpen(false);
    }

    bool result = found;
    if (device.sModel.empty() || n == -1 || device.sVersion.empty()) {
        result = false;
        n = 0;
        report.StatusText(txt::kNotUnitFound.id, txt::kNotUnitFound.english);
        if (!reply.empty()) report.Monitor("Polling Receive --> " + reply);
    }

    bool selectLine = false;
    if (result && n != 0 && dir.SelectedId() == 0) {
        DeviceEntry& entry = dir.table[static_cast<std::size_t>(n)];
        const DeviceEntry& def = dir.table[0];
        const bool hasConnection = entry.IPAddr != "0.0.0.0" || entry.ComPort != 0;
        if (hasConnection && (entry.IPAddr != def.IPAddr || entry.ComPort != def.ComPort)) {
            n = 0; // registered elsewhere: not this terminal's entry
        } else if (hasConnection) {
            selectLine = true;
        } else {
            const std::string name = entry.Name;
            entry = def;
            entry.Name = name;
            entry.ID = static_cast<std::int16_t>(n);
            dir.RefreshLine(n);
            dir.AutoSaveDevice(n);
            selectLine = true;
        }
    }
    if (selectLine)
        dir.SelectId(n);
    else if (id == 0)
        report.CaptionTerminal("000-" + dir.table[0].Name);
    st.iCurrentID = n;
    return result;
}

bool ChangeMachineId(TerminalSession& session, DeviceDirectory& dir, int newId)
{
    LinkState& st = session.state();
    if (!session.device().SetTerminalID(newId, st.iCurrentID)) return false;
    const int oldId = st.iCurrentID;
    if (oldId >= 0 && oldId < DeviceDirectory::kSlots && newId >= 0 &&
        newId < DeviceDirectory::kSlots && oldId != newId) {
        DeviceEntry& a = dir.table[static_cast<std::size_t>(oldId)];
        DeviceEntry& b = dir.table[static_cast<std::size_t>(newId)];
        // The connection data move; each slot keeps its ID, and with the default entry
        // involved each keeps its name too.
        const bool keepNames = oldId == 0 || newId == 0;
        std::swap(a, b);
        std::swap(a.ID, b.ID);
        if (keepNames) std::swap(a.Name, b.Name);
        dir.RefreshLine(oldId);
        dir.RefreshLine(newId);
        dir.AutoSaveDevice(oldId);
        dir.AutoSaveDevice(newId);
        dir.SelectId(newId);
    }
    return PollingID(session, dir, newId);
}

} // namespace px
