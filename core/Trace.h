// The one way a unit writes a line of the program's trace: Trace(text) instead of a
// local helper around the trace window's line writer in every unit. Does nothing
// while the trace window does not exist. The trace window's unit hands its line
// writer in here, so a unit that only traces (a file reader) needs no window to be
// built or linked.
#pragma once

#include <QString>

using TTraceSink = void (*)(const QString& text);
// The line writer every Trace goes to; none (nullptr): lines go nowhere. Returns the one
// it replaces, so a test that reads the lines can put it back.
TTraceSink SetTraceSink(TTraceSink sink);

void Trace(const QString& text);
// A plain ASCII literal, as most trace lines are.
inline void Trace(const char* text) { Trace(QString::fromLatin1(text)); }
