#include "HelpKit.h"

#include "HelpApi.h"
#include "LogFiles.h"
#include "Modules.h"
#include "SysUtils.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QThread>


QString _ModulePath;
QString _ModuleDir;
QString _ModuleName;
QString _RunDir;
QString LogFolder;
bool DebugEnabled = false;
QString _hhVerStr;
bool _hhInstalled = false;
QString _hhFriendlyVerStr;
QString _ieVerStr;
bool _ieInstalled = false;
QString _ieFriendlyVerStr;
TDLogFile* HelpDebugLog = nullptr;

QStringList HelpKitCommandLine;
QString HelpKitModulePath;

namespace {

const QChar kSep = QLatin1Char('/');

QStringList CommandLine()
{
    if (!HelpKitCommandLine.isEmpty())
        return HelpKitCommandLine;
    return QCoreApplication::instance() ? QCoreApplication::arguments() : QStringList();
}

QString ModuleFileName()
{
    if (!HelpKitModulePath.isEmpty())
        return HelpKitModulePath;
    char buf[301];
    const DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    return QFile::decodeName(QByteArray(buf, static_cast<qsizetype>(n)));
}

// Parameter 0: the program file's full name.
QString ProgramParam0()
{
    const QStringList args = CommandLine();
    if (!HelpKitCommandLine.isEmpty() || !QCoreApplication::instance())
        return args.value(0);
    return QCoreApplication::applicationFilePath();
}

QString RawCommandLine()
{
    if (!HelpKitCommandLine.isEmpty())
        return HelpKitCommandLine.join(QLatin1Char(' '));
    QFile f(QStringLiteral("/proc/self/cmdline"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QByteArray raw = f.readAll();
    if (raw.endsWith('\0'))
        raw.chop(1);
    raw.replace('\0', ' ');
    return QString::fromLocal8Bit(raw);
}

QString FolderOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(kSep);
    return slash < 0 ? QString() : path.left(slash + 1);
}

QString NameOf(const QString& path) { return path.mid(path.lastIndexOf(kSep) + 1); }

bool LExists(const QString& path) { return LogPathExists(path); }

QString Hex4(unsigned v) { return QStringLiteral("0x") + QString::number(v, 16).toUpper().rightJustified(4, QLatin1Char('0')); }

QString CurrentTimeText() { return TimeToStr(QTime::currentTime()); }

} // namespace

// ---------------------------------------------------------------------------------------
// The help hook and its display routines
// ---------------------------------------------------------------------------------------

THookHelpSystem::THookHelpSystem(const QString& ChmFile_, const QString& WinDef_, std::uint8_t Mode_)
    : ChmFile(ChmFile_), WinDef(WinDef_), Mode(Mode_)
{
    SavedHelp = Application.OnHelp;
    Application.OnHelp.Code = [this](unsigned short Command, int Data, bool& CallHelp) {
        return HelpHook(Command, Data, CallHelp);
    };
    Application.OnHelp.Object = this;
    DebugOut(QStringLiteral("THookHelpSystem.Create(\"%s\",\"%s\", %d)"), {ChmFile, WinDef, Mode});
}

THookHelpSystem::~THookHelpSystem()
{
    if (Mode == 0)
        HHCloseAll();
    Application.OnHelp = SavedHelp;
    DebugOut(QStringLiteral("THookHelpSystem.Destroy"));
}

bool THookHelpSystem::HelpHook(unsigned short Command, int Data, bool& CallHelp)
{
    const bool result = true;
    DebugOut(QStringLiteral("THookHelpSystem.HelpHook(%s, %d)"), {HelpCommandName(Command), Data});
    CallHelp = false;
    switch (Command) {
    case HELP_CONTEXT:
    case HELP_CONTEXTPOPUP:
        HHShowError(HHHelpContext(ChmFile, Data, WinDef, Mode));
        break;
    case HELP_SETPOPUP_POS:
        break;
    default:
        CallHelp = true;
        break;
    }
    return result;
}

int HHHelpContext(const QString& ChmFile, int ContextId, const QString& WinDef, std::uint8_t Mode)
{
    DebugOut(QStringLiteral("HHHelpContext(\"%s\", %d, \"%s\", %d)"), {ChmFile, ContextId, WinDef, Mode});
    const QString path = MakeHelpPath(ChmFile, QString(), WinDef, 0);
    return ShowContext(path, ContextId, Mode);
}

QString MakeHelpPath(QString FileName, QString Topic, QString Window, std::uint8_t Prefix)
{
    for (QString* s : {&FileName, &Topic, &Window}) {
        ReplaceAll(*s, QStringLiteral("%20"), QStringLiteral(" "));
        TrimChar(*s, QLatin1Char(' '));
    }
    QString result;
    if (Topic.isEmpty()) {
        result = FileName;
    } else {
        Topic.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (!Topic.startsWith(QLatin1Char('/')))
            Topic.prepend(QLatin1Char('/'));
        result = Topic;
        if (!FileName.isEmpty())
            result = FileName + QStringLiteral("::") + Topic;
    }
    if (!Window.isEmpty())
        result += QLatin1Char('>') + Window;
    if (Prefix == 1)
        result.prepend(QStringLiteral("mk:@MSITStore:"));
    else if (Prefix == 2)
        result.prepend(QStringLiteral("ms-its:"));
    return result;
}

int ShowContext(const QString& Path, int ContextId, std::uint8_t Mode)
{
    DebugOut(QStringLiteral("ShowContext(\"%s\", %d)"), {Path, Mode});
    int result = HH_ERR_NONE;
    if (!_hhInstalled || !HtmlHelp) {
        result = HH_ERR_NOT_INSTALLED;
    } else if (Mode == 0) {
        const QByteArray path = QFile::encodeName(Path);
        HWND wnd = HtmlHelp(GetDesktopWindow(), path.constData(), HH_HELP_CONTEXT, static_cast<std::uint32_t>(ContextId));
        if (wnd)
            SetForegroundWindow(wnd);
        result = HH_ERR_NONE;
    }
    DebugOut(QStringLiteral("  returned - %d"), {result});
    return result;
}

void HHShowError(int Code)
{
    if (Code == HH_ERR_NONE)
        return;
    if (Code == HH_ERR_NOT_INSTALLED) {
        const QString text = QStringLiteral("MS Html Help is not installed on this PC.");
        AppMessageBox(text, MB_ICONEXCLAMATION | MB_OK);
        DebugOut(QStringLiteral("HHShowError(%d), \"%s\""), {Code, text});
    }
}

void HHCloseAll()
{
    if (HHCtrlHandle && HtmlHelp) {
        HtmlHelp(nullptr, nullptr, HH_CLOSE_ALL, 0);
        QThread::yieldCurrentThread();
    }
}

QString HelpCommandName(int Command)
{
    const char* name = "??";
    switch (Command) {
    case 1: name = "HELP_CONTEXT"; break;
    case 2: name = "HELP_QUIT"; break;
    case 3: name = "HELP_INDEX or HELP_CONTENTS"; break;
    case 4: name = "HELP_HELPONHELP"; break;
    case 5: name = "HELP_SETINDEX or HELP_SETCONTENTS"; break;
    case 8: name = "HELP_CONTEXTPOPUP"; break;
    case 9: name = "HELP_FORCEFILE"; break;
    case 10: name = "HELP_CONTEXTMENU"; break;
    case 11: name = "HELP_FINDER"; break;
    case 12: name = "HELP_WM_HELP"; break;
    case 13: name = "HELP_SETPOPUP_POS"; break;
    case 257: name = "HELP_KEY"; break;
    case 258: name = "HELP_COMMAND"; break;
    case 261: name = "HELP_PARTIALKEY"; break;
    case 513: name = "HELP_MULTIKEY"; break;
    case 515: name = "HELP_SETWINPOS"; break;
    default: break;
    }
    return QStringLiteral("%1 (%2)").arg(Command).arg(QLatin1String(name));
}

int AppMessageBox(const QString& Text, unsigned Flags) { return MessageBoxEx(Text, Application.Title, Flags); }

// ---------------------------------------------------------------------------------------
// The help debug log
// ---------------------------------------------------------------------------------------

QString FormatArgs(const QString& Fmt, const QVariantList& Args)
{
    QString out;
    qsizetype next = 0;
    for (qsizetype i = 0; i < Fmt.size(); ++i) {
        const QChar c = Fmt[i];
        if (c == QLatin1Char('%') && i + 1 < Fmt.size()) {
            const QChar k = Fmt[i + 1];
            if (k == QLatin1Char('%')) {
                out += c;
                ++i;
                continue;
            }
            if (k == QLatin1Char('s') || k == QLatin1Char('d')) {
                const QVariant v = Args.value(next++);
                out += k == QLatin1Char('d') ? QString::number(v.toLongLong()) : v.toString();
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

TDLogFile::TDLogFile(const QString& FileName_, bool Enabled_, bool TimeStamp_, bool WithHeader_, bool Append_)
{
    QString name = FileName_;
    if (name.isEmpty())
        name = LogFolder + kSep + QStringLiteral("HelpDebug.txt");
    QString folder = FolderOf(name);
    TrimRightChar(folder, kSep);
    if (folder.isEmpty() || !QFileInfo(folder).isDir() || !DirIsWritable(folder)) {
        // Never the shared temporary folder itself: this user's own folder in it.
        const QString own = GetUserLogDir();
        name = own.isEmpty() ? QString() : own + kSep + NameOf(name);
    }
    FileName = name;
    Enabled = Enabled_;
    TimeStamp = TimeStamp_;
    WithHeader = WithHeader_;
    Append = Append_;
    if (!FileName.isEmpty() && LExists(FileName)) {
        // The file from an earlier run may be read-only: make it writable again, but only
        // a plain file of this user's, never through a symbolic link.
        MakeLogFileWritable(FileName);
    }
    WriteHeader();
}

void TDLogFile::WriteHeader()
{
    // unlink removes a symbolic link itself, never the file it points to.
    if (!FileName.isEmpty() && LExists(FileName) && !Append)
        RemoveLogPath(FileName);
    if (!(Enabled && WithHeader))
        return;
    const QString tab = QStringLiteral("\t");
    // The system the program runs on, in the line's own layout: name, version, build and,
    // where the service pack stood, the kernel's release as the system gives it.
    const SystemRelease os = GetSystemRelease();
    const QString system = QString::fromLocal8Bit(os.Name.c_str());
    const QString release = os.Release.empty() ? QStringLiteral("No Service Pack") : QString::fromLocal8Bit(os.Release.c_str());
    const LCID lcid = GetSystemDefaultLCID();
    const LANGID lang = LANGIDFROMLCID(lcid);
    const QStringList args = CommandLine();
    const QString param0 = ProgramParam0();

    WriteLine(QStringLiteral("="));
    WriteLine(QStringLiteral("!Log File:             %s"), {tab + FileName});
    WriteLine(QStringLiteral("!Date:                 %s"),
              {tab + DateToStr(QDate::currentDate()) + QLatin1Char(' ') + CurrentTimeText()});
    WriteLine(QStringLiteral("!Operating System:      %s %d.%d (Build %d) %s"),
              {tab + system, os.Major, os.Minor, os.Build, release});
    WriteLine(QStringLiteral("!SysLocale.DefaultLCID: %s (%s)"), {tab + Hex4(lcid), QString::number(lcid)});
    WriteLine(QStringLiteral("!SysLocale.PriLangID:   %s (%s)"),
              {tab + Hex4(PRIMARYLANGID(lang)), QString::number(PRIMARYLANGID(lang))});
    WriteLine(QStringLiteral("!SysLocale.SubLangID:   %s (%s)"),
              {tab + Hex4(SUBLANGID(lang)), QString::number(SUBLANGID(lang))});
    WriteLine(QStringLiteral("!DecimalSeparator:      %s"), {tab + QString(DecimalSeparator)});
    WriteLine(QStringLiteral("-"));
    WriteLine(QStringLiteral("!EXE Path =          %s"), {tab + param0});
    WriteLine(QStringLiteral("!EXE Version =       %s"), {tab + GetFileVersionText(param0)});
    WriteLine(QStringLiteral("!Cmdline Param(s) =  %s"), {tab + args.mid(1).join(QStringLiteral(" | "))});
    WriteLine(QStringLiteral("!Actual CmdLine =  %s"), {tab + RawCommandLine().left(255)});
    WriteLine(QStringLiteral("!_RunDir =           %s"), {tab + _RunDir});
    WriteLine(QStringLiteral("!_ModuleName =       %s"), {tab + _ModuleName});
    WriteLine(QStringLiteral("!_ModuleDir =        %s"), {tab + _ModuleDir});
    WriteLine(QStringLiteral("!_ModulePath =        %s"), {tab + _ModulePath});
    WriteLine(QStringLiteral("!Module Version =       %s"), {tab + GetFileVersionText(_ModulePath)});
    WriteLine(QStringLiteral("-"));
    WriteLine(QStringLiteral("!_hhInstalled =      %s"), {tab + YesNo(_hhInstalled)});
    WriteLine(QStringLiteral("!_hhVerStr =         %s"), {tab + _hhVerStr});
    WriteLine(QStringLiteral("!_hhFriendlyVerStr = %s"), {tab + _hhFriendlyVerStr});
    WriteLine(QStringLiteral("-"));
    WriteLine(QStringLiteral("!_ieInstalled =      %s"), {tab + YesNo(_ieInstalled)});
    WriteLine(QStringLiteral("!_ieVerStr =         %s"), {tab + _ieVerStr});
    WriteLine(QStringLiteral("!_ieFriendlyVerStr = %s"), {tab + _ieFriendlyVerStr});
    WriteLine(QStringLiteral("="));
}

QString TDLogFile::LineText(const QString& Text, bool TimeStamp, const QString& Prefix)
{
    if (Text == QLatin1String("-") || Text == QLatin1String("="))
        return RepeatChar(Text[0], 79);
    if (!Text.isEmpty() && (Text[0] == QLatin1Char('!') || Text[0] == QLatin1Char('-') || Text[0] == QLatin1Char('=')))
        return Text.mid(1);
    return TimeStamp ? Prefix + Text : Text;
}

void TDLogFile::WriteLine(const QString& Fmt, const QVariantList& Args)
{
    if (FileName.isEmpty())
        return;
    // Appended to, or made; never through a symbolic link, and only into a plain file.
    AppendLogBytes(FileName, [&] {
        const QString prefix = TimeStamp ? CurrentTimeText() + QStringLiteral("   ") : QString();
        const QString text = Args.isEmpty() ? Fmt : FormatArgs(Fmt, Args);
        return LineText(text, TimeStamp, prefix).toLocal8Bit() + "\r\n";
    });
}

void TDLogFile::DebugOut(const QString& Fmt, const QVariantList& Args)
{
    if (Enabled)
        WriteLine(Fmt, Args);
}

void DebugOut(const QString& Fmt, const QVariantList& Args)
{
    if (HelpDebugLog)
        HelpDebugLog->DebugOut(Fmt, Args);
}

// ---------------------------------------------------------------------------------------
// File versions
// ---------------------------------------------------------------------------------------

bool GetFileVersion(const QString& FileName, std::uint16_t& Major, std::uint16_t& Minor, std::uint16_t& Release,
                    std::uint16_t& Build, QString& Text)
{
    Major = Minor = Release = Build = 0;
    Text.clear();
    if (FileName.isEmpty() || !FileExists(FileName))
        return false;
    const QByteArray name = QFile::encodeName(FileName);
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(name.constData(), &handle);
    if (size == 0)
        return false;
    QByteArray block(static_cast<qsizetype>(size), '\0');
    if (!GetFileVersionInfoA(name.constData(), handle, size, block.data()))
        return false;
    void* fixed = nullptr;
    UINT len = 0;
    if (!VerQueryValueA(block.constData(), "\\", &fixed, &len) || !fixed)
        return false;
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    Major = static_cast<std::uint16_t>(info->dwFileVersionMS >> 16);
    Minor = static_cast<std::uint16_t>(info->dwFileVersionMS & 0xFFFF);
    Release = static_cast<std::uint16_t>(info->dwFileVersionLS >> 16);
    Build = static_cast<std::uint16_t>(info->dwFileVersionLS & 0xFFFF);
    Text = QStringLiteral("%1.%2.%3.%4").arg(Major).arg(Minor).arg(Release).arg(Build);
    return true;
}

TFileVersion GetFileVersion(const QString& FileName)
{
    TFileVersion v;
    GetFileVersion(FileName, v.Major, v.Minor, v.Release, v.Build, v.Text);
    return v;
}

QString GetFileVersionText(const QString& FileName) { return GetFileVersion(FileName).Text; }

TFileVersion MakeVersion(std::uint16_t Major, std::uint16_t Minor, std::uint16_t Release, std::uint16_t Build)
{
    TFileVersion v{Major, Minor, Release, Build, {}};
    v.Text = QStringLiteral("%1.%2.%3.%4").arg(Major).arg(Minor).arg(Release).arg(Build);
    return v;
}

int CompareVersion(const TFileVersion& A, const TFileVersion& B)
{
    const std::uint16_t a[4] = {A.Major, A.Minor, A.Release, A.Build};
    const std::uint16_t b[4] = {B.Major, B.Minor, B.Release, B.Build};
    for (int i = 0; i < 4; ++i) {
        if (a[i] > b[i])
            return 1;
        if (a[i] < b[i])
            return -1;
    }
    return 0;
}

TFileVersion IEVersionFromFile(TFileVersion v)
{
    if (v.Text.isEmpty())
        return v;
    if (v.Major == 4 && v.Minor <= 70 && v.Release == 0) {
        v.Release = v.Build;
        v.Build = 0;
    }
    v.Text = QString::asprintf("%d.%d.%d.%d", v.Major, v.Minor, v.Release, v.Build);
    return v;
}

void GetIEVersion(std::uint16_t& Major, std::uint16_t& Minor, std::uint16_t& Release, std::uint16_t& Build,
                  QString& Text)
{
    const TFileVersion v = IEVersionFromFile(GetFileVersion(GetSystemDir() + kSep + QStringLiteral("Shdocvw.dll")));
    Major = v.Major;
    Minor = v.Minor;
    Release = v.Release;
    Build = v.Build;
    Text = v.Text;
}

namespace {
struct NamedVersion {
    std::uint16_t v[4];
    const char* name;
};
} // namespace

QString HHFriendlyName(const TFileVersion& v)
{
    if (v.Text.isEmpty())
        return {};
    if (CompareVersion(v, MakeVersion(5, 2, 3669, 0)) > 0)
        return QStringLiteral("> 1.4a");
    static const NamedVersion table[] = {
        {{5, 2, 3669, 0}, "1.4a"},  {{5, 2, 3626, 0}, "1.4"},   {{4, 74, 9273, 0}, "1.33"},
        {{4, 74, 8857, 0}, "1.32"}, {{4, 74, 8793, 0}, "1.31"}, {{4, 74, 8702, 0}, "1.3"},
        {{4, 73, 8561, 0}, "1.22"}, {{4, 73, 8474, 0}, "1.21a"}, {{4, 73, 8412, 0}, "1.21"},
        {{4, 73, 8252, 0}, "1.2"},  {{4, 72, 8164, 0}, "1.1b"}, {{4, 72, 7325, 0}, "1.1a"},
        {{4, 72, 7323, 0}, "1.1"},  {{4, 72, 7290, 0}, "1.0"},
    };
    for (const NamedVersion& r : table)
        if (CompareVersion(v, MakeVersion(r.v[0], r.v[1], r.v[2], r.v[3])) >= 0)
            return QString::fromLatin1(r.name);
    return QStringLiteral("< 1.0");
}

QString IEFriendlyName(const TFileVersion& v)
{
    if (v.Text.isEmpty())
        return {};
    if (v.Major >= 7)
        return QStringLiteral(">= Internet Explorer ") + v.Text;
    static const NamedVersion table[] = {
        {{6, 0, 3790, 0}, "Internet Explorer 6 (Windows Server 2003)"},
        {{6, 0, 3718, 0}, "Internet Explorer 6 (Windows Server 2003 RC2)"},
        {{6, 0, 3663, 0}, "Internet Explorer 6 (Windows Server 2003 RC1)"},
        {{6, 0, 2900, 2180}, "Internet Explorer 6 (Windows XP SP2)"},
        {{6, 0, 2800, 1106}, "Internet Explorer 6 SP1"},
        {{6, 0, 2712, 300}, "Internet Explorer 6 (Windows XP + minor update)"},
        {{6, 0, 2600, 0}, "Internet Explorer 6 (Windows XP)"},
        {{6, 0, 2479, 6}, "Internet Explorer 6 Public Preview (Beta) Refresh"},
        {{6, 0, 2462, 0}, "Internet Explorer 6 Public Preview (Beta)"},
        {{5, 50, 4807, 2300}, "Internet Explorer 5.5 Service Pack 2"},
        {{5, 50, 4522, 1800}, "Internet Explorer 5.5 Service Pack 1"},
        {{5, 50, 4308, 2900}, "Internet Explorer 5.5 Advanced Security Privacy Beta"},
        {{5, 50, 4134, 600}, "Internet Explorer 5.5"},
        {{5, 50, 4134, 100}, "Internet Explorer 5.5 for Windows Me (4.90.3000)"},
        {{5, 50, 4030, 2400}, "Internet Explorer 5.5 & Internet Tools Beta"},
        {{5, 50, 3825, 1300}, "Internet Explorer 5.5 Developer Preview"},
        {{5, 0, 2919, 6307}, "Internet Explorer 5.01"},
        {{5, 0, 2919, 3800}, "Internet Explorer 5.01 (Windows 2000 RC2, build 5.00.2128)"},
        {{5, 0, 2919, 800}, "Internet Explorer 5.01 (Windows 2000 RC1, build 5.00.2072)"},
        {{5, 0, 2721, 1400}, "Internet Explorer 5.0 updated"},
        {{5, 0, 2614, 0}, "Internet Explorer 5.0b"},
        {{5, 0, 2314, 0}, "Internet Explorer 5.0a"},
        {{5, 0, 2014, 0}, "Internet Explorer 5.0"},
        {{5, 0, 910, 0}, "Internet Explorer 5 Beta (Beta 2)"},
        {{5, 0, 518, 0}, "Internet Explorer 5 Developer Preview (Beta 1)"},
        {{4, 72, 3612, 0}, "Internet Explorer 4.01 Service Pack 2 (SP2)"},
        {{4, 72, 3110, 0}, "Internet Explorer 4.01 Service Pack 1 (SP1)"},
        {{4, 72, 2106, 0}, "Internet Explorer 4.01"},
        {{4, 71, 1712, 0}, "Internet Explorer 4.0"},
        {{4, 71, 1008, 0}, "Internet Explorer 4.0 Platform Preview 2.0 (PP2)"},
        {{4, 71, 544, 0}, "Internet Explorer 4.0 Platform Preview 1.0 (PP1)"},
        {{4, 70, 1300, 0}, "Internet Explorer 3.02"},
        {{4, 70, 1215, 0}, "Internet Explorer 3.01"},
        {{4, 70, 1158, 0}, "Internet Explorer 3.0 (OSR2)"},
        {{4, 70, 1155, 0}, "Internet Explorer 3.0"},
        {{4, 40, 520, 0}, "Internet Explorer 2.0"},
        {{4, 40, 308, 0}, "Internet Explorer 1.0 (Plus!)"},
    };
    for (const NamedVersion& r : table)
        if (CompareVersion(v, MakeVersion(r.v[0], r.v[1], r.v[2], r.v[3])) >= 0)
            return QString::fromLatin1(r.name);
    return QStringLiteral("< Internet Explorer 1.0 (Plus!)");
}

QString HHFriendlyVersion() { return HHFriendlyName(GetFileVersion(GetHHCtrlPath())); }

QString IEFriendlyVersion()
{
    TFileVersion v;
    GetIEVersion(v.Major, v.Minor, v.Release, v.Build, v.Text);
    return IEFriendlyName(v);
}

// ---------------------------------------------------------------------------------------
// Folders and strings
// ---------------------------------------------------------------------------------------

bool DirIsWritable(QString Folder)
{
    TrimRightChar(Folder, kSep);
    return ProbeNewFile(Folder + kSep + QStringLiteral("$_Temp_$.$$$"));
}

QString GetTempDir()
{
    char buf[300];
    const DWORD n = GetTempPathA(sizeof buf, buf);
    QString dir = n > 0 && n < sizeof buf ? QFile::decodeName(QByteArray(buf, static_cast<qsizetype>(n))) : QString();
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        dir = QStringLiteral("/tmp");
    TrimRightChar(dir, kSep);
    return dir;
}

QString GetUserLogDir() { return OwnUserFolder(GetTempDir(), QStringLiteral("Kestrovan-")); }

int ReplaceAll(QString& S, const QString& Old, const QString& New)
{
    if (Old.isEmpty())
        return 0;
    int count = 0;
    qsizetype at;
    while ((at = S.indexOf(Old)) >= 0) {
        S.replace(at, Old.size(), New);
        ++count;
        if (New.contains(Old))
            break;  // replacing again from the start would never end
    }
    return count;
}

void TrimChar(QString& S, QChar C)
{
    qsizetype b = 0;
    while (b < S.size() && S[b] == C)
        ++b;
    S.remove(0, b);
    TrimRightChar(S, C);
}

void TrimRightChar(QString& S, QChar C)
{
    while (!S.isEmpty() && S.back() == C)
        S.chop(1);
}

QString RepeatChar(QChar C, int N) { return N > 0 ? QString(N, C) : QString(); }

QString YesNo(bool B) { return B ? QStringLiteral("YES") : QStringLiteral("NO"); }

// ---------------------------------------------------------------------------------------
// Start-up and shut-down
// ---------------------------------------------------------------------------------------

void HelpKitInitialization()
{
    _ModulePath = ModuleFileName();
    _ModuleDir = FolderOf(_ModulePath);
    TrimRightChar(_ModuleDir, kSep);
    _ModuleName = NameOf(_ModulePath);
    _RunDir = FolderOf(ProgramParam0());
    TrimRightChar(_RunDir, kSep);
    LogFolder = DirIsWritable(_ModuleDir) ? _ModuleDir : GetUserLogDir();
    DebugEnabled = FileExists(_ModuleDir + QStringLiteral("/debug.debug"));
    if (!DebugEnabled) {
        const QStringList args = CommandLine();
        for (int i = 1; i < args.size(); ++i) {
            if (args[i].compare(QLatin1String("/debug"), Qt::CaseInsensitive) == 0 ||
                args[i].compare(QLatin1String("-debug"), Qt::CaseInsensitive) == 0) {
                DebugEnabled = true;
                break;
            }
        }
    }
    _hhVerStr = GetFileVersionText(GetHHCtrlPath());
    _hhInstalled = !_hhVerStr.isEmpty();
    _hhFriendlyVerStr = HHFriendlyVersion();
    TFileVersion ie;
    GetIEVersion(ie.Major, ie.Minor, ie.Release, ie.Build, ie.Text);
    _ieVerStr = ie.Text;
    _ieInstalled = !_ieVerStr.isEmpty();
    _ieFriendlyVerStr = IEFriendlyVersion();
    delete HelpDebugLog;
    HelpDebugLog = new TDLogFile(LogFolder.isEmpty() ? QString() : LogFolder + QStringLiteral("/HelpDebug.txt"),
                                 DebugEnabled, true, true, false);
}

void HelpKitFinalization()
{
    delete HelpDebugLog;
    HelpDebugLog = nullptr;
    _ModulePath.clear();
    _ModuleDir.clear();
    _ModuleName.clear();
    _RunDir.clear();
    LogFolder.clear();
    _hhVerStr.clear();
    _hhFriendlyVerStr.clear();
    _ieVerStr.clear();
    _ieFriendlyVerStr.clear();
}
