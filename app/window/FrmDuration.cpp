#include "FrmDuration.h"

#include "Controls.h"
#include "Core.h"
#include "DeviceOps.h"
#include "FieldRules.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace px {

namespace {

constexpr int kNotNumeric = 8;
constexpr int kOutOfRange = 10;

} // namespace

FrmDuration::FrmDuration(QWidget* owner, Core& core)
    : DialogBase(owner, "frmDuration", "Set duration", "3082"), core_(core)
{
    txtDura_ = Named(new QLineEdit, "txtDura");
    // Pasted or otherwise set text keeps to digits; a typed non-digit is answered below.
    FieldRules::Install(txtDura_, KeepChars([](QChar c) { return c >= '0' && c <= '9'; }));
    txtDura_->installEventFilter(this);
    QPushButton* ok = Button("CmdDura", 0, "&Ok", "3084");
    QPushButton* cancel = Button("CmdDura", 1, "&Cancel", "3085");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &FrmDuration::Ok);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = ButtonRow({ok, cancel});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        BuddyLabel("Enter desired duration time in seconds:", txtDura_, "labDura", "3083"));
    layout->addWidget(txtDura_);
    layout->addLayout(buttons);
    Translate(core.texts());

    const int seconds = core_.session().device().ReadBellDuration();
    if (seconds < 0 && core_.session().state().bLinkTimeout) return; // reported, and off line
    loaded_ = true;
    if (seconds >= 0) txtDura_->setText(QString::number(seconds));
    txtDura_->selectAll();
}

bool FrmDuration::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtDura_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        const bool printable = !text.isEmpty() && text.at(0).isPrint();
        if (printable && !(text.at(0) >= '0' && text.at(0) <= '9')) {
            core_.ErrorBox(kNotNumeric);
            txtDura_->selectAll();
            return true;
        }
    }
    if (watched == txtDura_ && event->type() == QEvent::FocusIn)
        QTimer::singleShot(0, txtDura_, &QLineEdit::selectAll);
    return DialogBase::eventFilter(watched, event);
}

void FrmDuration::Ok()
{
    const QString text = txtDura_->text().trimmed();
    bool numeric = false;
    const int seconds = text.toInt(&numeric);
    // Nothing (or a refused value) writes nothing: a silent 0 would switch the bell off.
    if (text.isEmpty() || !numeric) {
        core_.ErrorBox(kNotNumeric);
        txtDura_->setFocus();
        return;
    }
    if (seconds > 255) {
        core_.ErrorBox(kOutOfRange);
        txtDura_->selectAll();
        txtDura_->setFocus();
        return;
    }
    core_.session().device().SetBellDuration(
        seconds); // a failure is reported there, and goes off line
    accept();
}

} // namespace px
