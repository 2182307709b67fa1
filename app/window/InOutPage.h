// Page 2: the In/Out schedule (times of day, each "In" or "Out") with its in-place editors, its
// transfers to and from the terminal and its file.
#pragma once

#include "ProgramPage.h"

#include <array>

class QPushButton;

namespace px {

class TimeGrid;

class InOutPage : public ProgramPage {
public:
    InOutPage();

    void Bind(Program& program) override;
    void SetHeld(bool held) override;

    TimeGrid* Grid() const { return grid_; }
    void ButtonClicked(int index);

private:
    TimeGrid* grid_;
    std::array<QPushButton*, 5> cmdIOSCMD_{};
    bool busy_ = false;
};

} // namespace px
