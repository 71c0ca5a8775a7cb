// The results data file for the outside curve program: its exact bytes, the name
// check, and that it is written whole or not at all.
#include "ProgramFixture.h"

#include "DataFile.h"
#include "Debug.h"
#include "Forms.h"
#include "KyrMain.h"
#include "KyrUpdate.h"
#include "Setup.h"
#include "SysUtils.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

// Fifteen zeros, five decay factors of 1.00 and a zero pick-up current, each line CR LF.
QByteArray ZeroFile()
{
    QByteArray b;
    for (int i = 0; i < 5; ++i)
        b += "    0.00\r\n   0.000\r\n   0.000\r\n";
    for (int i = 0; i < 5; ++i)
        b += "1.00\r\n";
    b += "    0.00\r\n";
    return b;
}

TEST(ResultsDataLines, FieldFormatsAndWidths)
{
    TResultsData d;
    // Operation 1: a current exactly eight characters wide, operation 2 a wider one.
    d.TripCurr[0] = 12345.678;   // "12345.68"
    d.TripCurr[1] = 123456.7;    // "123456.70": wider values take more characters
    d.TripCurr[2] = 812.3449;    // "  812.34"
    d.TripTime[0] = 0.0521;      // "   0.052"
    d.TripTime[1] = 12.3456;     // "  12.346"
    d.ReclTime[0] = 1.5004;      // "   1.500"
    d.ReclTime[3] = 0.0006;      // "   0.001"
    d.Decay[0] = -20;            // factor 0.80
    d.Decay[1] = 0;              // 1.00
    d.Decay[2] = -12.5;          // 0.875 -> "0.88" (away from zero)
    d.Decay[3] = 35;             // 1.35
    d.PickupRms = 61.236;        // "   61.24"
    const QStringList l = ResultsDataLines(d);
    ASSERT_EQ(l.size(), 21);
    const QStringList expect = {
        "12345.68", "   0.052", "   1.500",      // operation 1
        "123456.70", "  12.346", "   0.000",     // operation 2
        "  812.34", "   0.000", "   0.000",      // operation 3
        "    0.00", "   0.000", "   0.001",      // operation 4
        "    0.00", "   0.000", "   0.000",      // operation 5
        "0.80", "1.00", "0.88", "1.35", "1.00",  // decay factors
        "   61.24"};
    EXPECT_EQ(l, expect);
}

TEST(ResultsDataLines, SystemDecimalSeparator)
{
    const QChar old = DecimalSeparator;
    DecimalSeparator = QLatin1Char(',');
    TResultsData d;
    d.TripCurr[0] = 5.25;
    d.Decay[0] = -20;
    const QStringList l = ResultsDataLines(d);
    DecimalSeparator = old;
    EXPECT_EQ(l[0], QStringLiteral("    5,25"));
    EXPECT_EQ(l[1], QStringLiteral("   0,000"));
    EXPECT_EQ(l[15], QStringLiteral("0,80"));
}

TEST(DataFileName, AcceptedAnywhereInAnyCase)
{
    struct Case { const char* name; bool ok; };
    const Case cases[] = {{"results.kdf", true}, {"RESULTS.DAT", true}, {"a.kdf.bak", true},
                          {"/tmp/x/Run.Kdf", true}, {"results.txt", false}, {"kdf", false},
                          {"results.kd", false}, {"", false}};
    for (const Case& c : cases)
        EXPECT_EQ(IsDataFileName(QString::fromLatin1(c.name)), c.ok) << c.name;
}

class DataFileTest : public ProgramFixture {};

TEST_F(DataFileTest, AfterResetHolds190BytesOfZeros)
{
    StartProgram();
    const QChar old = DecimalSeparator;
    // The system's decimal separator, whichever it is.
    for (const char sep : {'.', ','}) {
        DecimalSeparator = QLatin1Char(sep);
        QString name = QStringLiteral("Reset.kdf");
        const bool written = fmKyr->WriteDataFile(name);
        DecimalSeparator = old;
        EXPECT_TRUE(written) << sep;
        EXPECT_EQ(name, QStringLiteral("Reset.kdf"));
        const QByteArray bytes = ReadOrMissing(DataFile(name));
        EXPECT_EQ(bytes.size(), 190) << sep;
        EXPECT_EQ(bytes, ZeroFile().replace('.', sep)) << sep;
    }
    EXPECT_TRUE(TraceText().contains(QStringLiteral("WriteDataFile ")));
    EXPECT_TRUE(TraceText().contains(QStringLiteral("End WriteDataFile ")));
}

TEST_F(DataFileTest, AfterAKnownTestHoldsTheEngineResults)
{
    StartProgram();
    ASSERT_TRUE(PlayDemo());
    ASSERT_EQ(TestEngine->Result, trLockout);
    // The file is the engine's numbers in the file's formats, in its order.
    QByteArray expect;
    for (int i = 1; i <= 5; ++i)
        expect += (Format("%8.2f", TestEngine->TripCurr[i]) + "\r\n" + Format("%8.3f", TestEngine->TripTime[i]) +
                   "\r\n" + Format("%8.3f", TestEngine->ReclTime[i]) + "\r\n")
                      .toLatin1();
    for (int i = 1; i <= 5; ++i)
        expect += (Format("%4.2f", TestEngine->Decay[i] / 100 + 1) + "\r\n").toLatin1();
    expect += (Format("%8.2f", TestEngine->PickupRms) + "\r\n").toLatin1();

    QString name = QStringLiteral("Demo.kdf");
    ASSERT_TRUE(fmKyr->WriteDataFile(name));
    const QByteArray bytes = ReadOrMissing(DataFile(name));
    EXPECT_EQ(bytes, expect);
    // The demo's four trips: about 0.05, 0.06, 0.23 and 0.25 s, each reclosing after about 1.5 s.
    const QList<QByteArray> lines = bytes.split('\n');
    const double trips[4] = {0.05, 0.06, 0.23, 0.25};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(lines[3 * i + 1].trimmed().toDouble(), trips[i], 0.01) << i;
        EXPECT_GT(lines[3 * i].trimmed().toDouble(), 0.0) << i;
        if (i < 3) {
            EXPECT_NEAR(lines[3 * i + 2].trimmed().toDouble(), 1.5, 0.02) << i;
        }
    }
    EXPECT_EQ(lines[12].trimmed(), QByteArray("0.00"));  // no fifth operation
}

TEST_F(DataFileTest, WrongNameIsReplacedAfterTheMessage)
{
    StartProgram();
    answers->clear();
    QString name = QStringLiteral("results.txt");
    EXPECT_TRUE(fmKyr->WriteDataFile(name));
    EXPECT_EQ(name, QStringLiteral("Kestrovan.kdf"));
    const MessageRequest* m = answers->find(QStringLiteral("Must be type .kdf or .dat"));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->caption, QStringLiteral("Wrong Data File Name"));
    EXPECT_FALSE(QFile::exists(DataFile(QStringLiteral("results.txt"))));
    EXPECT_EQ(ReadOrMissing(DataFile(QStringLiteral("Kestrovan.kdf"))), ZeroFile());
}

TEST_F(DataFileTest, FailedWriteIsReportedAndLeavesTheOldFile)
{
    StartProgram();
    answers->clear();
    // The target is a folder: nothing can be written there.
    ASSERT_TRUE(QDir(dataFolder).mkdir(QStringLiteral("Busy.kdf")));
    QString busy = QStringLiteral("Busy.kdf");
    EXPECT_FALSE(fmKyr->WriteDataFile(busy));
    const MessageRequest* m = answers->find(QStringLiteral("Error writing file: "));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->text, QStringLiteral("Error writing file: Busy.kdf"));
    EXPECT_EQ(m->dlgType, mtError);
    EXPECT_EQ(m->buttons, Btn(mbAbort));

    // A file in a folder that does not exist: nothing is left behind, a false result.
    QString missing = tmp->file(QStringLiteral("no/such/folder/x.kdf"));
    EXPECT_FALSE(fmKyr->WriteDataFile(missing));
    EXPECT_FALSE(QFile::exists(missing));

    // Over an existing file, the old contents stay whole until the new ones are complete.
    QString good = QStringLiteral("Good.kdf");
    ASSERT_TRUE(fmKyr->WriteDataFile(good));
    EXPECT_EQ(ReadOrMissing(DataFile(good)).size(), 190);
}

TEST_F(DataFileTest, EveryExitWritesTheSetupsDataFile)
{
    StartProgram();
    // A data file name the curve program would not read: the exit writes Kestrovan.kdf
    // and the setup keeps the new name.
    fmSetup->DataFileName = QStringLiteral("exit.txt");
    QFile::remove(DataFile(QStringLiteral("Kestrovan.kdf")));
    fmKyr->ProgExit();
    EXPECT_TRUE(Application.Terminated);
    EXPECT_EQ(fmSetup->DataFileName, QStringLiteral("Kestrovan.kdf"));
    EXPECT_EQ(ReadOrMissing(DataFile(QStringLiteral("Kestrovan.kdf"))), ZeroFile());
    EXPECT_TRUE(QFile::exists(DataFile(QStringLiteral("Kestrovan.ksf"))));
}

TEST_F(DataFileTest, ExitEndsWhenTheTraceCannotBeSaved)
{
    StartProgram();
    answers->clear();
    // The trace file's name is taken by a folder: the save fails after the results and
    // the setup were written; the exit says so and ends all the same.
    const QString trace = TfmDebug::LogFileName(Application.ExeName);
    ASSERT_TRUE(QDir(dataFolder).mkdir(trace));
    QFile::remove(DataFile(QStringLiteral("Kestrovan.kdf")));
    fmKyr->ProgExit();
    EXPECT_TRUE(Application.Terminated);
    EXPECT_EQ(ReadOrMissing(DataFile(QStringLiteral("Kestrovan.kdf"))), ZeroFile());
    EXPECT_TRUE(QFile::exists(DataFile(QStringLiteral("Kestrovan.ksf"))));
    const MessageRequest* m = answers->find(QStringLiteral("I/O error writing "));
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(m->text.contains(trace)) << m->text.toStdString();
}

} // namespace
