// Arbitrary line speeds: the kernel's termios2 interface, kept apart from <termios.h>,
// whose declarations clash with it.
#include "PosixComm.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

bool PosixSetBaudRate(int fd, DWORD baud)
{
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_cflag &= ~CBAUD;
    t.c_cflag |= BOTHER;
    t.c_cflag &= ~(CBAUD << IBSHIFT);
    t.c_cflag |= BOTHER << IBSHIFT;
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
