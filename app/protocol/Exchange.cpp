#include "Exchange.h"

#include "Core.h"
#include "Frame.h"
#include "Replies.h"
#include "ReplyCollector.h"
#include "RuntimeError.h"
#include "TextIds.h"
#include "Trace.h"
#include "Wait.h"

#include <cstdlib>

namespace px {

std::string Exchange::SendVNetCmd(const std::string& szCMD, bool bTxChkSum, bool bRxChkSum)
{
    ProgramState& st = core_.state();
    std::string result;
    st.bCmdTimeout = false;
    st.bStopComm = false; // a stop meant for an earlier exchange is not held against this one
    // Depth and pointer come back on every way out, also past an exception that is not the
    // program's own: a depth left raised would refuse closing for ever.
    struct Restore {
        Core& core;
        int pointer;
        explicit Restore(Core& c) : core(c), pointer(c.ScreenPointer())
        {
            ++core.state().nBusyDepth;
        }
        ~Restore()
        {
            --core.state().nBusyDepth;
            try {
                core.SetScreenPointer(pointer);
            } catch (...) { // nothing may leave a destructor
            }
        }
        Restore(const Restore&) = delete;
        Restore& operator=(const Restore&) = delete;
    } restore(core_);
    core_.SetScreenPointer(kPointerHourglass);
    try {
        SerloClient& link = core_.link();
        if (link.PortOpen()) {
            (void)link.Text(); // discard whatever waits from before
            const std::string outgoing = bTxChkSum ? szCMD + frame::Checksum(szCMD) : szCMD;
            Serlo_VNetMonitor(1, outgoing);
            link.SetText(std::string(1, frame::STX) + outgoing + frame::CR);

            ReplyCollector reply(bRxChkSum);
            std::int64_t budget = link.VNetTimeout();
            std::int64_t last = tickCount();
            enum class End { Complete, TimedOut, Stopped } end;
            for (;;) {
                pumpEvents();
                int waiting = link.RxCount();
                if (waiting == 0 && budget > 1) {
                    // Sleep until the link reports data (or anything else happens).
                    waitForEvent(Millis(budget));
                    waiting = link.RxCount();
                }
                bool complete = false;
                for (int i = 0; i < waiting && !complete; ++i) {
                    complete = reply.Feed(static_cast<char>(link.Char()));
                    if (st.bStopComm) break;
                }
                if (complete) {
                    end = End::Complete;
                    break;
                }
                const std::int64_t now = tickCount();
                budget -= std::llabs(now - last);
                last = now;
                if (budget <= 0) {
                    end = End::TimedOut;
                    break;
                }
                if (st.bStopComm) {
                    end = End::Stopped;
                    break;
                }
            }
            if (end == End::TimedOut) {
                st.bCmdTimeout = true;
                Serlo_VNetMonitor(0, "$TIMEOUT");
            } else if (end == End::Complete && !st.bStopComm) {
                Serlo_VNetMonitor(2, reply.Reply());
                result = reply.Reply();
            }
        }
    } catch (const RuntimeError&) {
        result.clear();
    }
    return result;
}

void Exchange::Serlo_VNetMonitor(int nDirection, std::string szText)
{
    qCDebug(pxApp).noquote() << (nDirection == 1   ? "APP:"
                                 : nDirection == 2 ? "DEV:"
                                                   : "DRV:")
                             << szText.c_str();
    ProgramState& st = core_.state();
    if (szText == "$TIMEOUT") {
        st.bLinkTimeout = true;
    } else {
        if (!szText.empty() && szText.front() == frame::STX) szText.erase(0, 1);
        if (!szText.empty() && szText.back() == frame::CR) szText.pop_back();
    }
    switch (nDirection) {
    case 0:
        core_.ShowText("DRV:" + szText);
        if (szText == "$TIMEOUT")
            szText = core_.GetText(txt::kNotUnitFound.id, txt::kNotUnitFound.english);
        core_.ShowStatusText(szText);
        core_.SetWindowPointer(rememberedPointer_);
        rememberedPointer_ = kPointerDefault;
        break;
    case 1:
        core_.ShowText("APP:<STX>" + szText + "<CR>");
        rememberedPointer_ = core_.WindowPointer();
        core_.SetWindowPointer(kPointerHourglass);
        break;
    case 2:
        core_.ShowText("DEV:<STX>" + szText + "<CR>");
        if (!szText.empty() && szText[0] == 'A') {
            if (!st.bTSRunning)
                core_.ShowStatusText(
                    core_.GetText(txt::kCommandAccepted.id, txt::kCommandAccepted.english));
            st.nStatusID = txt::kCommandAccepted.id;
        } else if (!szText.empty() && szText[0] == 'N') {
            const int code = reply::RefusalCode(szText);
            if (code < 7 && !st.bTSRunning) {
                st.nStatusID = txt::kRefusalBase + code;
                core_.ShowStatusText(core_.GetText(st.nStatusID, txt::kRefusalEnglish[code]));
            }
        }
        core_.SetWindowPointer(rememberedPointer_);
        rememberedPointer_ = kPointerDefault;
        break;
    default:
        break;
    }
}

} // namespace px
