// Page 4: the time scheduler (start and stop, by interval or by the time table, the clock
// setting), its status view of the event log and the run's progress line, the save options and
// the mail options.
#pragma once

#include "ProgramPage.h"

#include <QElapsedTimer>
#include <QTimer>

#include <array>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTableWidget;
class QTimeEdit;

namespace px {

class OutputOptionsFrame;

class SchedulerPage : public ProgramPage {
public:
    SchedulerPage();

    void Bind(Program& program) override;
    void Unbind() override;
    void AfterLoad() override;
    void AfterLanguage() override;
    void SetHeld(bool held) override;
    OutputOptionsFrame* SaveOptions() const { return fraSettings_; }

    void SetStatusLogText(const QString& text);
    void SetMessageLine(const QString& text);
    // The scheduler started or stopped: the controls it locks, the layout of the status view.
    void SchedulerStateChanged(bool started);
    // The window came back from the tray: the status view shows its end.
    void ScrollStatusToEnd();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildScheduler();
    void BuildTable();
    void BuildMail();
    void ShowTable();
    void EditCell(int row, int column);
    void SpinChanged(int value);
    void NameUpDown();
    void ModeChanged();
    void ApplyStopped();
    void ShowMessageLine();

    QPushButton* cmdStart_;
    std::array<QRadioButton*, 2> optTimeMode_{};
    QTimeEdit* dtpIntTime_;
    QTableWidget* fgdTsTable_;
    QSpinBox* udTsTable_;
    QCheckBox* chkSAT_;
    QPlainTextEdit* txtTStatus_;
    QLineEdit* txtMsg_;
    OutputOptionsFrame* fraSettings_;
    QCheckBox* chkMailTo_;
    QLineEdit* txtMailTo_;
    QLineEdit* txtSubject_;
    QString shownLog_; // what the status view shows, to append only what is new
    // The run reports every record on the message line: it shows the latest text at most every
    // kMessagePeriodMs, all an eye can follow, so repainting does not slow a fast run down.
    static constexpr int kMessagePeriodMs = 100;
    QString message_;
    QElapsedTimer messageShown_;
    QTimer messageTimer_;
    int editRow_ = -1;
    int editColumn_ = -1;
    bool showing_ = false;
    bool started_ = false;
    bool held_ = false;
};

} // namespace px
