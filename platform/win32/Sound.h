// The system's beep. A handler installed by tests hears every call instead of the
// speaker.
#pragma once

#include "Win32.h"

#include <functional>

BOOL MessageBeep(UINT uType);

using MessageBeepHandler = std::function<void(UINT)>;
void SetMessageBeepHandler(MessageBeepHandler handler);
