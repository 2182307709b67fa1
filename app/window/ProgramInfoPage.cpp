#include "ProgramInfoPage.h"

#include "Controls.h"
#include "DesktopOpen.h"
#include "MainWindow.h"
#include "Program.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace px {

ProgramInfoPage::ProgramInfoPage(MainWindow& window) : ProgramPage("SSTab_5"), window_(window)
{
    comboLan_ = Named(new QComboBox, "ComboLan");
    labVersion_ = Named(new QLabel, "labVersion");
    labLibrary_ = Named(new QLabel, "labLibrary");
    labFolder_ = Named(new QLabel, "labFolder");
    labLogFile_ = Named(new QLabel, "labLogFile");
    for (QLabel* l : {labVersion_, labLibrary_, labFolder_, labLogFile_})
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    cmdOpenFolder_ = Named(new QPushButton("Open"), "cmdOpenFolder");
    SetTag(cmdOpenFolder_, "3005,3006");
    cmdOpenFolder_->setToolTip("Open the program folder");

    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(labFolder_, 1);
    folderRow->addWidget(cmdOpenFolder_);
    auto* form = new QFormLayout(this);
    form->addRow(BuddyLabel("Language:", comboLan_, "labLanguage", "3001"), comboLan_);
    form->addRow(BuddyLabel("Program version:", labVersion_, "labVersionCaption", "3002"),
                 labVersion_);
    form->addRow(BuddyLabel("Link library:", labLibrary_, "labLibraryCaption", "3003"),
                 labLibrary_);
    form->addRow(BuddyLabel("Program folder:", labFolder_, "labFolderCaption", "3004"), folderRow);
    form->addRow(BuddyLabel("Event log:", labLogFile_, "labLogFileCaption", "3007"), labLogFile_);

    connect(comboLan_, &QComboBox::currentTextChanged, this, [this](const QString& name) {
        if (!filling_ && !name.isEmpty()) window_.SwitchLanguage(name);
    });
    connect(cmdOpenFolder_, &QPushButton::clicked, this, [this] {
        if (Bound()) OpenWithDesktop(core(), core().paths().folder);
    });
}

void ProgramInfoPage::AfterLoad()
{
    filling_ = true;
    comboLan_->clear();
    for (const auto& name : program().languages.names)
        comboLan_->addItem(QString::fromStdString(name));
    comboLan_->setCurrentIndex(program().languages.selected);
    filling_ = false;
    ShowFacts();
}

void ProgramInfoPage::AfterLanguage()
{
    ShowFacts();
}

void ProgramInfoPage::SetHeld(bool held)
{
    comboLan_->setEnabled(!held);
}

void ProgramInfoPage::ShowFacts()
{
    Core& c = core();
    labVersion_->setText(QString::fromStdString(program().szVersionText));
    labLibrary_->setText(QString::fromStdString(c.session().link().LibraryPath()));
    labFolder_->setText(QString::fromStdString(c.paths().folder));
    labLogFile_->setText(QString::fromStdString(c.eventLog().Path()));
}

} // namespace px
