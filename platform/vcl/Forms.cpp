#include "Forms.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QSet>
#include <QTimer>
#include <QWidget>

#include <algorithm>

TApplication Application;

void TApplication::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

namespace {
// The framework's termination ends the message loop whatever the windows would say.
// Qt's own quit first closes every window and gives up when one keeps itself open (a
// window that hides instead of closing, a close that asks and is refused), which left
// the program running after its exit had already run. The quit event, which Qt sends
// only while the loop runs, hides the windows instead (nothing is asked, nothing can be
// refused, no window takes input while the program frees them) and ends every loop.
class TQuitAtOnce : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (watched != QCoreApplication::instance() || e->type() != QEvent::Quit)
            return false;
        const QList<QWidget*> windows = QApplication::topLevelWidgets();
        for (QWidget* w : windows)
            if (w->isVisible())
                w->hide();
        QCoreApplication::exit(0);
        return true;
    }
};
} // namespace

void TApplication::Terminate()
{
    Terminated = true;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    // On the GUI thread the quit event is sent at once, inside quit().
    TQuitAtOnce quitAtOnce;
    app->installEventFilter(&quitAtOnce);
    QCoreApplication::quit();
    app->removeEventFilter(&quitAtOnce);
}

void TApplication::ShowException(const QString& message)
{
    QString msg = message;
    if (!msg.isEmpty() && msg.back() > QLatin1Char('.'))
        msg += QLatin1Char('.');
    MessageBoxEx(msg, Title, MB_OK | MB_ICONSTOP);
}

bool TApplication::HelpCommand(int Command, int Data)
{
    bool callHelp = true;
    bool result = false;
    if (OnHelp)
        result = OnHelp.Code(static_cast<unsigned short>(Command), Data, callHelp);
    if (callHelp) {
        ++FrameworkHelpRequests;
        result = false;
    }
    return result;
}

bool TApplication::HelpContext(int Context) { return HelpCommand(HELP_CONTEXT, Context); }

namespace {
// The help context of a control is its own or that of the nearest control around it, up
// to its window: a dialog without one of its own does not borrow its owner's. A pop-up
// menu belongs to the window it drops from.
int ContextOf(const QObject* o)
{
    for (; o; o = o->parent()) {
        const int c = o->property("HelpContext").toInt();
        if (c != 0)
            return c;
        if (o->isWidgetType() && static_cast<const QWidget*>(o)->isWindow() && !qobject_cast<const QMenu*>(o))
            break;
    }
    return 0;
}

// F1 raises a help request for the help context of the menu item, control or window
// under it; without one the key goes on as any other.
class HelpKeyFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() != QEvent::KeyPress || !watched->isWidgetType())
            return false;
        auto* ke = static_cast<QKeyEvent*>(e);
        if (ke->key() != Qt::Key_F1 || ke->modifiers() != Qt::NoModifier)
            return false;
        int context = 0;
        if (auto* menu = qobject_cast<QMenu*>(watched)) {
            if (QAction* a = menu->activeAction())
                context = a->property("HelpContext").toInt();
        }
        if (context == 0)
            context = ContextOf(watched);
        if (context == 0)
            return false;
        Guarded([context] { Application.HelpContext(context); });
        return true;
    }
};

void InstallHelpKey()
{
    if (auto* app = QCoreApplication::instance())
        app->installEventFilter(new HelpKeyFilter(app));
}
} // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallHelpKey)

// ---- Windows kept on the screen ----

void KeepOnScreen(QWidget* w)
{
    const QScreen* s = w->screen();
    if (!s)
        return;
    const QRect avail = s->availableGeometry();
    const QRect frame = w->frameGeometry();
    auto clamp = [](int pos, int size, int lo, int hi) {
        // Too large for the screen: its top or left edge, where the title bar and the
        // close box are, stays on it.
        return size > hi - lo + 1 ? lo : std::clamp(pos, lo, hi + 1 - size);
    };
    const QPoint to(clamp(frame.left(), frame.width(), avail.left(), avail.right()),
                    clamp(frame.top(), frame.height(), avail.top(), avail.bottom()));
    if (to != frame.topLeft())
        w->move(w->pos() + (to - frame.topLeft()));
}

namespace {
// The window manager frames a window when it maps it: after the window's first paint the
// frame is known, and a window placed partly off the screen is moved onto it.
class OnScreenKeeper : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (!o->isWidgetType())
            return false;
        auto* w = static_cast<QWidget*>(o);
        if (!w->isWindow() || (w->windowType() != Qt::Window && w->windowType() != Qt::Dialog))
            return false;
        if (e->type() == QEvent::Show) {
            shown_.insert(w);
        } else if (e->type() == QEvent::Paint && shown_.remove(w)) {
            QPointer<QWidget> p(w);
            QTimer::singleShot(0, w, [p] {
                if (p && p->isVisible())
                    KeepOnScreen(p);
            });
        }
        return false;
    }

private:
    QSet<QWidget*> shown_;
};
} // namespace

void InstallOnScreenKeeper()
{
    static OnScreenKeeper* keeper = nullptr;
    if (!keeper) {
        keeper = new OnScreenKeeper(qApp);
        qApp->installEventFilter(keeper);
    }
}

// ---- Windows placed by their frame ----

namespace {
// Holds a window's placement until the window manager has framed it: the window's first
// paint after it is mapped; the frame is read once that paint's events are done.
class FramePlacer : public QObject {
public:
    explicit FramePlacer(QWidget* w) : QObject(w), window_(w)
    {
        setObjectName(QStringLiteral("kvFramePlacer"));
        w->installEventFilter(this);
    }
    FramePlacement Pending;

    static FramePlacer* Of(QWidget* w)
    {
        auto* p = w->findChild<QObject*>(QStringLiteral("kvFramePlacer"), Qt::FindDirectChildrenOnly);
        return p ? static_cast<FramePlacer*>(p) : new FramePlacer(w);
    }

    void Apply(const FramePlacement& placement) const
    {
        const QScreen* s = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
        if (!s)
            return;
        const QRect frame = window_->frameGeometry();
        const QPoint to = placement(frame, s->geometry());
        if (to != frame.topLeft())
            window_->move(window_->pos() + (to - frame.topLeft()));
    }

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (o == window_ && e->type() == QEvent::Paint && Pending && window_->testAttribute(Qt::WA_Mapped)) {
            QTimer::singleShot(0, this, [this] {
                if (!Pending || !window_->isVisible())
                    return;
                const FramePlacement placement = std::exchange(Pending, nullptr);
                Guarded([&] { Apply(placement); });
            });
        }
        return false;
    }

private:
    QWidget* window_;
};
} // namespace

void PlaceFrame(QWidget* w, FramePlacement placement)
{
    FramePlacer* placer = FramePlacer::Of(w);
    placer->Apply(placement);
    placer->Pending = w->testAttribute(Qt::WA_Mapped) ? nullptr : std::move(placement);
}

FramePlacement FrameAtRight(int inset, std::optional<int> top)
{
    return [inset, top](const QRect& frame, const QRect& screen) {
        return QPoint(screen.left() + screen.width() - frame.width() - inset, top ? screen.top() + *top : frame.top());
    };
}

FramePlacement FrameAtLeft(int left, std::optional<int> top)
{
    return [left, top](const QRect& frame, const QRect& screen) {
        return QPoint(screen.left() + left, top ? screen.top() + *top : frame.top());
    };
}

FramePlacement FrameCentred()
{
    return [](const QRect& frame, const QRect& screen) {
        return screen.topLeft() +
               QPoint((screen.width() - frame.width()) / 2, (screen.height() - frame.height()) / 2);
    };
}
