// Event, error, modem-status and flow-control values of the control's interface. They keep the
// numeric values of the Win32 communication masks, which hosts of the control rely on.
#pragma once

#include <cstdint>

namespace serlo {

enum CommEventBits : std::uint32_t {
    EV_RXCHAR = 1,
    EV_RXFLAG = 2,
    EV_TXEMPTY = 4,
    EV_CTS = 8,
    EV_DSR = 16,
    EV_RLSD = 32,
    EV_BREAK = 64,
    EV_ERR = 128,
    EV_RING = 256,
};

enum CommErrorBits : std::uint32_t {
    CE_RXOVER = 1,
    CE_OVERRUN = 2,
    CE_RXPARITY = 4,
    CE_FRAME = 8,
    CE_BREAK = 16,
    CE_TXFULL = 256,
    CE_PTO = 512,
    CE_IOE = 1024,
    CE_DNS = 2048,
    CE_OOP = 4096,
    CE_MODE = 32768,
};

enum ModemStatusBits : std::uint32_t {
    MS_CTS_ON = 0x10,
    MS_DSR_ON = 0x20,
    MS_RING_ON = 0x40,
    MS_RLSD_ON = 0x80,
};

enum FlowControlBits : int {
    FC_None = 0,
    FC_XonXoff = 1,
    FC_RtsCts = 2,
    FC_DtrDsr = 4,
    FC_RS485 = 8,
};

enum Parity : int {
    ParityNone = 0,
    ParityOdd = 1,
    ParityEven = 2,
    ParityMark = 3,
    ParitySpace = 4
};

// Events the serial side watches while a port is open (everything except EV_ERR).
inline constexpr std::uint32_t kWatchedEvents = 0x17F;

} // namespace serlo
