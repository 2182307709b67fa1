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

// The terminal answered: the port that worked is kept, and the device controls come alive.
void ShowOpenedTerminal(Core& core, const DeviceEntry& entry)
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
    DeviceOps& device = core.device();
    SerloClient& link = core.link();
    bool identified = false;
    st.bCancelOpen = false;
    // Esc ends the action between its steps; what it had opened is closed again.
    auto cancelled = [&] {
        if (!st.bCancelOpen) return false;
        core.ShowStatus(3103, "Cancelled");
        device.OffLine();
        return true;
    };
    try {
        dir.Select(listIndex);
        core.view().SetTerminalListEnabled(false);
        CmdPX700Enabled(core, false);
        if (st.monitorChecked && st.bMonitorMode) device.ReadPX74XInfo();
        core.ShowStatusText("");
        const DeviceEntry entry = dir.table[static_cast<std::size_t>(dir.SelectedId())];
        bool connect = true;
        if (st.currentPage == 0 && st.bTSRunning) {
            core.ShowMsg(
                core.GetText(txt::kSchedulerBlocksOpen.id, txt::kSchedulerBlocksOpen.english), 48);
            connect = false;
        } else if (entry.ComPort == 0) {
            if (entry.IPAddr.empty() || entry.IPAddr == "0.0.0.0") {
                core.ShowStatus(txt::kNotUnitFound.id, txt::kNotUnitFound.english);
                device.OffLine();
                connect = false;
            } else {
                core.ShowStatusText(core.GetText(3100, "Pinging") + " " + entry.IPAddr + " ...");
                if (core.pinger().Ping(entry.IPAddr, 3000) == -1) {
                    if (!cancelled()) {
                        core.ShowStatusText("Can't ping this IP " + entry.IPAddr);
                        device.OffLine();
                    }
                    connect = false;
                }
            }
        }
        if (connect && !cancelled()) {
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
            OpenLinkWithRetry(link, entry.ComPort == 0);
            bool stopped = cancelled();
            if (!stopped) {
                core.ShowStatusText(core.GetText(3102, "Identifying the terminal") + " ...");
                identified = device.PollingID(dir.SelectedId());
                stopped = cancelled();
            }
            if (stopped) {
                identified = false;
            } else if (identified) {
                ShowOpenedTerminal(core, entry);
            } else {
                st.nStatusID = 8019;
                core.ErrorBox(12);
                device.OffLine();
            }
        }
    } catch (const RuntimeError& e) {
        core.ShowText(e.Report("lstDevice_DblClick"));
    }
    core.view().SetTerminalListEnabled(true);
    return identified;
}

} // namespace px
