#include "Connect.h"

#include "Core.h"
#include "DeviceControls.h"
#include "DeviceOps.h"
#include "Ping.h"
#include "RuntimeError.h"
#include "TextIds.h"
#include "VbText.h"
#include "Wait.h"

#include <cstdio>

namespace px {

int SignedPort(int port)
{
    port &= 0xFFFF;
    return port > 32767 ? port - 65536 : port;
}

bool OpenLinkWithRetry(SerloClient& link, bool tcp)
{
    link.SetPortOpen(true);
    if (tcp) {
        waitFor(Millis(50));
        if (!link.PortOpen()) {
            link.SetIPort(1001);
            link.SetPortOpen(true);
            waitFor(Millis(50));
        }
    }
    return link.PortOpen();
}

namespace {

// Esc ends the action between its steps; what it had opened is closed again.
bool Cancelled(Core& core)
{
    if (!core.state().bCancelOpen) return false;
    core.ShowStatus(3103, "Cancelled");
    core.device().OffLine();
    return true;
}

// Whether the entry may be connected: not while the scheduler runs, and a device server must
// have an address that answers a ping.
bool Reachable(Core& core, const DeviceEntry& entry)
{
    if (core.state().currentPage == 0 && core.state().bTSRunning) {
        core.ShowMsg(core.GetText(txt::kSchedulerBlocksOpen.id, txt::kSchedulerBlocksOpen.english),
                     48);
        return false;
    }
    if (entry.ComPort != 0) return true;
    if (entry.IPAddr.empty() || entry.IPAddr == "0.0.0.0") {
        core.ShowStatus(txt::kNotUnitFound.id, txt::kNotUnitFound.english);
        core.device().OffLine();
        return false;
    }
    core.ShowStatusText(core.GetText(3100, "Pinging") + " " + entry.IPAddr + " ...");
    if (core.pinger().Ping(entry.IPAddr, 3000) != -1) return true;
    if (!Cancelled(core)) {
        core.ShowStatusText("Can't ping this IP " + entry.IPAddr);
        core.device().OffLine();
    }
    return false;
}

void OpenLink(Core& core, const DeviceEntry& entry)
{
    SerloClient& link = core.link();
    core.ShowStatusText(core.GetText(3101, "Connecting to") + " " +
                        (entry.ComPort == 0
                             ? entry.IPAddr + ":" + std::to_string(entry.IPPort & 0xFFFF)
                             : "COM" + std::to_string(entry.ComPort)) +
                        " ...");
    if (link.PortOpen()) {
        link.SetPortOpen(false);
        waitFor(Millis(50));
    }
    link.SetIAddress(entry.IPAddr);
    link.SetIPort(SignedPort(entry.IPPort));
    link.SetVNetTimeout(core.linkTimeoutMs);
    link.SetCommPort(entry.ComPort);
    // The poll that follows reports only "no terminal"; the event log keeps why the line did not
    // even open.
    if (!OpenLinkWithRetry(link, entry.ComPort == 0) && !link.OpenFailure().empty() && core.logNote)
        core.logNote("can't open " + link.OpenFailure());
}

// The terminal answered: the entry keeps the port that worked, the pages open.
void ShowConnected(Core& core, const DeviceEntry& entry)
{
    DeviceDirectory& dir = core.directory();
    DeviceOps& device = core.device();
    const int workingPort = core.link().IPort() & 0xFFFF;
    DeviceEntry& live = dir.table[static_cast<std::size_t>(dir.SelectedId())];
    if (entry.ComPort == 0 && workingPort != (live.IPPort & 0xFFFF)) {
        live.IPPort = workingPort; // mirrored with the entry's next mirrored edit
        dir.EditTcpPort(std::to_string(workingPort));
    }
    CmdPX700Enabled(core, true);
    if (core.onTerminalOpened) core.onTerminalOpened();
    core.view().SetProgress(0, 0);
    core.view().SetCountLabel("00000 / " + Digits(device.GetPXRecordCount(), 5));
    core.ShowStatusText(device.sModel + " Firmware Version " + device.sVersion);
}

} // namespace

bool OpenTerminal(Core& core, int listIndex)
{
    ProgramState& st = core.state();
    DeviceDirectory& dir = core.directory();
    bool identified = false;
    st.bCancelOpen = false;
    try {
        dir.Select(listIndex);
        core.view().SetTerminalListEnabled(false);
        CmdPX700Enabled(core, false);
        if (st.monitorChecked && st.bMonitorMode) core.device().ReadPX74XInfo();
        core.ShowStatusText("");
        const DeviceEntry entry = dir.table[static_cast<std::size_t>(dir.SelectedId())];
        if (Reachable(core, entry) && !Cancelled(core)) {
            OpenLink(core, entry);
            if (!Cancelled(core)) {
                core.ShowStatusText(core.GetText(3102, "Identifying the terminal") + " ...");
                identified = core.device().PollingID(dir.SelectedId());
                if (Cancelled(core)) {
                    identified = false;
                } else if (identified) {
                    ShowConnected(core, entry);
                } else {
                    st.nStatusID = 8019;
                    core.ErrorBox(12);
                    core.device().OffLine();
                }
            }
        }
    } catch (const RuntimeError& e) {
        core.ShowText(e.Report("lstDevice_DblClick"));
    }
    core.view().SetTerminalListEnabled(true);
    return identified;
}

} // namespace px
