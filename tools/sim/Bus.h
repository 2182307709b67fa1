// The units sharing one line, and which of them the last poll selected.
#pragma once

#include "Unit.h"

#include <string_view>
#include <vector>

namespace sim {

class Bus {
public:
    explicit Bus(std::vector<Unit> units) : units_(std::move(units)) {}

    // The unit that answers this frame text (a poll changes the selection); nullptr: silence.
    Unit* route(std::string_view text);
    Unit* find(int id);

private:
    std::vector<Unit> units_;
    int selected_ = 0; // -1: a poll for a missing ID deselected every unit
};

} // namespace sim
