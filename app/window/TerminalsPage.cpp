#include "TerminalsPage.h"

#include "Connect.h"
#include "Controls.h"
#include "DeviceButtons.h"
#include "DeviceControls.h"
#include "FieldRules.h"
#include "OperationGuard.h"
#include "Program.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace px {

namespace {

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

// Names longer than this would not survive the directory's mirror in the settings store.
constexpr int kNameLength = 64;

// Enter on the list opens the selected terminal, as a double-click does.
class EnterFilter : public QObject {
public:
    EnterFilter(QObject* parent, std::function<void()> enter)
        : QObject(parent), enter_(std::move(enter))
    {
    }
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() != QEvent::KeyPress) return false;
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
        enter_();
        return true;
    }

private:
    std::function<void()> enter_;
};

} // namespace

TerminalsPage::TerminalsPage() : ProgramPage("SSTab_0")
{
    BuildFields();
    BuildCommands();
    ApplyEnabled();
}

void TerminalsPage::BuildFields()
{
    lstDevice_ = Named(new QListWidget, "lstDevice");
    SetTag(lstDevice_, "3017");
    lstDevice_->setToolTip("Double-click a terminal to connect to it");
    lstDevice_->installEventFilter(
        new EnterFilter(lstDevice_, [this] { OpenTerminalAt(lstDevice_->currentRow()); }));
    const char* listCaptions[] = {"Add", "Delete"};
    const char* listTags[] = {"3011", "3012"};
    auto* listButtons = new QHBoxLayout;
    for (int i = 0; i < 2; ++i) {
        cmdList_[i] = Named(new QPushButton(listCaptions[i]), "cmdList", i);
        SetTag(cmdList_[i], listTags[i]);
        listButtons->addWidget(cmdList_[i]);
    }

    txtName_ = Named(new QLineEdit, "txtName");
    txtName_->setMaxLength(kNameLength);
    auto* nameRules = FieldRules::Install(
        txtName_, KeepChars([](QChar c) { return DeviceDirectory::AcceptNameKey(c.unicode()); }));
    cboComm_ = Named(new QComboBox, "cboComm");
    for (int i = 0; i <= 255; ++i)
        cboComm_->addItem(Q(DeviceDirectory::PortItemText(i)));
    txtIAddr_ = Named(new QLineEdit, "txtIAddr");
    auto* addressRules = FieldRules::Install(
        txtIAddr_, KeepChars([](QChar c) { return (c >= '0' && c <= '9') || c == '.'; }),
        new Ipv4Validator(txtIAddr_));
    txtiPort_ = Named(new QLineEdit, "txtiPort");
    auto* portRules = FieldRules::Install(txtiPort_, KeepNumber(65535));

    auto* form = new QFormLayout;
    form->addRow(BuddyLabel("Name:", txtName_, "labName", "3013"), txtName_);
    form->addRow(BuddyLabel("Port:", cboComm_, "labComm", "3014"), cboComm_);
    form->addRow(BuddyLabel("IP address:", txtIAddr_, "labIAddr", "3015"), txtIAddr_);
    form->addRow(BuddyLabel("TCP port:", txtiPort_, "labiPort", "3016"), txtiPort_);

    auto* left = new QVBoxLayout;
    left->addWidget(BuddyLabel("Terminals:", lstDevice_, "labDevice", "3010"));
    left->addWidget(lstDevice_, 1);
    left->addLayout(listButtons);
    auto* top = new QHBoxLayout(this);
    top->addLayout(left, 1);
    auto* right = new QVBoxLayout;
    right->addLayout(form);
    top->addLayout(right, 1);

    connect(lstDevice_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!syncing_ && Bound() && row >= 0) core().directory().Select(row);
    });
    connect(lstDevice_, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { OpenTerminalAt(lstDevice_->row(item)); });
    connect(cmdList_[0], &QPushButton::clicked, this, [this] { core().directory().Add(); });
    connect(cmdList_[1], &QPushButton::clicked, this, [this] { core().directory().Delete(); });
    nameRules->changed = [this](const QString& text) { NameEdited(text); };
    connect(cboComm_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (syncing_ || !Bound() || index < 0) return;
        core().directory().ChoosePortItem(index);
        Refresh();
    });
    addressRules->changed = [this](const QString& text) { AddressEdited(text); };
    addressRules->left = [this] { AddressLeft(); };
    portRules->changed = [this](const QString& text) { PortEdited(text); };
    portRules->left = [this] {
        if (syncing_ || !Bound()) return;
        core().directory().LeaveTcpPort();
        Refresh();
    };
    rightColumn_ = right;
}

void TerminalsPage::BuildCommands()
{
    struct Button {
        const char* caption;
        const char* tip;
        const char* tag;
    };
    const Button buttons[] = {
        {"Set Mach. #", "", "3020"},
        {"Dial", "", "3021"},
        {"SetTime", "Set Time", "3022,3026"},
        {"Reset", "Reset will take place after you switch the Terminal off and back on again",
         "3023,3027"},
        {"Display", "Set display mode", "3024,3028"},
        {"Password", "Set Password", "3025,3029"},
    };
    auto* grid = new QGridLayout;
    for (int i = 0; i < 6; ++i) {
        cmdPX700_[i] = Named(new QPushButton(buttons[i].caption), "cmdPX700", i);
        cmdPX700_[i]->setToolTip(buttons[i].tip);
        SetTag(cmdPX700_[i], buttons[i].tag);
        grid->addWidget(cmdPX700_[i], i / 3, i % 3);
        connect(cmdPX700_[i], &QPushButton::clicked, this, [this, i] { ButtonClicked(i); });
    }
    // The design gives "Dial" no action: it stays visible and disabled.
    cmdPX700_[1]->setEnabled(false);

    frameModeoptMode_ = Named(new QGroupBox("Record Mode"), "frameModeoptMode");
    SetTag(frameModeoptMode_, "3030");
    modeGroup_ = new QButtonGroup(this);
    auto* modes = new QHBoxLayout(frameModeoptMode_);
    const char* captions[] = {"Manual", "Always Out", "Always In", "Schedule"};
    const char* tags[] = {"3031", "3032", "3033", "3034"};
    for (int i = 0; i < 4; ++i) {
        optMode_[i] = Named(new QRadioButton(captions[i]), "optMode", i);
        SetTag(optMode_[i], tags[i]);
        modeGroup_->addButton(optMode_[i], i);
        modes->addWidget(optMode_[i]);
    }
    // Toggled, not clicked: assistive technology selects an option without a click.
    connect(modeGroup_, &QButtonGroup::idToggled, this, [this](int mode, bool checked) {
        if (!checked || syncing_ || !Bound()) return;
        OperationGuard guard(core());
        if (!guard) return;
        RecordModeClicked(core().session(), core().view(), mode);
    });
    rightColumn_->addSpacing(12);
    rightColumn_->addLayout(grid);
    rightColumn_->addWidget(frameModeoptMode_);
    rightColumn_->addStretch(1);
}

void TerminalsPage::Bind(Program& program)
{
    ProgramPage::Bind(program);
    core().directory().changed = [this] { Refresh(); };
}

void TerminalsPage::AfterLoad()
{
    Refresh();
}

void TerminalsPage::Refresh()
{
    if (!Bound()) return;
    const DeviceDirectory& dir = core().directory();
    syncing_ = true;
    const auto& lines = dir.Lines();
    if (lstDevice_->count() != static_cast<int>(lines.size())) {
        lstDevice_->clear();
        for (const auto& line : lines) {
            auto* item = new QListWidgetItem(Q(line.text));
            item->setData(Qt::UserRole, line.itemData);
            lstDevice_->addItem(item);
        }
    } else {
        for (int i = 0; i < lstDevice_->count(); ++i) {
            QListWidgetItem* item = lstDevice_->item(i);
            const auto& line = lines[static_cast<std::size_t>(i)];
            if (item->text() != Q(line.text)) item->setText(Q(line.text));
            item->setData(Qt::UserRole, line.itemData);
        }
    }
    lstDevice_->setCurrentRow(dir.ListIndex());
    const auto& f = dir.CurrentFields();
    if (txtName_->text() != Q(f.name)) txtName_->setText(Q(f.name));
    cboComm_->setCurrentIndex(f.portItem);
    // A half-typed address stays while it is typed; a whole one shows the entry's.
    const bool typing = txtIAddr_->hasFocus() && !txtIAddr_->hasAcceptableInput();
    if (txtIAddr_->text() != Q(f.ipAddress) && !typing) txtIAddr_->setText(Q(f.ipAddress));
    if (txtiPort_->text() != Q(f.tcpPort)) txtiPort_->setText(Q(f.tcpPort));
    syncing_ = false;
}

void TerminalsPage::NameEdited(const QString& text)
{
    if (syncing_ || !Bound()) return;
    // The model refuses a comma (it would split the directory line); the field then shows the
    // name that was kept.
    core().directory().EditName(text.toStdString());
    Refresh();
}

void TerminalsPage::AddressEdited(const QString& text)
{
    if (syncing_ || !Bound()) return;
    // A partly typed address is not an address: the entry changes once the address is whole.
    if (!txtIAddr_->hasAcceptableInput()) return;
    core().directory().EditIpAddress(text.toStdString());
    Refresh();
}

void TerminalsPage::AddressLeft()
{
    if (syncing_ || !Bound()) return;
    DeviceDirectory& dir = core().directory();
    dir.LeaveIpAddress();
    // An incomplete address goes back to the entry's, also when Enter leaves the focus here.
    const QString address = Q(dir.CurrentFields().ipAddress);
    if (txtIAddr_->text() == address) return;
    syncing_ = true;
    txtIAddr_->setText(address);
    syncing_ = false;
}

void TerminalsPage::PortEdited(const QString& text)
{
    if (syncing_ || !Bound()) return;
    const QString shown = Q(core().directory().EditTcpPort(text.toStdString()));
    if (shown != text) {
        syncing_ = true;
        txtiPort_->setText(shown);
        txtiPort_->setCursorPosition(static_cast<int>(shown.size()));
        syncing_ = false;
    }
}

void TerminalsPage::OpenTerminalAt(int row)
{
    if (!Bound() || row < 0) return;
    OperationGuard guard(core());
    if (!guard) return; // another operation holds the link
    core().OpenTerminal(row);
}

void TerminalsPage::ButtonClicked(int index)
{
    OperationGuard guard(core());
    if (!guard) return;
    switch (index) {
    case 0:
        SetMachineIdButton(core().session(), core().directory(), core().view());
        break;
    case 2:
        SetTimeButton(core().session(), core().view());
        break;
    case 3:
        ResetButton(core().session(), core().view());
        break;
    case 4:
        core().session().state().bLinkTimeout = false;
        core().ShowStatus(0, "");
        core().view().ShowDisplayModeDialog();
        break;
    case 5:
        core().session().state().bLinkTimeout = false;
        core().ShowStatus(0, "");
        core().view().ShowLoginDialog();
        break;
    default:
        break;
    }
}

// --- enabled states ----------------------------------------------------------------------------

void TerminalsPage::SetHeld(bool held)
{
    held_ = held;
    ApplyEnabled();
}

void TerminalsPage::SetListEnabled(bool enabled)
{
    listEnabled_ = enabled;
    ApplyEnabled();
}

void TerminalsPage::SetDeviceButtonsEnabled(bool enabled)
{
    buttonsEnabled_ = enabled;
    ApplyEnabled();
}

void TerminalsPage::ShowRecordMode(int mode)
{
    if (mode < 0 || mode > 3) {
        frameModeoptMode_->hide();
        return;
    }
    frameModeoptMode_->show();
    syncing_ = true; // the core runs the option's click handling itself
    optMode_[static_cast<std::size_t>(mode)]->setChecked(true);
    syncing_ = false;
}

void TerminalsPage::SetRecordModeOptionsEnabled(bool basic, bool schedule, bool scheduleKnown)
{
    optionsEnabled_ = basic;
    if (scheduleKnown) scheduleEnabled_ = schedule;
    ApplyEnabled();
}

void TerminalsPage::ApplyEnabled()
{
    // While an operation holds the link nothing else on this page may start one or change the
    // entry it works on.
    const bool free = !held_;
    lstDevice_->setEnabled(listEnabled_ && free);
    for (QWidget* w : {static_cast<QWidget*>(cmdList_[0]), static_cast<QWidget*>(cmdList_[1]),
                       static_cast<QWidget*>(txtName_), static_cast<QWidget*>(cboComm_),
                       static_cast<QWidget*>(txtIAddr_), static_cast<QWidget*>(txtiPort_)})
        w->setEnabled(free);
    for (int i : {0, 2, 3, 4, 5})
        cmdPX700_[static_cast<std::size_t>(i)]->setEnabled(buttonsEnabled_ && free);
    for (int i = 0; i < 3; ++i)
        optMode_[static_cast<std::size_t>(i)]->setEnabled(optionsEnabled_ && free);
    optMode_[3]->setEnabled(scheduleEnabled_ && free);
}

} // namespace px
