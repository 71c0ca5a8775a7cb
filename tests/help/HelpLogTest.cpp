// The help diagnostics: the probe at start, the switch of the help debug log, the log's
// header and lines, and where the log may go.
#include "HelpApi.h"
#include "HelpKit.h"
#include "Modules.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList ReadLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromLocal8Bit(f.readAll());
    EXPECT_TRUE(text.isEmpty() || text.endsWith(QLatin1String("\r\n")));
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A program folder and a temporary folder of the test's own; the probe looks at a module
// in the program folder and at the command line the test gives.
class HelpLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(progDir()));
        ASSERT_TRUE(QDir().mkpath(tmpDir()));
        savedTmp_ = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(tmpDir()));
        HelpKitModulePath = progDir() + QStringLiteral("/Kestrovan10");
    }
    void TearDown() override
    {
        HelpKitFinalization();
        HelpKitCommandLine.clear();
        HelpKitModulePath.clear();
        if (savedTmp_.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", savedTmp_);
    }
    void Start(const QStringList& params)
    {
        HelpKitCommandLine = QStringList{progDir() + QStringLiteral("/Kestrovan10")} + params;
        HelpKitInitialization();
    }
    QString progDir() const { return dir_.path() + QStringLiteral("/prog"); }
    QString tmpDir() const { return dir_.path() + QStringLiteral("/tmp"); }
    QString log() const { return progDir() + QStringLiteral("/HelpDebug.txt"); }
    QString ownDir() const { return tmpDir() + QStringLiteral("/Kestrovan-%1").arg(geteuid()); }

    QTemporaryDir dir_;
    QByteArray savedTmp_;
};

TEST_F(HelpLog, SwitchedOnByMarkerFileOrSignedParameter)
{
    struct Case {
        QStringList params;
        bool marker;
        bool on;
    };
    const Case cases[] = {
        {{}, false, false},
        {{QStringLiteral("debug")}, false, false},
        {{QStringLiteral("x"), QStringLiteral("-Debug")}, false, true},
        {{QStringLiteral("/DEBUG")}, false, true},
        {{QStringLiteral("-debugx")}, false, false},
        {{}, true, true},
    };
    for (const Case& c : cases) {
        if (c.marker) {
            ASSERT_TRUE(WriteFile(progDir() + QStringLiteral("/debug.debug"), ""));
        }
        // A log of an earlier run is there every time.
        ASSERT_TRUE(WriteFile(log(), "old run\r\n"));
        Start(c.params);
        EXPECT_EQ(DebugEnabled, c.on) << c.params.join(QLatin1Char(' ')).toStdString() << " marker " << c.marker;
        const QStringList lines = ReadLines(log());
        if (c.on) {
            ASSERT_EQ(lines.size(), 27);
            EXPECT_FALSE(lines.contains(QStringLiteral("old run")));
        } else {
            EXPECT_FALSE(QFileInfo::exists(log())) << "the earlier run's log is deleted and none is made";
            DebugOut(QStringLiteral("a line"));
            EXPECT_FALSE(QFileInfo::exists(log()));
        }
        HelpKitFinalization();
        QFile::remove(progDir() + QStringLiteral("/debug.debug"));
    }
}

TEST_F(HelpLog, HeaderHasItsTwentySevenLinesInTheirLayout)
{
    qputenv("LANG", "de_AT.UTF-8");
    qunsetenv("LC_ALL");
    qunsetenv("LC_MESSAGES");
    Start({QStringLiteral("-debug"), QStringLiteral("demo.kwf")});
    qputenv("LANG", "C.UTF-8");
    const QStringList lines = ReadLines(log());
    ASSERT_EQ(lines.size(), 27);
    const QString eq(79, QLatin1Char('=')), dash(79, QLatin1Char('-'));
    EXPECT_EQ(lines[0], eq);
    EXPECT_EQ(lines[1], QStringLiteral("Log File:             \t") + log());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Date:                 \t.+ \\d\\d:\\d\\d:\\d\\d$"))
                    .match(lines[2]).hasMatch()) << lines[2].toStdString();
    // The system it runs on, as uname names it.
    utsname u{};
    ASSERT_EQ(::uname(&u), 0);
    const QString release = QString::fromLocal8Bit(u.release);
    const QStringList nums = release.section(QLatin1Char('-'), 0, 0).split(QLatin1Char('.'));
    EXPECT_EQ(lines[3], QStringLiteral("Operating System:      \t%1 %2.%3 (Build %4) %5")
                            .arg(QString::fromLocal8Bit(u.sysname), nums.value(0), nums.value(1, QStringLiteral("0")),
                                 nums.value(2, QStringLiteral("0")).section(QRegularExpression(QStringLiteral("[^0-9]")), 0, 0),
                                 release));
    EXPECT_EQ(lines[4], QStringLiteral("SysLocale.DefaultLCID: \t0x0C07 (3079)"));
    EXPECT_EQ(lines[5], QStringLiteral("SysLocale.PriLangID:   \t0x0007 (7)"));
    EXPECT_EQ(lines[6], QStringLiteral("SysLocale.SubLangID:   \t0x0003 (3)"));
    EXPECT_EQ(lines[7], QStringLiteral("DecimalSeparator:      \t."));
    EXPECT_EQ(lines[8], dash);
    EXPECT_EQ(lines[9], QStringLiteral("EXE Path =          \t") + progDir() + QStringLiteral("/Kestrovan10"));
    EXPECT_EQ(lines[10], QStringLiteral("EXE Version =       \t"));  // no such file: no version
    EXPECT_EQ(lines[11], QStringLiteral("Cmdline Param(s) =  \t-debug | demo.kwf"));
    EXPECT_TRUE(lines[12].startsWith(QStringLiteral("Actual CmdLine =  \t")));
    EXPECT_EQ(lines[13], QStringLiteral("_RunDir =           \t") + progDir());
    EXPECT_EQ(lines[14], QStringLiteral("_ModuleName =       \tKestrovan10"));
    EXPECT_EQ(lines[15], QStringLiteral("_ModuleDir =        \t") + progDir());
    EXPECT_EQ(lines[16], QStringLiteral("_ModulePath =        \t") + progDir() + QStringLiteral("/Kestrovan10"));
    EXPECT_EQ(lines[17], QStringLiteral("Module Version =       \t"));
    EXPECT_EQ(lines[18], dash);
    EXPECT_TRUE(lines[19] == QStringLiteral("_hhInstalled =      \tYES") || lines[19] == QStringLiteral("_hhInstalled =      \tNO"));
    EXPECT_TRUE(lines[20].startsWith(QStringLiteral("_hhVerStr =         \t")));
    EXPECT_TRUE(lines[21].startsWith(QStringLiteral("_hhFriendlyVerStr = \t")));
    EXPECT_EQ(lines[22], dash);
    // The platform's browser component is not on this system.
    EXPECT_EQ(lines[23], QStringLiteral("_ieInstalled =      \tNO"));
    EXPECT_EQ(lines[24], QStringLiteral("_ieVerStr =         \t"));
    EXPECT_EQ(lines[25], QStringLiteral("_ieFriendlyVerStr = \t"));
    EXPECT_EQ(lines[26], eq);

    // Later lines carry the time, except separators and marked texts.
    DebugOut(QStringLiteral("ShowContext(\"%s\", %d)"), {QStringLiteral("k.chm"), 0});
    DebugOut(QStringLiteral("-not timed"));
    DebugOut(QStringLiteral("-"));
    const QStringList more = ReadLines(log()).mid(27);
    ASSERT_EQ(more.size(), 3);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d   ShowContext\\(\"k.chm\", 0\\)$"))
                    .match(more[0]).hasMatch()) << more[0].toStdString();
    EXPECT_EQ(more[1], QStringLiteral("not timed"));
    EXPECT_EQ(more[2], dash);
}

TEST_F(HelpLog, OperatingSystemLineReadsTheReleaseNumbers)
{
    struct Case { const char* name; const char* release; const char* line; };
    const Case cases[] = {
        {"Linux", "6.1.0-18-amd64", "Linux 6.1 (Build 0) 6.1.0-18-amd64"},
        {"Linux", "5.10.209", "Linux 5.10 (Build 209) 5.10.209"},
        {"Linux", "6.8-rc1", "Linux 6.8 (Build 0) 6.8-rc1"},
        {"Hurd", "0.9", "Hurd 0.9 (Build 0) 0.9"},
        {"Odd", "", "Odd 0.0 (Build 0) No Service Pack"},
    };
    for (const Case& c : cases) {
        SystemRelease r;
        r.Name = c.name;
        r.Release = c.release;
        SetSystemReleaseForTests(&r);
        Start({QStringLiteral("-debug")});
        SetSystemReleaseForTests(nullptr);
        EXPECT_EQ(ReadLines(log()).value(3), QStringLiteral("Operating System:      \t") + QLatin1String(c.line)) << c.release;
    }
}

TEST_F(HelpLog, UnwritableProgramFolderLogsInTheUsersOwnFolder)
{
    // A program folder that cannot take a file (here: one that is not there).
    HelpKitModulePath = dir_.path() + QStringLiteral("/missing/Kestrovan10");
    HelpKitCommandLine = QStringList{HelpKitModulePath, QStringLiteral("-debug")};
    HelpKitInitialization();
    EXPECT_EQ(_ModuleDir, dir_.path() + QStringLiteral("/missing"));
    EXPECT_EQ(LogFolder, ownDir());
    const QString inOwn = ownDir() + QStringLiteral("/HelpDebug.txt");
    ASSERT_EQ(ReadLines(inOwn).size(), 27);
    struct stat st;
    ASSERT_EQ(lstat(QFile::encodeName(ownDir()).constData(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u) << "only this user may use the folder";
    // Never the shared temporary folder itself.
    EXPECT_FALSE(QFileInfo::exists(tmpDir() + QStringLiteral("/HelpDebug.txt")));
}

TEST_F(HelpLog, NeverFollowsASymbolicLink)
{
    // Another user's file, and links to it where the log would go.
    const QString victim = dir_.path() + QStringLiteral("/victim.txt");
    ASSERT_TRUE(WriteFile(victim, "precious\n"));
    ASSERT_EQ(symlink(QFile::encodeName(victim).constData(), QFile::encodeName(log()).constData()), 0);
    Start({QStringLiteral("-debug")});
    // The link itself is gone, the file behind it untouched, the log a file of its own.
    QFile v(victim);
    ASSERT_TRUE(v.open(QIODevice::ReadOnly));
    EXPECT_EQ(v.readAll(), QByteArray("precious\n"));
    v.close();
    EXPECT_FALSE(QFileInfo(log()).isSymLink());
    EXPECT_EQ(ReadLines(log()).size(), 27);

    // A link put in the log's place while the program runs is not written through.
    QFile::remove(log());
    ASSERT_EQ(symlink(QFile::encodeName(victim).constData(), QFile::encodeName(log()).constData()), 0);
    DebugOut(QStringLiteral("a line"));
    ASSERT_TRUE(v.open(QIODevice::ReadOnly));
    EXPECT_EQ(v.readAll(), QByteArray("precious\n"));
    v.close();
    HelpKitFinalization();
    QFile::remove(log());

    // A link in place of the user's own fallback folder: no log at all.
    const QString elsewhere = dir_.path() + QStringLiteral("/elsewhere");
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    ASSERT_EQ(symlink(QFile::encodeName(elsewhere).constData(), QFile::encodeName(ownDir()).constData()), 0);
    HelpKitModulePath = dir_.path() + QStringLiteral("/missing/Kestrovan10");
    HelpKitCommandLine = QStringList{HelpKitModulePath, QStringLiteral("-debug")};
    HelpKitInitialization();
    DebugOut(QStringLiteral("a line"));
    EXPECT_TRUE(QDir(elsewhere).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).isEmpty());
}

TEST(HelpProbe, VersionRecordsReadFromTheFilesThemselves)
{
    const QString bin = QStringLiteral(KV_BIN_DIR);
    const TFileVersion control = GetFileVersion(bin + QStringLiteral("/hhctrl.ocx"));
    const TFileVersion program = GetFileVersion(bin + QStringLiteral("/Kestrovan10"));
    const QString expected = QStringLiteral("%1.%2.%3.%4")
                                 .arg(KV_VERSION_MAJOR).arg(KV_VERSION_MINOR).arg(KV_VERSION_PATCH).arg(KV_VERSION_TWEAK);
    EXPECT_EQ(control.Text, expected);
    EXPECT_EQ(program.Text, expected);
    EXPECT_EQ(control.Major, KV_VERSION_MAJOR);
    EXPECT_EQ(control.Build, KV_VERSION_TWEAK);
    // A file without a version record, and no file at all: no version, zero words.
    for (const QString& none : {QCoreApplication::applicationFilePath(), bin + QStringLiteral("/Kestrovan.chm"),
                                bin + QStringLiteral("/no-such-file"), QString()}) {
        const TFileVersion v = GetFileVersion(none);
        EXPECT_TRUE(v.Text.isEmpty()) << none.toStdString();
        EXPECT_EQ(v.Major + v.Minor + v.Release + v.Build, 0);
    }
}

TEST(HelpProbe, LocaleIdsOfLocaleNames)
{
    EXPECT_EQ(LocaleNameToLCID(QStringLiteral("en_US.UTF-8")), 0x0409u);
    EXPECT_EQ(LocaleNameToLCID(QStringLiteral("C")), 0x0409u);
    EXPECT_EQ(LocaleNameToLCID(QStringLiteral("de_DE@euro")), 0x0407u);
    EXPECT_EQ(LocaleNameToLCID(QStringLiteral("sv_FI.UTF-8")), 0x041Du);  // the language's default
    EXPECT_EQ(LocaleNameToLCID(QStringLiteral("xx_YY")), 0u);
    EXPECT_EQ(PRIMARYLANGID(LANGIDFROMLCID(0x0C07)), 0x07);
    EXPECT_EQ(SUBLANGID(LANGIDFROMLCID(0x0C07)), 0x03);
}

} // namespace
