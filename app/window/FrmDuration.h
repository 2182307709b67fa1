// The bell-duration dialog: reads the terminal's bell duration when it opens and writes the
// number of seconds typed (0 to 255) with "Ok". An empty or refused value writes nothing and says
// why; the dialog then stays open.
#pragma once

#include "DialogBase.h"

class QLineEdit;

namespace px {

class Core;

class FrmDuration : public DialogBase {
public:
    FrmDuration(QWidget* owner, Core& core);

    // False when reading the duration timed out: the program went off line.
    bool Loaded() const { return loaded_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Ok();

    Core& core_;
    QLineEdit* txtDura_;
    bool loaded_ = false;
};

} // namespace px
