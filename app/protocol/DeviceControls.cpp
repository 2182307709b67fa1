#include "DeviceControls.h"

#include "TerminalSession.h"
#include "VbText.h"
#include "View.h"

namespace px {

namespace {

constexpr int kFirstDevicePage = 1;
constexpr int kInOutPage = 2;
constexpr int kLastDevicePage = 3;

bool InOutPageWanted(TerminalSession& session)
{
    return session.link().IsCreated() && session.link().PortOpen() &&
           session.state().recordMode == kScheduleMode;
}

} // namespace

int ScheduleModeAllowed(const std::string& version)
{
    if (version.empty() || version[0] != 'V') return -1;
    return Val(version.substr(1)) >= 1.7 ? 1 : 0;
}

void CmdPX700Enabled(TerminalSession& session, View& view, bool flag)
{
    if (session.reporter().SchedulerRunning()) return;
    for (int page = kFirstDevicePage; page <= kLastDevicePage; ++page)
        view.SetDevicePageEnabled(page, flag);
    view.SetDevicePageEnabled(kInOutPage, flag && InOutPageWanted(session));
    view.SetDeviceButtonsEnabled(flag);
    if (flag) {
        const int mode = session.device().ReadRecordMode();
        if (mode < 0) {
            session.state().recordMode = -1;
            view.ShowRecordMode(-1);
            return;
        }
        view.ShowRecordMode(mode);
        RecordModeClicked(session, view, mode);
        if (!session.link().PortOpen()) return; // the click's write failed and went off line
    }
    view.SetRecordModeOptionsEnabled(flag,
                                     ScheduleModeAllowed(session.device().sVersion) == 1 && flag,
                                     ScheduleModeAllowed(session.device().sVersion) >= 0);
}

void RecordModeClicked(TerminalSession& session, View& view, int mode)
{
    session.reporter().StatusText(0, "");
    session.state().recordMode = mode;
    session.device().SetModeRegister(DeviceOps::kRecordModeRegister, mode);
    if (session.state().bLinkTimeout) return; // reported, and off line
    view.SetDevicePageEnabled(kInOutPage, InOutPageWanted(session));
}

void RelayModeClicked(TerminalSession& session, int mode)
{
    session.device().SetModeRegister(DeviceOps::kRelayModeRegister, mode);
}

} // namespace px
