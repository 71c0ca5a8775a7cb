// The help kit: the help hook that takes the application's help requests and shows
// their topics through the HTML Help control, and the help diagnostics: the probe of the
// program's surroundings at start and the help debug log "HelpDebug.txt", written only
// when switched on ("debug.debug" beside the program, or "/debug" or "-debug").
#pragma once

#include "Forms.h"

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <cstdint>

// ---- The help hook ----

class THookHelpSystem {
public:
    THookHelpSystem(const QString& ChmFile, const QString& WinDef, std::uint8_t Mode);
    virtual ~THookHelpSystem();
    THookHelpSystem(const THookHelpSystem&) = delete;
    THookHelpSystem& operator=(const THookHelpSystem&) = delete;

    bool HelpHook(unsigned short Command, int Data, bool& CallHelp);

    THelpEvent SavedHelp;
    QString ChmFile;
    QString WinDef;
    std::uint8_t Mode = 0;
};

// Result codes of the display routines.
constexpr int HH_ERR_NONE = 0;
constexpr int HH_ERR_NOT_INSTALLED = 1;

int HHHelpContext(const QString& ChmFile, int ContextId, const QString& WinDef, std::uint8_t Mode);
QString MakeHelpPath(QString FileName, QString Topic, QString Window, std::uint8_t Prefix);
int ShowContext(const QString& Path, int ContextId, std::uint8_t Mode);
void HHShowError(int Code);
void HHCloseAll();
QString HelpCommandName(int Command);
// A message box with no owner window, captioned with the application's title.
int AppMessageBox(const QString& Text, unsigned Flags);

// ---- The help debug log ----

class TDLogFile {
public:
    TDLogFile(const QString& FileName, bool Enabled, bool TimeStamp, bool WithHeader, bool Append);
    virtual ~TDLogFile() = default;

    // One line: Fmt alone when Args is empty, else Fmt with its %s and %d filled in; a
    // text that is exactly "-" or "=" is a line of 79 of that character, a text that
    // begins with '!', '-' or '=' loses that character, and neither gets the time.
    void WriteLine(const QString& Fmt, const QVariantList& Args = {});
    void DebugOut(const QString& Fmt, const QVariantList& Args = {});
    void WriteHeader();
    // The line a text becomes (without its line end), with the time prefix given.
    static QString LineText(const QString& Text, bool TimeStamp, const QString& Prefix);

    QString FileName;
    bool Enabled = false;
    bool TimeStamp = false;
    bool WithHeader = false;
    bool Append = false;
};

// The help kit's trace: a line on HelpDebugLog while the log is enabled.
void DebugOut(const QString& Fmt, const QVariantList& Args = {});
// Fmt with its %s and %d placeholders filled from Args in order ("%%" is a percent sign).
QString FormatArgs(const QString& Fmt, const QVariantList& Args);

// ---- File versions ----

struct TFileVersion {
    std::uint16_t Major = 0, Minor = 0, Release = 0, Build = 0;
    QString Text;
};
bool GetFileVersion(const QString& FileName, std::uint16_t& Major, std::uint16_t& Minor, std::uint16_t& Release,
                    std::uint16_t& Build, QString& Text);
TFileVersion GetFileVersion(const QString& FileName);
QString GetFileVersionText(const QString& FileName);
TFileVersion MakeVersion(std::uint16_t Major, std::uint16_t Minor, std::uint16_t Release, std::uint16_t Build);
int CompareVersion(const TFileVersion& A, const TFileVersion& B);
void GetIEVersion(std::uint16_t& Major, std::uint16_t& Minor, std::uint16_t& Release, std::uint16_t& Build,
                  QString& Text);
// The browser component's version as its file gives it, in the old numbering made new.
TFileVersion IEVersionFromFile(TFileVersion v);
QString HHFriendlyVersion();
QString IEFriendlyVersion();
// The release names of a control version and a browser component version.
QString HHFriendlyName(const TFileVersion& v);
QString IEFriendlyName(const TFileVersion& v);

// ---- Folders and strings ----

bool DirIsWritable(QString Folder);
QString GetTempDir();
// The folder the log falls back to: this user's own folder in the temporary folder,
// made with owner-only rights; empty when no such folder can be had safely.
QString GetUserLogDir();
int ReplaceAll(QString& S, const QString& Old, const QString& New);
void TrimChar(QString& S, QChar C);
void TrimRightChar(QString& S, QChar C);
QString RepeatChar(QChar C, int N);
QString YesNo(bool B);

// ---- The probe (set once at start-up) ----

extern QString _ModulePath;
extern QString _ModuleDir;
extern QString _ModuleName;
extern QString _RunDir;
extern QString LogFolder;
extern bool DebugEnabled;
extern QString _hhVerStr;
extern bool _hhInstalled;
extern QString _hhFriendlyVerStr;
extern QString _ieVerStr;
extern bool _ieInstalled;
extern QString _ieFriendlyVerStr;
extern TDLogFile* HelpDebugLog;

// The unit's start-up (after the control is loaded, before any window exists) and
// shut-down (before the control is unloaded).
void HelpKitInitialization();
void HelpKitFinalization();

// For tests: the command line (parameter 0 first) and the module file the probe looks at
// instead of the running program's; empty means the program's own.
extern QStringList HelpKitCommandLine;
extern QString HelpKitModulePath;
