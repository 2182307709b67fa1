#include "DeviceControls.h"

#include "Core.h"
#include "DeviceOps.h"
#include "VbText.h"

namespace px {

namespace {

constexpr int kFirstDevicePage = 1;
constexpr int kInOutPage = 2;
constexpr int kLastDevicePage = 3;

bool InOutPageWanted(Core& core)
{
    return core.link().IsCreated() && core.link().PortOpen() &&
           core.state().recordMode == kScheduleMode;
}

} // namespace

int ScheduleModeAllowed(const std::string& version)
{
    if (version.empty() || version[0] != 'V') return -1;
    return Val(version.substr(1)) >= 1.7 ? 1 : 0;
}

void CmdPX700Enabled(Core& core, bool flag)
{
    if (core.state().bTSRunning) return;
    View& view = core.view();
    for (int page = kFirstDevicePage; page <= kLastDevicePage; ++page)
        view.SetDevicePageEnabled(page, flag);
    view.SetDevicePageEnabled(kInOutPage, flag && InOutPageWanted(core));
    view.SetDeviceButtonsEnabled(flag);
    if (flag) {
        const int mode = core.device().ReadRecordMode();
        if (mode < 0) {
            core.state().recordMode = -1;
            view.ShowRecordMode(-1);
            return;
        }
        view.ShowRecordMode(mode);
        RecordModeClicked(core, mode);
        if (!core.link().PortOpen()) return; // the click's write failed and went off line
    }
    view.SetRecordModeOptionsEnabled(flag, ScheduleModeAllowed(core.device().sVersion) == 1 && flag,
                                     ScheduleModeAllowed(core.device().sVersion) >= 0);
}

void RecordModeClicked(Core& core, int mode)
{
    core.ShowStatus(0, "");
    core.state().recordMode = mode;
    core.device().SetModeRegister(DeviceOps::kRecordModeRegister, mode);
    if (core.state().bLinkTimeout) return; // reported, and off line
    core.view().SetDevicePageEnabled(kInOutPage, InOutPageWanted(core));
}

void RelayModeClicked(Core& core, int mode)
{
    core.device().SetModeRegister(DeviceOps::kRelayModeRegister, mode);
}

} // namespace px
