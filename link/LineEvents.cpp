#include "LineEvents.h"

#include "CommConstants.h"

#include <sys/ioctl.h>

namespace serlo {

std::uint32_t ModemStatusFromTiocm(int tiocm)
{
    std::uint32_t status = 0;
    if (tiocm & TIOCM_CTS) status |= MS_CTS_ON;
    if (tiocm & TIOCM_DSR) status |= MS_DSR_ON;
    if (tiocm & TIOCM_RI) status |= MS_RING_ON;
    if (tiocm & TIOCM_CD) status |= MS_RLSD_ON;
    return status;
}

std::uint32_t ModemEvents(std::uint32_t previous, std::uint32_t current)
{
    const std::uint32_t changed = previous ^ current;
    std::uint32_t events = 0;
    if (changed & MS_CTS_ON) events |= EV_CTS;
    if (changed & MS_DSR_ON) events |= EV_DSR;
    if (changed & MS_RLSD_ON) events |= EV_RLSD;
    if ((previous & MS_RING_ON) && !(current & MS_RING_ON)) events |= EV_RING;
    return events;
}

LineErrors ErrorsFromCounters(const ErrorCounters& previous, const ErrorCounters& current)
{
    LineErrors out;
    if (current.frame > previous.frame) out.errors |= CE_FRAME;
    if (current.overrun > previous.overrun) out.errors |= CE_OVERRUN;
    if (current.parity > previous.parity) out.errors |= CE_RXPARITY;
    if (current.bufOverrun > previous.bufOverrun) out.errors |= CE_RXOVER;
    if (current.brk > previous.brk) {
        out.errors |= CE_BREAK;
        out.events |= EV_BREAK;
    }
    if (out.errors & ~static_cast<std::uint32_t>(CE_BREAK)) out.events |= EV_ERR;
    return out;
}

} // namespace serlo
