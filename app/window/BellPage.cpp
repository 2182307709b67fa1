#include "BellPage.h"

#include "Controls.h"
#include "DeviceControls.h"
#include "FrmDuration.h"
#include "OperationGuard.h"
#include "Program.h"
#include "TimeGrid.h"
#include "TimeTables.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

namespace px {

BellPage::BellPage()
    : TablePage("SSTab_1", new TimeGrid("fgdRingTab", "dtpRingTable", nullptr, "3060,3061,3062",
                                        {"No.", "Hour", "Minute"}))
{
    auto* label = BuddyLabel("Enter desired ring time:", Grid(), "labRingTable", "3064");
    QVBoxLayout* column = AddButtons(
        "cmdRing", {
                       {Command::Upload, "Upload", "Upload ring table", "3065,3066"},
                       {Command::Download, "Download", "Download ring table", "3067,3068"},
                       {Command::Save, "Save", "Save Ring Table to file", "3069,3070"},
                       {Command::Load, "Load", "Load Ring Table from file", "3071,3072"},
                       {Command::Clear, "Clear", "Clear ring table", "3073,3074"},
                       {Command::Disable, "Disable", "Disable", "3075,3076"},
                       {Command::Duration, "Duration", "Set Bell duration", "3077,3078"},
                   });

    framAlarm_ = Named(new QGroupBox("Relay Control mode"), "framAlarm");
    SetTag(framAlarm_, "3079");
    HoldAlso(framAlarm_);
    relayGroup_ = new QButtonGroup(this);
    auto* relays = new QVBoxLayout(framAlarm_);
    const char* captions[] = {"For Alarm", "For Door Lock"};
    const char* tags[] = {"3080", "3081"};
    for (int i = 0; i < 2; ++i) {
        optRelay_[static_cast<std::size_t>(i)] =
            Named(new QRadioButton(captions[i]), "optRelay", i);
        SetTag(optRelay_[static_cast<std::size_t>(i)], tags[i]);
        relayGroup_->addButton(optRelay_[static_cast<std::size_t>(i)], i);
        relays->addWidget(optRelay_[static_cast<std::size_t>(i)]);
    }
    // Toggled, not clicked: assistive technology selects an option without a click.
    connect(relayGroup_, &QButtonGroup::idToggled, this, [this](int mode, bool checked) {
        if (!checked || !Bound()) return;
        OperationGuard guard(core());
        if (guard) RelayModeClicked(core().session(), mode);
    });
    column->addSpacing(12);
    column->addWidget(framAlarm_);
    column->addStretch(1);

    auto* left = new QVBoxLayout;
    left->addWidget(label);
    left->addWidget(Grid(), 1);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(column);
}

void BellPage::AfterLoad()
{
    // A language without a door-lock relay says so with text 30 = "0".
    optRelay_[1]->setVisible(core().GetText(30, "") != "0");
}

TimeTable& BellPage::Table() const
{
    return core().bellTable();
}

TablePage::FilePlace BellPage::Files() const
{
    const Core& c = core();
    return {"Bell table",
            QString::fromStdString(c.paths().In("Rings")),
            QString::fromStdString(c.Title() + "RIN.TXT"),
            "Text (*.txt);;Backup (*.bak)",
            QString::fromStdString(c.GetText(3070, "Save Ring Table to file")),
            QString::fromStdString(c.GetText(3072, "Load Ring Table from file"))};
}

void BellPage::RunOwnCommand(Command command)
{
    Core& c = core();
    if (command == Command::Disable) {
        RunTransfer([&c, this] { DisableBellTable(c.session(), Table()); });
        Grid()->setFocus();
    } else if (command == Command::Duration) {
        OperationGuard guard(c);
        if (!guard) return;
        FrmDuration dialog(window(), c);
        if (dialog.Loaded()) dialog.exec();
    }
}

} // namespace px
