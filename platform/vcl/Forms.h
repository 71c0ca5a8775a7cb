// The framework's application object and the guard that keeps exceptions out of
// Qt's event loop.
#pragma once

#include "Dialogs.h"
#include "SysUtils.h"

#include <QPoint>
#include <QRect>
#include <QString>
#include <exception>
#include <functional>
#include <optional>
#include <utility>

// Help commands of the framework's help requests.
constexpr int HELP_CONTEXT = 1;
constexpr int HELP_QUIT = 2;
constexpr int HELP_INDEX = 3;
constexpr int HELP_CONTENTS = 3;
constexpr int HELP_HELPONHELP = 4;
constexpr int HELP_SETINDEX = 5;
constexpr int HELP_SETCONTENTS = 5;
constexpr int HELP_CONTEXTPOPUP = 8;
constexpr int HELP_FORCEFILE = 9;
constexpr int HELP_CONTEXTMENU = 10;
constexpr int HELP_FINDER = 11;
constexpr int HELP_WM_HELP = 12;
constexpr int HELP_SETPOPUP_POS = 13;
constexpr int HELP_KEY = 0x101;
constexpr int HELP_COMMAND = 0x102;
constexpr int HELP_PARTIALKEY = 0x105;
constexpr int HELP_MULTIKEY = 0x201;
constexpr int HELP_SETWINPOS = 0x203;

// The application's help event: (command, data, var CallHelp) -> handled. Like the
// framework's event reference it carries the object it is bound to, so a handler that
// was replaced can be put back exactly.
struct THelpEvent {
    std::function<bool(unsigned short Command, int Data, bool& CallHelp)> Code;
    const void* Object = nullptr;
    explicit operator bool() const { return static_cast<bool>(Code); }
};

class TApplication {
public:
    QString Title;
    // Full path of the program file (argv[0] resolved), set by the program block.
    QString ExeName;
    bool Terminated = false;
    // The help file of the application's help requests.
    QString HelpFile;
    // Takes every help request first; a request it hands back (CallHelp true) goes to
    // the framework's own help engine, which this platform does not have: such a
    // request is only counted.
    THelpEvent OnHelp;
    int FrameworkHelpRequests = 0;
    bool HelpCommand(int Command, int Data);
    // A help request for a context number: F1 on a window, control or menu item with a
    // help context (the "HelpContext" property, looked up from the control outwards).
    bool HelpContext(int Context);

    void ProcessMessages();
    // Ends the message loop, whatever the windows (or, before it runs, makes the program
    // block return).
    void Terminate();
    int MessageBox(const QString& text, const QString& caption, unsigned flags)
    {
        return MessageBoxEx(text, caption, flags);
    }
    // The default exception handler's box: the message with a closing period, OK, stop icon.
    void ShowException(const QString& message);
};

extern TApplication Application;

class QWidget;
// Moves a window, its frame included, onto its screen's available area; a window larger
// than the area keeps its top and left edges on it.
void KeepOnScreen(QWidget* w);
// Every window of the application is kept on the screen once it is first shown and framed.
void InstallOnScreenKeeper();

// Where a window's frame goes: from its frame rectangle as it stands and the geometry of
// its screen to the frame's new top-left corner.
using FramePlacement = std::function<QPoint(const QRect& frame, const QRect& screen)>;
// Places a window by its frame, as the window manager draws it. Until the window manager
// has framed the window (before its first showing, or while it is hidden) only its client
// area is known: it is placed by that now and placed again once it is shown and framed.
void PlaceFrame(QWidget* w, FramePlacement placement);
// The placements windows ask for most. The top stays where it is unless one is given.
// The frame's right edge `inset` pixels inside the screen's right edge.
FramePlacement FrameAtRight(int inset = 0, std::optional<int> top = std::nullopt);
// The frame's left edge `left` pixels from the screen's left edge.
FramePlacement FrameAtLeft(int left, std::optional<int> top = std::nullopt);
// The frame centred on the screen, the remainder of an odd difference to the right and below.
FramePlacement FrameCentred();

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
