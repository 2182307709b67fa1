#include "BellPage.h"

#include "Controls.h"
#include "DeviceControls.h"
#include "FrmDuration.h"
#include "OperationGuard.h"
#include "Program.h"
#include "TablePage.h"
#include "TimeGrid.h"
#include "TimeTables.h"

#include <QButtonGroup>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace px {

BellPage::BellPage() : ProgramPage("SSTab_1")
{
    grid_ = new TimeGrid("fgdRingTab", "dtpRingTable", nullptr, "3060,3061,3062",
                         {"No.", "Hour", "Minute"});
    auto* label = BuddyLabel("Enter desired ring time:", grid_, "labRingTable", "3064");

    struct Button {
        const char *caption, *tip, *tag;
    };
    const Button buttons[] = {
        {"Upload", "Upload ring table", "3065,3066"},
        {"Download", "Download ring table", "3067,3068"},
        {"Save", "Save Ring Table to file", "3069,3070"},
        {"Load", "Load Ring Table from file", "3071,3072"},
        {"Clear", "Clear ring table", "3073,3074"},
        {"Disable", "Disable", "3075,3076"},
        {"Duration", "Set Bell duration", "3077,3078"},
    };
    auto* column = new QVBoxLayout;
    for (int i = 0; i < 7; ++i) {
        cmdRing_[static_cast<std::size_t>(i)] =
            Named(new QPushButton(buttons[i].caption), "cmdRing", i);
        cmdRing_[static_cast<std::size_t>(i)]->setToolTip(buttons[i].tip);
        SetTag(cmdRing_[static_cast<std::size_t>(i)], buttons[i].tag);
        column->addWidget(cmdRing_[static_cast<std::size_t>(i)]);
        connect(cmdRing_[static_cast<std::size_t>(i)], &QPushButton::clicked, this,
                [this, i] { ButtonClicked(i); });
    }

    framAlarm_ = Named(new QGroupBox("Relay Control mode"), "framAlarm");
    SetTag(framAlarm_, "3079");
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
    left->addWidget(grid_, 1);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(column);
}

void BellPage::Bind(Program& program)
{
    ProgramPage::Bind(program);
    grid_->Bind(core().bellTable());
}

void BellPage::AfterLoad()
{
    // A language without a door-lock relay says so with text 30 = "0".
    optRelay_[1]->setVisible(core().GetText(30, "") != "0");
}

void BellPage::SetHeld(bool held)
{
    for (QPushButton* b : cmdRing_)
        b->setEnabled(!held);
    framAlarm_->setEnabled(!held);
    if (!busy_) grid_->setEnabled(!held);
}

void BellPage::ButtonClicked(int index)
{
    if (!Bound()) return;
    Core& c = core();
    TimeTable& table = c.bellTable();
    const QString rings = QString::fromStdString(c.paths().In("Rings"));
    switch (index) {
    case 0:
        UploadToGrid(c, grid_, table, busy_);
        break;
    case 1:
        RunTableTransfer(c, grid_, busy_, [&] { DownloadTable(c.session(), table); });
        break;
    case 2:
        table.SetAllGrey(false);
        QDir().mkpath(rings);
        SaveTableFile(c, window(), table, rings, QString::fromStdString(c.Title() + "RIN.TXT"),
                      "bell table");
        break;
    case 3:
        QDir().mkpath(rings);
        LoadTableFile(c, window(), grid_, table, rings, "Text (*.txt);;Backup (*.bak)",
                      "Bell table");
        break;
    case 4:
        grid_->HideEditors();
        table.Clear();
        grid_->setCurrentCell(0, 1);
        break;
    case 5:
        RunTableTransfer(c, grid_, busy_, [&] { DisableBellTable(c.session(), table); });
        grid_->setFocus();
        break;
    case 6: {
        OperationGuard guard(c);
        if (!guard) return;
        FrmDuration dialog(window(), c);
        if (dialog.Loaded()) dialog.exec();
        break;
    }
    default:
        break;
    }
}

} // namespace px
