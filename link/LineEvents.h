// Pure translations from Linux line state to the control's event and error bits, kept apart from
// the reader thread so they can be tested with injected states (a pseudo-terminal has no modem
// lines and no line-error counters).
#pragma once

#include <cstdint>

namespace serlo {

// Modem status in the control's bit layout (MS_*_ON) from TIOCMGET bits.
std::uint32_t ModemStatusFromTiocm(int tiocm);

// Event bits for the modem lines that changed between two readings of the status. RING is
// reported when the ring indicator goes from on to off (the end of a ring, as serial drivers do).
std::uint32_t ModemEvents(std::uint32_t previous, std::uint32_t current);

// Line-error counters as the driver keeps them.
struct ErrorCounters {
    std::uint64_t frame = 0;
    std::uint64_t overrun = 0;
    std::uint64_t parity = 0;
    std::uint64_t brk = 0;
    std::uint64_t bufOverrun = 0;
};

struct LineErrors {
    std::uint32_t errors = 0; // CE_* bits
    std::uint32_t events = 0; // EV_ERR and/or EV_BREAK
};

// What grew between two readings of the counters.
LineErrors ErrorsFromCounters(const ErrorCounters& previous, const ErrorCounters& current);

} // namespace serlo
