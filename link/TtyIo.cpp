// This file talks to the kernel's termios2 directly, so it must not see glibc's <termios.h>.
#include "TtyIo.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <asm/termios.h>
#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <unistd.h>

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept;

namespace serlo::tty {

namespace {

bool GetState(int fd, termios2* t)
{
    return ioctl(fd, TCGETS2, t) == 0;
}
bool SetState(int fd, const termios2& t)
{
    return ioctl(fd, TCSETS2, &t) == 0;
}

bool ModemBit(int fd, int bit, bool on)
{
    return ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bit) == 0;
}

// Bxxx code of a standard rate, BOTHER for any other.
tcflag_t StandardSpeedCode(int baud)
{
    static const struct {
        int baud;
        tcflag_t code;
    } kCodes[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000}};
    for (const auto& c : kCodes)
        if (c.baud == baud) return c.code;
    return BOTHER;
}

} // namespace

int OpenExclusive(const std::string& path, int* error)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    termios2 probe{};
    if (!GetState(fd, &probe)) {
        *error = errno; // not a terminal device
        ::close(fd);
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *error = EBUSY;
        ::close(fd);
        return -1;
    }
    ioctl(fd, TIOCEXCL);
    return fd;
}

void ReleaseExclusive(int fd)
{
    ioctl(fd, TIOCNXCL);
}

bool MakeRaw(int fd)
{
    termios2 t{};
    if (!GetState(fd, &t)) return false;
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY | INPCK);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return SetState(fd, t);
}

bool ApplySpeed(int fd, int baud)
{
    termios2 t{};
    if (baud <= 0 || !GetState(fd, &t)) return false;
    // A standard rate goes in as its own code, which every tool understands (stty shows BOTHER as
    // an unknown speed); only other rates need BOTHER. The input speed follows the output speed.
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | CIBAUD);
    t.c_cflag |= StandardSpeedCode(baud);
    t.c_ispeed = t.c_ospeed = static_cast<speed_t>(baud);
    return SetState(fd, t);
}

bool ApplyFraming(int fd, int parity, int dataBits, int stopCode)
{
    static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    termios2 t{};
    if (parity < 0 || parity > 4 || dataBits < 5 || dataBits > 8 || !GetState(fd, &t)) return false;
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    t.c_cflag |= kSizes[dataBits - 5];
    if (stopCode != 1) t.c_cflag |= CSTOPB;
    switch (parity) {
    case 1:
        t.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        t.c_cflag |= PARENB;
        break;
    case 3:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case 4:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    // Parity errors are checked, but bytes are delivered unchanged (no marking, no stripping).
    if (parity != 0)
        t.c_iflag |= INPCK;
    else
        t.c_iflag &= ~static_cast<tcflag_t>(INPCK);
    return SetState(fd, t);
}

bool ApplyFlow(int fd, int flowBits)
{
    termios2 t{};
    if (!GetState(fd, &t)) return false;
    if (flowBits & 1)
        t.c_iflag |= IXON | IXOFF;
    else
        t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF);
    if (flowBits & 2)
        t.c_cflag |= CRTSCTS;
    else
        t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    return SetState(fd, t);
}

bool FlushInput(int fd)
{
    return ioctl(fd, TCFLSH, TCIFLUSH) == 0;
}
bool FlushOutput(int fd)
{
    return ioctl(fd, TCFLSH, TCOFLUSH) == 0;
}
bool SetRts(int fd, bool on)
{
    return ModemBit(fd, TIOCM_RTS, on);
}
bool SetDtr(int fd, bool on)
{
    return ModemBit(fd, TIOCM_DTR, on);
}
bool SetBreak(int fd, bool on)
{
    return ioctl(fd, on ? TIOCSBRK : TIOCCBRK) == 0;
}

int ModemLines(int fd)
{
    int bits = 0;
    return ioctl(fd, TIOCMGET, &bits) == 0 ? bits : -1;
}

int InputPending(int fd)
{
    int n = 0;
    return ioctl(fd, FIONREAD, &n) == 0 ? n : 0;
}

int OutputPending(int fd)
{
    int n = 0;
    return ioctl(fd, TIOCOUTQ, &n) == 0 ? n : 0;
}

bool TransmitterIdle(int fd)
{
    unsigned int lsr = 0;
    if (ioctl(fd, TIOCSERGETLSR, &lsr) != 0) return true;
    return (lsr & TIOCSER_TEMT) != 0;
}

bool ReadCounters(int fd, ErrorCounters* counters)
{
    serial_icounter_struct ic{};
    if (ioctl(fd, TIOCGICOUNT, &ic) != 0) return false;
    counters->frame = static_cast<unsigned>(ic.frame);
    counters->overrun = static_cast<unsigned>(ic.overrun);
    counters->parity = static_cast<unsigned>(ic.parity);
    counters->brk = static_cast<unsigned>(ic.brk);
    counters->bufOverrun = static_cast<unsigned>(ic.buf_overrun);
    return true;
}

} // namespace serlo::tty
