#include "TableTransfer.h"

#include "RuntimeError.h"
#include "TerminalSession.h"
#include "VbText.h"

#include <cstdio>

namespace px {

void SortTable(std::vector<std::string>& t)
{
    for (std::size_t i = 0; i + 1 < t.size(); ++i)
        for (std::size_t j = i + 1; j < t.size(); ++j) {
            if (t[j] == t[i])
                t[j].clear();
            else if (!t[j].empty() && (t[i] > t[j] || t[i].empty()))
                std::swap(t[i], t[j]);
        }
}

bool TableTransfer::SetPXTable(std::vector<std::string>& table, int count, int timeReg,
                               int eventReg, const std::string& eventMask, std::string disableEvent)
{
    LinkState& st = session_.state();
    st.bLinkTimeout = false;
    nTableErr = 0;
    try {
        SortTable(table);
        if (disableEvent.size() < 2) disableEvent = "XX";
        SerloClient& link = session_.link();
        if (!link.PortOpen()) return false;
        bool anyWritten = false;
        for (int j = 0; j < count; ++j) {
            const std::string entry =
                j < static_cast<int>(table.size()) ? table[static_cast<std::size_t>(j)] : "";
            std::string time = CompactTime(entry);
            std::string event = entry.size() > 6 ? entry.substr(6) : "";
            if (event.size() != 2 || time.size() != 4) {
                time = "XXXX";
                event = disableEvent;
            }
            bool ok = false;
            for (int a = 0; a < 3 && !ok; ++a)
                ok = link.SetRegister(eventReg + j, event);
            if (!ok) nTableErr = 16;
            if (ok && eventMask.find("A" + event) != std::string::npos) {
                ok = false;
                for (int a = 0; a < 3 && !ok; ++a)
                    ok = link.SetRegister(timeReg + j, time);
                if (!ok) nTableErr = 15;
            }
            if (ok) {
                anyWritten = true;
            } else if (st.bLinkTimeout) {
                nTableErr = 1;
                break;
            }
        }
        return !st.bLinkTimeout && anyWritten;
    } catch (const RuntimeError&) {
        return false;
    }
}

bool TableTransfer::GetPXTable(std::vector<std::string>& table, int count, int timeReg,
                               int eventReg, const std::string& eventMask)
{
    LinkState& st = session_.state();
    table.assign(static_cast<std::size_t>(std::max(count, 0)), std::string());
    st.bLinkTimeout = false;
    nTableErr = 0;
    try {
        SerloClient& link = session_.link();
        if (!link.PortOpen()) return false;
        bool anyRead = false;
        std::size_t stored = 0;
        for (int j = 0; j < count; ++j) {
            std::string reply;
            for (int a = 0; a < 3 && !IsAccepted(reply); ++a)
                reply = link.GetRegister(eventReg + j);
            bool failed = false;
            if (!IsAccepted(reply)) {
                nTableErr = 18;
                failed = true;
            } else {
                anyRead = true;
                if (const auto code = reply::ParseSlotEvent(reply, eventMask)) {
                    std::string timeReply;
                    for (int a = 0; a < 3 && !IsAccepted(timeReply); ++a)
                        timeReply = link.GetRegister(timeReg + j);
                    const std::string time = reply::ParseSlotTime(timeReply);
                    if (time.empty()) {
                        nTableErr = 17;
                        failed = true;
                    } else {
                        table[stored++] = time + "," + *code;
                    }
                }
            }
            if (failed && st.bLinkTimeout) {
                nTableErr = 1;
                break;
            }
        }
        SortTable(table);
        return !st.bLinkTimeout && anyRead;
    } catch (const RuntimeError&) {
        return false;
    }
}

} // namespace px
