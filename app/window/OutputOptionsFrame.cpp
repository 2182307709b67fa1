#include "OutputOptionsFrame.h"

#include "AccessibleNames.h"
#include "Controls.h"
#include "FieldRules.h"
#include "FileDialogs.h"
#include "OutputNames.h"
#include "OutputType.h"
#include "Program.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace px {

namespace {

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

const char* const kDatePatterns[] = {"YYYYMMDD",   "YYYYDDMM",   "MMDDYYYY",   "DDMMYYYY",
                                     "YYYY-MM-DD", "YYYY-DD-MM", "MM-DD-YYYY", "DD-MM-YYYY"};

} // namespace

OutputOptionsFrame::OutputOptionsFrame() : QGroupBox("Save File Options")
{
    Named(this, "fraSettings");
    SetTag(this, "3126");
    cmbType2_ = Named(new QComboBox, "cmbType2");
    txtDigital2_ = Named(new QLineEdit, "txtDigital2");
    SetUpDigitalBox(
        txtDigital2_, [this] { return program_; },
        [this] {
            if (onShared) onShared();
        });
    lblDisp2_ = BuddyLabel("Digital setting", txtDigital2_, "lblDisp2", "3120");

    nameGroup_ = new QButtonGroup(this);
    optName_[0] = Named(new QRadioButton("Fixed Name"), "OptName", 0);
    optName_[1] = Named(new QRadioButton("Name By Date"), "OptName", 1);
    SetTag(optName_[0], "3127");
    SetTag(optName_[1], "3128");
    nameGroup_->addButton(optName_[0], 0);
    nameGroup_->addButton(optName_[1], 1);
    txtFixName_ = Named(new QLineEdit, "txtFixName");
    auto* fixNameRules = FieldRules::Install(
        txtFixName_, KeepChars([](QChar c) {
            return c.unicode() > 127 || AcceptFixNameKey(static_cast<char>(c.unicode()));
        }));
    NameBy(txtFixName_, optName_[0]);
    cmbFileName_ = Named(new QComboBox, "cmbFileName");
    cmbFileName_->setEditable(true);
    for (const char* pattern : kDatePatterns)
        cmbFileName_->addItem(pattern);
    txtSubName_ = Named(new QLineEdit, "txtSubName");
    auto* subNameRules = FieldRules::Install(
        txtSubName_, KeepChars([](QChar c) {
            return c.unicode() > 127 || AcceptSubNameKey(static_cast<char>(c.unicode()));
        }));
    txtSavePath_ = Named(new QLineEdit, "txtSavePath");
    auto* savePathRules = FieldRules::Install(txtSavePath_, {});
    cmdChgPath_ = Named(new QPushButton("..."), "cmdChgPath");
    SetTag(cmdChgPath_, "0,3133");
    cmdChgPath_->setToolTip("Choose the folder and file name");
    NameByText(cmdChgPath_, 3133, "Choose the folder and file name"); // its caption is "..."

    auto* grid = grid_ = new QGridLayout(this);
    grid->addWidget(BuddyLabel("Output type:", cmbType2_, "labType2", "3121"), 0, 0);
    grid->addWidget(cmbType2_, 0, 1);
    grid->addWidget(lblDisp2_, 0, 2);
    grid->addWidget(txtDigital2_, 0, 3);
    grid->addWidget(optName_[0], 1, 0);
    grid->addWidget(txtFixName_, 1, 1, 1, 3);
    grid->addWidget(optName_[1], 2, 0);
    auto* byDate = new QHBoxLayout;
    byDate->addWidget(cmbFileName_, 2);
    byDate->addWidget(BuddyLabel(".", txtSubName_, "labSubName", nullptr));
    NameByText(txtSubName_, 3212, "File name extension"); // its label is only "."
    byDate->addWidget(txtSubName_, 1);
    grid->addLayout(byDate, 2, 1, 1, 3);
    grid->addWidget(BuddyLabel("Save path:", txtSavePath_, "labSavePath", "3131"), 3, 0);
    grid->addWidget(txtSavePath_, 3, 1, 1, 2);
    grid->addWidget(cmdChgPath_, 3, 3);

    connect(cmbType2_, &QComboBox::activated, this, [this](int index) {
        if (showing_ || !program_) return;
        ChooseOutputType(*program_, index);
        ShowOptions();
        if (onShared) onShared();
    });
    connect(nameGroup_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked) NameChoiceChanged();
    });
    fixNameRules->changed = [this](const QString& text) { FixNameEdited(text); };
    connect(cmbFileName_, &QComboBox::currentTextChanged, this, [this] { DateNameEdited(); });
    subNameRules->changed = [this](const QString&) { DateNameEdited(); };
    savePathRules->changed = [this](const QString& text) {
        if (!showing_ && program_) program_->core().options().tsavePath = text.toStdString();
    };
    savePathRules->left = [this] { SavePathLeft(); };
    connect(cmdChgPath_, &QPushButton::clicked, this, &OutputOptionsFrame::ChangePath);
}

void OutputOptionsFrame::AddRow(QWidget* label, QWidget* field)
{
    const int row = grid_->rowCount();
    grid_->addWidget(label, row, 0);
    grid_->addWidget(field, row, 1, 1, 3);
}

void OutputOptionsFrame::ShowOptions()
{
    if (!program_) return;
    showing_ = true;
    const Options& o = program_->core().options();
    ShowOutputType(*program_, cmbType2_, txtDigital2_, lblDisp2_);
    optName_[o.optFixName ? 0 : 1]->setChecked(true);
    if (txtFixName_->text() != Q(o.fixName)) txtFixName_->setText(Q(o.fixName));
    cmbFileName_->setCurrentText(Q(o.dateName));
    if (txtSubName_->text() != Q(o.subName)) txtSubName_->setText(Q(o.subName));
    if (txtSavePath_->text() != Q(o.tsavePath)) txtSavePath_->setText(Q(o.tsavePath));
    txtFixName_->setEnabled(o.optFixName);
    cmbFileName_->setEnabled(!o.optFixName);
    txtSubName_->setEnabled(!o.optFixName);
    txtFixName_->setToolTip(
        Q(RemoveForbidden(ExpandDate(o.fixName, "{Date#}", Now(), "YYYYMMDD"))));
    showing_ = false;
}

void OutputOptionsFrame::NameChoiceChanged()
{
    if (showing_ || !program_) return;
    program_->core().options().optFixName = optName_[0]->isChecked();
    ShowOptions();
}

void OutputOptionsFrame::FixNameEdited(const QString& text)
{
    if (showing_ || !program_) return;
    Options& o = program_->core().options();
    o.fixName = text.toStdString();
    // The name is worked out again at every use; this one shows what today's would be.
    o.tsfileName = RemoveForbidden(ExpandDate(o.fixName, "{Date#}", Now(), "YYYYMMDD"));
    txtFixName_->setToolTip(Q(o.tsfileName));
}

void OutputOptionsFrame::DateNameEdited()
{
    if (showing_ || !program_) return;
    Options& o = program_->core().options();
    o.dateName = cmbFileName_->currentText().toStdString();
    o.subName = txtSubName_->text().toStdString();
    o.tsfileName = o.dateName + "." + o.subName;
}

void OutputOptionsFrame::SavePathLeft()
{
    if (showing_ || !program_) return;
    Options& o = program_->core().options();
    if (!QFileInfo(txtSavePath_->text()).isDir()) {
        o.tsavePath = program_->core().paths().RecordsDir();
        ShowOptions();
    }
}

void OutputOptionsFrame::ChangePath()
{
    if (!program_) return;
    Options& o = program_->core().options();
    const QString chosen =
        AskSaveFile(window(), Q(program_->core().GetText(3134, "Select save path and file Name")),
                    Q(o.tsavePath), Q(FormatDate(Now(), "MM-DD-YYYY") + ".txt"), "text (*.txt)");
    // Cancel leaves everything as it was; there is no second dialog.
    if (chosen.isEmpty()) return;
    const QFileInfo info(chosen);
    o.tsavePath = info.absolutePath().toStdString() + "/";
    // The file name is worked out anew at every run and save: the chosen one lasts only as the
    // fixed name.
    o.fixName = RemoveForbidden(info.fileName().toStdString());
    o.optFixName = true;
    o.tsfileName = OutputFileName(o, Now());
    ShowOptions();
}

} // namespace px
