// Arbitrary line speeds: the kernel's termios2 interface, kept apart from <termios.h>,
// whose declarations clash with it.
#include "PosixComm.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace {
// The standard rates keep their own speed codes, so ordinary termios readers see them.
unsigned SpeedCode(DWORD baud)
{
    static const struct {
        DWORD rate;
        unsigned code;
    } codes[] = {{50, B50},       {75, B75},       {110, B110},     {134, B134},     {150, B150},
                 {200, B200},     {300, B300},     {600, B600},     {1200, B1200},   {1800, B1800},
                 {2400, B2400},   {4800, B4800},   {9600, B9600},   {19200, B19200}, {38400, B38400},
                 {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800},
                 {921600, B921600}};
    for (const auto& c : codes)
        if (c.rate == baud)
            return c.code;
    return BOTHER;
}
}  // namespace

bool PosixSetBaudRate(int fd, DWORD baud)
{
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    const unsigned code = SpeedCode(baud);
    t.c_cflag &= ~CBAUD;
    t.c_cflag |= code;
    t.c_cflag &= ~(CBAUD << IBSHIFT);
    t.c_cflag |= code << IBSHIFT;
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    return ioctl(fd, TCSETS2, &t) == 0;
}

bool PosixGetBaudRate(int fd, DWORD& baud)
{
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    baud = t.c_ospeed;
    return true;
}
