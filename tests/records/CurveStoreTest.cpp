// The curve file behind the recloser data form: loading, lookup, the locked and open
// pages, saving whole or not at all, and the lock a second instance meets.
#include "KyrData.h"

#include "Dialogs.h"
#include "Forms.h"
#include "SysUtils.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <sys/resource.h>

namespace {

const char* const kDelayValues[14] = {"12", "5", "2", "2", "1", "0.65", "0.3", "0.45", "0.3", "0.3", "0.2", "0.2", "10", "15"};

QString Line(const QString& key, const QStringList& values)
{
    QString l = key;
    for (const QString& v : values)
        l += CurveValueText(StrToFloatC(v));
    return l;
}

QStringList Values(const char* const (&v)[14])
{
    QStringList out;
    for (const char* s : v)
        out << QLatin1String(s);
    return out;
}

void WriteFile(const QString& path, const QStringList& lines)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    for (const QString& l : lines)
        f.write(l.toLatin1() + "\r\n");
}

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void SetText(QComboBox* box, const QString& text)
{
    const QSignalBlocker b(box);
    box->setEditText(text);
}

void SetCurve(TfmReclData& f, int kind, const QStringList& values)
{
    for (int i = 0; i < CurveFieldCount; ++i)
        f.CurveEdit(kind, i)->setText(values.at(i));
}

bool Locked(QLineEdit* e) { return !e->isEnabled(); }

class CurveStoreTest : public ::testing::Test {
protected:
    TempCurrentDir dir;
    QString path() const { return dir.file(QStringLiteral("Kestrovan.rcf")); }
};

} // namespace

TEST_F(CurveStoreTest, AStoredCurveIsShownLockedAsTheFileHoldsIt)
{
    QStringList fast{"0", "5", "0.06", "0.06", "0.05", "0.045", "0.045", "0.04", "0.04", "0.035", "0.03", "0.03", "100", "0"};
    WriteFile(path(), {Line(QStringLiteral("VWE__100____B__"), Values(kDelayValues)),
                       Line(QStringLiteral("VWE__100____A__"), fast),
                       Line(QStringLiteral("KF___100____A__"), fast)});
    TfmReclData f;
    ASSERT_TRUE(f.CurveStoreOpen());
    ASSERT_EQ(CurveList.size(), 3);
    EXPECT_TRUE(CurveList.at(0).startsWith(QStringLiteral("KF")));  // sorted at load
    SetText(f.cbReclType, QStringLiteral("VWE"));
    SetText(f.cbReclCoil, QStringLiteral("100"));
    SetText(f.cbReclDelayCurve, QStringLiteral("B"));
    f.UpdateOrEnableEdit(Delay);
    EXPECT_TRUE(f.CurveVerified);
    EXPECT_EQ(CurveKey, QStringLiteral("VWE__100____B__"));
    EXPECT_EQ(f.CurveEdit(Delay, 5)->text(), QStringLiteral("00.650 "));  // as stored, blank and all
    EXPECT_EQ(f.CurveEdit(Delay, 0)->text(), QStringLiteral("12.000 "));
    EXPECT_EQ(f.CurveEdit(Delay, 12)->text(), QStringLiteral(" 10"));     // tolerances "%3.0f"
    EXPECT_EQ(f.CurveEdit(Delay, 13)->text(), QStringLiteral(" 15"));
    for (int i = 0; i < CurveFieldCount; ++i)
        EXPECT_TRUE(Locked(f.CurveEdit(Delay, i))) << i;
    EXPECT_FALSE(f.btSaveDelay->isEnabled());
    EXPECT_EQ(f.lbDelayCurve->text(), QStringLiteral("B"));
    EXPECT_DOUBLE_EQ(f.Data().CurveSqrtTimes[Delay][3], std::sqrt(0.65));

    f.UpdateOrEnableEdit(Fast);
    EXPECT_EQ(f.CurveEdit(Fast, 5)->text(), QStringLiteral("00.045 "));
    EXPECT_EQ(f.CurveEdit(Fast, 12)->text(), QStringLiteral("100"));
    EXPECT_EQ(f.CurveEdit(Fast, 13)->text(), QStringLiteral("  0"));

    // Nothing stored under another coil: the page opens, the curve is not verified.
    SetText(f.cbReclCoil, QStringLiteral("140"));
    f.UpdateOrEnableEdit(Fast);
    EXPECT_FALSE(f.CurveVerified);
    EXPECT_TRUE(f.btSaveFast->isEnabled());
    for (int i = 0; i < CurveFieldCount; ++i)
        EXPECT_FALSE(Locked(f.CurveEdit(Fast, i))) << i;
    EXPECT_EQ(f.CurveEdit(Fast, 2)->toolTip(), QStringLiteral("Time for  10.00 amps"));  // Ref 5 x 2
    EXPECT_EQ(f.CurveEdit(Fast, 11)->toolTip(), QStringLiteral("Time for  75.00 amps"));
}

// A curve file written under one decimal separator is shown, timed and saved again
// under the other: the digits stay, the separator becomes the system's.
TEST_F(CurveStoreTest, AFileWrittenWithEitherSeparatorReadsUnderTheOther)
{
    struct Case { char writtenWith, readWith; };
    for (const Case c : {Case{'.', ','}, Case{',', '.'}}) {
        SCOPED_TRACE(std::string(1, c.writtenWith) + " read with " + c.readWith);
        DecimalSeparator = QLatin1Char(c.writtenWith);
        WriteFile(path(), {Line(QStringLiteral("VWE__100____B__"), Values(kDelayValues))});
        DecimalSeparator = QLatin1Char(c.readWith);
        const QString sep(QLatin1Char(c.readWith));
        {
            TfmReclData f;
            SetText(f.cbReclType, QStringLiteral("VWE"));
            SetText(f.cbReclCoil, QStringLiteral("100"));
            SetText(f.cbReclDelayCurve, QStringLiteral("B"));
            // The other pages keep their texts at start, shown in the system's format.
            EXPECT_EQ(f.CurveEdit(GndSlow, 1)->text(), "2" + sep + "500");
            ScriptedMessages s;
            EXPECT_NO_THROW(f.UpdateOrEnableEdit(Delay));
            EXPECT_TRUE(s.requests.empty());
            EXPECT_TRUE(f.CurveVerified);
            EXPECT_EQ(f.CurveEdit(Delay, 5)->text(), "00" + sep + "650 ");
            EXPECT_EQ(f.CurveEdit(Delay, 13)->text(), QStringLiteral(" 15"));
            EXPECT_DOUBLE_EQ(f.Data().CurveSqrtTimes[Delay][3], std::sqrt(0.65));
            // Saved again under this system, the line takes its separator.
            f.EnableEdit(Delay);
            s.answer(mrOk);
            f.SaveCurveClick(f.btSaveDelay);
            EXPECT_TRUE(f.CurveVerified);
        }
        EXPECT_TRUE(ReadFile(path()).contains(QByteArray("00") + c.readWith + "650 "));
    }
    DecimalSeparator = QLatin1Char('.');
}

TEST_F(CurveStoreTest, AShortLineShowsBlanksNotThePreviousRecord)
{
    QStringList full = Values(kDelayValues);
    full[13] = QStringLiteral("99");
    QString shortLine = Line(QStringLiteral("KF___50_____B__"), Values(kDelayValues));
    shortLine = shortLine.left(CurveRecordLength - 6);  // TolMax holds "1" and nothing more
    shortLine[CurveRecordLength - 7] = QLatin1Char('1');
    WriteFile(path(), {Line(QStringLiteral("KF___100____B__"), full), shortLine});
    TfmReclData f;
    SetText(f.cbReclType, QStringLiteral("KF"));
    SetText(f.cbReclDelayCurve, QStringLiteral("B"));
    SetText(f.cbReclCoil, QStringLiteral("100"));
    f.UpdateOrEnableEdit(Delay);
    EXPECT_EQ(f.CurveEdit(Delay, 13)->text(), QStringLiteral(" 99"));
    SetText(f.cbReclCoil, QStringLiteral("50"));
    f.UpdateOrEnableEdit(Delay);
    EXPECT_EQ(f.CurveEdit(Delay, 13)->text(), QStringLiteral("  1"));
    EXPECT_EQ(CurveRecordBuffer.mid(CurveRecordLength - 7), QStringLiteral("1      "));
}

TEST_F(CurveStoreTest, SavingANewCurveThenOverwritingItInPlace)
{
    WriteFile(path(), {Line(QStringLiteral("KF___100____A__"), Values(kDelayValues))});
    TfmReclData f;
    SetText(f.cbReclType, QStringLiteral("VWE"));
    SetText(f.cbReclCoil, QStringLiteral("100"));
    SetText(f.cbReclGndCT, QStringLiteral("None  Ser"));
    SetText(f.cbGndFastCurve, QStringLiteral("1"));
    f.UpdateOrEnableEdit(GndFast);
    ASSERT_FALSE(f.CurveVerified);
    QStringList v = Values(kDelayValues);
    v[0] = QStringLiteral("0.045");
    SetCurve(f, GndFast, v);
    {
        ScriptedMessages s;
        f.SaveCurveClick(f.btSaveGndFast);
        EXPECT_TRUE(s.requests.empty());
    }
    EXPECT_TRUE(f.CurveVerified);
    EXPECT_FALSE(f.btSaveGndFast->isEnabled());
    EXPECT_TRUE(Locked(f.CurveEdit(GndFast, 0)));
    EXPECT_EQ(f.CurveEdit(GndFast, 0)->text(), QStringLiteral("00.045 "));
    QByteArray bytes = ReadFile(path());
    ASSERT_EQ(bytes.size(), 2 * (CurveRecordLength + 2));
    EXPECT_TRUE(bytes.contains("\r\nVWE__None  S1__00.045 05.000 02.000 02.000 01.000 00.650 00.300 00.450 "
                               "00.300 00.300 00.200 00.200 10.000 15.000 \r\n"));

    // The key exists: the question comes first; Cancel changes nothing.
    f.EnableEdit(GndFast);
    f.CurveEdit(GndFast, 4)->setText(QStringLiteral("3.5"));
    {
        ScriptedMessages s;
        s.answer(mrCancel);
        f.SaveCurveClick(f.btSaveGndFast);
        EXPECT_TRUE(s.saw(QStringLiteral("Previous Data Found. Overwrite?")));
    }
    EXPECT_EQ(ReadFile(path()), bytes);
    // OK replaces the line; the file keeps its size.
    {
        ScriptedMessages s;
        s.answer(mrOk);
        f.SaveCurveClick(f.btSaveGndFast);
    }
    const QByteArray after = ReadFile(path());
    EXPECT_EQ(after.size(), bytes.size());
    EXPECT_TRUE(after.contains("VWE__None  S1__00.045 05.000 02.000 02.000 03.500 "));
    EXPECT_EQ(CurveList.size(), 2);
}

TEST_F(CurveStoreTest, ValuesTheFileCannotHoldAreRefusedBeforeAnythingIsWritten)
{
    WriteFile(path(), {});
    struct Case { int field; const char* text; const char* message; } cases[] = {
        {1, "10000000", "Ref 10000000 does not fit the curve file's seven characters: the curve is not saved"},
        {4, "-0.5", "3x -0.5 is negative: the curve is not saved"},
        {0, "-1", "MPU -1 is negative: the curve is not saved"},
        {0, "1e60", "MPU 1e60 is not a finite number: the curve is not saved"},
        {2, "abc", "'abc' is not a valid floating point value"},
    };
    for (const Case& c : cases) {
        TfmReclData f;
        SetText(f.cbReclType, QStringLiteral("KF"));
        SetText(f.cbReclCoil, QStringLiteral("100"));
        f.UpdateOrEnableEdit(Fast);
        SetCurve(f, Fast, Values(kDelayValues));
        f.CurveEdit(Fast, c.field)->setText(QLatin1String(c.text));
        ScriptedMessages s;
        Guarded([&] { f.SaveCurveClick(f.btSaveFast); });
        EXPECT_TRUE(s.saw(QLatin1String(c.message)) || s.saw(QLatin1String(c.message) + QLatin1Char('.'))) << c.text;
        EXPECT_FALSE(f.CurveVerified) << c.text;
        EXPECT_TRUE(f.btSaveFast->isEnabled()) << c.text;
        EXPECT_TRUE(CurveList.isEmpty()) << c.text;
        EXPECT_EQ(QFileInfo(path()).size(), 0) << c.text;
    }
}

TEST_F(CurveStoreTest, TypeAndCoilAreNeededFirst)
{
    TfmReclData f;
    SetText(f.cbReclType, QString());
    {
        ScriptedMessages s;
        f.SaveCurveClick(f.btSaveFast);
        EXPECT_TRUE(s.saw(QStringLiteral("Must select recloser type")));
    }
    SetText(f.cbReclType, QStringLiteral("KF"));
    SetText(f.cbReclCoil, QString());
    {
        ScriptedMessages s;
        f.SaveCurveClick(f.btSaveGndSlow);  // the coil is needed for the ground curves too
        EXPECT_TRUE(s.saw(QStringLiteral("Must select recloser coil size")));
    }
    EXPECT_EQ(QFileInfo(path()).size(), 0);
}

TEST_F(CurveStoreTest, AFailedWriteLeavesTheOldFileWhole)
{
    QStringList lines;
    for (int i = 0; i < 5; ++i)
        lines << Line(QStringLiteral("KF___%1____A__").arg(i * 10 + 10, 3, 10, QLatin1Char('0')), Values(kDelayValues));
    WriteFile(path(), lines);
    const QByteArray before = ReadFile(path());
    TfmReclData f;
    SetText(f.cbReclType, QStringLiteral("VWE"));
    SetText(f.cbReclCoil, QStringLiteral("100"));
    f.UpdateOrEnableEdit(Fast);
    SetCurve(f, Fast, Values(kDelayValues));

    // A file size limit below the new file's size makes the write fail.
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = old;
    lim.rlim_cur = static_cast<rlim_t>(before.size() + 10);
    setrlimit(RLIMIT_FSIZE, &lim);
    ScriptedMessages s;
    f.SaveCurveClick(f.btSaveFast);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(s.saw(QStringLiteral("Error writing file: Kestrovan.rcf")));
    EXPECT_EQ(ReadFile(path()), before);
    EXPECT_EQ(FolderEntries(dir.path()), QStringList{QStringLiteral("Kestrovan.rcf")});
    EXPECT_FALSE(f.CurveVerified);
    EXPECT_TRUE(f.btSaveFast->isEnabled());
    EXPECT_FALSE(Locked(f.CurveEdit(Fast, 2)));
    EXPECT_EQ(CurveList.size(), 5);

    // Without the limit the same save goes through, and the file is still locked after it.
    ScriptedMessages s2;
    f.SaveCurveClick(f.btSaveFast);
    EXPECT_TRUE(f.CurveVerified);
    EXPECT_EQ(ReadFile(path()).size(), 6 * (CurveRecordLength + 2));
    TfmReclData second;
    EXPECT_FALSE(second.CurveStoreOpen());
}

// A link planted where a save writes (the name an earlier version wrote through, or
// the file's own name once the form holds it open) is never written through: the file
// outside the folder stays as it was and the curve file is a plain file, still locked.
TEST_F(CurveStoreTest, ASaveNeverWritesThroughAPlantedLink)
{
    QTemporaryDir elsewhere;
    const QString outside = elsewhere.filePath(QStringLiteral("precious"));
    for (const char* planted : {".tmp", ""}) {
        SCOPED_TRACE(planted);
        QFile::remove(outside);
        {
            QFile o(outside);
            ASSERT_TRUE(o.open(QIODevice::WriteOnly));
            o.write("precious");
        }
        QFile::remove(path());
        WriteFile(path(), {Line(QStringLiteral("KF___100____A__"), Values(kDelayValues))});
        TfmReclData f;
        ASSERT_TRUE(f.CurveStoreOpen());
        const QString link = path() + QLatin1String(planted);
        QFile::remove(link);
        ASSERT_TRUE(QFile::link(outside, link));
        SetText(f.cbReclType, QStringLiteral("VWE"));
        SetText(f.cbReclCoil, QStringLiteral("100"));
        f.UpdateOrEnableEdit(Fast);
        SetCurve(f, Fast, Values(kDelayValues));
        ScriptedMessages s;
        f.SaveCurveClick(f.btSaveFast);
        EXPECT_TRUE(s.requests.empty());
        EXPECT_TRUE(f.CurveVerified);
        EXPECT_EQ(ReadFile(outside), QByteArray("precious"));
        EXPECT_FALSE(QFileInfo(path()).isSymLink());
        EXPECT_EQ(ReadFile(path()).size(), 2 * (CurveRecordLength + 2));
        TfmReclData second;
        EXPECT_FALSE(second.CurveStoreOpen());
        QFile::remove(path() + QStringLiteral(".tmp"));
    }
}

TEST_F(CurveStoreTest, ASecondInstanceCannotOpenTheFileAndSavesNothing)
{
    WriteFile(path(), {Line(QStringLiteral("KF___100____A__"), Values(kDelayValues))});
    TfmReclData first;
    ASSERT_TRUE(first.CurveStoreOpen());
    const QByteArray before = ReadFile(path());
    ScriptedMessages s;
    TfmReclData second;
    EXPECT_FALSE(second.CurveStoreOpen());
    ASSERT_FALSE(s.requests.empty());
    EXPECT_TRUE(s.requests.front().text.startsWith(QStringLiteral("Cannot open file \"") + path() + QLatin1Char('"')));
    EXPECT_TRUE(CurveList.isEmpty());
    SetText(second.cbReclType, QStringLiteral("VWE"));
    SetText(second.cbReclCoil, QStringLiteral("100"));
    second.SaveCurveClick(second.btSaveFast);
    EXPECT_TRUE(s.saw(QStringLiteral("The curve file Kestrovan.rcf could not be opened; the curve is not saved")));
    EXPECT_EQ(ReadFile(path()), before);
}

TEST_F(CurveStoreTest, AMissingFileIsCreatedEmpty)
{
    TfmReclData f;
    EXPECT_TRUE(f.CurveStoreOpen());
    EXPECT_TRUE(QFile::exists(path()));
    EXPECT_TRUE(CurveList.isEmpty());
}

TEST_F(CurveStoreTest, EnableEditWithoutANumericReferenceUnlocksEverythingAndKeepsTheHints)
{
    TfmReclData f;
    f.UpdateOrEnableEdit(Delay);  // sets the hints from Ref 5
    const QString hint = f.CurveEdit(Delay, 4)->toolTip();
    ASSERT_EQ(hint, QStringLiteral("Time for  15.00 amps"));
    for (int i = 0; i < CurveFieldCount; ++i)
        f.CurveEdit(Delay, i)->setEnabled(false);
    for (const char* ref : {"", "abc"}) {
        f.CurveEdit(Delay, 1)->setText(QLatin1String(ref));
        ScriptedMessages s;
        f.EnableEdit(Delay);
        EXPECT_TRUE(s.requests.empty());
        for (int i = 0; i < CurveFieldCount; ++i)
            EXPECT_TRUE(f.CurveEdit(Delay, i)->isEnabled()) << i;
        EXPECT_EQ(f.CurveEdit(Delay, 4)->toolTip(), hint);
    }
}

TEST_F(CurveStoreTest, UpdateTimesTakesTheSquareRootsOfAllFortyTimes)
{
    TfmReclData f;
    f.CurveEdit(GndSlow, 2)->setText(QStringLiteral("4"));
    f.CurveEdit(Fast, 11)->setText(QStringLiteral("00.090 "));
    f.UpdateTimes();
    EXPECT_DOUBLE_EQ(f.Data().CurveSqrtTimes[GndSlow][0], 2.0);
    EXPECT_DOUBLE_EQ(f.Data().CurveSqrtTimes[Fast][9], 0.3);
    EXPECT_DOUBLE_EQ(f.Data().CurveSqrtTimes[Delay][0], std::sqrt(2.0));  // the start texts
}
