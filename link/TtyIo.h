// Thin wrappers over the Linux serial-port ioctls. They use the kernel's termios2 interface, which
// takes any line speed, and report failure instead of throwing. No state lives here.
#pragma once

#include "LineEvents.h"

#include <string>

namespace serlo::tty {

// Opens a serial device for reading and writing, non-blocking, without making it the controlling
// terminal, and claims it exclusively (TIOCEXCL against other opens, an advisory lock against
// other processes that run as root). Returns the descriptor, or -1 with errno in *error.
int OpenExclusive(const std::string& path, int* error);

// Gives up the claim of OpenExclusive before the descriptor is closed: while another descriptor
// keeps the terminal open, the claim would outlive the close and lock ordinary users out.
void ReleaseExclusive(int fd);

// Raw 8-bit mode, receiver on, modem control lines ignored, reads return at once.
bool MakeRaw(int fd);
bool ApplySpeed(int fd, int baud);
// parity 0..4 (none, odd, even, mark, space), data bits 5..8, stop code 1 = one stop bit,
// 2 = two, anything else = one and a half (two stop-bit times on Linux, which sends 1.5 with 5
// data bits as UARTs do).
bool ApplyFraming(int fd, int parity, int dataBits, int stopCode);
// XON/XOFF and RTS/CTS bits; DTR/DSR output flow has no termios equivalent and is accepted as is.
bool ApplyFlow(int fd, int flowBits);

bool FlushInput(int fd);
bool FlushOutput(int fd);
bool SetRts(int fd, bool on);
bool SetDtr(int fd, bool on);
bool SetBreak(int fd, bool on);
// TIOCM_* bits, or -1 when the device has no modem lines (a pseudo-terminal).
int ModemLines(int fd);
int InputPending(int fd);
int OutputPending(int fd);
// The UART has sent its last bit (its shift register is empty); true where the driver cannot
// tell, which leaves the output queue as the only measure.
bool TransmitterIdle(int fd);
bool ReadCounters(int fd, ErrorCounters* counters);

} // namespace serlo::tty
