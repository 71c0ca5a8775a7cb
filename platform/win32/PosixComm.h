// The default serial device: a POSIX terminal in raw mode, opened exclusively, served
// by its own I/O thread that keeps a user-space receive queue of SetupComm's size (the
// kernel's own queue holds only 4095 bytes).
//
// Pseudo-terminals have no modem lines and no line counters: those calls succeed there
// with every line off and no errors. A device that goes away (hang-up, EIO) fails every
// later call, and its outstanding operations, with ERROR_BAD_COMMAND.
#pragma once

#include "CommDevice.h"

#include <memory>
#include <string>

std::shared_ptr<CommDevice> OpenPosixCommDevice(const std::string& path, DWORD access, bool overlapped, DWORD& error);

// Line speed of a terminal through the kernel's arbitrary-rate interface.
bool PosixSetBaudRate(int fd, DWORD baud);
bool PosixGetBaudRate(int fd, DWORD& baud);
