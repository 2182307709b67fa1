#include "Texts.h"

namespace px {

std::string Texts::Get(int, std::string_view def) const { return std::string(def); }

} // namespace px
