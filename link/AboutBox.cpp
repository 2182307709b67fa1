#include "AboutBox.h"

#include "GuiThread.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace serlo {

void ShowAboutBox()
{
    if (!OnGuiThread()) return;
    QDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle("About Serlo Control");
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel("Serlo Control, Version 1.0", &dialog));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.exec();
}

} // namespace serlo
