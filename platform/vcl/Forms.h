// The framework's application object and the guard that keeps exceptions out of
// Qt's event loop.
#pragma once

#include "Dialogs.h"
#include "SysUtils.h"

#include <QString>
#include <exception>
#include <utility>

class TApplication {
public:
    QString Title;
    // Full path of the program file (argv[0] resolved), set by the program block.
    QString ExeName;
    bool Terminated = false;

    void ProcessMessages();
    // Ends the message loop (or, before it runs, makes the program block return).
    void Terminate();
    int MessageBox(const QString& text, const QString& caption, unsigned flags)
    {
        return MessageBoxEx(text, caption, flags);
    }
    // The default exception handler's box: the message with a closing period, OK, stop icon.
    void ShowException(const QString& message);
};

extern TApplication Application;

// A stored window size is the size of the whole window, frame and title bar included;
// Qt sizes the client area. These are the frame of a sizeable window of the system the
// sizes were made on.
constexpr int OuterFrameWidth = 16;
constexpr int OuterFrameHeight = 39;

// Runs an event handler body; an exception ends the handler with the framework's
// message box and never crosses the event loop.
template <class F>
void Guarded(F&& body) noexcept
{
    try {
        std::forward<F>(body)();
    } catch (const Exception& e) {
        Application.ShowException(e.Message);
    } catch (const std::exception& e) {
        Application.ShowException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        Application.ShowException(QStringLiteral("Unknown exception"));
    }
}
