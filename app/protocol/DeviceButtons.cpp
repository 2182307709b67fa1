#include "DeviceButtons.h"

#include "DeviceDirectory.h"
#include "Identify.h"
#include "TerminalSession.h"
#include "TextIds.h"
#include "VbText.h"
#include "View.h"

namespace px {

namespace {

// Every button first forgets earlier time-outs and clears the status line.
void BeginButton(TerminalSession& session)
{
    session.state().bLinkTimeout = false;
    session.reporter().StatusText(0, "");
}

} // namespace

std::vector<std::string> IdChoices(const DeviceDirectory& dir, int withoutId)
{
    std::vector<std::string> out;
    const auto& lines = dir.Lines();
    for (std::size_t i = 1; i < lines.size(); ++i)
        if (lines[i].itemData != withoutId) out.push_back(lines[i].text);
    return out;
}

int IdOfLine(const std::string& line)
{
    const std::string digits = line.substr(0, 3);
    if (digits.size() != 3 || !IsNumeric(digits)) return 0;
    return static_cast<int>(Val(digits));
}

void SetMachineIdButton(TerminalSession& session, DeviceDirectory& dir, View& view)
{
    BeginButton(session);
    SessionReporter& report = session.reporter();
    if (report.SchedulerRunning() || dir.Lines().empty()) return;
    const auto choices = IdChoices(dir, session.state().iCurrentID);
    if (choices.empty()) return; // nothing to offer: no dialog
    const int newId = IdOfLine(view.AskNewId(choices));
    if (newId <= 0) return;
    if (!ChangeMachineId(session, dir, newId)) {
        report.StatusText(txt::kIdChangeFailed.id, txt::kIdChangeFailed.english);
        session.device().Error(21);
        session.device().OffLine();
    }
}

void SetTimeButton(TerminalSession& session, View& view)
{
    BeginButton(session);
    DeviceOps& device = session.device();
    Stamp time;
    if (!device.GetPXTime(&time)) {
        if (session.state().bLinkTimeout) {
            device.Error(1);
            device.OffLine();
        } else {
            device.Error(19);
        }
        return;
    }
    if (!view.AskTime(time)) return;
    if (!device.SetPXTime(time) && session.state().bLinkTimeout) {
        device.Error(1);
        device.OffLine();
    }
}

void ResetButton(TerminalSession& session, View& view)
{
    BeginButton(session);
    SessionReporter& report = session.reporter();
    if (report.SchedulerRunning()) return;
    // Yes destroys the terminal's state: No is the default, and the answer when nobody is there.
    if (!view.Question(report.Text(818, "Do you really want to reset the terminal?"),
                       Icon::Question, false))
        return;
    if (report.SchedulerRunning()) return;
    view.MessageBox(report.Text(125, "The terminal will be reset when you switch it off "
                                     "and back on again."),
                    Icon::Information, report.Title());
    session.device().ResetTerminal();
}

bool IsAccessCode(const std::string& text)
{
    return text == "QZRX" || text == "4719";
}

} // namespace px
