#include "FrmMode.h"

#include "Controls.h"
#include "Core.h"
#include "DeviceOps.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace px {

FrmMode::FrmMode(QWidget* owner, Core& core)
    : DialogBase(owner, "frmMode", "Time Mode Setting", "3050"), core_(core)
{
    auto* group = new QButtonGroup(this);
    const char* captions[] = {"Wall Mode", "Desk Mode"};
    const char* tags[] = {"3052", "3053"};
    auto* options = new QVBoxLayout;
    for (int i = 0; i < 2; ++i) {
        timemode_[static_cast<std::size_t>(i)] =
            Named(new QRadioButton(captions[i]), "timemode", i);
        SetTag(timemode_[static_cast<std::size_t>(i)], tags[i]);
        group->addButton(timemode_[static_cast<std::size_t>(i)], i);
        options->addWidget(timemode_[static_cast<std::size_t>(i)]);
    }
    QPushButton* ok = Button("cmdMode", 0, "Ok", "3042");
    QPushButton* cancel = Button("cmdMode", 1, "Cancel", "3043");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &FrmMode::Ok);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = ButtonRow({ok, cancel});
    auto* layout = new QVBoxLayout(this);
    auto* label = Named(new QLabel("Choose the display mode of PX740.  "), "labMode");
    SetTag(label, "3051");
    layout->addWidget(label);
    layout->addLayout(options);
    layout->addLayout(buttons);
    Translate(core.texts());

    // The terminal's current mode, read when the dialog opens.
    const int mode = core_.session().device().ReadDisplayMode();
    if (mode < 0) return; // timed out: reported, and off line
    loaded_ = true;
    if (mode == 0 || mode == 1) timemode_[static_cast<std::size_t>(mode)]->setChecked(true);
}

void FrmMode::Ok()
{
    for (int i = 0; i < 2; ++i)
        if (timemode_[static_cast<std::size_t>(i)]->isChecked())
            core_.session().device().SetDisplayMode(i);
    accept();
}

} // namespace px
