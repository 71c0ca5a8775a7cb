#include "Trace.h"

namespace {
// Constant-initialised: set before any unit's start-up code can trace.
TTraceSink g_traceSink = nullptr;
}  // namespace

TTraceSink SetTraceSink(TTraceSink sink)
{
    const TTraceSink old = g_traceSink;
    g_traceSink = sink;
    return old;
}

void Trace(const QString& text)
{
    if (g_traceSink)
        g_traceSink(text);
}
