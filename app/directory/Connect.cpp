#include "Connect.h"

#include "Core.h"
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

bool OpenTerminal(Core& core, int listIndex)
{
    ProgramState& st = core.state();
    DeviceDirectory& dir = core.directory();
    DeviceOps& device = core.device();
    SerloClient& link = core.link();
    bool identified = false;
    try {
        dir.Select(listIndex);
        core.view().SetTerminalListEnabled(false);
        core.view().SetDeviceControlsEnabled(false);
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
            } else if (core.pinger().Ping(entry.IPAddr, 3000) == -1) {
                core.ShowStatusText("Can't ping this IP " + entry.IPAddr);
                device.OffLine();
                connect = false;
            }
        }
        if (connect) {
            if (link.PortOpen()) {
                link.SetPortOpen(false);
                waitFor(Millis(50));
            }
            link.SetIAddress(entry.IPAddr);
            link.SetIPort(SignedPort(entry.IPPort));
            link.SetVNetTimeout(core.linkTimeoutMs);
            link.SetCommPort(entry.ComPort);
            OpenLinkWithRetry(link, entry.ComPort == 0);
            identified = device.PollingID(dir.SelectedId());
            if (identified) {
                const int workingPort = link.IPort() & 0xFFFF;
                DeviceEntry& live = dir.table[static_cast<std::size_t>(dir.SelectedId())];
                if (entry.ComPort == 0 && workingPort != (live.IPPort & 0xFFFF)) {
                    live.IPPort = workingPort; // mirrored with the entry's next mirrored edit
                    dir.EditTcpPort(std::to_string(workingPort));
                }
                core.view().SetDeviceControlsEnabled(true);
                if (core.onTerminalOpened) core.onTerminalOpened();
                core.view().SetProgress(0, 0);
                core.view().SetCountLabel("00000 / " + Digits(device.GetPXRecordCount(), 5));
                core.ShowStatusText(device.sModel + " Firmware Version " + device.sVersion);
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
