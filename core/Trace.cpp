#include "Trace.h"

namespace {
// Constant-initialised: set before any unit's start-up code can trace.
TTraceSink traceSink = nullptr;
}  // namespace

void SetTraceSink(TTraceSink sink) { traceSink = sink; }

void Trace(const QString& text)
{
    if (traceSink)
        traceSink(text);
}
