// The card-ID filter of Format.ini's section General: when enabled, only a part of each card
// number (from a 1-based position, a number of characters) goes into the output lines and the
// records grid.
#pragma once

#include <string>

namespace px {

struct CardIdFilter {
    bool enabled = false;
    long start = 0;
    long length = 0;

    // The filter as Format.ini sets it; off when the file says so or its values select nothing.
    // A read that fails leaves it off with the report in *error.
    static CardIdFilter Load(const std::string& formatIni, std::string* error = nullptr);
    // The card ID as the filter shows it.
    std::string Apply(const std::string& cardId) const;
};

} // namespace px
