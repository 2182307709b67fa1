#include "TimePicker.h"

#include "AccessibleNames.h"
#include "Controls.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QTimeEdit>

namespace px {

TimePicker::TimePicker(const char* name, QWidget* parent) : QWidget(parent)
{
    Named(this, name);
    setAutoFillBackground(true);
    check_ = new QCheckBox(this);
    check_->setObjectName(QString::fromLatin1(name) + "_time");
    check_->setAccessibleDescription(check_->objectName());
    NameByText(check_, 3210, "Time set");
    time_ = new QTimeEdit(this);
    time_->setObjectName(QString::fromLatin1(name) + "_value");
    time_->setAccessibleDescription(time_->objectName());
    time_->setDisplayFormat("HH  :  mm");
    NameByText(time_, 3211, "Time");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(check_);
    layout->addWidget(time_, 1);
    connect(check_, &QCheckBox::toggled, this, [this](bool on) {
        time_->setEnabled(on);
        if (!showing_ && onEdited) onEdited();
    });
    connect(time_, &QTimeEdit::timeChanged, this, [this] {
        if (!showing_ && onEdited) onEdited();
    });
    time_->installEventFilter(this);
    check_->installEventFilter(this);
}

void TimePicker::ShowTime(const QString& hour, const QString& minute)
{
    showing_ = true;
    bool okHour = false, okMinute = false;
    const int h = hour.trimmed().toInt(&okHour);
    const int m = minute.trimmed().toInt(&okMinute);
    const QTime t(okHour ? h : 0, okMinute ? m : 0);
    const bool valid = okHour && okMinute && t.isValid();
    check_->setChecked(valid);
    time_->setEnabled(valid);
    time_->setTime(valid ? t : QTime(0, 0));
    showing_ = false;
}

bool TimePicker::HasTime() const
{
    return check_->isChecked();
}

QString TimePicker::Hour() const
{
    return time_->time().toString("HH");
}

QString TimePicker::Minute() const
{
    return time_->time().toString("mm");
}

void TimePicker::FocusHour()
{
    if (time_->isEnabled()) {
        time_->setFocus();
        time_->setCurrentSection(QDateTimeEdit::HourSection);
    } else {
        check_->setFocus();
    }
}

bool TimePicker::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (onFinished) onFinished(true);
            return true;
        }
        if (key == Qt::Key_Escape) {
            if (onFinished) onFinished(false);
            return true;
        }
        if (key == Qt::Key_Delete && watched == time_) {
            check_->setChecked(false); // Delete empties the row
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace px
