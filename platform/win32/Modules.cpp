#include "Modules.h"

#include "VersionNote.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QWidget>

#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <mutex>
#include <unistd.h>

namespace {

QString& ProgramFolderOverride()
{
    static QString folder;
    return folder;
}

QString ProgramFile()
{
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    buf[n] = 0;
    return QString::fromLocal8Bit(buf);
}

// Copies text into a caller's buffer the way the platform's folder calls do: the length
// written, or the size needed (with the terminator) when the buffer is too small.
UINT CopyOut(const QString& text, char* buffer, UINT size)
{
    const QByteArray b = QFile::encodeName(text);
    if (!buffer || size <= static_cast<UINT>(b.size()))
        return static_cast<UINT>(b.size() + 1);
    std::memcpy(buffer, b.constData(), static_cast<size_t>(b.size()) + 1);
    return static_cast<UINT>(b.size());
}

// The fixed file information of the version note in an ELF file, if it has one.
bool ReadVersionNote(const QString& fileName, VS_FIXEDFILEINFO& info)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    Elf64_Ehdr eh;
    if (f.read(reinterpret_cast<char*>(&eh), sizeof eh) != sizeof eh)
        return false;
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64 ||
        eh.e_ident[EI_DATA] != ELFDATA2LSB || eh.e_shentsize != sizeof(Elf64_Shdr) || eh.e_shnum == 0)
        return false;
    for (unsigned i = 0; i < eh.e_shnum; ++i) {
        Elf64_Shdr sh;
        if (!f.seek(static_cast<qint64>(eh.e_shoff + i * sizeof sh)) ||
            f.read(reinterpret_cast<char*>(&sh), sizeof sh) != sizeof sh)
            return false;
        if (sh.sh_type != SHT_NOTE || sh.sh_size > (1u << 20))
            continue;
        if (!f.seek(static_cast<qint64>(sh.sh_offset)))
            return false;
        const QByteArray notes = f.read(static_cast<qint64>(sh.sh_size));
        qsizetype pos = 0;
        auto align4 = [](quint64 v) { return (v + 3) & ~quint64(3); };
        while (pos + 12 <= notes.size()) {
            Elf64_Nhdr nh;
            std::memcpy(&nh, notes.constData() + pos, sizeof nh);
            const quint64 nameAt = static_cast<quint64>(pos) + sizeof nh;
            const quint64 descAt = nameAt + align4(nh.n_namesz);
            const quint64 next = descAt + align4(nh.n_descsz);
            if (next > static_cast<quint64>(notes.size()))
                break;
            if (nh.n_type == KV_VERSION_NOTE_TYPE && nh.n_namesz == 10 &&
                std::memcmp(notes.constData() + nameAt, "Kestrovan", 10) == 0 && nh.n_descsz >= sizeof info) {
                std::memcpy(&info, notes.constData() + descAt, sizeof info);
                return info.dwSignature == KV_VERSION_SIGNATURE;
            }
            pos = static_cast<qsizetype>(next);
        }
    }
    return false;
}

const HWND kDesktop = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x10010));

} // namespace

void SetProgramFolderForTests(const QString& folder) { ProgramFolderOverride() = folder; }

QString ProgramModuleFolder()
{
    if (!ProgramFolderOverride().isEmpty())
        return ProgramFolderOverride();
    return QFileInfo(ProgramFile()).absolutePath();
}

HMODULE LoadLibraryA(LPCSTR fileName)
{
    if (!fileName || !*fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const QString name = QFile::decodeName(fileName);
    void* h = nullptr;
    if (!name.contains(QLatin1Char('/'))) {
        const QString local = ProgramModuleFolder() + QLatin1Char('/') + name;
        if (QFileInfo::exists(local))
            h = dlopen(QFile::encodeName(local).constData(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!h)
        h = dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (!h)
        SetLastError(ERROR_FILE_NOT_FOUND);
    return h;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName)
{
    if (!module || !procName)
        return nullptr;
    return reinterpret_cast<FARPROC>(dlsym(module, procName));
}

BOOL FreeLibrary(HMODULE module)
{
    if (!module)
        return FALSE;
    return dlclose(module) == 0 ? TRUE : FALSE;
}

DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size)
{
    QString path;
    if (!module) {
        path = ProgramFile();
    } else {
        // The file the loader opened for the library.
        link_map* map = nullptr;
        if (dlinfo(module, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name)
            path = QFile::decodeName(map->l_name);
    }
    if (path.isEmpty() || !buffer || size == 0)
        return 0;
    const QByteArray b = QFile::encodeName(path);
    const DWORD n = std::min<DWORD>(static_cast<DWORD>(b.size()), size - 1);
    std::memcpy(buffer, b.constData(), n);
    buffer[n] = 0;
    return n;
}

DWORD GetTempPathA(DWORD size, char* buffer)
{
    QString t = QString::fromLocal8Bit(qgetenv("TMPDIR"));
    if (t.isEmpty() || !QDir::isAbsolutePath(t))
        t = QStringLiteral("/tmp");
    if (!t.endsWith(QLatin1Char('/')))
        t += QLatin1Char('/');
    return CopyOut(t, buffer, size);
}

UINT GetSystemDirectoryA(char* buffer, UINT size)
{
#if defined(__x86_64__)
    const QString multiarch = QStringLiteral("/usr/lib/x86_64-linux-gnu");
#elif defined(__aarch64__)
    const QString multiarch = QStringLiteral("/usr/lib/aarch64-linux-gnu");
#else
    const QString multiarch;
#endif
    const QString dir = !multiarch.isEmpty() && QFileInfo(multiarch).isDir() ? multiarch : QStringLiteral("/usr/lib");
    return CopyOut(dir, buffer, size);
}

UINT GetWindowsDirectoryA(char* buffer, UINT size) { return CopyOut(QStringLiteral("/usr"), buffer, size); }

HWND GetDesktopWindow() { return kDesktop; }

BOOL SetForegroundWindow(HWND window)
{
    if (!window || window == kDesktop || !QApplication::instance())
        return FALSE;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (WindowHandle(w) == window) {
            w->raise();
            w->activateWindow();
            return TRUE;
        }
    }
    return FALSE;
}

LCID LocaleNameToLCID(const QString& name)
{
    QString n = name.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
    if (n.isEmpty() || n == QLatin1String("C") || n == QLatin1String("POSIX"))
        return 0x0409;
    struct Entry {
        const char* name;
        LCID id;
    };
    // Full names first; a language alone takes its default sublanguage.
    static const Entry full[] = {
        {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009}, {"en_NZ", 0x1409},
        {"en_IE", 0x1809}, {"en_ZA", 0x1C09}, {"de_DE", 0x0407}, {"de_CH", 0x0807}, {"de_AT", 0x0C07},
        {"fr_FR", 0x040C}, {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C}, {"es_ES", 0x0C0A},
        {"es_MX", 0x080A}, {"it_IT", 0x0410}, {"it_CH", 0x0810}, {"nl_NL", 0x0413}, {"nl_BE", 0x0813},
        {"pt_BR", 0x0416}, {"pt_PT", 0x0816}, {"zh_CN", 0x0804}, {"zh_TW", 0x0404},
    };
    static const Entry language[] = {
        {"en", 0x09}, {"de", 0x07}, {"fr", 0x0C}, {"es", 0x0A}, {"it", 0x10}, {"nl", 0x13}, {"pt", 0x16},
        {"sv", 0x1D}, {"da", 0x06}, {"fi", 0x0B}, {"nb", 0x14}, {"no", 0x14}, {"pl", 0x15}, {"cs", 0x05},
        {"ru", 0x19}, {"ja", 0x11}, {"zh", 0x04}, {"ko", 0x12}, {"hu", 0x0E}, {"tr", 0x1F}, {"el", 0x08},
    };
    for (const Entry& e : full)
        if (n == QLatin1String(e.name))
            return e.id;
    const QString lang = n.section(QLatin1Char('_'), 0, 0);
    for (const Entry& e : language)
        if (lang == QLatin1String(e.name))
            return (1u << 10) | e.id;
    return 0;
}

LCID GetSystemDefaultLCID()
{
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QByteArray v = qgetenv(var);
        if (!v.isEmpty())
            return LocaleNameToLCID(QString::fromLocal8Bit(v));
    }
    return LocaleNameToLCID(QString());
}

DWORD GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle)
{
    if (handle)
        *handle = 0;
    VS_FIXEDFILEINFO info{};
    if (!fileName || !ReadVersionNote(QFile::decodeName(fileName), info))
        return 0;
    return sizeof info;
}

BOOL GetFileVersionInfoA(LPCSTR fileName, DWORD, DWORD size, LPVOID data)
{
    VS_FIXEDFILEINFO info{};
    if (!fileName || !data || size < sizeof info || !ReadVersionNote(QFile::decodeName(fileName), info))
        return FALSE;
    std::memcpy(data, &info, sizeof info);
    return TRUE;
}

BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, UINT* length)
{
    if (!block || !subBlock || !buffer || std::strcmp(subBlock, "\\") != 0)
        return FALSE;
    *buffer = const_cast<void*>(block);
    if (length)
        *length = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
}
