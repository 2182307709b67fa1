#include "FrmTime.h"

#include "Controls.h"

#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>

namespace px {

Stamp StampOf(const QDateTime& value)
{
    const QDate d = value.date();
    const QTime t = value.time();
    return Stamp{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
}

FrmTime::FrmTime(QWidget* owner, const Texts& texts, const Stamp& start)
    : DialogBase(owner, "frmTime", "Date Setting", "3044")
{
    running_ = QDateTime(QDate(start.year, start.month, start.day),
                         QTime(start.hour, start.minute, start.second));
    // A clock the terminal reports wrongly still gives the operator something to correct.
    if (!running_.isValid()) running_ = QDateTime::currentDateTime();
    dtpDate_ = Named(new QDateEdit, "DTPDate");
    dtpDate_->setDisplayFormat("MM - dd - yyyy");
    dtpTime_ = Named(new QTimeEdit, "DTPTime");
    dtpTime_->setDisplayFormat("H : mm : ss");
    timer_ = new QTimer(this);
    timer_->setObjectName("TimerAddSecond");
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, &FrmTime::Tick);
    connect(dtpDate_, &QDateEdit::dateChanged, this, &FrmTime::Edited);
    connect(dtpTime_, &QTimeEdit::timeChanged, this, &FrmTime::Edited);

    QPushButton* ok = Button("cmdTime", 0, "Ok", "3042");
    QPushButton* cancel = Button("cmdTime", 1, "Cancel", "3043");
    QPushButton* sync = Button("cmdTime", 2, "Sync.", "3047");
    connect(ok, &QPushButton::clicked, this,
            [this] { Finish(QDateTime(dtpDate_->date(), dtpTime_->time())); });
    connect(sync, &QPushButton::clicked, this, [this] { Finish(QDateTime::currentDateTime()); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout;
    grid->addWidget(BuddyLabel("Please Enter date:", dtpDate_, "labDate", "3045"), 0, 0);
    grid->addWidget(dtpDate_, 0, 1);
    grid->addWidget(BuddyLabel("Please enter time", dtpTime_, "labTime", "3046"), 1, 0);
    grid->addWidget(dtpTime_, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addWidget(sync);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    Show();
    timer_->start();
    Translate(texts);
}

void FrmTime::Show()
{
    showing_ = true;
    dtpDate_->setDate(running_.date());
    dtpTime_->setTime(running_.time());
    showing_ = false;
}

void FrmTime::Tick()
{
    running_ = running_.addSecs(1);
    Show();
}

void FrmTime::Edited()
{
    if (showing_) return;
    running_ = QDateTime(dtpDate_->date(), dtpTime_->time());
    // The next second comes a full second after the edit.
    timer_->start();
}

bool FrmTime::TimerRunning() const
{
    return timer_->isActive();
}

void FrmTime::Finish(const QDateTime& value)
{
    chosen_ = StampOf(value);
    accept();
}

void FrmTime::done(int result)
{
    timer_->stop(); // whichever way the dialog ends
    DialogBase::done(result);
}

} // namespace px
