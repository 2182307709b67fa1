// Page 4: the time scheduler, its status view (the event log's lines) and the run's progress
// line.
#pragma once

#include "ProgramPage.h"

class QLineEdit;
class QPlainTextEdit;

namespace px {

class OutputOptionsFrame;

class SchedulerPage : public ProgramPage {
public:
    SchedulerPage();

    void Bind(Program& program) override;
    void AfterLoad() override;
    OutputOptionsFrame* SaveOptions() const { return fraSettings_; }

    void SetStatusLogText(const QString& text);
    void SetMessageLine(const QString& text);

private:
    QPlainTextEdit* txtTStatus_;
    QLineEdit* txtMsg_;
    OutputOptionsFrame* fraSettings_;
};

} // namespace px
