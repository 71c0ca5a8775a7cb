#include "SysUtils.h"
#include "Forms.h"
#include "TestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QDir>
#include <QFileInfo>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <sys/stat.h>

namespace {
struct SepGuard {
    QChar saved = DecimalSeparator;
    explicit SepGuard(QChar c) { DecimalSeparator = c; }
    ~SepGuard() { DecimalSeparator = saved; }
};
}  // namespace

TEST(NumberTexts, FixedFormatsWithBothSeparators)
{
    struct Case { const char* fmt; double v; const char* point; const char* comma; };
    const Case cases[] = {
        {"%8.2f", 12.345678, "   12.35", "   12,35"},
        {"%6.0f", 1234.4, "  1234", "  1234"},
        {"%06.3f", 1.5, "01.500", "01,500"},
        {"%5.1f", -0.04, " -0.0", " -0,0"},
        {"%f", 3.14159, "3.14", "3,14"},  // the framework's default of two decimals
        {"Trip %6.3f s", 0.1234, "Trip  0.123 s", "Trip  0,123 s"},
    };
    for (const auto& c : cases) {
        {
            SepGuard g('.');
            EXPECT_EQ(Format(c.fmt, c.v).toStdString(), c.point) << c.fmt;
        }
        {
            SepGuard g(',');
            EXPECT_EQ(Format(c.fmt, c.v).toStdString(), c.comma) << c.fmt;
            EXPECT_EQ(FormatC(c.fmt, c.v).toStdString(), c.point) << "C variant " << c.fmt;
        }
    }
}

TEST(NumberTexts, ExactTiesRoundAwayFromZero)
{
    SepGuard g('.');
    EXPECT_EQ(Format("%.2f", 0.125).toStdString(), "0.13");
    EXPECT_EQ(Format("%.2f", -0.125).toStdString(), "-0.13");
    EXPECT_EQ(Format("%.0f", 2.5).toStdString(), "3");
    EXPECT_EQ(Format("%.0f", 0.5).toStdString(), "1");
    EXPECT_EQ(Format("%.1f", 0.25).toStdString(), "0.3");
    // Not an exact tie in binary: the stored value is below the half.
    EXPECT_EQ(Format("%.2f", 1.005).toStdString(), "1.00");
    EXPECT_EQ(FixedC(2.675, 2), "2.67");
    EXPECT_EQ(FixedC(0.375, 2), "0.38");
}

TEST(NumberTexts, GeneralNotation)
{
    SepGuard g('.');
    struct Case { double v; const char* text; };
    const Case cases[] = {{0, "0"}, {0.1, "0.1"}, {12.3, "12.3"}, {100, "100"}, {-2.5, "-2.5"},
                          {1e20, "1E20"}, {1.5e-7, "1.5E-7"}, {0.0000123, "0.0000123"},
                          {123456789012345.0, "123456789012345"}, {1.0 / 3.0, "0.333333333333333"},
                          {0.3f, "0.300000011920929"}};
    for (const auto& c : cases)
        EXPECT_EQ(FloatToStr(c.v).toStdString(), c.text) << c.v;
    SepGuard g2(',');
    EXPECT_EQ(FloatToStr(12.3).toStdString(), "12,3");
    EXPECT_EQ(FloatToStrC(12.3).toStdString(), "12.3");
}

TEST(NumberTexts, ParsingAcceptsBlanksAndReportsTheFrameworkText)
{
    SepGuard g(',');
    EXPECT_DOUBLE_EQ(StrToFloat("  1,5 "), 1.5);
    EXPECT_DOUBLE_EQ(StrToFloat("-2e3"), -2000);
    EXPECT_DOUBLE_EQ(StrToFloatC(" 0.25"), 0.25);
    EXPECT_EQ(StrToInt(" 42 "), 42);
    EXPECT_EQ(StrToInt("-7"), -7);
    for (const char* bad : {"1.5", "", "abc", "1,2,3", "1e", ",", "--1"}) {
        try {
            StrToFloat(bad);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message, QStringLiteral("'%1' is not a valid floating point value").arg(bad));
        }
    }
    for (const char* bad : {"1.5", "", "x1", "99999999999"}) {
        try {
            StrToInt(bad);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message, QStringLiteral("'%1' is not a valid integer value").arg(bad));
        }
    }
}

// Texts that may come from a system with the other separator: either is taken, whatever
// the system's, but never both in one text.
TEST(NumberTexts, EitherSeparatorTakesThePointOrTheComma)
{
    for (const char sep : {'.', ','}) {
        SepGuard g(sep);
        EXPECT_DOUBLE_EQ(StrToFloatEitherSeparator(" 00.045 "), 0.045) << sep;
        EXPECT_DOUBLE_EQ(StrToFloatEitherSeparator("00,045 "), 0.045) << sep;
        EXPECT_DOUBLE_EQ(StrToFloatEitherSeparator("-2,5e1"), -25) << sep;
        EXPECT_DOUBLE_EQ(StrToFloatEitherSeparator("30"), 30) << sep;
        for (const char* bad : {"", "1,234.5", "1.2.3", "1,2,3", ",", "0;5"}) {
            try {
                StrToFloatEitherSeparator(bad);
                ADD_FAILURE() << "accepted " << bad << " with " << sep;
            } catch (const EConvertError& e) {
                EXPECT_EQ(e.Message, QStringLiteral("'%1' is not a valid floating point value").arg(bad));
            }
        }
    }
}

TEST(Rounding, HalvesToEvenAndTruncationTowardZero)
{
    const struct { double v; long long r, t; } cases[] = {
        {0.5, 0, 0}, {1.5, 2, 1}, {2.5, 2, 2}, {-0.5, 0, 0}, {-1.5, -2, -1}, {-2.5, -2, -2},
        {2.4999, 2, 2}, {-2.7, -3, -2}, {1e10 + 0.5, 10000000000LL, 10000000000LL}};
    for (const auto& c : cases) {
        EXPECT_EQ(Round(c.v), c.r) << c.v;
        EXPECT_EQ(Trunc(c.v), c.t) << c.v;
    }
}

TEST(TextFiles, WritesCrLfAndReadsEveryLineEnding)
{
    TempCurrentDir dir;
    ASSERT_TRUE(SaveTextFile("a.txt", {"one", "", "three"}));
    QFile f("a.txt");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("one\r\n\r\nthree\r\n"));
    EXPECT_EQ(SplitLines("a\rb\nc\r\nd"), (QStringList{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n\r\n"), (QStringList{"a", ""}));
    EXPECT_THROW(LoadTextFile("missing.txt"), EInOutError);
    // A file that cannot be written leaves the target as it was.
    EXPECT_FALSE(SaveTextFile(dir.file("no/such/folder/x.txt"), {"x"}));
}

TEST(Dates, DayNumbersCountFrom18991230)
{
    EXPECT_EQ(DateToDayNumber(QDate(1899, 12, 30)), 0);
    EXPECT_EQ(DateToDayNumber(QDate(1900, 1, 1)), 2);
    EXPECT_EQ(DateToDayNumber(QDate(2026, 12, 10)), 46366);
    EXPECT_EQ(DayNumberToDate(46366), QDate(2026, 12, 10));
    EXPECT_TRUE(ShortDateFormat().contains("yyyy"));
    EXPECT_TRUE(DateToStr(QDate(2026, 1, 2)).contains("2026"));
}

TEST(HandlerGuard, ExceptionEndsTheHandlerWithTheFrameworkBox)
{
    ScriptedMessages msgs;
    bool after = false;
    Guarded([] { throw EConvertError("'x' is not a valid integer value"); });
    Guarded([&] { after = true; });
    ASSERT_EQ(msgs.requests.size(), 1u);
    EXPECT_EQ(msgs.requests[0].text, QString("'x' is not a valid integer value."));
    EXPECT_EQ(msgs.requests[0].caption, Application.Title);
    EXPECT_EQ(msgs.requests[0].flags, unsigned(MB_OK | MB_ICONSTOP));
    EXPECT_TRUE(after);
}

TEST(MessageScript, UnscriptedBoxesNeverChooseRetryOrYes)
{
    ScriptedMessages msgs;
    EXPECT_EQ(MessageBoxEx("Hardware Not Found. Try again?", "x", MB_RETRYCANCEL), IDCANCEL);
    EXPECT_EQ(MessageDlg("OK to discard data?", mtConfirmation, mbOKCancel), mrCancel);
    EXPECT_EQ(MessageDlg("q", mtConfirmation, mbYesNo), mrNo);
    msgs.answer(mrYes);
    EXPECT_EQ(MessageDlg("q", mtConfirmation, mbYesNo), mrYes);
    EXPECT_EQ(msgs.requests.size(), 4u);
}

TEST(MessageBoxes, EscapeAnswersCancelNoOrTheOnlyButton)
{
    // The real boxes, not the script: Esc on each must give the framework's answer.
    SetMessageResponder(nullptr);
    int stuck = 0;
    auto pressEscapeOnTheBox = [&stuck] {
        QTimer::singleShot(50, [&stuck] {
            QWidget* w = QApplication::activeModalWidget();
            if (!w)
                return;
            QTest::keyClick(w, Qt::Key_Escape);
            // A box that ignores Esc would wait for ever: count it and close it.
            QTimer::singleShot(2000, [&stuck, p = QPointer<QWidget>(w)] {
                if (auto* d = qobject_cast<QDialog*>(p.data()); d && d->isVisible()) {
                    ++stuck;
                    d->done(0);
                }
            });
        });
    };
    pressEscapeOnTheBox();
    const int retryCancel = MessageBoxEx("Hardware Not Found. Try again?", "Hardware Check", MB_RETRYCANCEL);
    pressEscapeOnTheBox();
    const int yesNo = MessageDlg("q", mtConfirmation, mbYesNo);
    pressEscapeOnTheBox();
    const int okOnly = MessageBoxEx("Done", "x", MB_OK);
    InstallDefaultMessageScript();
    EXPECT_EQ(stuck, 0);
    EXPECT_EQ(retryCancel, IDCANCEL);
    EXPECT_EQ(yesNo, mrNo);
    EXPECT_EQ(okOnly, IDOK);
}

// ---- The save routine against a real write limit, rights, links and leftovers ----

namespace {
QByteArray FileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void PutFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

struct UmaskGuard {
    mode_t saved;
    explicit UmaskGuard(mode_t m) : saved(::umask(m)) {}
    ~UmaskGuard() { ::umask(saved); }
};
}  // namespace

// A write past the limit fails as on a full disk: the save says so, the old file is
// kept whole and no temporary is left beside it. Writes below the limit go through.
TEST(SaveFile, AWriteLimitKeepsTheOldFileAndLeavesNoTemporary)
{
    TempCurrentDir dir;
    const QString path = dir.file(QStringLiteral("Kestrovan.ksf"));
    PutFile(path, "old setup\r\n");
    struct Case { const char* what; qsizetype size; bool text; };
    const Case cases[] = {{"large binary", 200000, false}, {"just past the limit", 4097, false},
                          {"text lines", 3000, true}};
    for (const Case& c : cases) {
        bool saved = true;
        {
            FileSizeLimit limit(4096);
            if (c.text)
                saved = SaveTextFile(path, QStringList(int(c.size), QStringLiteral("line")));
            else
                saved = SaveBinaryFile(path, QByteArray(c.size, 'x'));
        }
        EXPECT_FALSE(saved) << c.what;
        EXPECT_EQ(FileBytes(path), QByteArray("old setup\r\n")) << c.what;
        EXPECT_EQ(FolderEntries(dir.path()), QStringList{QStringLiteral("Kestrovan.ksf")}) << c.what;
    }
    {
        FileSizeLimit limit(4096);
        EXPECT_TRUE(SaveBinaryFile(path, QByteArray(4096, 'y')));
    }
    EXPECT_EQ(FileBytes(path), QByteArray(4096, 'y'));
    EXPECT_EQ(FolderEntries(dir.path()), QStringList{QStringLiteral("Kestrovan.ksf")});
}

// A new file takes the usual rights less the umask; a replaced one keeps its own; a
// read-only save has no write bit at any moment the file has its name.
TEST(SaveFile, RightsFollowTheUmaskAndTheReplacedFile)
{
    TempCurrentDir dir;
    struct Case { const char* what; mode_t umask; int existing; bool readOnly; mode_t want; };
    const Case cases[] = {
        {"new, umask 022", 022, -1, false, 0644}, {"new, umask 077", 077, -1, false, 0600},
        {"new read-only, umask 022", 022, -1, true, 0444}, {"new read-only, umask 027", 027, -1, true, 0440},
        {"replaced keeps 0640", 022, 0640, false, 0640}, {"replaced read-only from 0664", 022, 0664, true, 0444},
        {"replaced read-only file", 022, 0444, true, 0444},
    };
    for (const Case& c : cases) {
        const QString path = dir.file(QStringLiteral("f.kcf"));
        QFile::remove(path);
        if (c.existing >= 0) {
            PutFile(path, "old");
            ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(c.existing)), 0);
        }
        UmaskGuard mask(c.umask);
        ASSERT_TRUE(SaveBinaryFile(path, "new", c.readOnly)) << c.what;
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.want) << c.what;
        EXPECT_EQ(FileBytes(path), QByteArray("new")) << c.what;
        ::chmod(QFile::encodeName(path).constData(), 0600);
    }
}

// A symbolic link planted at the name is replaced by the file; what it pointed at is
// never written.
TEST(SaveFile, ALinkAtTheNameIsReplacedNotFollowed)
{
    TempCurrentDir dir;
    const QString outside = dir.file(QStringLiteral("elsewhere.txt"));
    PutFile(outside, "precious");
    const QString path = dir.file(QStringLiteral("Kestrovan.kdf"));
    ASSERT_TRUE(QFile::link(outside, path));
    ASSERT_TRUE(SaveTextFile(path, {QStringLiteral("results")}));
    EXPECT_FALSE(QFileInfo(path).isSymLink());
    EXPECT_EQ(FileBytes(path), QByteArray("results\r\n"));
    EXPECT_EQ(FileBytes(outside), QByteArray("precious"));
    // A dangling link too.
    const QString dangling = dir.file(QStringLiteral("Kestrovan.ksf"));
    ASSERT_TRUE(QFile::link(dir.file(QStringLiteral("nowhere/x")), dangling));
    ASSERT_TRUE(SaveTextFile(dangling, {QStringLiteral("4")}));
    EXPECT_FALSE(QFileInfo(dangling).isSymLink());
    EXPECT_EQ(FileBytes(dangling), QByteArray("4\r\n"));
}

// The copy beside the save: a link at the target, a dangling one, and one at the name
// earlier versions copied through are never written through; a failed copy leaves the
// older copy whole and nothing beside it.
TEST(SaveFile, CopyWholeNeverWritesThroughALinkAndFailsWhole)
{
    TempCurrentDir dir;
    const QString source = dir.file(QStringLiteral("KyrTechs.dbf"));
    PutFile(source, QByteArray(300000, 't'));
    const QString outside = dir.file(QStringLiteral("elsewhere.txt"));
    PutFile(outside, "precious");
    for (const char* planted : {"", ".kvcopy"}) {
        SCOPED_TRACE(planted);
        const QString target = dir.file(QStringLiteral("KyrTechs.dbk"));
        QFile::remove(target);
        const QString link = target + QLatin1String(planted);
        ASSERT_TRUE(QFile::link(outside, link));
        ASSERT_TRUE(CopyFileWhole(source, target));
        EXPECT_FALSE(QFileInfo(target).isSymLink());
        EXPECT_EQ(FileBytes(target), FileBytes(source));
        EXPECT_EQ(FileBytes(outside), QByteArray("precious"));
        QFile::remove(link);
    }
    const QString dangling = dir.file(QStringLiteral("KyrCust.dbk"));
    ASSERT_TRUE(QFile::link(dir.file(QStringLiteral("nowhere/x")), dangling));
    ASSERT_TRUE(CopyFileWhole(source, dangling));
    EXPECT_FALSE(QFileInfo(dangling).isSymLink());
    EXPECT_EQ(FileBytes(dangling), FileBytes(source));

    // The older copy keeps its rights and, when the copy fails, its bytes.
    const QString older = dir.file(QStringLiteral("KyrRes.dbk"));
    PutFile(older, "older copy");
    ASSERT_EQ(::chmod(QFile::encodeName(older).constData(), 0640), 0);
    {
        FileSizeLimit limit(4096);
        EXPECT_FALSE(CopyFileWhole(source, older));
    }
    EXPECT_EQ(FileBytes(older), QByteArray("older copy"));
    EXPECT_FALSE(CopyFileWhole(dir.file(QStringLiteral("missing.dbf")), older));
    EXPECT_FALSE(CopyFileWhole(dir.path(), older));  // a folder is no file to copy
    EXPECT_EQ(FileBytes(older), QByteArray("older copy"));
    ASSERT_TRUE(CopyFileWhole(source, older));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(older).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(FolderEntries(dir.path()),
              QStringList({"KyrCust.dbk", "KyrRes.dbk", "KyrTechs.dbf", "KyrTechs.dbk", "elsewhere.txt"}));
}

// Only our own leftovers go: complete files beside their targets after a kill.
TEST(SaveFile, StaleTemporariesAreRemovedAndNothingElse)
{
    TempCurrentDir dir;
    const QString keep[] = {QStringLiteral("Kestrovan.kcf"), QStringLiteral("notes.kvnew-"),
                            QStringLiteral("x.kvnew-12345"), QStringLiteral("x.kvnew-1234567"),
                            QStringLiteral("Kestrovan.kcf.AbC123")};
    for (const QString& n : keep)
        PutFile(dir.file(n), "k");
    PutFile(dir.file(QStringLiteral("Kestrovan.kcf.kvnew-Ab1xYz")), "stale");
    PutFile(dir.file(QStringLiteral(".hidden.kvnew-000000")), "stale");
    // The names earlier versions copied and saved the curve file through.
    PutFile(dir.file(QStringLiteral("KyrTechs.dbk.kvcopy")), "stale");
    PutFile(dir.file(QStringLiteral("Kestrovan.rcf.tmp")), "stale");
    ASSERT_TRUE(QDir().mkdir(dir.file(QStringLiteral("d.kvnew-qwerty"))));  // not a file: kept
    ASSERT_TRUE(QFile::link(dir.file(QStringLiteral("Kestrovan.kcf")), dir.file(QStringLiteral("l.kvcopy"))));  // a link: kept
    EXPECT_EQ(RemoveStaleSaveTemporaries(dir.path()), 4);
    QStringList want(std::begin(keep), std::end(keep));
    want << QStringLiteral("d.kvnew-qwerty") << QStringLiteral("l.kvcopy");
    want.sort();
    EXPECT_EQ(FolderEntries(dir.path()), want);
}

// The rounding helpers take any double without overflowing.
TEST(Rounding, AnyValueIsTakenWithoutOverflow)
{
    EXPECT_EQ(Round(2.5), 2);
    EXPECT_EQ(Round(-3.5), -4);
    EXPECT_EQ(Round(1e95), std::numeric_limits<long long>::max());
    EXPECT_EQ(Round(-1e95), std::numeric_limits<long long>::min());
    EXPECT_EQ(Round(std::numeric_limits<double>::infinity()), std::numeric_limits<long long>::max());
    EXPECT_EQ(Round(std::nan("")), 0);
    EXPECT_EQ(Round(9223372036854775807.0), std::numeric_limits<long long>::max());  // 2^63 as a double
    EXPECT_EQ(Round(-9223372036854775808.0), std::numeric_limits<long long>::min());
    EXPECT_EQ(Trunc(-1e300), std::numeric_limits<long long>::min());
    EXPECT_EQ(Trunc(-7.9), -7);
}
