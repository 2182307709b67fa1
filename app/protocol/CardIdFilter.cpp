#include "CardIdFilter.h"

#include "Ini.h"
#include "Replies.h"
#include "VbText.h"

namespace px {

CardIdFilter CardIdFilter::Load(const std::string& file, std::string* error)
{
    CardIdFilter f;
    try {
        const bool enabled =
            UCase(ini::getString(file, "General", "CardIDFilterEnabled", "FALSE")) == "TRUE";
        const long length =
            static_cast<long>(Val(ini::getString(file, "General", "CardIDLength", "0")));
        const long start =
            static_cast<long>(Val(ini::getString(file, "General", "CardIDStart", "0")));
        // A negative position or length cannot select anything: treated as off.
        if (enabled && length > 0 && start >= 1) {
            f.enabled = true;
            f.start = start;
            f.length = length;
        }
    } catch (const std::exception& e) {
        f = {};
        if (error) *error = std::string("SetCardIDFilter - ") + e.what() + "(5)";
    }
    return f;
}

std::string CardIdFilter::Apply(const std::string& cardId) const
{
    return enabled ? reply::FilterCardId(cardId, start, length) : cardId;
}

} // namespace px
