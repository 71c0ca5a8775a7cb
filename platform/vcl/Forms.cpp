#include "Forms.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QWidget>

TApplication Application;

void TApplication::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void TApplication::Terminate()
{
    Terminated = true;
    QCoreApplication::quit();
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
int ContextOf(const QObject* o)
{
    for (; o; o = o->parent()) {
        const int c = o->property("HelpContext").toInt();
        if (c != 0)
            return c;
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
