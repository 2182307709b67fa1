// The in-place time editor of the time grids: hours and minutes, with a check box that says
// whether the row holds a time at all. Enter keeps the edit, Esc takes it back.
#pragma once

#include <QWidget>

#include <functional>

class QCheckBox;
class QTimeEdit;

namespace px {

class TimePicker : public QWidget {
public:
    explicit TimePicker(const char* name, QWidget* parent);

    // Shows a time ("hh", "mm"), or an empty picker when they are not a time.
    void ShowTime(const QString& hour, const QString& minute);
    bool HasTime() const;
    QString Hour() const;
    QString Minute() const;
    void FocusHour();

    // The time changed, or the check box was cleared (HasTime() tells which).
    std::function<void()> onEdited;
    // Enter (keep) or Esc (take back) ended the edit.
    std::function<void(bool keep)> onFinished;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QCheckBox* check_;
    QTimeEdit* time_;
    bool showing_ = false;
};

} // namespace px
