#include "FrmId.h"

#include "Controls.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace px {

FrmId::FrmId(QWidget* owner, const Texts& texts, const std::vector<std::string>& lines)
    : DialogBase(owner, "frmID", "Assign new ID", "3040")
{
    cmbDevice_ = Named(new QComboBox, "cmbDevice");
    for (const auto& line : lines)
        cmbDevice_->addItem(QString::fromStdString(line));
    cmbDevice_->setCurrentIndex(0);
    auto* label = BuddyLabel("Select ID address download to PX740", cmbDevice_, "labID", "3041");
    QPushButton* ok = Button("cmdID", 0, "Ok", "3042");
    QPushButton* cancel = Button("cmdID", 1, "Cancel", "3043");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = ButtonRow({ok, cancel});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(cmbDevice_);
    layout->addLayout(buttons);
    Translate(texts);
}

std::string FrmId::Chosen() const
{
    return result() == Accepted ? cmbDevice_->currentText().toStdString() : std::string();
}

} // namespace px
