// Page 2: the In/Out schedule (times of day, each "In" or "Out") with its in-place editors, its
// transfers to and from the terminal and its file.
#pragma once

#include "TablePage.h"

namespace px {

class InOutPage : public TablePage {
public:
    InOutPage();

protected:
    TimeTable& Table() const override;
    FilePlace Files() const override;
};

} // namespace px
