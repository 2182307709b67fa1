// User-interface texts by number. Until a language file is chosen every lookup answers its
// English default.
#pragma once

#include <string>
#include <string_view>

namespace px {

class Texts {
public:
    // The text with this number in the current language, or def.
    std::string Get(int number, std::string_view def) const;
};

} // namespace px
