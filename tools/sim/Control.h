// Control commands read from standard input, one a line: faults and events on request.
#pragma once

#include <string>

namespace sim {

class Sim;

enum class ControlStatus { Ok, Error, Deferred, Quit };

struct ControlResult {
    ControlStatus status = ControlStatus::Ok;
    std::string error;
};

// Deferred: "OK" follows once the bytes queued by the command are on the line.
ControlResult runControl(const std::string& line, Sim& sim);

} // namespace sim
