// The control's entry, HtmlHelpA, with the three commands the program uses: display a
// topic (the path "file.chm::/topic>window", or the file's default topic), show the topic
// of a help context number through the file's own context map, and close every help
// window. One help window per help file, reused by later calls.
#include "HelpWindow.h"
#include "HtmlHelp.h"
#include "VersionNote.h"

#include <QApplication>
#include <QFileInfo>
#include <QMap>
#include <QPointer>
#include <QWindow>

KV_VERSION_NOTE(KV_VERSION_MAJOR, KV_VERSION_MINOR, KV_VERSION_PATCH, KV_VERSION_TWEAK);

namespace {

QMap<QString, QPointer<hh::HelpWindow>>& Windows()
{
    static QMap<QString, QPointer<hh::HelpWindow>> windows;
    return windows;
}

struct HelpPath {
    QString file;
    QString topic;   // object path, empty for the default topic
    QString window;  // window definition name (not used by this control's one window kind)
};

// "[mk:@MSITStore:|ms-its:]file.chm[::/topic][>window]"
HelpPath ParsePath(const QString& text)
{
    HelpPath p;
    QString s = text.trimmed();
    for (const char* prefix : {"mk:@MSITStore:", "ms-its:"}) {
        if (s.startsWith(QLatin1String(prefix), Qt::CaseInsensitive)) {
            s = s.mid(static_cast<qsizetype>(qstrlen(prefix)));
            break;
        }
    }
    const qsizetype gt = s.lastIndexOf(QLatin1Char('>'));
    if (gt >= 0) {
        p.window = s.mid(gt + 1);
        s = s.left(gt);
    }
    const qsizetype sep = s.indexOf(QLatin1String("::"));
    if (sep >= 0) {
        p.topic = hh::ObjectPath(s.mid(sep + 2));
        s = s.left(sep);
    }
    p.file = s;
    return p;
}

hh::HelpWindow* WindowFor(const QString& file)
{
    const QString key = QFileInfo(file).absoluteFilePath();
    QPointer<hh::HelpWindow>& w = Windows()[key];
    if (!w)
        w = new hh::HelpWindow(key);
    return w;
}

// A help window opened while a modal window is up must stay usable (scrolled, its links
// followed, closed) while that window keeps every other window blocked: the help window
// becomes a transient of the modal window, which a modal window does not block.
void ShowOver(hh::HelpWindow* w)
{
    w->winId();
    QWidget* modal = QApplication::activeModalWidget();
    QWindow* handle = w->windowHandle();
    if (handle) {
        QWindow* parent = modal && modal != w ? modal->windowHandle() : nullptr;
        // Setting the transient parent settles again whether the window is blocked, also
        // for a window already open behind the modal window.
        if (handle->transientParent() != parent)
            handle->setTransientParent(parent);
    }
    if (!w->isVisible())
        w->placeOver(modal && modal != w ? modal : QApplication::activeWindow());
    w->show();
    w->raise();
    w->activateWindow();
}

void CloseAll()
{
    const auto windows = Windows();
    Windows().clear();
    for (const QPointer<hh::HelpWindow>& w : windows)
        delete w.data();
}

// Windows left open when the program unloads the control go with it: their code is in
// this library.
__attribute__((destructor)) void UnloadControl()
{
    if (QApplication::instance())
        CloseAll();
}

} // namespace

extern "C" __attribute__((visibility("default"))) HH_HWND HtmlHelpA(HH_HWND /*caller*/, const char* file,
                                                                    std::uint32_t command, std::uint32_t data)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return nullptr;
    try {
        switch (command) {
        case HH_CLOSE_ALL:
            CloseAll();
            return nullptr;
        case HH_DISPLAY_TOPIC:
        case HH_HELP_CONTEXT: {
            if (!file || !*file)
                return nullptr;
            const HelpPath path = ParsePath(QString::fromLocal8Bit(file));
            if (path.file.isEmpty())
                return nullptr;
            hh::HelpWindow* w = WindowFor(path.file);
            if (!w->valid()) {
                w->showMessagePage(QStringLiteral("Cannot open the help file"),
                                   QStringLiteral("The help file \"%1\" could not be opened.").arg(path.file));
            } else if (command == HH_HELP_CONTEXT) {
                const int context = static_cast<int>(data);
                const QString mapped = w->browser()->chm->topicForContext(context);
                if (mapped.isEmpty())
                    w->showMissingContext(context);
                else
                    w->showTopic(mapped);
            } else if (!path.topic.isEmpty()) {
                w->showTopic(path.topic);
            } else {
                w->showDefaultTopic();
            }
            ShowOver(w);
            return w;
        }
        default:
            return nullptr;
        }
    } catch (...) {
        // Nothing may cross back into the caller's frames.
        return nullptr;
    }
}
