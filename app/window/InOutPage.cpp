#include "InOutPage.h"

#include "Controls.h"
#include "DesktopOpen.h"
#include "FileDialogs.h"
#include "OperationGuard.h"
#include "Program.h"
#include "TablePage.h"
#include "TimeGrid.h"
#include "TimeTables.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace px {

InOutPage::InOutPage() : ProgramPage("SSTab_2")
{
    grid_ = new TimeGrid("fgdIOSTable", "dtpIOSTable", "cboIOSTable", "3060,3061,3062,3063",
                         {"No.", "Hour", "Minute", "Direction"});
    const char* captions[] = {"Upload", "Download", "Clear", "Save", "Load"};
    const char* tags[] = {"3086", "3087", "3088", "3089", "3090"};
    auto* column = new QVBoxLayout;
    for (int i = 0; i < 5; ++i) {
        cmdIOSCMD_[static_cast<std::size_t>(i)] =
            Named(new QPushButton(captions[i]), "cmdIOSCMD", i);
        SetTag(cmdIOSCMD_[static_cast<std::size_t>(i)], tags[i]);
        column->addWidget(cmdIOSCMD_[static_cast<std::size_t>(i)]);
        connect(cmdIOSCMD_[static_cast<std::size_t>(i)], &QPushButton::clicked, this,
                [this, i] { ButtonClicked(i); });
    }
    column->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(grid_, 1);
    layout->addLayout(column);
}

void InOutPage::Bind(Program& program)
{
    ProgramPage::Bind(program);
    grid_->Bind(core().ioSchedule());
}

void InOutPage::SetHeld(bool held)
{
    for (QPushButton* b : cmdIOSCMD_)
        b->setEnabled(!held);
    if (!busy_) grid_->setEnabled(!held);
}

void InOutPage::ButtonClicked(int index)
{
    if (!Bound() || busy_) return;
    Core& c = core();
    TimeTable& table = c.ioSchedule();
    switch (index) {
    case 0: { // Upload
        OperationGuard guard(c);
        if (!guard) return;
        TableBusy busy(c, grid_, busy_);
        table.Clear();
        UploadTable(c, table);
        grid_->setCurrentCell(0, 1);
        break;
    }
    case 1: { // Download
        OperationGuard guard(c);
        if (!guard) return;
        TableBusy busy(c, grid_, busy_);
        DownloadTable(c, table);
        break;
    }
    case 2:
        grid_->HideEditors();
        table.Clear();
        break;
    case 3:
        Save();
        break;
    case 4:
        Load();
        break;
    default:
        break;
    }
}

void InOutPage::Save()
{
    Core& c = core();
    const QString folder = QString::fromStdString(c.paths().folder);
    const QString file =
        AskSaveFile(window(), {}, folder,
                    QString::fromStdString(c.paths().In(c.Title() + "IOS.TXT")), "text (*.txt)");
    if (file.isEmpty()) return;
    std::string error;
    if (!c.ioSchedule().Save(file.toStdString(), &error)) {
        c.view().MessageBox("The In/Out schedule could not be saved: " + error, Icon::Critical, "");
        return;
    }
    OpenWithDesktop(c, file.toStdString());
}

void InOutPage::Load()
{
    Core& c = core();
    const QString file =
        AskOpenFile(window(), {}, QString::fromStdString(c.paths().folder), "text (*.txt)");
    if (file.isEmpty()) return;
    grid_->HideEditors();
    const int invalid = c.ioSchedule().Load(file.toStdString());
    if (invalid < 0) {
        c.view().MessageBox("The file cannot be read: " + file.toStdString(), Icon::Critical, "");
        return;
    }
    NoteInvalidLines(c, "In/Out schedule", file.toStdString(), invalid);
    grid_->setCurrentCell(0, 2);
}

} // namespace px
