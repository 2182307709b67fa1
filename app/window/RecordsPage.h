// Page 3: the terminal's records, fetched by hand, shown, sorted, saved and erased.
#pragma once

#include "ProgramPage.h"

class QLabel;
class QProgressBar;

namespace px {

class RecordsPage : public ProgramPage {
public:
    RecordsPage();

    void SetProgress(int value, int maximum);
    void SetCountLabel(const QString& text);
    void SetRecordControlsEnabled(bool enabled);

private:
    QProgressBar* pgbRecord_;
    QLabel* labCount_;
};

} // namespace px
