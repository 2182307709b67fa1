#include "InOutPage.h"

#include "AccessibleNames.h"
#include "Program.h"
#include "TimeGrid.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace px {

InOutPage::InOutPage()
    : TablePage("SSTab_2",
                new TimeGrid("fgdIOSTable", "dtpIOSTable", "cboIOSTable", "3060,3061,3062,3063",
                             {"No.", "Hour", "Minute", "Direction"}))
{
    QVBoxLayout* column = AddButtons("cmdIOSCMD", {
                                                      {Command::Upload, "Upload", "", "3086"},
                                                      {Command::Download, "Download", "", "3087"},
                                                      {Command::Clear, "Clear", "", "3088"},
                                                      {Command::Save, "Save", "", "3089"},
                                                      {Command::Load, "Load", "", "3090"},
                                                  });
    column->addStretch(1);
    NameByText(Grid(), 250, "In / Out Schedule");
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(Grid(), 1);
    layout->addLayout(column);
}

TimeTable& InOutPage::Table() const
{
    return core().ioSchedule();
}

TablePage::FilePlace InOutPage::Files() const
{
    const Core& c = core();
    return {"In/Out schedule",
            QString::fromStdString(c.paths().folder),
            QString::fromStdString(c.paths().In(c.Title() + "IOS.TXT")),
            "text (*.txt)",
            QString::fromStdString(c.GetText(3202, "Save In/Out schedule to file")),
            QString::fromStdString(c.GetText(3203, "Load In/Out schedule from file"))};
}

} // namespace px
