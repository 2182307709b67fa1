// Page 1: the bell table with its in-place editor, its transfers to and from the terminal, its
// file, the "disabled" look, the relay mode and the bell duration.
#pragma once

#include "TablePage.h"

#include <array>

class QButtonGroup;
class QGroupBox;
class QRadioButton;

namespace px {

class BellPage : public TablePage {
public:
    BellPage();

    void AfterLoad() override;

protected:
    TimeTable& Table() const override;
    FilePlace Files() const override;
    void RunOwnCommand(Command command) override;

private:
    QGroupBox* framAlarm_;
    std::array<QRadioButton*, 2> optRelay_{};
    QButtonGroup* relayGroup_;
};

} // namespace px
