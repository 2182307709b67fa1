#include "ProgramPage.h"

#include "Controls.h"
#include "Program.h"

namespace px {

ProgramPage::ProgramPage(const char* name, QWidget* parent) : QWidget(parent)
{
    Named(this, name);
}

Core& ProgramPage::core() const
{
    return program_->core();
}

} // namespace px
