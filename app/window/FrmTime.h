// The clock dialog: the terminal's time, running on by the second while it is shown, edited by
// date and time picker; "Sync." takes the PC's clock. One running date-time feeds both pickers,
// so a clock that runs past midnight moves to the next day.
#pragma once

#include "DeviceOps.h"
#include "DialogBase.h"

#include <QDateTime>

class QDateEdit;
class QTimeEdit;
class QTimer;

namespace px {

class FrmTime : public DialogBase {
public:
    FrmTime(QWidget* owner, const Texts& texts, const Stamp& start);

    // The time chosen by "Ok" or "Sync."; meaningful after the dialog was accepted.
    Stamp Chosen() const { return chosen_; }
    // One second more, as the dialog's timer adds it.
    void Tick();
    bool TimerRunning() const;
    QDateTime Shown() const { return running_; }

    void done(int result) override;

private:
    void Show();
    void Edited();
    void Finish(const QDateTime& value);

    QDateEdit* dtpDate_;
    QTimeEdit* dtpTime_;
    QTimer* timer_;
    QDateTime running_;
    Stamp chosen_;
    bool showing_ = false;
};

Stamp StampOf(const QDateTime& value);

} // namespace px
