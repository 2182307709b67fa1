#include "DeviceOps.h"

#include "Core.h"
#include "DeviceControls.h"
#include "Exchange.h"
#include "FileAppend.h"
#include "Frame.h"
#include "Ini.h"
#include "RuntimeError.h"
#include "TextIds.h"
#include "VbText.h"
#include "Wait.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

namespace px {

bool DeviceOps::GetPXTime(Stamp* time)
{
    SerloClient& link = core_.link();
    if (!link.PortOpen()) return false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (const auto stamp = reply::ParseTime(link.GetTime())) {
            *time = *stamp;
            return true;
        }
    }
    return false;
}

bool DeviceOps::SetPXTime(const Stamp& t)
{
    SerloClient& link = core_.link();
    if (!link.PortOpen()) return false;
    for (int attempt = 0; attempt < 3; ++attempt)
        if (link.SetTime(t.year, t.month, t.day, t.hour, t.minute, t.second, t.Weekday()))
            return true;
    return false;
}

long DeviceOps::GetPXRecordCount()
{
    SerloClient& link = core_.link();
    if (!link.PortOpen()) return -1;
    for (int attempt = 0; attempt < 5; ++attempt) {
        const long count = reply::ParseRecordCount(link.SendVNetCmd("N", false, true));
        if (count >= 0) return count;
        pumpEvents();
    }
    return -1;
}

bool DeviceOps::SetTerminalID(int newId, int oldId)
{
    SerloClient& link = core_.link();
    if (!link.PortOpen()) return false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (link.SetID(newId)) return true;
        if (!link.PortOpen()) {
            core_.ShowText("SetID - Port Close");
            return false;
        }
        if (link.Polling(oldId).find("APX74") == std::string::npos) return false;
    }
    return false;
}

bool DeviceOps::SetID(int newId)
{
    ProgramState& st = core_.state();
    if (!SetTerminalID(newId, st.iCurrentID)) return false;
    DeviceDirectory& dir = core_.directory();
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
    return PollingID(newId);
}

long DeviceOps::CapacityFor(const std::string& version, const std::string& ext, long current)
{
    std::string digits = version.empty() ? std::string() : version.substr(1);
    std::string number;
    for (char c : digits)
        if (c != 'R') number += c;
    const double v = Val(number);
    const bool jis = ext.find("JIS-II") != std::string::npos;
    if (v <= 1.6) return jis ? 4094 : 8188;
    if (v == 1.7) return jis ? 4092 : 8184;
    if (v > 1.7) return jis ? 4084 : 8168;
    return current;
}

std::string DeviceOps::PollingPX74X(int id)
{
    sModel.clear();
    sVersion.clear();
    sExt.clear();
    nPolledID = -1;
    try {
        Exchange& ex = core_.exchange();
        std::string command = "D";
        command += frame::HexByte(static_cast<std::uint8_t>(id & 0xFF));
        std::string reply = ex.SendVNetCmd(command, false, false);
        const auto poll = reply::ParsePoll(reply);
        if (core_.state().bCmdTimeout || !poll) return {};
        nPolledID = poll->id;
        sModel = poll->model;

        if (const auto version = reply::ParseVersion(ex.SendVNetCmd("V", false, false))) {
            sVersion = version->version;
            sExt = version->ext;
        }
        lMaxCount = CapacityFor(sVersion, sExt, lMaxCount);
        if (sVersion.empty()) {
            sModel.clear();
            nPolledID = -1;
            return {};
        }
        const std::string percent = Digits(std::lround(dEraseRatio * 100), 2) + "%";
        core_.ShowText("     Model=" + sModel);
        core_.ShowText("     Version=" + sVersion + ", Ext=" + sExt);
        core_.ShowText("     MaxCount=" + std::to_string(lMaxCount) +
                       ", EraseDBWhileMemUsed=" + percent + "(" +
                       std::to_string(static_cast<long long>(std::floor(lMaxCount * dEraseRatio))) +
                       ")");
        return reply;
    } catch (const RuntimeError&) {
        sModel.clear();
        sVersion.clear();
        sExt.clear();
        nPolledID = -1;
        return {};
    }
}

double DeviceOps::EraseRatioFrom(const std::string& raw)
{
    std::string value = Trim(raw);
    if (value != "0" && value.find('%') == std::string::npos) value = "80%";
    std::string lead;
    for (char c : value) {
        if ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')
            lead += c;
        else
            break;
    }
    double ratio = Val(lead) / 100.0;
    if (ratio > 0.8) ratio = 0.8;
    if (ratio < 0) ratio = 0;
    return ratio;
}

bool DeviceOps::ReadPX74XInfo()
{
    const std::string file = core_.paths().In(core_.Title() + ".ini");
    if (!FileExists(file)) {
        // A failed write leaves no file, and the default below still applies.
        (void)ini::replaceFile(
            file, "[General]\r\n"
                  ";After Time Schedular uploading time data successfully, automatically erase "
                  "database while the memory is used xx %(EraseDBWhileMemUsed)\r\n"
                  "EraseDBWhileMemUsed=80%\r\n");
    }
    dEraseRatio = EraseRatioFrom(ini::getString(file, "General", "EraseDBWhileMemUsed", "80%"));
    return true;
}

void DeviceOps::OffLine()
{
    ProgramState& st = core_.state();
    if (st.bTSRunning) return;
    CmdPX700Enabled(core_, false);
    core_.ShowPage(0);
    st.bLinkTimeout = false;
    core_.view().SetProgress(0, 0);
    try {
        core_.link().SetPortOpen(false);
    } catch (const RuntimeError&) {
    }
}

void DeviceOps::PrepareLinkForPoll()
{
    SerloClient& link = core_.link();
    if (link.CommPort() != 0 || !link.PortOpen()) return;
    const int timeout = link.VNetTimeout();
    link.SetVNetTimeout(300);
    link.SetBaudRate(19200);
    link.SetHandshaking(0);
    link.SetSettings("N,8,1");
    link.SetVNetTimeout(timeout);
}

bool DeviceOps::PollingID(int id)
{
    ProgramState& st = core_.state();
    SerloClient& link = core_.link();
    DeviceDirectory& dir = core_.directory();
    st.iCurrentID = 0;
    sModel.clear();
    sVersion.clear();
    core_.view().SetCaption(core_.baseCaption);
    lMaxCount = 0;

    std::string reply;
    int n = -1;
    bool found = false;
    if (link.PortOpen()) {
        PrepareLinkForPoll();
        for (int attempt = 0; attempt < 3 && !found && !st.bCancelOpen; ++attempt) {
            reply = PollingPX74X(id);
            if (!reply.empty()) {
                found = true;
                n = nPolledID;
            }
        }
    } else {
        core_.ShowStatusText(link.CommPort() != 0 ? "COM Port is closed" : "Disconnect");
    }
    if (found && n >= 0 && n < DeviceDirectory::kSlots) {
        core_.view().SetCaption(
            core_.baseCaption + "  " +
            DeviceDirectory::LineText(n, dir.table[static_cast<std::size_t>(n)].Name));
    } else if (!found) {
        link.SetPortOpen(false);
    }

    bool result = found;
    if (sModel.empty() || n == -1 || sVersion.empty()) {
        result = false;
        n = 0;
        core_.ShowStatus(txt::kNotUnitFound.id, txt::kNotUnitFound.english);
        if (!reply.empty()) core_.ShowText("Polling Receive --> " + reply);
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
        core_.view().SetCaption(core_.baseCaption + "  000-" + dir.table[0].Name);
    st.iCurrentID = n;
    return result;
}

bool DeviceOps::CommMultipleID()
{
    SerloClient& link = core_.link();
    const int port = link.CommPort();
    int ipPort = 0;
    std::string address;
    if (port == 0) {
        ipPort = link.IPort() & 0xFFFF;
        address = link.IAddress();
    }
    int count = 0;
    for (int n = 1; n < DeviceDirectory::kSlots; ++n) {
        const DeviceEntry& e = core_.directory().table[static_cast<std::size_t>(n)];
        if (e.ID == 0) continue;
        if (port != 0 ? e.ComPort == port
                      : e.ComPort == 0 && e.IPAddr == address && (e.IPPort & 0xFFFF) == ipPort)
            ++count;
    }
    return count > 1;
}

bool DeviceOps::Failed(int specificCode)
{
    core_.ErrorBox(core_.state().bLinkTimeout ? 1 : specificCode);
    OffLine();
    return false;
}

bool DeviceOps::ResetTerminal()
{
    core_.state().bLinkTimeout = false;
    if (core_.link().PortOpen() && core_.link().Reset()) {
        waitFor(Millis(500));
        return true;
    }
    return Failed(20);
}

int DeviceOps::ReadDisplayMode()
{
    core_.state().bLinkTimeout = false;
    const std::string reply = core_.link().PortOpen() ? core_.link().GetRegister(0) : "";
    if (const int mode = reply::ParseDecimalRegister(reply); mode >= 0) return mode;
    if (core_.state().bLinkTimeout) {
        Failed(1);
        return -1;
    }
    core_.ErrorBox(24);
    return 0;
}

bool DeviceOps::SetDisplayMode(int mode)
{
    core_.state().bLinkTimeout = false;
    const std::string value = mode == 0 ? "00" : "01";
    if (core_.link().PortOpen() && core_.link().SetRegister(0, value)) return true;
    return Failed(mode == 0 ? 22 : 23);
}

int DeviceOps::ReadBellDuration()
{
    core_.state().bLinkTimeout = false;
    const std::string reply = core_.link().PortOpen() ? core_.link().GetRegister(1) : "";
    if (const int seconds = reply::ParseHexRegister(reply); seconds >= 0) return seconds;
    if (core_.state().bLinkTimeout) {
        core_.ErrorBox(1);
        OffLine();
        core_.state().bLinkTimeout = true; // the caller still sees the time-out
    } else {
        core_.ErrorBox(25);
    }
    return -1;
}

bool DeviceOps::SetBellDuration(int seconds)
{
    core_.state().bLinkTimeout = false;
    const std::string value = frame::HexByte(static_cast<std::uint8_t>(seconds & 0xFF));
    if (core_.link().PortOpen() && core_.link().SetRegister(1, value)) return true;
    return Failed(13);
}

int DeviceOps::ReadRecordMode()
{
    core_.state().bLinkTimeout = false;
    const std::string reply =
        core_.link().PortOpen() ? core_.link().GetRegister(kRecordModeRegister) : "";
    const int mode = reply::ParseDecimalRegister(reply);
    return mode >= 0 && mode <= 3 ? mode : -1;
}

void DeviceOps::SetModeRegister(int reg, int mode)
{
    core_.state().bLinkTimeout = false;
    if (core_.link().PortOpen()) core_.link().SetRegister(reg, Digits(mode, 2));
    if (core_.state().bLinkTimeout) Failed(1);
}

bool DeviceOps::InitializeDatabase()
{
    core_.state().bLinkTimeout = false;
    if (core_.link().PortOpen() && IsAccepted(core_.link().SendVNetCmd("E", false, false)))
        return true;
    return Failed(26);
}

bool DeviceOps::PrepareRecovery()
{
    core_.state().bLinkTimeout = false;
    if (core_.link().PortOpen() && IsAccepted(core_.link().SendVNetCmd("M", false, false)))
        return true;
    return Failed(27);
}

} // namespace px
