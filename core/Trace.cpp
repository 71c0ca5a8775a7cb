#include "Trace.h"

namespace {
// Constant-initialised: set before any unit's start-up code can trace.
TTraceSink g_traceSink = nullptr;
}  // namespace

void SetTraceSink(TTraceSink sink) { g_traceSink = sink; }

void Trace(const QString& text)
{
    if (g_traceSink)
        g_traceSink(text);
}
