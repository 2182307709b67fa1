// The program's file dialogs: Qt's own (not the desktop's), so that they look and behave the
// same everywhere and can be driven by name. An empty result means Cancel.
#pragma once

#include <QString>

class QWidget;

namespace px {

// filters as Qt writes them: "text (*.txt);;Backup (*.bak)".
QString AskSaveFile(QWidget* owner, const QString& title, const QString& folder,
                    const QString& name, const QString& filters);
QString AskOpenFile(QWidget* owner, const QString& title, const QString& folder,
                    const QString& filters);

} // namespace px
