#include "FrmPassword.h"

#include "Controls.h"
#include "Core.h"
#include "DeviceButtons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace px {

FrmPassword::FrmPassword(QWidget* owner, Core& core)
    : DialogBase(owner, "frmPassword", "Login", "3048"), core_(core)
{
    txtPasw_ = Named(new QLineEdit, "txtPasw");
    txtPasw_->setEchoMode(QLineEdit::Password);
    QPushButton* ok = Button("cmdPasw", 0, "OK", "3042");
    QPushButton* cancel = Button("cmdPasw", 1, "Cancel", "3043");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &FrmPassword::Ok);
    connect(txtPasw_, &QLineEdit::returnPressed, this, &FrmPassword::Ok);
    connect(cancel, &QPushButton::clicked, this, [this] {
        cancelPressed_ = true;
        reject();
    });
    auto* buttons = ButtonRow({ok, cancel});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BuddyLabel("Please Enter Password :", txtPasw_, "labLOGIN", "3049"));
    layout->addWidget(txtPasw_);
    layout->addLayout(buttons);
    Translate(core.texts());
}

void FrmPassword::Ok()
{
    if (IsAccessCode(txtPasw_->text().toStdString())) {
        core_.options().loginSave = true;
        accept();
        return;
    }
    ++failures_;
    core_.view().MessageBox(core_.GetText(118, "The access code is not correct."),
                            Icon::Exclamation, core_.Title());
    if (failures_ >= kLoginAttempts) {
        reject();
        return;
    }
    txtPasw_->selectAll();
    txtPasw_->setFocus();
}

} // namespace px
