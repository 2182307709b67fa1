#include "Exchange.h"

#include "Frame.h"
#include "Replies.h"
#include "ReplyCollector.h"
#include "RuntimeError.h"
#include "TerminalSession.h"
#include "TextIds.h"
#include "Trace.h"
#include "View.h"
#include "Wait.h"

#include <cstdlib>

namespace px {

namespace {

// One exchange in progress: depth and pointer come back on every way out, also past an exception
// that is not the program's own; a depth left raised would refuse closing for ever.
class BusyScope {
public:
    BusyScope(LinkState& state, SessionReporter& report)
        : state_(state), report_(report), pointer_(report.ScreenPointer())
    {
        ++state_.nBusyDepth;
    }
    ~BusyScope()
    {
        --state_.nBusyDepth;
        try {
            report_.SetScreenPointer(pointer_);
        } catch (...) { // nothing may leave a destructor
        }
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    LinkState& state_;
    SessionReporter& report_;
    int pointer_;
};

} // namespace

std::string Exchange::SendVNetCmd(const std::string& szCMD, bool bTxChkSum, bool bRxChkSum)
{
    LinkState& st = session_.state();
    SessionReporter& report = session_.reporter();
    std::string result;
    st.bCmdTimeout = false;
    st.bStopComm = false; // a stop meant for an earlier exchange is not held against this one
    const BusyScope busy(st, report);
    report.SetScreenPointer(kPointerHourglass);
    try {
        SerloClient& link = session_.link();
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
    LinkState& st = session_.state();
    SessionReporter& report = session_.reporter();
    if (szText == "$TIMEOUT") {
        st.bLinkTimeout = true;
    } else {
        if (!szText.empty() && szText.front() == frame::STX) szText.erase(0, 1);
        if (!szText.empty() && szText.back() == frame::CR) szText.pop_back();
    }
    switch (nDirection) {
    case 0:
        report.Monitor("DRV:" + szText);
        if (szText == "$TIMEOUT")
            szText = report.Text(txt::kNotUnitFound.id, txt::kNotUnitFound.english);
        report.Status(szText);
        report.SetWindowPointer(rememberedPointer_);
        rememberedPointer_ = kPointerDefault;
        break;
    case 1:
        report.Monitor("APP:<STX>" + szText + "<CR>");
        rememberedPointer_ = report.WindowPointer();
        report.SetWindowPointer(kPointerHourglass);
        break;
    case 2:
        report.Monitor("DEV:<STX>" + szText + "<CR>");
        if (!szText.empty() && szText[0] == 'A') {
            if (report.SchedulerRunning())
                report.RememberStatus(txt::kCommandAccepted.id);
            else
                report.StatusText(txt::kCommandAccepted.id, txt::kCommandAccepted.english);
        } else if (!szText.empty() && szText[0] == 'N') {
            const int code = reply::RefusalCode(szText);
            if (code < 7 && !report.SchedulerRunning())
                report.StatusText(txt::kRefusalBase + code, txt::kRefusalEnglish[code]);
        }
        report.SetWindowPointer(rememberedPointer_);
        rememberedPointer_ = kPointerDefault;
        break;
    default:
        break;
    }
}

} // namespace px
