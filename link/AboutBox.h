// The control's About box: a small modal dialog when the host runs a GUI application, nothing in
// a console or headless host.
#pragma once

namespace serlo {
void ShowAboutBox();
}
