#include "FuzzSupport.h"

#include "Dialogs.h"
#include "SysUtils.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace kvfuzz {

namespace {
QApplication* g_app = nullptr;  // never freed: widgets must not outlive it
std::unique_ptr<QTemporaryDir> g_dir;  // removed at exit
}

void InitPlain()
{
    if (g_dir)
        return;
    std::setlocale(LC_NUMERIC, "C");
    DecimalSeparator = QLatin1Char('.');
    g_dir = std::make_unique<QTemporaryDir>();
    // Every box is answered as a user who declines would: Cancel, else No, else OK.
    SetMessageResponder([](const MessageRequest&) { return static_cast<int>(mrCancel); });
}

void Init()
{
    if (g_app)
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "kv-fuzz";
    static char* argv[] = {name, nullptr};
    g_app = new QApplication(argc, argv);
    InitPlain();
}

QString PutFile(const char* name, const uint8_t* data, size_t size)
{
    const QString path = g_dir->filePath(QString::fromLatin1(name));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        Check(false, "scratch file cannot be written");
    f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    return path;
}

void Check(bool cond, const char* what)
{
    if (cond)
        return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

} // namespace kvfuzz
