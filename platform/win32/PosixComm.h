// The default serial device: a POSIX terminal in raw mode, opened exclusively, with a
// user-space receive queue of SetupComm's size (the kernel's own queue holds only 4095
// bytes). The line is served inside the waits on its operations' events (the port's
// worker waits on them all the time it is open); a standby thread takes over only while
// no wait has served it for a while, so a busy reader still loses nothing. Received bytes
// are handed on at most 10 ms after the first of them arrived, together with what
// followed, as a USB serial adapter's latency timer does.
//
// Pseudo-terminals have no modem lines and no line counters: those calls succeed there
// with every line off and no errors. A device that goes away (hang-up, EIO) fails every
// later call, and its outstanding operations, with ERROR_BAD_COMMAND.
#pragma once

#include "CommDevice.h"

#include <memory>
#include <string>

std::shared_ptr<CommDevice> OpenPosixCommDevice(const std::string& path, DWORD access, bool overlapped, DWORD& error);

// The system's own reason for the last open of a device on this thread that failed: the
// Win32 error code folds "no rights" and "in use" into one. Error 0 after an open that
// succeeded.
struct CommOpenFailure {
    std::string path;
    int error = 0;  // an errno value
};
CommOpenFailure LastCommOpenFailure();
// Every open starts with no failure on record, also one that never reaches a device.
void ForgetCommOpenFailure();

// Line speed of a terminal through the kernel's arbitrary-rate interface.
bool PosixSetBaudRate(int fd, DWORD baud);
bool PosixGetBaudRate(int fd, DWORD& baud);
