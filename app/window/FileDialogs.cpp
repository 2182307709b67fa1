#include "FileDialogs.h"

#include "Controls.h"

#include <QFileDialog>

namespace px {

namespace {

QString Ask(QWidget* owner, bool save, const QString& title, const QString& folder,
            const QString& name, const QString& filters)
{
    QFileDialog dialog(owner, title, folder, filters);
    Named(&dialog, "dlgFile");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!name.isEmpty()) dialog.selectFile(name);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

} // namespace

QString AskSaveFile(QWidget* owner, const QString& title, const QString& folder,
                    const QString& name, const QString& filters)
{
    return Ask(owner, true, title, folder, name, filters);
}

QString AskOpenFile(QWidget* owner, const QString& title, const QString& folder,
                    const QString& filters)
{
    return Ask(owner, false, title, folder, {}, filters);
}

} // namespace px
