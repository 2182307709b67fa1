#include "TimeTables.h"

#include "Core.h"
#include "DeviceOps.h"
#include "TableTransfer.h"
#include "VbText.h"

#include <cstdio>

namespace px {

namespace {

struct Registers {
    int timeReg, eventReg;
    const char* mask;
    const char* disable;
};

Registers RegistersOf(TimeTable::Kind kind)
{
    return kind == TimeTable::Kind::Bell ? Registers{2, 34, "A01", "00"}
                                         : Registers{68, 100, "A00A01", "FF"};
}

} // namespace

bool DownloadTable(Core& core, TimeTable& table)
{
    const Registers reg = RegistersOf(table.kind());
    std::vector<std::string> entries = table.Entries();
    TableTransfer transfer(core);
    const bool ok = transfer.SetPXTable(entries, TimeTable::kRows, reg.timeReg, reg.eventReg,
                                        reg.mask, reg.disable);
    if (!ok) {
        const int code = transfer.nTableErr;
        if (core.state().bLinkTimeout) core.device().OffLine();
        core.ErrorBox(code);
    }
    table.SetAllGrey(false);
    return ok;
}

bool UploadTable(Core& core, TimeTable& table)
{
    const Registers reg = RegistersOf(table.kind());
    std::vector<std::string> entries;
    TableTransfer transfer(core);
    const bool ok =
        transfer.GetPXTable(entries, TimeTable::kRows, reg.timeReg, reg.eventReg, reg.mask);
    if (ok) {
        table.Show(entries);
    } else {
        const int code = transfer.nTableErr;
        if (core.state().bLinkTimeout) core.device().OffLine();
        core.ErrorBox(code);
    }
    return ok;
}

bool DisableBellTable(Core& core, TimeTable& table)
{
    core.state().bLinkTimeout = false;
    bool ok = true;
    for (int e = 0; e < TimeTable::kRows && ok; ++e) {
        ok = core.link().PortOpen() && core.link().SetRegister(34 + e, "00");
        if (!ok) {
            core.ErrorBox(core.state().bLinkTimeout ? 1 : 14);
            core.device().OffLine();
        }
    }
    table.SetAllGrey(true);
    return ok;
}

} // namespace px
