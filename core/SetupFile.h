// The setup file "Kestrovan.ksf": nine lines, one field of TSetupData each. Only texts
// and values here; the setup window (Setup.h) says what went wrong and edits the fields.
#pragma once

#include "SetupData.h"

#include <QString>
#include <cstdint>

// Defaults of the fields, also used for a line that cannot be read.
constexpr int16_t SetupDefaultRange = 4;
constexpr double SetupDefaultMaxOnTime = 5.0;
constexpr double SetupDefaultMaxOffTime = 5.0;
constexpr int SetupDefaultMaxOps = 4;
constexpr uint8_t SetupDefaultTestType = 0;
constexpr double SetupDefaultShuntAmperes = 1000;
constexpr double SetupDefaultShuntMillivolts = 100;

// The defaults into every field; a data file name already set (program control sets the
// full data folder path before the first read) stays.
void SetupDefaultValues(TSetupData& d);

// A shunt value is stored rounded to a whole number in six characters; one that rounds
// to 0 or below would make every current infinite or not a number, and one too wide for
// its line makes the full scales meaningless.
bool ShuntValueUsable(double v);
// The time-outs are stored with two decimals: 0 switches a limit off; a limit is no
// wider than the line's form holds, and none is so small that it would be stored as 0
// and silently switch itself off.
bool TimeUsable(double v);

// Fills d from the file. A line that is missing or holds no usable value takes that
// field's default and is traced ("Error reading file: <file> line <n>: <why>"); false
// when there was such a line (or the file could not be read), which deserves the one
// message.
bool ReadSetupLines(const QString& fileName, TSetupData& d);
// Writes d's lines to the file, whole or not at all; false when that failed.
bool WriteSetupLines(const QString& fileName, const TSetupData& d);
