// The shell's special folders on this machine.
#include "Shell.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {

struct EnvVar {
    QByteArray name, old;
    bool had;
    EnvVar(const char* n, const QByteArray& v) : name(n), old(qgetenv(n)), had(qEnvironmentVariableIsSet(n))
    {
        if (v.isNull())
            qunsetenv(n);
        else
            qputenv(n, v);
    }
    ~EnvVar()
    {
        if (had)
            qputenv(name.constData(), old);
        else
            qunsetenv(name.constData());
    }
};

QString PathOf(int csidl)
{
    ITEMIDLIST* pidl = nullptr;
    if (SHGetSpecialFolderLocation(nullptr, csidl, &pidl) != S_OK)
        return QStringLiteral("<fail>");
    char buf[MAX_PATH];
    const int ok = SHGetPathFromIDListA(pidl, buf);
    SHFree(pidl);
    return ok ? QString::fromLocal8Bit(buf) : QStringLiteral("<nopath>");
}

TEST(ShellFolders, CommonAppDataFollowsXdgDataHome)
{
    struct Case { QByteArray xdg; QByteArray home; QString expect; };
    const Case cases[] = {
        {"/srv/kv-data", "/home/tech", QStringLiteral("/srv/kv-data")},
        {"/srv/kv-data/", "/home/tech", QStringLiteral("/srv/kv-data")},
        {QByteArray(), "/home/tech", QStringLiteral("/home/tech/.local/share")},
        {"", "/home/tech", QStringLiteral("/home/tech/.local/share")},
        // A relative value is not a valid XDG folder and falls back to the default.
        {"relative/dir", "/home/tech", QStringLiteral("/home/tech/.local/share")},
    };
    for (const Case& c : cases) {
        EnvVar x("XDG_DATA_HOME", c.xdg);
        EnvVar h("HOME", c.home);
        EXPECT_EQ(PathOf(CSIDL_COMMON_APPDATA), c.expect) << c.xdg.constData();
    }
}

TEST(ShellFolders, ProgramFilesIsTheFolderAboveBin)
{
    // Tests run from build/bin: the build's folder stands for the install prefix.
    QDir exe(QCoreApplication::applicationDirPath());
    ASSERT_EQ(exe.dirName(), QStringLiteral("bin"));
    exe.cdUp();
    EXPECT_EQ(PathOf(CSIDL_PROGRAM_FILES), exe.absolutePath());
}

TEST(ShellFolders, DocumentsAndUnknownNumbers)
{
    EXPECT_FALSE(PathOf(CSIDL_PERSONAL).startsWith(QLatin1Char('<')));
    EXPECT_EQ(PathOf(0x7777), QStringLiteral("<fail>"));
    EXPECT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_PERSONAL, nullptr), E_FAIL);
    EXPECT_EQ(SHGetPathFromIDListA(nullptr, nullptr), 0);
}

TEST(ShellFolders, PathTooLongForTheBufferFails)
{
    EnvVar x("XDG_DATA_HOME", "/" + QByteArray(300, 'a'));
    EXPECT_EQ(PathOf(CSIDL_COMMON_APPDATA), QStringLiteral("<nopath>"));
    EnvVar y("XDG_DATA_HOME", "/" + QByteArray(258, 'a'));  // 259 characters + terminator fit
    EXPECT_EQ(PathOf(CSIDL_COMMON_APPDATA).size(), 259);
}

} // namespace
