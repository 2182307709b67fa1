#include "ScheduledRun.h"

#include "Connect.h"
#include "Core.h"
#include "DeviceOps.h"
#include "FileAppend.h"
#include "FmtData.h"
#include "Frame.h"
#include "Ini.h"
#include "Mailer.h"
#include "OutputNames.h"
#include "RecordOutput.h"
#include "RecordUpload.h"
#include "RuntimeError.h"
#include "VbText.h"
#include "Wait.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace px {

namespace {

const std::string S10(10, ' ');
const std::string S5(5, ' ');

} // namespace

void ScheduledRun::Log(const std::string& line) const
{
    core_.eventLog().WriteLog(line, false);
}
void ScheduledRun::Silent(const std::string& line) const
{
    core_.eventLog().WriteLog(line, true);
}
void ScheduledRun::Message(const std::string& text) const
{
    core_.view().SetMessageLine(text);
}
std::string ScheduledRun::T1() const
{
    return FormatDate(now(), "hh:nn");
}
std::string ScheduledRun::T2() const
{
    return FormatDate(now(), "MM/DD HH:nn");
}

void ScheduledRun::LoadRunTemplate()
{
    const Options& o = core_.options();
    std::string templ(fmt::kStandardTemplate);
    const long idLength = static_cast<long>(Val(o.idLenText));
    if (!core_.szFormatIni.empty() && !o.format.empty() && o.format != "(Default)")
        templ = ini::getString(core_.szFormatIni, o.format, "Format", fmt::kStandardTemplate,
                               ini::kBuf2048);
    else if (!Trim(o.idLenText).empty() && idLength > 0)
        templ = fmt::IdLengthTemplate(idLength);
    if (!core_.formatter().LoadTemplate(templ, fmt::kStandardFields, ",", "{", "}"))
        Log(S10 + "invalid template, records are saved unformatted: " + templ);
}

void ScheduledRun::TSChkDevice()
{
    ProgramState& st = core_.state();
    if (bInTSChkDevice_) {
        Log("Warning Re-Execute TSChkDevice Function");
        return;
    }
    bInTSChkDevice_ = true;
    complete_ = true;
    core_.SetScreenPointer(kPointerHourglass);
    DeviceOps& device = core_.device();
    SerloClient& link = core_.link();
    DeviceDirectory& dir = core_.directory();
    try {
        device.ReadPX74XInfo();
        Log("\r\n" + T2() + " Start Time scheduler...");
        Message("");
        LoadRunTemplate();
        Options& o = core_.options();
        o.tsfileName = OutputFileName(o, now());
        const std::string mailFile = MailFilePath(core_.paths(), o.tsfileName);

        const auto lines = dir.Lines(); // the list as it stands when the run starts
        for (std::size_t li = 1; li < lines.size(); ++li) {
            if (st.Stopping()) {
                complete_ = false;
                break;
            }
            const DeviceEntry entry = dir.table[static_cast<std::size_t>(lines[li].itemData)];
            const std::string& name = lines[li].text;
            const bool tcp = entry.ComPort == 0;
            Log(S5 + T1() + " Detect " + name);
            Message(T2() + " Detect " + name);
            link.SetPortOpen(false);
            link.SetCommPort(entry.ComPort);

            bool marked = false;
            long pingMs = 0;
            if (!tcp) {
                marked = true;
            } else if (!entry.IPAddr.empty() && entry.IPAddr != "0.0.0.0") {
                pingMs = core_.pinger().Ping(entry.IPAddr, 3000);
                if (pingMs == -1) {
                    Log(S10 + "can't ping " + name + "(" + entry.IPAddr + ")!");
                } else {
                    marked = true;
                    link.SetIAddress(entry.IPAddr);
                    link.SetIPort(SignedPort(entry.IPPort));
                }
            } else {
                Log(S10 + name + " is empty!");
            }
            bool saved = false;
            if (marked) {
                Message(T2() + " Start open communication!");
                Message(T2() + (OpenLinkWithRetry(link, tcp) ? " Communication is Open!"
                                                             : " Communication is no Open!"));
            }
            bool identified = false;
            if (marked && !link.PortOpen()) {
                Log(S10 + (tcp ? "can't open IP:" + link.IAddress()
                               : "can't open COM:" + std::to_string(link.CommPort())));
            } else if (marked) {
                for (int attempt = 1; attempt <= 5 && !identified; ++attempt) {
                    if (st.Stopping()) break;
                    device.PrepareLinkForPoll();
                    std::string reply = device.PollingPX74X(entry.ID);
                    if ((reply.empty() || reply[0] != 'A') && !st.Stopping())
                        reply = device.PollingPX74X(0);
                    if (reply.find("PX74") != std::string::npos && reply.size() >= 3) {
                        const int answering = std::max(0, frame::HexPair(reply[1], reply[2]));
                        if (answering == entry.ID) {
                            identified = true;
                            break;
                        }
                        Silent("Warning Machine ID Change from " + std::to_string(entry.ID) +
                               " to " + std::to_string(answering) + " (" + reply + ")");
                        if (attempt == 1 || attempt == 3) {
                            if (device.CommMultipleID()) {
                                Silent(tcp ? "Multiple Machine ID use IP:" + link.IAddress() + ":" +
                                                 std::to_string(link.IPort() & 0xFFFF) +
                                                 " Can't Auto Recovery ID"
                                           : "Multiple Machine ID use COM" +
                                                 std::to_string(link.CommPort()) +
                                                 " Can't Auto Recovery ID");
                            } else if (device.SetTerminalID(entry.ID, answering)) {
                                Silent("Auto Recovery Machine ID from " +
                                       std::to_string(answering) + " to " +
                                       std::to_string(entry.ID));
                            }
                        }
                    }
                    pumpEvents();
                }
                if (!identified)
                    Log(S10 + name + " no echo!(ID:" + std::to_string(entry.ID) +
                        (tcp ? " IP:" + entry.IPAddr : " COM" + std::to_string(entry.ComPort)) +
                        ")");
            }
            if (identified) {
                Log(S10 + name + " connected!" +
                    (tcp && pingMs >= 101 ? "(Ping:" + std::to_string(pingMs) + ")" : ""));
                const long count = device.GetPXRecordCount();
                if (count == -1) {
                    Log(S10 + "disconnected!");
                } else if (count == 0) {
                    Log(S10 + "no record!");
                    saved = true;
                } else {
                    saved = TSUpload(entry.ID);
                }
                if (o.sat) {
                    for (int attempt = 0; attempt < 5 && link.PortOpen(); ++attempt) {
                        const DateTime t = now();
                        if (link.SetTime(t.year, t.month, t.day, t.hour, t.minute, t.second,
                                         Weekday(t)))
                            break;
                    }
                }
            }
            if (!saved) complete_ = false;
            Message(T2() + " Next device!");
            link.SetPortOpen(false);
            pumpEvents();
        }
        Message(T2() + " Finish!");

        if (o.mailToChecked && FileExists(mailFile)) {
            if (FileSizeOf(mailFile) == 0) {
                Log(S10 + "mail file size is zero!");
            } else {
                Log(S5 + T1() + "Start mail the file!");
                const std::string subject =
                    ExpandDate(o.mailSubject, "{Date#}", now(), "Short Date");
                if (mailer_.SendMail(o.mailTo, o.mailTo, subject, subject, {mailFile})) {
                    std::error_code ec;
                    std::filesystem::remove(mailFile, ec);
                    Log(S10 + "mailed the file OK!");
                } else {
                    // The copy stays: the next run adds to it and mails the whole file.
                    Log(S10 + "can't mail the file: " + mailer_.LastError() + "(" +
                        std::to_string(mailer_.LastErrorNumber()) + ")");
                }
            }
        }
    } catch (const RuntimeError& e) {
        Log(std::string(e.what()) + "(" + std::to_string(e.number) + ")");
        complete_ = false;
    } catch (const std::exception& e) {
        // Nothing may leave the timer's handler; the run ends here, logged.
        Log(std::string(e.what()) + "(5)");
        complete_ = false;
    }
    bInTSChkDevice_ = false;
    core_.SetScreenPointer(kPointerDefault);
}

bool ScheduledRun::OpenWriters()
{
    Options& o = core_.options();
    std::error_code ec;
    if (!std::filesystem::is_directory(o.tsavePath, ec)) o.tsavePath = core_.paths().RecordsDir();
    const bool output = core_.outputWriter().OpenFile(JoinPath(o.tsavePath, o.tsfileName));
    bool backup = false;
    if (!output)
        Log("can't open file!");
    else if (!(backup = core_.backupWriter().OpenFile(BackupFilePath(core_.paths(), now()))))
        Log("can't open backup file!");
    // The mail writer stays enabled on its last path even when this open fails.
    if (o.mailToChecked && !core_.mailWriter().OpenFile(MailFilePath(core_.paths(), o.tsfileName)))
        Log("can't open mail file!");
    return output && backup;
}

bool ScheduledRun::TSUpload(int id)
{
    ProgramState& st = core_.state();
    if (bInTSUpload_) {
        Silent("Warning Re-Execute TSUpload Function");
        return false;
    }
    bInTSUpload_ = true;
    DeviceOps& device = core_.device();
    RecordUpload& upload = core_.upload();
    RecordStore& store = core_.recordStore();
    Saver& output = core_.outputWriter();
    Saver& mail = core_.mailWriter();
    Saver& backup = core_.backupWriter();
    long count = 0, last = 0, start = 0;
    bool readOk = true;
    std::string eraseResult;
    try {
        Log(S10 + "start upload and save data!");
        Message(T2() + "Start upload!");
        store.FilePath = core_.paths().In("Records/" + core_.Title() + ".INI");
        store.MachineID = id;
        if (!OpenWriters()) {
            readOk = false;
        } else {
            const std::string type = core_.options().format;
            const std::string ini =
                type.empty() || type == "(Default)" ? std::string() : core_.szFormatIni;
            WriteHeaderIfEmpty(output, ini, type, core_.formatter());
            // A mail writer opened once stays enabled on its last path.
            if (mail.Enable()) WriteHeaderIfEmpty(mail, ini, type, core_.formatter());
            upload.SetCardIDFilter();

            count = device.GetPXRecordCount();
            if (count > 0) {
                if (upload.MatchStoredRecords(readOk)) {
                    last = store.LastCount();
                    Log(S10 + (last == count
                                   ? "No new record, record count still at " + std::to_string(count)
                                   : "continue save data from " + std::to_string(last) + " to " +
                                         std::to_string(count)));
                } else if (readOk) {
                    store.SetLastCount(0);
                    last = 0;
                } else {
                    last = store.LastCount();
                }
            }
            last = std::max(last, 0L);
            start = last;
            int passes = 0;
            const std::string nul(1, '\0');
            while (readOk && count > 0) {
                if (st.Stopping()) break;
                if (passes == 20) {
                    readOk = false;
                    break;
                }
                ++passes;
                for (long j = last; j < count; ++j) {
                    if (st.Stopping()) {
                        readOk = false;
                        break;
                    }
                    bool ok = false;
                    std::string raw;
                    upload.ReadRecord(static_cast<int>(j), ok, raw);
                    if (!ok) {
                        readOk = false;
                        break;
                    }
                    const std::string rebuilt = RecordUpload::FormatRecordLine(
                        raw, nul, upload.bCIDFilter, upload.lCIDStart, upload.lCIDLength);
                    const std::string line = ThreeDigits(id) + nul +
                                             (rebuilt.size() > 6 ? rebuilt.substr(6) : "") + nul +
                                             std::to_string(j + 1);
                    std::string formatted = core_.formatter().FormatRecord(line, '\0');
                    if (!core_.formatter().bTemplateOK()) // unformatted, but never with NUL bytes
                        std::replace(formatted.begin(), formatted.end(), '\0', ',');
                    const bool written = output.WriteFile(formatted);
                    if (written && mail.Enable()) mail.WriteFile(formatted);
                    if (written) backup.WriteFile(ThreeDigits(id) + "," + raw);
                    Message("Save: " + std::to_string(j) + "/" + std::to_string(count));
                    if (!written) {
                        Log(S10 + (output.Error().empty()
                                       ? std::string("save data NG!")
                                       : "save data NG!(" + output.Error() + ")"));
                        readOk = false;
                        break;
                    }
                    store.SaveProgress(j, raw);
                    last = j + 1;
                }
                if (!readOk) break;
                long count2 = device.GetPXRecordCount();
                if (count2 == last) {
                    const double limit = static_cast<double>(device.lMaxCount) * device.dEraseRatio;
                    if (limit < static_cast<double>(count2)) {
                        // A punch that arrived since must not be erased unsaved: look again
                        // right before erasing, and take another pass when the count moved.
                        const long recheck = device.GetPXRecordCount();
                        if (recheck != last) {
                            if (recheck > last) {
                                count = recheck;
                                continue;
                            }
                            break;
                        }
                        if (core_.link().EraseRecord(-1)) {
                            eraseResult = "delete record OK!";
                            store.Delete();
                        } else {
                            eraseResult = "can't delete record!";
                        }
                    }
                    break;
                }
                if (count2 > last) {
                    count = count2;
                    continue;
                }
                break;
            }
        }
        if (last - start > 0) {
            Log(S10 + "save record count: " + std::to_string(last - start));
            Log(S10 + "save file path: " + output.Path());
        }
        if (!eraseResult.empty()) Log(S10 + eraseResult);
    } catch (const RuntimeError& e) {
        Log(std::string(e.what()) + "(" + std::to_string(e.number) + ")");
        readOk = false;
    } catch (const std::exception& e) {
        Log(std::string(e.what()) + "(5)");
        readOk = false;
    }
    bInTSUpload_ = false;
    const bool stopped = st.Stopping();
    std::string final;
    if (readOk && !stopped)
        final = count == -1  ? "Can't get record count!"
                : count != 0 ? "save data OK!"
                             : "No record!";
    else if (!stopped)
        final = count == -1  ? "Can't get record count!"
                : count != 0 ? "save data break out at record #" + std::to_string(last)
                             : "save data NG!";
    else
        final = count == -1  ? "Can't get record count!"
                : count != 0 ? "cancel save data at record #" + std::to_string(last)
                             : "cancel save data";
    lastUploadResult_ = final;
    Log(S10 + final);
    return readOk && !stopped && count != -1;
}

} // namespace px
