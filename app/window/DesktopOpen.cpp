#include "DesktopOpen.h"

#include "Core.h"

#include <QDesktopServices>
#include <QUrl>

namespace px {

bool OpenWithDesktop(Core& core, const std::string& path)
{
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)))) return true;
    core.eventLog().WriteLog("No program of the desktop opens " + path, true);
    return false;
}

} // namespace px
