#include "RecordsPage.h"

#include "Controls.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace px {

RecordsPage::RecordsPage() : ProgramPage("SSTab_3")
{
    pgbRecord_ = Named(new QProgressBar, "pgbRecord");
    pgbRecord_->setRange(0, 1);
    pgbRecord_->setValue(0);
    labCount_ = Named(new QLabel("0/0"), "labCount");
    auto* layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addWidget(pgbRecord_);
    layout->addWidget(labCount_);
}

void RecordsPage::SetProgress(int value, int maximum)
{
    pgbRecord_->setRange(0, std::max(maximum, 1));
    pgbRecord_->setValue(std::clamp(value, 0, std::max(maximum, 1)));
}

void RecordsPage::SetCountLabel(const QString& text)
{
    labCount_->setText(text);
}

void RecordsPage::SetRecordControlsEnabled(bool enabled)
{
    (void)enabled;
}

} // namespace px
