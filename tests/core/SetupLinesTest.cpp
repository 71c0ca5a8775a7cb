// The setup file's lines on a plain TSetupData, with no window: the exact bytes
// written, the values read, and the default and the trace line each unusable line
// gets. The window's one message around them is SetupTest's.
#include "SetupFile.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "Trace.h"

#include <QFile>
#include <cmath>
#include <gtest/gtest.h>

namespace {

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QStringList g_traced;
void KeepTraceLine(const QString& text) { g_traced << text; }

// A temporary folder for the file, the trace lines kept in g_traced, the system's
// separator a point.
class SetupLines : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_traced.clear();
        oldSink_ = SetTraceSink(&KeepTraceLine);
        oldSeparator_ = DecimalSeparator;
        DecimalSeparator = QLatin1Char('.');
    }
    void TearDown() override
    {
        SetTraceSink(oldSink_);
        DecimalSeparator = oldSeparator_;
    }
    // Reads `bytes` as the file into d.
    bool ReadFrom(const QByteArray& bytes, TSetupData& d)
    {
        WriteAll(path, bytes);
        return ReadSetupLines(path, d);
    }
    // The trace line of an unusable line of the file.
    QString BadLine(int line, const QString& why) const
    {
        return QStringLiteral("Error reading file: ") + path + QStringLiteral(" line ") + QString::number(line) +
               QStringLiteral(": ") + why;
    }

    TempCurrentDir dir;
    const QString path = dir.file(QStringLiteral("Kestrovan.ksf"));

private:
    TTraceSink oldSink_ = nullptr;
    QChar oldSeparator_;
};

// Values unlike every default, so that a default shows where a line was not used.
TSetupData Distinct()
{
    TSetupData d;
    d.Range = 2;
    d.MaxOnTime = 9;
    d.MaxOffTime = 9;
    d.DataFileName = QStringLiteral("keep.kdf");
    d.SourceName = QStringLiteral("old");
    d.MaxOps = 2;
    d.TestType = 1;
    d.ShuntAmperes = 7;
    d.ShuntMillivolts = 7;
    return d;
}

TEST_F(SetupLines, WrittenWithTheSystemSeparatorAndReadBackUnderEither)
{
    TSetupData d;
    d.Range = 7;
    d.MaxOnTime = 2.5;
    d.MaxOffTime = 12.256;  // two decimals, stored rounded
    d.DataFileName = QStringLiteral("/data/Results.kdf");
    d.SourceName = QStringLiteral("/dev/ttyUSB0");
    d.MaxOps = 3;
    d.TestType = 1;
    d.ShuntAmperes = 1000.4;  // whole numbers, right-aligned in six
    d.ShuntMillivolts = 99.6;
    for (const char written : {'.', ','}) {
        for (const char read : {'.', ','}) {
            SCOPED_TRACE(std::string(1, written) + " read with " + read);
            DecimalSeparator = QLatin1Char(written);
            ASSERT_TRUE(WriteSetupLines(path, d));
            const QByteArray sep(1, written);
            EXPECT_EQ(ReadOrMissing(path), "7\r\n2" + sep + "50\r\n12" + sep +
                                         "26\r\n/data/Results.kdf\r\n/dev/ttyUSB0\r\n3\r\n1\r\n  1000\r\n   100\r\n");
            DecimalSeparator = QLatin1Char(read);
            TSetupData back;
            EXPECT_TRUE(ReadSetupLines(path, back));
            EXPECT_EQ(back.Range, 7);
            EXPECT_DOUBLE_EQ(back.MaxOnTime, 2.5);
            EXPECT_DOUBLE_EQ(back.MaxOffTime, 12.26);
            EXPECT_EQ(back.DataFileName, QStringLiteral("/data/Results.kdf"));
            EXPECT_EQ(back.SourceName, QStringLiteral("/dev/ttyUSB0"));
            EXPECT_EQ(back.MaxOps, 3);
            EXPECT_EQ(back.TestType, 1);
            EXPECT_DOUBLE_EQ(back.ShuntAmperes, 1000);
            EXPECT_DOUBLE_EQ(back.ShuntMillivolts, 100);
            EXPECT_TRUE(g_traced.isEmpty()) << g_traced.join(QLatin1Char('|')).toStdString();
        }
    }
}

// A line that is missing or holds no usable value takes its field's default and is
// traced; every other line is read as usual.
TEST_F(SetupLines, AnUnusableLineTakesItsDefaultAndIsTraced)
{
    struct Case {
        const char* what;
        QByteArray file;
        QStringList traced;  // line number and reason of each traced line
        int range; double onTime, offTime; const char* dataFile; const char* source;
        int ops; int testType; double amps, millivolts;
    };
    const Case cases[] = {
        {"on time no number", "7\r\nabc\r\n12.25\r\nr.kdf\r\nS\r\n3\r\n1\r\n500\r\n50\r\n",
         {"2: 'abc' is not a valid floating point value"}, 7, 5.0, 12.25, "r.kdf", "S", 3, 1, 500, 50},
        {"range no number, test type 300", "x\r\n2.50\r\n12.25\r\nr.kdf\r\nS\r\n3\r\n300\r\n500\r\n50\r\n",
         {"1: 'x' is not a valid integer value", "7: 300 is out of range"},
         4, 2.5, 12.25, "r.kdf", "S", 3, 0, 500, 50},
        {"negative and too long times", "7\r\n-1.00\r\n10000.00\r\nr.kdf\r\nS\r\n3\r\n1\r\n500\r\n50\r\n",
         {"2: time out of range", "3: time out of range"}, 7, 5.0, 5.0, "r.kdf", "S", 3, 1, 500, 50},
        {"a time stored as 0", "7\r\n0.004\r\n12.25\r\nr.kdf\r\nS\r\n3\r\n1\r\n500\r\n50\r\n",
         {"2: time out of range"}, 7, 5.0, 12.25, "r.kdf", "S", 3, 1, 500, 50},
        {"shunts rounding to 0 or below", "7\r\n2.50\r\n12.25\r\nr.kdf\r\nS\r\n3\r\n1\r\n0.4\r\n-2\r\n",
         {"8: shunt rating rounds to 0 or below", "9: shunt rating rounds to 0 or below"},
         7, 2.5, 12.25, "r.kdf", "S", 3, 1, 1000, 100},
        {"file ends after line 3: the data file name stays", "7\r\n2.50\r\n12.25\r\n",
         {"4: missing", "5: missing", "6: missing", "7: missing", "8: missing", "9: missing"},
         7, 2.5, 12.25, "keep.kdf", "COM", 4, 0, 1000, 100},
        {"NUL inside text lines", QByteArray("7\r\n2.50\r\n12.25\r\nr.kdf\0x\r\nS\0y\r\n3\r\n1\r\n500\r\n50\r\n", 45),
         {"4: holds a NUL character", "5: holds a NUL character"},
         7, 2.5, 12.25, "keep.kdf", "COM", 3, 1, 500, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_traced.clear();
        TSetupData d = Distinct();
        EXPECT_FALSE(ReadFrom(c.file, d));
        QStringList traced;
        for (const QString& t : c.traced) {
            const qsizetype colon = t.indexOf(QLatin1Char(':'));
            traced << BadLine(t.left(colon).toInt(), t.mid(colon + 2));
        }
        EXPECT_EQ(g_traced, traced);
        EXPECT_EQ(d.Range, c.range);
        EXPECT_DOUBLE_EQ(d.MaxOnTime, c.onTime);
        EXPECT_DOUBLE_EQ(d.MaxOffTime, c.offTime);
        EXPECT_EQ(d.DataFileName, QString::fromLatin1(c.dataFile));
        EXPECT_EQ(d.SourceName, QString::fromLatin1(c.source));
        EXPECT_EQ(d.MaxOps, c.ops);
        EXPECT_EQ(d.TestType, c.testType);
        EXPECT_DOUBLE_EQ(d.ShuntAmperes, c.amps);
        EXPECT_DOUBLE_EQ(d.ShuntMillivolts, c.millivolts);
    }
}

// A range or an operation count outside its limits has always meant the usual one:
// read as the default, with nothing traced and nothing to report.
TEST_F(SetupLines, RangeAndOperationCountOutsideTheirLimitsReadAsDefaultsWithoutAWord)
{
    struct Case { QByteArray range, ops; int wantRange, wantOps; };
    const Case cases[] = {
        {"0", "0", 4, 4}, {"9", "6", 4, 4}, {"-1", "-1", 4, 4}, {"8", "5", 8, 5}, {"1", "1", 1, 1},
        {"\x01" "7\x1f", "\t2 ", 7, 2},  // control characters are trimmed like blanks
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.range.toStdString());
        TSetupData d = Distinct();
        EXPECT_TRUE(ReadFrom(c.range + "\r\n5.00\r\n5.00\r\nd.kdf\r\nCOM\r\n" + c.ops + "\r\n0\r\n  1000\r\n   100\r\n", d));
        EXPECT_EQ(d.Range, c.wantRange);
        EXPECT_EQ(d.MaxOps, c.wantOps);
    }
    EXPECT_TRUE(g_traced.isEmpty()) << g_traced.join(QLatin1Char('|')).toStdString();
}

TEST_F(SetupLines, TheLimitsAndZeroTimesAreTaken)
{
    TSetupData d = Distinct();
    EXPECT_TRUE(ReadFrom("7\r\n0.01\r\n9999.99\r\nr.kdf\r\nS\r\n3\r\n0\r\n999999\r\n     1\r\n", d));
    EXPECT_DOUBLE_EQ(d.MaxOnTime, 0.01);
    EXPECT_DOUBLE_EQ(d.MaxOffTime, 9999.99);
    EXPECT_EQ(d.TestType, 0);
    EXPECT_DOUBLE_EQ(d.ShuntAmperes, 999999);
    EXPECT_DOUBLE_EQ(d.ShuntMillivolts, 1);
    // 0 switches a limit off; "-0.00" is the same 0 and is written back without its sign.
    EXPECT_TRUE(ReadFrom("7\r\n0.00\r\n-0.00\r\nr.kdf\r\nS\r\n3\r\n1\r\n500\r\n50\r\n", d));
    EXPECT_EQ(d.MaxOnTime, 0.0);
    EXPECT_EQ(d.MaxOffTime, 0.0);
    EXPECT_FALSE(std::signbit(d.MaxOffTime));
    ASSERT_TRUE(WriteSetupLines(path, d));
    EXPECT_TRUE(ReadOrMissing(path).startsWith("7\r\n0.00\r\n0.00\r\n"));
    EXPECT_TRUE(g_traced.isEmpty()) << g_traced.join(QLatin1Char('|')).toStdString();
}

// No file: every field takes its default (the data file name only when none is set),
// the failure is traced, and the read says so.
TEST_F(SetupLines, AMissingFileGivesTheDefaults)
{
    for (const QString& before : {QStringLiteral("/data/Kestrovan.kdf"), QString()}) {
        SCOPED_TRACE(before.toStdString());
        g_traced.clear();
        TSetupData d = Distinct();
        d.DataFileName = before;
        EXPECT_FALSE(ReadSetupLines(path, d));
        TSetupData expect = Distinct();
        expect.DataFileName = before;
        SetupDefaultValues(expect);
        EXPECT_EQ(d.SetupLines(), expect.SetupLines());
        EXPECT_EQ(d.DataFileName, before.isEmpty() ? QStringLiteral("Kestrovan.kdf") : before);
        ASSERT_FALSE(g_traced.isEmpty());
        EXPECT_TRUE(g_traced.first().startsWith(QStringLiteral("Error reading file: ") + path + QStringLiteral(": ")))
            << g_traced.first().toStdString();
        EXPECT_TRUE(g_traced.contains(BadLine(1, QStringLiteral("not readable"))));
    }
}

TEST_F(SetupLines, AWriteThatCannotBeMadeIsReportedAndLeavesNothing)
{
    const QString nowhere = dir.file(QStringLiteral("no-such-folder/Kestrovan.ksf"));
    TSetupData d;
    SetupDefaultValues(d);
    EXPECT_FALSE(WriteSetupLines(nowhere, d));
    EXPECT_TRUE(FolderEntries(dir.path()).isEmpty());

    // A write that runs into a limit on file size keeps the old file whole.
    ASSERT_TRUE(WriteSetupLines(path, d));
    const QByteArray before = ReadOrMissing(path);
    d.Range = 5;
    {
        FileSizeLimit limit(10);
        EXPECT_FALSE(WriteSetupLines(path, d));
    }
    EXPECT_EQ(ReadOrMissing(path), before);
    EXPECT_EQ(FolderEntries(dir.path()), QStringList{QStringLiteral("Kestrovan.ksf")});
}

}  // namespace
