#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <csignal>
#include <sys/resource.h>

namespace {
ScriptedMessages* g_active = nullptr;
}

int DefaultAnswer(const MessageRequest& r)
{
    if (r.kind == MessageRequest::Dialog) {
        if (r.buttons & Btn(mbCancel)) return mrCancel;
        if (r.buttons & Btn(mbNo)) return mrNo;
        return mrOk;
    }
    if (r.kind == MessageRequest::Box) {
        switch (r.flags & 0xF) {
        case MB_OKCANCEL: case MB_YESNOCANCEL: case MB_RETRYCANCEL: return IDCANCEL;
        case MB_YESNO: return IDNO;
        case MB_ABORTRETRYIGNORE: return IDABORT;
        default: return IDOK;
        }
    }
    return mrOk;
}

void InstallDefaultMessageScript()
{
    SetMessageResponder([](const MessageRequest& r) {
        if (g_active) {
            g_active->requests.push_back(r);
            if (!g_active->answers.empty()) {
                int a = g_active->answers.front();
                g_active->answers.pop_front();
                return a;
            }
        }
        return DefaultAnswer(r);
    });
}

ScriptedMessages::ScriptedMessages() { g_active = this; }
ScriptedMessages::~ScriptedMessages()
{
    if (g_active == this)
        g_active = nullptr;
}

ScriptedMessages& ScriptedMessages::answer(int result)
{
    answers.push_back(result);
    return *this;
}

std::vector<QString> ScriptedMessages::texts() const
{
    std::vector<QString> t;
    for (const auto& r : requests)
        t.push_back(r.text);
    return t;
}

bool ScriptedMessages::saw(const QString& text) const
{
    for (const auto& r : requests)
        if (r.text == text)
            return true;
    return false;
}

TempCurrentDir::TempCurrentDir() : previous_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
TempCurrentDir::~TempCurrentDir() { QDir::setCurrent(previous_); }

QString ArtifactPath(const QString& name)
{
    QDir().mkpath(QStringLiteral(KV_ARTIFACT_DIR));
    return QStringLiteral(KV_ARTIFACT_DIR) + QLatin1Char('/') + name;
}

QString PdfText(const QString& pdfPath)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdfPath, QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

QImage PdfPageImage(const QString& pdfPath, int page, int dpi)
{
    QTemporaryDir dir;
    const QString stem = dir.path() + QStringLiteral("/page");
    QProcess p;
    p.start(QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"), QString::number(dpi),
                                         QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                                         QString::number(page), QStringLiteral("-singlefile"), pdfPath, stem});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return QImage(stem + QStringLiteral(".png"));
}

FileSizeLimit::FileSizeLimit(unsigned long long bytes)
{
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit r{};
    getrlimit(RLIMIT_FSIZE, &r);
    oldCur_ = r.rlim_cur;
    r.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &r);
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit r{};
    getrlimit(RLIMIT_FSIZE, &r);
    r.rlim_cur = oldCur_;
    setrlimit(RLIMIT_FSIZE, &r);
    std::signal(SIGXFSZ, oldHandler_);
}

QStringList FolderEntries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray ReadOrMissing(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
