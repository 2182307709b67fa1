#include "Bus.h"

namespace sim {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

} // namespace

Unit* Bus::find(int id)
{
    for (Unit& u : units_)
        if (u.id() == id) return &u;
    return nullptr;
}

Unit* Bus::route(std::string_view text)
{
    if (!text.empty() && text[0] == 'D') {
        // Only a well-formed poll reaches the units' address decoders.
        if (text.size() != 3 || hexDigit(text[1]) < 0 || hexDigit(text[2]) < 0) return nullptr;
        const int id = hexDigit(text[1]) * 16 + hexDigit(text[2]);
        selected_ = -1;
        for (size_t i = 0; i < units_.size(); ++i) {
            if (id == 0 || units_[i].id() == id) {
                selected_ = int(i);
                break;
            }
        }
    }
    return selected_ >= 0 ? &units_[size_t(selected_)] : nullptr;
}

} // namespace sim
