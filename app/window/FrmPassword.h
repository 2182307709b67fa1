// The login dialog: two fixed access codes unlock the logged-in state; three wrong codes in one
// opening close it. Nothing is sent to the terminal.
#pragma once

#include "DialogBase.h"

class QLineEdit;

namespace px {

class Core;

class FrmPassword : public DialogBase {
public:
    FrmPassword(QWidget* owner, Core& core);

    int Failures() const { return failures_; }
    bool CancelPressed() const { return cancelPressed_; }

private:
    void Ok();

    Core& core_;
    QLineEdit* txtPasw_;
    int failures_ = 0;
    bool cancelPressed_ = false;
};

} // namespace px
