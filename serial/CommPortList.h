// The machine's serial port names from the registry, and the platform id.
#pragma once

#include "Win32.h"

#include <QStringList>

// Fills VersionInfo (its size member is set here) and returns the platform id (0 Win32s,
// 1 the 9x family, 2 the NT family), or -1 when the version cannot be read.
int GetPlatformId(OSVERSIONINFOA& VersionInfo);

// Appends every serial port name found that List does not already hold (compared
// without regard to letter case); List is not cleared first.
void EnumCommPorts(QStringList& List);
