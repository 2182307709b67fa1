// A run-time error inside the program: a number and a description. Routines catch it and report
// "Routine - description(number)" or return their failure result; it never leaves the program.
#pragma once

#include <stdexcept>
#include <string>

namespace px {

class RuntimeError : public std::runtime_error {
public:
    RuntimeError(long number, const std::string& description)
        : std::runtime_error(description), number(number)
    {
    }
    const long number;

    // "Routine - description(number)", the program's way of reporting a caught error.
    std::string Report(const std::string& routine) const
    {
        return routine + " - " + what() + "(" + std::to_string(number) + ")";
    }
};

} // namespace px
