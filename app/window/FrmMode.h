// The display-mode dialog: reads the terminal's display mode when it opens and writes the chosen
// one with "Ok".
#pragma once

#include "DialogBase.h"

#include <array>

class QRadioButton;

namespace px {

class Core;

class FrmMode : public DialogBase {
public:
    FrmMode(QWidget* owner, Core& core);

    // False when reading the mode timed out: the program went off line and the dialog is not
    // shown.
    bool Loaded() const { return loaded_; }

private:
    void Ok();

    Core& core_;
    std::array<QRadioButton*, 2> timemode_{};
    bool loaded_ = false;
};

} // namespace px
