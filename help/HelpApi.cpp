#include "HelpApi.h"

#include "Registry.h"
#include "SysUtils.h"

#include <QFile>

HMODULE HHCtrlHandle = nullptr;
THtmlHelpA HtmlHelp = nullptr;

namespace {
const char* const kHHCtrlName = "hhctrl.ocx";
const char* const kHHCtrlKey = "CLSID\\{adb880a6-d8ff-11cf-9377-00aa003b7a11}\\InprocServer32";

QString DirWithoutOneTrailingSeparator(const char* buf, UINT n)
{
    if (n == 0)
        return {};
    QString s = QFile::decodeName(QByteArray(buf, static_cast<qsizetype>(n)));
    if (s.endsWith(QLatin1Char('\\')) || (s.endsWith(QLatin1Char('/')) && s.size() > 1))
        s.chop(1);
    return s;
}
} // namespace

void LoadHtmlHelp()
{
    if (HHCtrlHandle)
        return;
    HHCtrlHandle = LoadLibraryA(kHHCtrlName);
    if (!HHCtrlHandle) {
        const QString path = GetHHCtrlPath();
        if (!path.isEmpty() && FileExists(path))
            HHCtrlHandle = LoadLibraryA(QFile::encodeName(path).constData());
    }
    if (HHCtrlHandle)
        HtmlHelp = reinterpret_cast<THtmlHelpA>(GetProcAddress(HHCtrlHandle, "HtmlHelpA"));
}

void UnloadHtmlHelp()
{
    if (HHCtrlHandle) {
        FreeLibrary(HHCtrlHandle);
        HtmlHelp = nullptr;
        HHCtrlHandle = nullptr;
    }
}

QString GetHHCtrlPath()
{
    QString result;
    TRegistry reg;
    reg.RootKey = HKEY_CLASSES_ROOT;
    if (reg.OpenKeyReadOnly(QString::fromLatin1(kHHCtrlKey))) {
        const TRegDataType t = reg.GetDataType(QString());
        if (t == rdString || t == rdExpandString)
            result = reg.ReadString(QString());
        reg.CloseKey();
        ExpandSystemRoot(result);
        if (!result.isEmpty() && !FileExists(result))
            result.clear();
    }
    if (result.isEmpty())
        result = GetSystemDir() + QLatin1Char('/') + QLatin1String(kHHCtrlName);
    return result;
}

void ExpandSystemRoot(QString& Path)
{
    if (Path.size() < 12 || Path[0] != QLatin1Char('%') || Path[11] != QLatin1Char('%'))
        return;
    if (Path.mid(1, 10).compare(QLatin1String("SYSTEMROOT"), Qt::CaseInsensitive) != 0)
        return;
    Path = GetWindowsDir() + Path.mid(12);
}

QString GetSystemDir()
{
    char buf[261];
    const UINT n = GetSystemDirectoryA(buf, sizeof buf);
    return DirWithoutOneTrailingSeparator(buf, n < sizeof buf ? n : 0);
}

QString GetWindowsDir()
{
    char buf[261];
    const UINT n = GetWindowsDirectoryA(buf, sizeof buf);
    return DirWithoutOneTrailingSeparator(buf, n < sizeof buf ? n : 0);
}

void HelpApiInitialization() { LoadHtmlHelp(); }

void HelpApiFinalization() { UnloadHtmlHelp(); }
