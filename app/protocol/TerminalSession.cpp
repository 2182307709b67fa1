#include "TerminalSession.h"

namespace px {

TerminalSession::TerminalSession(SessionReporter& reporter)
    : reporter_(reporter), exchange_(*this), device_(*this),
      pinger_(state_, [this](const std::string& line) { reporter_.Log(line, false); }),
      records_(*this)
{
    pinger_.NoteOncePerProgram();
}

TerminalSession::~TerminalSession()
{
    // The control goes with the session; it must not report into a session half destroyed.
    link_.onMonitor = nullptr;
    link_.onComm = nullptr;
}

bool TerminalSession::CreateLink(std::string* error)
{
    if (!link_.Create(error)) return false;
    link_.onMonitor = [this](int index, const std::string& text) {
        exchange_.Serlo_VNetMonitor(index, text);
    };
    return true;
}

void TerminalSession::StopOperation()
{
    state_.bStopComm = true;
    state_.bStopPing = true;
    state_.bCancelOpen = true;
    state_.bStopUpload = true;
}

} // namespace px
