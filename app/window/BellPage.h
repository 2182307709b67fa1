// Page 1: the bell table with its in-place editor, its transfers to and from the terminal, its
// file, the "disabled" look, the relay mode and the bell duration.
#pragma once

#include "ProgramPage.h"

#include <array>

class QButtonGroup;
class QGroupBox;
class QPushButton;
class QRadioButton;

namespace px {

class TimeGrid;

class BellPage : public ProgramPage {
public:
    BellPage();

    void Bind(Program& program) override;
    void AfterLoad() override;
    void SetHeld(bool held) override;

    TimeGrid* Grid() const { return grid_; }
    void ButtonClicked(int index);

private:
    TimeGrid* grid_;
    std::array<QPushButton*, 7> cmdRing_{};
    QGroupBox* framAlarm_;
    std::array<QRadioButton*, 2> optRelay_{};
    QButtonGroup* relayGroup_;
    bool busy_ = false;
};

} // namespace px
