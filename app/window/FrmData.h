// The database dialog: initialise the terminal's record database, or prepare it for data
// recovery, each after a question that names the records it holds.
#pragma once

#include "DialogBase.h"

#include <array>

class QRadioButton;

namespace px {

class Core;

class FrmData : public DialogBase {
public:
    FrmData(QWidget* owner, Core& core);
    void done(int result) override;

private:
    void Ok();

    Core& core_;
    std::array<QRadioButton*, 2> optData_{};
};

} // namespace px
