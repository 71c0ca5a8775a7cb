// The help kit's routines that need no control and no window: help paths, the
// %SYSTEMROOT% expansion, command names, versions and their release names, the log's
// line rules.
#include "HelpApi.h"
#include "HelpKit.h"

#include <gtest/gtest.h>

namespace {

struct PathCase {
    const char* file;
    const char* topic;
    const char* window;
    int prefix;
    const char* expected;
};

TEST(MakeHelpPath, BuildsThePathsTheControlTakes)
{
    const PathCase cases[] = {
        {"/opt/kv/Kestrovan.chm", "", "", 0, "/opt/kv/Kestrovan.chm"},
        {" a%20b.chm ", "", "", 0, "a b.chm"},
        {"x.chm", "html\\intro.htm", "main", 1, "mk:@MSITStore:x.chm::/html/intro.htm>main"},
        {"", "intro.htm", "", 2, "ms-its:/intro.htm"},
        {"x.chm", "/a.htm", "", 0, "x.chm::/a.htm"},
        {"x.chm", "", "%20win%20", 3, "x.chm>win"},
        // Only blanks are stripped, and only at the ends.
        {"\tx.chm", " t%20 .htm ", "", 0, "\tx.chm::/t  .htm"},
    };
    for (const PathCase& c : cases)
        EXPECT_EQ(MakeHelpPath(QString::fromLatin1(c.file), QString::fromLatin1(c.topic), QString::fromLatin1(c.window),
                               static_cast<std::uint8_t>(c.prefix)),
                  QString::fromLatin1(c.expected))
            << c.file << " | " << c.topic << " | " << c.window;
}

TEST(ExpandSystemRoot, ExpandsOnlyALeadingSystemRoot)
{
    const QString win = GetWindowsDir();
    ASSERT_FALSE(win.isEmpty());
    struct Case {
        const char* in;
        QString out;
    };
    const Case cases[] = {
        {"%SystemRoot%\\System32\\hhctrl.ocx", win + QStringLiteral("\\System32\\hhctrl.ocx")},
        {"%systemroot%\\System32\\hhctrl.ocx", win + QStringLiteral("\\System32\\hhctrl.ocx")},
        {"%SYSTEMROOT%", win},
        {"%WINDIR%\\System32\\hhctrl.ocx", QStringLiteral("%WINDIR%\\System32\\hhctrl.ocx")},
        {"C:\\%SystemRoot%\\x", QStringLiteral("C:\\%SystemRoot%\\x")},
        {"%SystemRoot", QStringLiteral("%SystemRoot")},
        {"%SystemRooX%\\a", QStringLiteral("%SystemRooX%\\a")},
        {"", QString()},
    };
    for (const Case& c : cases) {
        QString p = QString::fromLatin1(c.in);
        ExpandSystemRoot(p);
        EXPECT_EQ(p, c.out) << c.in;
    }
}

TEST(HelpCommandName, NamesEveryCommandAndMarksOthers)
{
    const std::pair<int, const char*> cases[] = {
        {1, "1 (HELP_CONTEXT)"},
        {2, "2 (HELP_QUIT)"},
        {3, "3 (HELP_INDEX or HELP_CONTENTS)"},
        {4, "4 (HELP_HELPONHELP)"},
        {5, "5 (HELP_SETINDEX or HELP_SETCONTENTS)"},
        {6, "6 (?\?)"},
        {7, "7 (?\?)"},
        {8, "8 (HELP_CONTEXTPOPUP)"},
        {9, "9 (HELP_FORCEFILE)"},
        {10, "10 (HELP_CONTEXTMENU)"},
        {11, "11 (HELP_FINDER)"},
        {12, "12 (HELP_WM_HELP)"},
        {13, "13 (HELP_SETPOPUP_POS)"},
        {14, "14 (?\?)"},
        {257, "257 (HELP_KEY)"},
        {258, "258 (HELP_COMMAND)"},
        {261, "261 (HELP_PARTIALKEY)"},
        {513, "513 (HELP_MULTIKEY)"},
        {515, "515 (HELP_SETWINPOS)"},
        {0, "0 (?\?)"},
        {-1, "-1 (?\?)"},
    };
    for (auto& [n, text] : cases)
        EXPECT_EQ(HelpCommandName(n), QString::fromLatin1(text));
}

TEST(CompareVersion, ComparesWordByWordAsUnsigned)
{
    EXPECT_EQ(CompareVersion(MakeVersion(5, 2, 3669, 0), MakeVersion(5, 2, 3669, 0)), 0);
    EXPECT_EQ(CompareVersion(MakeVersion(5, 2, 3669, 1), MakeVersion(5, 2, 3669, 0)), 1);
    EXPECT_EQ(CompareVersion(MakeVersion(5, 2, 3668, 65535), MakeVersion(5, 2, 3669, 0)), -1);
    // Major first, whatever the later words say.
    EXPECT_EQ(CompareVersion(MakeVersion(6, 0, 0, 0), MakeVersion(5, 65535, 65535, 65535)), 1);
    // Unsigned: 40000 is above 1, not a negative number.
    EXPECT_EQ(CompareVersion(MakeVersion(4, 40000, 0, 0), MakeVersion(4, 1, 0, 0)), 1);
    EXPECT_EQ(MakeVersion(5, 2, 3669, 0).Text, QStringLiteral("5.2.3669.0"));
}

TEST(FriendlyVersions, ControlNamesAtTheirEdges)
{
    EXPECT_EQ(HHFriendlyName(MakeVersion(5, 2, 3669, 0)), QStringLiteral("1.4a"));
    EXPECT_EQ(HHFriendlyName(MakeVersion(5, 2, 3669, 1)), QStringLiteral("> 1.4a"));
    EXPECT_EQ(HHFriendlyName(MakeVersion(10, 0, 0, 1)), QStringLiteral("> 1.4a"));
    EXPECT_EQ(HHFriendlyName(MakeVersion(5, 2, 3668, 9999)), QStringLiteral("1.4"));
    EXPECT_EQ(HHFriendlyName(MakeVersion(4, 73, 8474, 0)), QStringLiteral("1.21a"));
    EXPECT_EQ(HHFriendlyName(MakeVersion(4, 72, 7290, 0)), QStringLiteral("1.0"));
    EXPECT_EQ(HHFriendlyName(MakeVersion(4, 72, 7289, 65535)), QStringLiteral("< 1.0"));
    EXPECT_EQ(HHFriendlyName(TFileVersion{}), QString());
}

TEST(FriendlyVersions, BrowserNamesWithTheOldNumbering)
{
    // The old numbering keeps the build in the last word.
    const TFileVersion old = IEVersionFromFile(MakeVersion(4, 70, 0, 1155));
    EXPECT_EQ(old.Text, QStringLiteral("4.70.1155.0"));
    EXPECT_EQ(IEFriendlyName(old), QStringLiteral("Internet Explorer 3.0"));
    // Only major 4, minor up to 70, release 0 is the old numbering.
    EXPECT_EQ(IEVersionFromFile(MakeVersion(4, 71, 0, 1712)).Text, QStringLiteral("4.71.0.1712"));
    EXPECT_EQ(IEVersionFromFile(MakeVersion(4, 70, 1, 1155)).Text, QStringLiteral("4.70.1.1155"));

    EXPECT_EQ(IEFriendlyName(MakeVersion(8, 0, 6001, 18702)), QStringLiteral(">= Internet Explorer 8.0.6001.18702"));
    EXPECT_EQ(IEFriendlyName(MakeVersion(7, 0, 0, 0)), QStringLiteral(">= Internet Explorer 7.0.0.0"));
    EXPECT_EQ(IEFriendlyName(MakeVersion(6, 0, 3790, 0)), QStringLiteral("Internet Explorer 6 (Windows Server 2003)"));
    EXPECT_EQ(IEFriendlyName(MakeVersion(6, 0, 2900, 2179)), QStringLiteral("Internet Explorer 6 SP1"));
    EXPECT_EQ(IEFriendlyName(MakeVersion(5, 50, 4134, 100)),
              QStringLiteral("Internet Explorer 5.5 for Windows Me (4.90.3000)"));
    EXPECT_EQ(IEFriendlyName(MakeVersion(4, 40, 308, 0)), QStringLiteral("Internet Explorer 1.0 (Plus!)"));
    EXPECT_EQ(IEFriendlyName(MakeVersion(4, 40, 307, 0)), QStringLiteral("< Internet Explorer 1.0 (Plus!)"));
    EXPECT_EQ(IEFriendlyName(TFileVersion{}), QString());
}

TEST(HelpLogLines, SeparatorsMarksAndTimePrefix)
{
    const QString prefix = QStringLiteral("12:34:56   ");
    EXPECT_EQ(TDLogFile::LineText(QStringLiteral("-"), true, prefix), QString(79, QLatin1Char('-')));
    EXPECT_EQ(TDLogFile::LineText(QStringLiteral("="), true, prefix), QString(79, QLatin1Char('=')));
    EXPECT_EQ(TDLogFile::LineText(QStringLiteral("!Header"), true, prefix), QStringLiteral("Header"));
    EXPECT_EQ(TDLogFile::LineText(QStringLiteral("-----"), true, prefix), QStringLiteral("----"));
    EXPECT_EQ(TDLogFile::LineText(QStringLiteral("=x"), true, prefix), QStringLiteral("x"));
    EXPECT_EQ(TDLogFile::LineText(QStringLiteral("ShowContext"), true, prefix), prefix + QStringLiteral("ShowContext"));
    EXPECT_EQ(TDLogFile::LineText(QStringLiteral("ShowContext"), false, prefix), QStringLiteral("ShowContext"));
    EXPECT_EQ(TDLogFile::LineText(QString(), true, prefix), prefix);

    // Fmt alone is the text, placeholders and all; with values they are filled in.
    EXPECT_EQ(FormatArgs(QStringLiteral("HHHelpContext(\"%s\", %d, \"%s\", %d)"),
                         {QStringLiteral("a.chm"), 2000, QString(), 0}),
              QStringLiteral("HHHelpContext(\"a.chm\", 2000, \"\", 0)"));
    EXPECT_EQ(FormatArgs(QStringLiteral("100%% %s"), {QStringLiteral("x")}), QStringLiteral("100% x"));
}

TEST(HelpStrings, ReplaceTrimRepeat)
{
    QString s = QStringLiteral("a%20b%20c");
    EXPECT_EQ(ReplaceAll(s, QStringLiteral("%20"), QStringLiteral(" ")), 2);
    EXPECT_EQ(s, QStringLiteral("a b c"));
    // Replaced again from the start: what a replacement makes is replaced too.
    s = QStringLiteral("aab");
    EXPECT_EQ(ReplaceAll(s, QStringLiteral("ab"), QStringLiteral("b")), 2);
    EXPECT_EQ(s, QStringLiteral("b"));
    s = QStringLiteral("//x//");
    TrimChar(s, QLatin1Char('/'));
    EXPECT_EQ(s, QStringLiteral("x"));
    s = QStringLiteral("/a/b///");
    TrimRightChar(s, QLatin1Char('/'));
    EXPECT_EQ(s, QStringLiteral("/a/b"));
    EXPECT_EQ(RepeatChar(QLatin1Char('='), 3), QStringLiteral("==="));
    EXPECT_EQ(YesNo(true), QStringLiteral("YES"));
    EXPECT_EQ(YesNo(false), QStringLiteral("NO"));
}

} // namespace
