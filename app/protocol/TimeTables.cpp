#include "TimeTables.h"

#include "TableTransfer.h"
#include "TerminalSession.h"
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

bool DownloadTable(TerminalSession& session, TimeTable& table)
{
    const Registers reg = RegistersOf(table.kind());
    std::vector<std::string> entries = table.Entries();
    TableTransfer transfer(session);
    const bool ok = transfer.SetPXTable(entries, TimeTable::kRows, reg.timeReg, reg.eventReg,
                                        reg.mask, reg.disable);
    if (!ok) {
        const int code = transfer.nTableErr;
        if (session.state().bLinkTimeout) session.device().OffLine();
        session.device().Error(code);
    }
    table.SetAllGrey(false);
    return ok;
}

bool UploadTable(TerminalSession& session, TimeTable& table)
{
    const Registers reg = RegistersOf(table.kind());
    std::vector<std::string> entries;
    TableTransfer transfer(session);
    const bool ok =
        transfer.GetPXTable(entries, TimeTable::kRows, reg.timeReg, reg.eventReg, reg.mask);
    if (ok) {
        table.Show(entries);
    } else {
        const int code = transfer.nTableErr;
        if (session.state().bLinkTimeout) session.device().OffLine();
        session.device().Error(code);
    }
    return ok;
}

bool DisableBellTable(TerminalSession& session, TimeTable& table)
{
    session.state().bLinkTimeout = false;
    bool ok = true;
    for (int e = 0; e < TimeTable::kRows && ok; ++e) {
        ok = session.link().PortOpen() && session.link().SetRegister(34 + e, "00");
        if (!ok) {
            session.device().Error(session.state().bLinkTimeout ? 1 : 14);
            session.device().OffLine();
        }
    }
    table.SetAllGrey(true);
    return ok;
}

} // namespace px
