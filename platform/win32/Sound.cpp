#include "Sound.h"

#include <QApplication>
#include <utility>

namespace {
MessageBeepHandler& Handler()
{
    static MessageBeepHandler handler;
    return handler;
}
} // namespace

BOOL MessageBeep(UINT uType)
{
    if (Handler())
        Handler()(uType);
    else
        QApplication::beep();
    return TRUE;
}

void SetMessageBeepHandler(MessageBeepHandler handler) { Handler() = std::move(handler); }
