#include "FrmData.h"

#include "Controls.h"
#include "Core.h"
#include "RecordCommands.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace px {

FrmData::FrmData(QWidget* owner, Core& core)
    : DialogBase(owner, "frmData", "Clear database", "3122"), core_(core)
{
    const char* captions[] = {"Initialize Database", "Prepare for Data Recovery"};
    const char* tags[] = {"3123", "3124"};
    auto* layout = new QVBoxLayout(this);
    for (int i = 0; i < 2; ++i) {
        auto* option = Named(new QRadioButton(captions[i]), "optData", i);
        SetTag(option, tags[i]);
        optData_[static_cast<std::size_t>(i)] = option;
        layout->addWidget(option);
    }
    auto* text = Named(
        new QLabel("Initialze will clean the machine's record database.  Data recovery will "
                   "prepare the machine's record database in such a way that you might manually "
                   "recover some useful information, which is otherwise lost.  Because of the "
                   "side effects of the recovery action, an initialization is necessary after a "
                   "recovery is taken place.  Please make sure that these actions are necessary "
                   "before you take any action."),
        "labData");
    SetTag(text, "3125");
    text->setWordWrap(true);
    layout->addWidget(text);
    QPushButton* ok = Button("CmdData", 0, "Ok", "3042");
    QPushButton* cancel = Button("CmdData", 1, "Cancel", "3043");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &FrmData::Ok);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = ButtonRow({ok, cancel});
    layout->addLayout(buttons);
    resize(420, sizeHint().height());
    Translate(core.texts());
}

void FrmData::Ok()
{
    const int option = optData_[0]->isChecked() ? 0 : optData_[1]->isChecked() ? 1 : -1;
    if (DatabaseOk(core_.session(), core_.recordGrid(), core_.view(), option)) accept();
}

void FrmData::done(int result)
{
    core_.options().loginSave = false; // closing the dialog ends the logged-in state
    DialogBase::done(result);
}

} // namespace px
