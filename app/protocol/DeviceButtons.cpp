#include "DeviceButtons.h"

#include "Core.h"
#include "DeviceOps.h"
#include "TextIds.h"
#include "VbText.h"

namespace px {

namespace {

// Every button first forgets earlier time-outs and clears the status line.
void BeginButton(Core& core)
{
    core.state().bLinkTimeout = false;
    core.ShowStatus(0, "");
}

} // namespace

std::vector<std::string> IdChoices(const Core& core, int withoutId)
{
    std::vector<std::string> out;
    const auto& lines = core.directory().Lines();
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

void SetMachineIdButton(Core& core)
{
    BeginButton(core);
    if (core.state().bTSRunning || core.directory().Lines().empty()) return;
    const auto choices = IdChoices(core, core.state().iCurrentID);
    if (choices.empty()) return; // nothing to offer: no dialog
    const int newId = IdOfLine(core.view().AskNewId(choices));
    if (newId <= 0) return;
    if (!core.device().SetID(newId)) {
        core.ShowStatus(txt::kIdChangeFailed.id, txt::kIdChangeFailed.english);
        core.ErrorBox(21);
        core.device().OffLine();
    }
}

void SetTimeButton(Core& core)
{
    BeginButton(core);
    DeviceOps& device = core.device();
    Stamp time;
    if (!device.GetPXTime(&time)) {
        if (core.state().bLinkTimeout) {
            core.ErrorBox(1);
            device.OffLine();
        } else {
            core.ErrorBox(19);
        }
        return;
    }
    if (!core.view().AskTime(time)) return;
    if (!device.SetPXTime(time) && core.state().bLinkTimeout) {
        core.ErrorBox(1);
        device.OffLine();
    }
}

void ResetButton(Core& core)
{
    BeginButton(core);
    if (core.state().bTSRunning) return;
    // Yes destroys the terminal's state: No is the default, and the answer when nobody is there.
    if (!core.view().Question(core.GetText(818, "Do you really want to reset the terminal?"),
                              Icon::Question, false))
        return;
    if (core.state().bTSRunning) return;
    core.view().MessageBox(core.GetText(125, "The terminal will be reset when you switch it off "
                                             "and back on again."),
                           Icon::Information, core.Title());
    core.device().ResetTerminal();
}

bool IsAccessCode(const std::string& text)
{
    return text == "QZRX" || text == "4719";
}

} // namespace px
