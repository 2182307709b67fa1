#include "InOutPage.h"

#include "Controls.h"
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
    if (!Bound()) return;
    Core& c = core();
    TimeTable& table = c.ioSchedule();
    const QString folder = QString::fromStdString(c.paths().folder);
    switch (index) {
    case 0:
        UploadToGrid(c, grid_, table, busy_);
        break;
    case 1:
        RunTableTransfer(c, grid_, busy_, [&] { DownloadTable(c.session(), table); });
        break;
    case 2:
        grid_->HideEditors();
        table.Clear();
        break;
    case 3:
        SaveTableFile(c, window(), table, folder,
                      QString::fromStdString(c.paths().In(c.Title() + "IOS.TXT")),
                      "In/Out schedule");
        break;
    case 4:
        LoadTableFile(c, window(), grid_, table, folder, "text (*.txt)", "In/Out schedule");
        break;
    default:
        break;
    }
}

} // namespace px
