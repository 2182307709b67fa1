#include "Connect.h"

#include "DeviceControls.h"
#include "DeviceDirectory.h"
#include "Identify.h"
#include "RuntimeError.h"
#include "TerminalSession.h"
#include "TextIds.h"
#include "VbText.h"
#include "View.h"
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
bool Cancelled(TerminalSession& session)
{
    if (!session.state().bCancelOpen) return false;
    session.reporter().StatusText(3103, "Cancelled");
    session.device().OffLine();
    return true;
}

// Whether the entry may be connected: not while the scheduler runs, and a device server must
// have an address that answers a ping.
bool Reachable(TerminalSession& session, const DeviceEntry& entry, const OpenHooks& hooks)
{
    SessionReporter& report = session.reporter();
    if (hooks.schedulerBlocks) {
        hooks.view.ShowMsg(
            report.Text(txt::kSchedulerBlocksOpen.id, txt::kSchedulerBlocksOpen.english), 48,
            report.Title());
        return false;
    }
    if (entry.ComPort != 0) return true;
    if (entry.IPAddr.empty() || entry.IPAddr == "0.0.0.0") {
        report.StatusText(txt::kNotUnitFound.id, txt::kNotUnitFound.english);
        session.device().OffLine();
        return false;
    }
    report.Status(report.Text(3100, "Pinging") + " " + entry.IPAddr + " ...");
    if (session.pinger().Ping(entry.IPAddr, 3000) != -1) return true;
    if (!Cancelled(session)) {
        report.Status("Can't ping this IP " + entry.IPAddr);
        session.device().OffLine();
    }
    return false;
}

void OpenLink(TerminalSession& session, const DeviceEntry& entry, int linkTimeoutMs)
{
    SerloClient& link = session.link();
    SessionReporter& report = session.reporter();
    report.Status(report.Text(3101, "Connecting to") + " " +
                  (entry.ComPort == 0 ? entry.IPAddr + ":" + std::to_string(entry.IPPort & 0xFFFF)
                                      : "COM" + std::to_string(entry.ComPort)) +
                  " ...");
    if (link.PortOpen()) {
        link.SetPortOpen(false);
        waitFor(Millis(50));
    }
    link.SetIAddress(entry.IPAddr);
    link.SetIPort(SignedPort(entry.IPPort));
    link.SetVNetTimeout(linkTimeoutMs);
    link.SetCommPort(entry.ComPort);
    // The poll that follows reports only "no terminal"; the event log keeps why the line did not
    // even open.
    if (!OpenLinkWithRetry(link, entry.ComPort == 0) && !link.OpenFailure().empty())
        report.Log("can't open " + link.OpenFailure(), false);
}

// The terminal answered: the entry keeps the port that worked, the pages open.
void ShowConnected(TerminalSession& session, DeviceDirectory& dir, const DeviceEntry& entry,
                   const OpenHooks& hooks)
{
    DeviceOps& device = session.device();
    const int workingPort = session.link().IPort() & 0xFFFF;
    DeviceEntry& live = dir.table[static_cast<std::size_t>(dir.SelectedId())];
    if (entry.ComPort == 0 && workingPort != (live.IPPort & 0xFFFF)) {
        live.IPPort = workingPort; // mirrored with the entry's next mirrored edit
        dir.EditTcpPort(std::to_string(workingPort));
    }
    CmdPX700Enabled(session, hooks.view, true);
    if (hooks.opened) hooks.opened();
    hooks.view.SetProgress(0, 0);
    hooks.view.SetCountLabel("00000 / " + Digits(device.GetPXRecordCount(), 5));
    session.reporter().Status(device.sModel + " Firmware Version " + device.sVersion);
}

} // namespace

bool OpenTerminal(TerminalSession& session, DeviceDirectory& dir, int listIndex,
                  const OpenHooks& hooks)
{
    LinkState& st = session.state();
    SessionReporter& report = session.reporter();
    bool identified = false;
    st.bCancelOpen = false;
    try {
        dir.Select(listIndex);
        hooks.view.SetTerminalListEnabled(false);
        CmdPX700Enabled(session, hooks.view, false);
        if (!hooks.infoFile.empty()) session.device().ReadPX74XInfo(hooks.infoFile);
        report.Status("");
        const DeviceEntry entry = dir.table[static_cast<std::size_t>(dir.SelectedId())];
        if (Reachable(session, entry, hooks) && !Cancelled(session)) {
            OpenLink(session, entry, hooks.linkTimeoutMs);
            if (!Cancelled(session)) {
                report.Status(report.Text(3102, "Identifying the terminal") + " ...");
                identified = PollingID(session, dir, dir.SelectedId());
                if (Cancelled(session)) {
                    identified = false;
                } else if (identified) {
                    ShowConnected(session, dir, entry, hooks);
                } else {
                    report.RememberStatus(8019);
                    session.device().Error(12);
                    session.device().OffLine();
                }
            }
        }
    } catch (const RuntimeError& e) {
        report.Monitor(e.Report("lstDevice_DblClick"));
    }
    hooks.view.SetTerminalListEnabled(true);
    return identified;
}

} // namespace px
