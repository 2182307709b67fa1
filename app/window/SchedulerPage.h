// Page 4: the time scheduler, its status view (the event log's lines) and the run's progress
// line.
#pragma once

#include "ProgramPage.h"

class QLineEdit;
class QPlainTextEdit;

namespace px {

class SchedulerPage : public ProgramPage {
public:
    SchedulerPage();

    void SetStatusLogText(const QString& text);
    void SetMessageLine(const QString& text);

private:
    QPlainTextEdit* txtTStatus_;
    QLineEdit* txtMsg_;
};

} // namespace px
