// The ID dialog: picks the directory line whose machine ID the connected terminal takes.
#pragma once

#include "DialogBase.h"

#include <string>
#include <vector>

class QComboBox;

namespace px {

class FrmId : public DialogBase {
public:
    FrmId(QWidget* owner, const Texts& texts, const std::vector<std::string>& lines);

    // The chosen line after "Ok"; "" after "Cancel".
    std::string Chosen() const;

private:
    QComboBox* cmbDevice_;
};

} // namespace px
