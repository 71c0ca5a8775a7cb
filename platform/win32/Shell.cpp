#include "Shell.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>

#include <cstring>
#include <pwd.h>
#include <unistd.h>

struct ITEMIDLIST {
    QByteArray path;
};

namespace {

QString HomeFolder()
{
    const QByteArray home = qgetenv("HOME");
    if (!home.isEmpty())
        return QString::fromLocal8Bit(home);
    if (const passwd* pw = getpwuid(getuid()))
        return QString::fromLocal8Bit(pw->pw_dir);
    return QDir::homePath();
}

// The install prefix: the folder above "bin" when the program runs from one (an
// installation or the build tree's bin), else the program's own folder.
QString ProgramFilesFolder()
{
    QString exeDir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    if (exeDir.isEmpty())
        exeDir = QDir::currentPath();
    QDir d(exeDir);
    if (d.dirName() == QLatin1String("bin") && d.cdUp())
        return d.absolutePath();
    return exeDir;
}

} // namespace

QString SpecialFolderPath(int csidl)
{
    switch (csidl) {
    case CSIDL_PROGRAM_FILES:
        return ProgramFilesFolder();
    case CSIDL_COMMON_APPDATA: {
        const QByteArray xdg = qgetenv("XDG_DATA_HOME");
        // The XDG rules ignore a relative value.
        if (!xdg.isEmpty() && QDir::isAbsolutePath(QString::fromLocal8Bit(xdg)))
            return QDir::cleanPath(QString::fromLocal8Bit(xdg));
        return HomeFolder() + QStringLiteral("/.local/share");
    }
    case CSIDL_PERSONAL: {
        const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        return docs.isEmpty() ? HomeFolder() + QStringLiteral("/Documents") : docs;
    }
    default:
        return {};
    }
}

long SHGetSpecialFolderLocation(void*, int csidl, ITEMIDLIST** ppidl)
{
    if (!ppidl)
        return E_FAIL;
    *ppidl = nullptr;
    const QString p = SpecialFolderPath(csidl);
    if (p.isEmpty())
        return E_FAIL;
    *ppidl = new ITEMIDLIST{QFile::encodeName(QDir::toNativeSeparators(p))};
    return S_OK;
}

int SHGetPathFromIDListA(const ITEMIDLIST* pidl, char* path)
{
    if (!pidl || !path)
        return 0;
    if (pidl->path.size() >= MAX_PATH) {
        path[0] = '\0';
        return 0;
    }
    std::memcpy(path, pidl->path.constData(), static_cast<size_t>(pidl->path.size()));
    path[pidl->path.size()] = '\0';
    return 1;
}

void SHFree(void* pv) { delete static_cast<ITEMIDLIST*>(pv); }

// ---- Windows paths and the user name ----


namespace {
QHash<QChar, QString>& DriveFolders()
{
    static QHash<QChar, QString> map;
    return map;
}

QByteArray LoginName()
{
    if (const passwd* pw = getpwuid(getuid()))
        return QByteArray(pw->pw_name);
    return qgetenv("USER");
}
} // namespace

std::function<QByteArray()> UserNameSource = LoginName;

void SetDriveFolder(char drive, const QString& folder)
{
    const QChar key = QChar(drive).toUpper();
    if (folder.isEmpty())
        DriveFolders().remove(key);
    else
        DriveFolders().insert(key, folder);
}

QString WindowsPathToLocal(const QString& path)
{
    if (path.size() < 2 || path.at(1) != QLatin1Char(':') || !path.at(0).isLetter())
        return QString();
    const auto it = DriveFolders().constFind(path.at(0).toUpper());
    if (it == DriveFolders().constEnd())
        return QString();
    QString rest = path.mid(2);
    rest.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QString base = it.value();
    while (base.endsWith(QLatin1Char('/')) && base.size() > 1)
        base.chop(1);
    if (!rest.startsWith(QLatin1Char('/')))
        rest.prepend(QLatin1Char('/'));
    return base + rest;
}

int GetUserNameA(char* buffer, DWORD* size)
{
    if (!size || !UserNameSource)
        return 0;
    const QByteArray name = UserNameSource();
    if (name.isEmpty())
        return 0;
    const DWORD need = static_cast<DWORD>(name.size()) + 1;
    if (!buffer || *size < need) {
        *size = need;
        return 0;
    }
    std::memcpy(buffer, name.constData(), name.size() + 1);
    *size = need;
    return 1;
}

void GetSpecialFolder(int csidl, QString& path)
{
    ITEMIDLIST* pidl = nullptr;
    if (SHGetSpecialFolderLocation(nullptr, csidl, &pidl) != S_OK)
        return;
    char buffer[MAX_PATH];
    if (SHGetPathFromIDListA(pidl, buffer))
        path = QFile::decodeName(buffer);
    SHFree(pidl);
}

