#include "DeviceOps.h"

#include "FileAppend.h"
#include "Frame.h"
#include "Ini.h"
#include "RuntimeError.h"
#include "TerminalSession.h"
#include "TextIds.h"
#include "VbText.h"
#include "Wait.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

namespace px {

bool DeviceOps::GetPXTime(Stamp* time)
{
    SerloClient& link = session_.link();
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
    SerloClient& link = session_.link();
    if (!link.PortOpen()) return false;
    for (int attempt = 0; attempt < 3; ++attempt)
        if (link.SetTime(t.year, t.month, t.day, t.hour, t.minute, t.second, t.Weekday()))
            return true;
    return false;
}

long DeviceOps::GetPXRecordCount()
{
    SerloClient& link = session_.link();
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
    SerloClient& link = session_.link();
    if (!link.PortOpen()) return false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (link.SetID(newId)) return true;
        if (!link.PortOpen()) {
            session_.reporter().Monitor("SetID - Port Close");
            return false;
        }
        if (link.Polling(oldId).find("APX74") == std::string::npos) return false;
    }
    return false;
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
        Exchange& ex = session_.exchange();
        std::string command = "D";
        command += frame::HexByte(static_cast<std::uint8_t>(id & 0xFF));
        std::string reply = ex.SendVNetCmd(command, false, false);
        const auto poll = reply::ParsePoll(reply);
        if (session_.state().bCmdTimeout || !poll) return {};
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
        session_.reporter().Monitor("     Model=" + sModel);
        session_.reporter().Monitor("     Version=" + sVersion + ", Ext=" + sExt);
        session_.reporter().Monitor(
            "     MaxCount=" + std::to_string(lMaxCount) + ", EraseDBWhileMemUsed=" + percent +
            "(" + std::to_string(static_cast<long long>(std::floor(lMaxCount * dEraseRatio))) +
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

bool DeviceOps::ReadPX74XInfo(const std::string& file)
{
    dEraseRatio = ReadEraseRatio(file);
    return true;
}

double DeviceOps::ReadEraseRatio(const std::string& file)
{
    if (!FileExists(file)) {
        // A failed write leaves no file, and the default below still applies.
        (void)ini::replaceFile(
            file, "[General]\r\n"
                  ";After Time Schedular uploading time data successfully, automatically erase "
                  "database while the memory is used xx %(EraseDBWhileMemUsed)\r\n"
                  "EraseDBWhileMemUsed=80%\r\n");
    }
    return EraseRatioFrom(ini::getString(file, "General", "EraseDBWhileMemUsed", "80%"));
}

void DeviceOps::OffLine()
{
    SessionReporter& report = session_.reporter();
    if (report.SchedulerRunning()) return;
    report.WentOffLine();
    session_.state().bLinkTimeout = false;
    try {
        session_.link().SetPortOpen(false);
    } catch (const RuntimeError&) {
    }
}

void DeviceOps::PrepareLinkForPoll()
{
    SerloClient& link = session_.link();
    if (link.CommPort() != 0 || !link.PortOpen()) return;
    const int timeout = link.VNetTimeout();
    link.SetVNetTimeout(300);
    link.SetBaudRate(19200);
    link.SetHandshaking(0);
    link.SetSettings("N,8,1");
    link.SetVNetTimeout(timeout);
}

void DeviceOps::Error(int n)
{
    session_.reporter().Error(n, session_.state().iCurrentID);
}

bool DeviceOps::Failed(int specificCode)
{
    Error(session_.state().bLinkTimeout ? 1 : specificCode);
    OffLine();
    return false;
}

bool DeviceOps::ResetTerminal()
{
    session_.state().bLinkTimeout = false;
    if (session_.link().PortOpen() && session_.link().Reset()) {
        waitFor(Millis(500));
        return true;
    }
    return Failed(20);
}

int DeviceOps::ReadDisplayMode()
{
    session_.state().bLinkTimeout = false;
    const std::string reply = session_.link().PortOpen() ? session_.link().GetRegister(0) : "";
    if (const int mode = reply::ParseDecimalRegister(reply); mode >= 0) return mode;
    if (session_.state().bLinkTimeout) {
        Failed(1);
        return -1;
    }
    Error(24);
    return 0;
}

bool DeviceOps::SetDisplayMode(int mode)
{
    session_.state().bLinkTimeout = false;
    const std::string value = mode == 0 ? "00" : "01";
    if (session_.link().PortOpen() && session_.link().SetRegister(0, value)) return true;
    return Failed(mode == 0 ? 22 : 23);
}

int DeviceOps::ReadBellDuration()
{
    session_.state().bLinkTimeout = false;
    const std::string reply = session_.link().PortOpen() ? session_.link().GetRegister(1) : "";
    if (const int seconds = reply::ParseHexRegister(reply); seconds >= 0) return seconds;
    if (session_.state().bLinkTimeout) {
        Error(1);
        OffLine();
        session_.state().bLinkTimeout = true; // the caller still sees the time-out
    } else {
        Error(25);
    }
    return -1;
}

bool DeviceOps::SetBellDuration(int seconds)
{
    session_.state().bLinkTimeout = false;
    const std::string value = frame::HexByte(static_cast<std::uint8_t>(seconds & 0xFF));
    if (session_.link().PortOpen() && session_.link().SetRegister(1, value)) return true;
    return Failed(13);
}

int DeviceOps::ReadRecordMode()
{
    session_.state().bLinkTimeout = false;
    const std::string reply =
        session_.link().PortOpen() ? session_.link().GetRegister(kRecordModeRegister) : "";
    const int mode = reply::ParseDecimalRegister(reply);
    return mode >= 0 && mode <= 3 ? mode : -1;
}

void DeviceOps::SetModeRegister(int reg, int mode)
{
    session_.state().bLinkTimeout = false;
    if (session_.link().PortOpen()) session_.link().SetRegister(reg, Digits(mode, 2));
    if (session_.state().bLinkTimeout) Failed(1);
}

bool DeviceOps::InitializeDatabase()
{
    session_.state().bLinkTimeout = false;
    if (session_.link().PortOpen() && IsAccepted(session_.link().SendVNetCmd("E", false, false)))
        return true;
    return Failed(26);
}

bool DeviceOps::PrepareRecovery()
{
    session_.state().bLinkTimeout = false;
    if (session_.link().PortOpen() && IsAccepted(session_.link().SendVNetCmd("M", false, false)))
        return true;
    return Failed(27);
}

} // namespace px
