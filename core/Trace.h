// The one way a unit writes a line of the program's trace: Trace(text) instead of a
// local helper around TfmDebug::AddLine in every unit. Does nothing while the trace
// window does not exist.
#pragma once

#include "Debug.h"

#include <QString>

inline void Trace(const QString& text) { TfmDebug::AddLine(text); }
// A plain ASCII literal, as most trace lines are.
inline void Trace(const char* text) { TfmDebug::AddLine(QString::fromLatin1(text)); }
