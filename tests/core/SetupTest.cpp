#include "Setup.h"
#include "SetupData.h"
#include "Debug.h"
#include "SysUtils.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest/QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// A temp data folder, a trace window and a setup window whose file lives in the folder.
class SetupFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        fmDebug = new TfmDebug();
        setup = std::make_unique<TfmSetup>();
        setup->SetupFileName = dir.file("Kestrovan.ksf");
    }
    void TearDown() override
    {
        setup.reset();
        delete fmDebug;
        DecimalSeparator = QLatin1Char('.');
    }
    // Reads `bytes` as the setup file into the window's fields.
    void ReadFrom(const QByteArray& bytes)
    {
        WriteAll(setup->SetupFileName, bytes);
        setup->ReadSetupFile();
    }
    int ErrorMessages(const ScriptedMessages& m) const
    {
        int n = 0;
        for (const auto& r : m.requests)
            n += r.text == "Error reading file: " + setup->SetupFileName;
        return n;
    }

    TempCurrentDir dir;
    std::unique_ptr<TfmSetup> setup;
};

const QByteArray kGoodFile = "7\r\n2.50\r\n12.25\r\n/data/Results.kdf\r\n/dev/ttyUSB0\r\n3\r\n1\r\n   500\r\n    50\r\n";

}  // namespace

TEST_F(SetupFixture, RoundTripWritesTheNineLinesWithTheSystemSeparatorAndReadsThemBack)
{
    struct Case { char sep; QByteArray bytes; };
    const Case cases[] = {
        {'.', "7\r\n2.50\r\n12.26\r\n/data/Results.kdf\r\n/dev/ttyUSB0\r\n3\r\n1\r\n  1000\r\n   100\r\n"},
        {',', "7\r\n2,50\r\n12,26\r\n/data/Results.kdf\r\n/dev/ttyUSB0\r\n3\r\n1\r\n  1000\r\n   100\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sep);
        ScriptedMessages m;
        DecimalSeparator = QLatin1Char(c.sep);
        setup->Range = 7;
        setup->MaxOnTime = 2.5;
        setup->MaxOffTime = 12.256;  // two decimals, stored rounded
        setup->DataFileName = "/data/Results.kdf";
        setup->SourceName = "/dev/ttyUSB0";
        setup->MaxOps = 3;
        setup->TestType = 1;
        setup->ShuntAmperes = 1000.4;   // "%6.0f": whole numbers, right-aligned
        setup->ShuntMillivolts = 99.6;
        setup->WriteSetupFile();
        EXPECT_EQ(ReadAll(setup->SetupFileName), c.bytes);

        TfmSetup other;
        other.SetupFileName = setup->SetupFileName;
        other.ReadSetupFile();
        EXPECT_EQ(other.Range, 7);
        EXPECT_DOUBLE_EQ(other.MaxOnTime, 2.5);
        EXPECT_DOUBLE_EQ(other.MaxOffTime, 12.26);
        EXPECT_EQ(other.DataFileName, "/data/Results.kdf");
        EXPECT_EQ(other.SourceName, "/dev/ttyUSB0");
        EXPECT_EQ(other.MaxOps, 3);
        EXPECT_EQ(other.TestType, 1);
        EXPECT_DOUBLE_EQ(other.ShuntAmperes, 1000);
        EXPECT_DOUBLE_EQ(other.ShuntMillivolts, 100);
        EXPECT_TRUE(m.requests.empty());
    }
}

// The lines come from the plain record alone: no window, no file.
TEST(SetupData, NineLinesFromThePlainRecord)
{
    const QChar old = DecimalSeparator;
    DecimalSeparator = QLatin1Char('.');
    TSetupData d;
    EXPECT_EQ(d.SetupLines(), QStringList({"0", "0.00", "0.00", "", "", "0", "0", "     0", "     0"}));
    d.Range = 8;
    d.MaxOnTime = 0.005;  // rounds away from zero
    d.MaxOffTime = 123.456;
    d.DataFileName = "a.kdf";
    d.SourceName = "COM3";
    d.MaxOps = 5;
    d.TestType = 1;
    d.ShuntAmperes = 1234567;  // wider than its six characters: kept whole
    d.ShuntMillivolts = 0.5;
    EXPECT_EQ(d.SetupLines(),
              QStringList({"8", "0.01", "123.46", "a.kdf", "COM3", "5", "1", "1234567", "     1"}));
    DecimalSeparator = old;
}

TEST_F(SetupFixture, MissingFileIsMadeOnceWithTheDefaults)
{
    ScriptedMessages m;
    setup->DataFileName = dir.path() + "/Kestrovan.kdf";  // program control sets the full path first
    setup->ReadSetupFile();
    ASSERT_EQ(m.requests.size(), 1u);
    EXPECT_EQ(m.requests[0].text, "Creating Default Setup File");
    EXPECT_EQ(m.requests[0].caption, "File Missing");
    EXPECT_EQ(m.requests[0].flags & 0xF, MB_OK);
    EXPECT_EQ(ReadAll(setup->SetupFileName),
              "4\r\n5.00\r\n5.00\r\n" + (dir.path() + "/Kestrovan.kdf").toUtf8() + "\r\nCOM\r\n4\r\n0\r\n  1000\r\n   100\r\n");
    EXPECT_EQ(setup->Range, 4);
    EXPECT_EQ(setup->MaxOps, 4);
    EXPECT_DOUBLE_EQ(setup->ShuntMillivolts, 100);

    setup->ReadSetupFile();  // now it exists: no second message
    EXPECT_EQ(m.requests.size(), 1u);

    // Without a name from program control the data file gets the bare default name.
    TfmSetup fresh;
    fresh.SetupFileName = dir.file("Other.ksf");
    fresh.ReadSetupFile();
    EXPECT_EQ(fresh.DataFileName, "Kestrovan.kdf");
    EXPECT_EQ(ReadAll(fresh.SetupFileName), "4\r\n5.00\r\n5.00\r\nKestrovan.kdf\r\nCOM\r\n4\r\n0\r\n  1000\r\n   100\r\n");
}

TEST_F(SetupFixture, RangeAndOperationCountOutsideTheirLimitsReadAsFourWithoutAMessage)
{
    struct Case { QByteArray range, ops; int wantRange, wantOps; };
    const Case cases[] = {
        {"0", "0", 4, 4},      {"9", "6", 4, 4},        {"-1", "-1", 4, 4},
        {"8", "5", 8, 5},      {"1", "1", 1, 1},        {"  7  ", "\t2 ", 7, 2},
        {"\x01" "7\x1f", "3", 7, 3},  // control characters are trimmed like blanks
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.range.toStdString());
        ScriptedMessages m;
        ReadFrom(c.range + "\r\n5.00\r\n5.00\r\nd.kdf\r\nCOM\r\n" + c.ops + "\r\n0\r\n  1000\r\n   100\r\n");
        EXPECT_EQ(setup->Range, c.wantRange);
        EXPECT_EQ(setup->MaxOps, c.wantOps);
        EXPECT_TRUE(m.requests.empty());
    }
}

TEST_F(SetupFixture, AnUnusableLineTakesItsDefaultTheRestIsReadAndOneMessageIsShown)
{
    // Start from non-default values so that a default shows where a line was not used.
    struct Case {
        const char* what;
        QByteArray file;
        int range; double onTime, offTime; const char* dataFile; const char* source;
        int ops; int testType; double amps, millivolts;
    };
    const Case cases[] = {
        {"bad on time", "7\r\nabc\r\n12.25\r\nr.kdf\r\nS\r\n3\r\n1\r\n500\r\n50\r\n",
         7, 5.0, 12.25, "r.kdf", "S", 3, 1, 500, 50},
        {"bad range and test type", "x\r\n2.50\r\n12.25\r\nr.kdf\r\nS\r\n3\r\n300\r\n500\r\n50\r\n",
         4, 2.5, 12.25, "r.kdf", "S", 3, 0, 500, 50},
        {"file ends after line 5", "7\r\n2.50\r\n12.25\r\nr.kdf\r\nS\r\n",
         7, 2.5, 12.25, "r.kdf", "S", 4, 0, 1000, 100},
        {"file ends after line 3: the data file name stays", "7\r\n2.50\r\n12.25\r\n",
         7, 2.5, 12.25, "keep.kdf", "COM", 4, 0, 1000, 100},
        {"shunt rounding to 0 or below", "7\r\n2.50\r\n12.25\r\nr.kdf\r\nS\r\n3\r\n1\r\n0.4\r\n-2\r\n",
         7, 2.5, 12.25, "r.kdf", "S", 3, 1, 1000, 100},
        {"empty number lines", "7\r\n\r\n12.25\r\nr.kdf\r\nS\r\n\r\n1\r\n500\r\n\r\n",
         7, 5.0, 12.25, "r.kdf", "S", 4, 1, 500, 100},
        {"empty file", "", 4, 5.0, 5.0, "keep.kdf", "COM", 4, 0, 1000, 100},
        // A NUL ends the conversion early: the line is no value at all.
        {"NUL in the number lines", QByteArray("7\0junk\r\n2\0.50\r\n12.25\r\nr.kdf\r\nS\r\n3\0x\r\n1\r\n500\r\n50\r\n", 49),
         4, 5.0, 12.25, "r.kdf", "S", 4, 1, 500, 50},
        // ... and one at a line's end is trimmed like any control character.
        {"NUL in the text lines", QByteArray("7\r\n2.50\r\n12.25\r\nr.kdf\0x\r\nS\0\r\n3\r\n1\r\n500\r\n50\r\n", 44),
         7, 2.5, 12.25, "keep.kdf", "S", 3, 1, 500, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedMessages m;
        setup->Range = 2; setup->MaxOnTime = 9; setup->MaxOffTime = 9; setup->DataFileName = "keep.kdf";
        setup->SourceName = "old"; setup->MaxOps = 2; setup->TestType = 1; setup->ShuntAmperes = 7;
        setup->ShuntMillivolts = 7;
        const int traceLines = fmDebug->LineCount;
        ReadFrom(c.file);
        EXPECT_EQ(setup->Range, c.range);
        EXPECT_DOUBLE_EQ(setup->MaxOnTime, c.onTime);
        EXPECT_DOUBLE_EQ(setup->MaxOffTime, c.offTime);
        EXPECT_EQ(setup->DataFileName, c.dataFile);
        EXPECT_EQ(setup->SourceName, c.source);
        EXPECT_EQ(setup->MaxOps, c.ops);
        EXPECT_EQ(setup->TestType, c.testType);
        EXPECT_DOUBLE_EQ(setup->ShuntAmperes, c.amps);
        EXPECT_DOUBLE_EQ(setup->ShuntMillivolts, c.millivolts);
        ASSERT_EQ(m.requests.size(), 1u);
        EXPECT_EQ(ErrorMessages(m), 1);
        EXPECT_EQ(m.requests[0].dlgType, mtError);
        EXPECT_GT(fmDebug->LineCount, traceLines + 1);  // "ReadSetupFile " and the error lines
        EXPECT_TRUE(fmDebug->TraceText().contains("Error reading file: " + setup->SetupFileName + " line "));
    }
}

// A value outside its field's range takes the field's default, with the one message
// of an unreadable line; the other fields are read as usual.
TEST_F(SetupFixture, ValuesOutsideTheirRangeTakeTheirDefaults)
{
    struct Case { const char* what; int line; QByteArray value; };
    const Case cases[] = {
        {"shunt of 1e300 A", 8, "1e300"},        {"shunt of 1e7 mV", 9, "10000000"},
        {"on time stored as 0", 2, "0.004"},     {"negative on time", 2, "-1.00"},
        {"on time 1e300", 2, "1e300"},           {"off time -0.01", 3, "-0.01"},
        {"negative off time", 3, "-0.5"},        {"off time 10000", 3, "10000.00"},
        {"on time with both separators", 2, "1,002.5"},
        {"test type 100", 7, "100"},             {"test type 2", 7, "2"},
        {"test type -1", 7, "-1"},
    };
    const QList<QByteArray> good = {"7", "2.50", "12.25", "r.kdf", "S", "3", "1", "500", "50"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QList<QByteArray> lines = good;
        lines[c.line - 1] = c.value;
        ScriptedMessages m;
        ReadFrom(lines.join("\r\n") + "\r\n");
        EXPECT_EQ(ErrorMessages(m), 1);
        EXPECT_EQ(m.requests.size(), 1u);
        EXPECT_EQ(setup->Range, 7);
        EXPECT_DOUBLE_EQ(setup->MaxOnTime, c.line == 2 ? 5.0 : 2.5);
        EXPECT_DOUBLE_EQ(setup->MaxOffTime, c.line == 3 ? 5.0 : 12.25);
        EXPECT_EQ(setup->MaxOps, 3);
        EXPECT_EQ(setup->TestType, c.line == 7 ? 0 : 1);
        EXPECT_DOUBLE_EQ(setup->ShuntAmperes, c.line == 8 ? 1000 : 500);
        EXPECT_DOUBLE_EQ(setup->ShuntMillivolts, c.line == 9 ? 100 : 50);
        // Written back, every line is of its usual width.
        setup->WriteSetupFile();
        for (const QByteArray& l : ReadAll(setup->SetupFileName).split('\n'))
            EXPECT_LE(l.size(), 16) << l.toStdString();
    }
    // The limits themselves are taken.
    ScriptedMessages m;
    ReadFrom("7\r\n0.01\r\n9999.99\r\nr.kdf\r\nS\r\n3\r\n0\r\n999999\r\n     1\r\n");
    EXPECT_TRUE(m.requests.empty());
    EXPECT_DOUBLE_EQ(setup->MaxOnTime, 0.01);
    EXPECT_DOUBLE_EQ(setup->MaxOffTime, 9999.99);
    EXPECT_DOUBLE_EQ(setup->ShuntAmperes, 999999);
    EXPECT_DOUBLE_EQ(setup->ShuntMillivolts, 1);
}

// A write that runs into a real limit on file size (as on a full disk) is reported and
// keeps the old file whole, never a 0-byte one.
TEST_F(SetupFixture, AWriteLimitKeepsTheOldFileAndIsReported)
{
    ReadFrom(kGoodFile);
    setup->Range = 5;
    ScriptedMessages m;
    {
        FileSizeLimit limit(10);
        setup->WriteSetupFile();
    }
    EXPECT_EQ(m.texts(), std::vector<QString>{"Error writing file: " + setup->SetupFileName});
    EXPECT_EQ(ReadAll(setup->SetupFileName), kGoodFile);
    EXPECT_EQ(FolderEntries(dir.path()), QStringList{"Kestrovan.ksf"});
}

// A file written under one locale keeps its values under the other, and is written
// back with the separator of the one it is read under.
TEST_F(SetupFixture, AFileWrittenWithEitherSeparatorReadsUnderTheOther)
{
    struct Case { char writtenWith, readWith; };
    for (const Case c : {Case{'.', ','}, Case{',', '.'}}) {
        SCOPED_TRACE(std::string(1, c.writtenWith) + " read with " + c.readWith);
        ScriptedMessages m;
        DecimalSeparator = QLatin1Char(c.writtenWith);
        ReadFrom(kGoodFile);
        setup->ShuntAmperes = 500.25;  // a shunt line with decimals, as another program may write it
        setup->WriteSetupFile();
        QByteArray bytes = ReadAll(setup->SetupFileName);
        bytes.replace("   500", QByteArray("500") + c.writtenWith + "25");
        WriteAll(setup->SetupFileName, bytes);

        DecimalSeparator = QLatin1Char(c.readWith);
        TfmSetup other;
        other.SetupFileName = setup->SetupFileName;
        other.ReadSetupFile();
        EXPECT_TRUE(m.requests.empty());
        EXPECT_DOUBLE_EQ(other.MaxOnTime, 2.5);
        EXPECT_DOUBLE_EQ(other.MaxOffTime, 12.25);
        EXPECT_DOUBLE_EQ(other.ShuntAmperes, 500.25);
        EXPECT_DOUBLE_EQ(other.ShuntMillivolts, 50);
        other.WriteSetupFile();
        EXPECT_EQ(ReadAll(other.SetupFileName).split('\n').mid(1, 2),
                  (QList<QByteArray>{QByteArray("2") + c.readWith + "50\r", QByteArray("12") + c.readWith + "25\r"}));
    }
}

// 0 switches a time limit off: read without a message, shown and written as "0.00".
TEST_F(SetupFixture, TimeLimitsOfZeroAreReadShownAndWrittenAsOff)
{
    ScriptedMessages m;
    ReadFrom("7\r\n0.00\r\n-0.00\r\nr.kdf\r\nS\r\n3\r\n1\r\n500\r\n50\r\n");
    EXPECT_TRUE(m.requests.empty());
    EXPECT_EQ(setup->MaxOnTime, 0.0);
    EXPECT_EQ(setup->MaxOffTime, 0.0);
    setup->show();
    EXPECT_EQ(setup->ebMaxOnTime->text(), "0.00");
    EXPECT_EQ(setup->ebMaxOffTime->text(), "0.00");
    setup->ebMaxOnTime->setText("0");
    setup->ebMaxOffTime->setText("-0");
    setup->Button1->click();
    EXPECT_FALSE(setup->isVisible());
    EXPECT_TRUE(m.requests.empty());
    EXPECT_TRUE(ReadAll(setup->SetupFileName).startsWith("7\r\n0.00\r\n0.00\r\n"));
    EXPECT_EQ(setup->MaxOnTime, 0.0);
    EXPECT_EQ(setup->MaxOffTime, 0.0);
}

TEST_F(SetupFixture, AFailedWriteIsReportedAndTheFieldsKeepTheirValues)
{
    ScriptedMessages m;
    setup->SetupFileName = dir.file("no-such-folder/Kestrovan.ksf");
    setup->Range = 6;
    setup->WriteSetupFile();
    ASSERT_EQ(m.requests.size(), 1u);
    EXPECT_EQ(m.requests[0].text, "Error writing file: " + setup->SetupFileName);
    EXPECT_EQ(m.requests[0].dlgType, mtError);
    EXPECT_EQ(m.requests[0].buttons, Btn(mbAbort));
    EXPECT_EQ(setup->Range, 6);

    // A missing default file that cannot be made keeps the defaults and raises nothing.
    ScriptedMessages m2;
    EXPECT_NO_THROW(setup->ReadSetupFile());
    EXPECT_EQ(m2.texts(), (std::vector<QString>{"Creating Default Setup File", "Error writing file: " + setup->SetupFileName}));
    EXPECT_EQ(setup->Range, 4);
}

// ---- The window ----

TEST_F(SetupFixture, WindowShowsTheFieldsFlushRightAndStaysOnTop)
{
    ScriptedMessages m;
    ReadFrom(kGoodFile);
    EXPECT_EQ(setup->windowTitle(), "Setup");
    EXPECT_TRUE(setup->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(setup->size(), QSize(269, 289));
    // Created 2 pixels inside the screen's right edge, shown flush with it.
    EXPECT_EQ(setup->frameGeometry().right(), setup->screen()->geometry().right() - 2);
    setup->show();
    EXPECT_EQ(setup->ebMaxOnTime->text(), "2.50");
    EXPECT_EQ(setup->ebMaxOffTime->text(), "12.25");
    EXPECT_EQ(setup->ebMaxOps->text(), "3");
    EXPECT_EQ(setup->ebDataFileName->text(), "/data/Results.kdf");
    EXPECT_EQ(setup->cbSourceName->currentText(), "/dev/ttyUSB0");
    EXPECT_EQ(setup->ebShuntAmperes->text(), "500.0");
    EXPECT_EQ(setup->ebShuntMillivolts->text(), "50.00");
    EXPECT_EQ(setup->Button1->text(), "Save and Exit");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(setup.get()));
    QTest::qWait(20);  // placed again once the platform has framed it
    const QRect screen = setup->screen()->geometry();
    ASSERT_GT(setup->frameGeometry().width(), setup->width()) << "no frame to place by";
    EXPECT_EQ(setup->frameGeometry().right(), screen.right());
    EXPECT_TRUE(fmDebug->TraceText().contains("Setup Form Show "));
    setup->hide();
}

TEST_F(SetupFixture, AnInvalidEntryKeepsTheWindowOpenAndTakesNothing)
{
    struct Case { const char* edit; const char* text; QString message; };
    const Case cases[] = {
        {"ebMaxOnTime", "abc", "'abc' is not a valid floating point value."},
        {"ebMaxOffTime", "", "'' is not a valid floating point value."},
        {"ebMaxOps", "2.5", "'2.5' is not a valid integer value."},
        {"ebShuntAmperes", "0.4", "'0.4' is not a valid shunt rating."},
        {"ebShuntMillivolts", "-100", "'-100' is not a valid shunt rating."},
        // Values that make the engine meaningless.
        {"ebShuntAmperes", "1e300", "'1e300' is not a valid shunt rating."},
        {"ebShuntMillivolts", "1000000", "'1000000' is not a valid shunt rating."},
        {"ebMaxOnTime", "0.004", "'0.004' is not a valid time: 0 (no limit) or from 0.01 to 9999.99 seconds."},
        {"ebMaxOffTime", "-5", "'-5' is not a valid time: 0 (no limit) or from 0.01 to 9999.99 seconds."},
        {"ebMaxOnTime", "1e300", "'1e300' is not a valid time: 0 (no limit) or from 0.01 to 9999.99 seconds."},
        {"ebMaxOps", "0", "'0' is not a valid operation count: from 1 to 5."},
        {"ebMaxOps", "6", "'6' is not a valid operation count: from 1 to 5."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.edit);
        ScriptedMessages quiet;
        ReadFrom(kGoodFile);
        setup->show();
        // Change every field, then spoil one: nothing at all may be taken.
        setup->ebMaxOnTime->setText("1.25");
        setup->ebMaxOffTime->setText("3.75");
        setup->ebMaxOps->setText("2");
        setup->ebDataFileName->setText("new.kdf");
        setup->cbSourceName->setEditText("/dev/ttyACM0");
        setup->ebShuntAmperes->setText("2000");
        setup->ebShuntMillivolts->setText("200");
        auto* bad = setup->findChild<QLineEdit*>(c.edit);
        ASSERT_NE(bad, nullptr);
        bad->setText(c.text);

        ScriptedMessages m;
        QTest::mouseClick(setup->Button1, Qt::LeftButton);
        EXPECT_TRUE(setup->isVisible());
        ASSERT_EQ(m.requests.size(), 1u);
        EXPECT_EQ(m.requests[0].text, c.message);
        EXPECT_EQ(setup->focusWidget(), bad);
        EXPECT_DOUBLE_EQ(setup->MaxOnTime, 2.5);
        EXPECT_EQ(setup->MaxOps, 3);
        EXPECT_EQ(setup->DataFileName, "/data/Results.kdf");
        EXPECT_EQ(setup->SourceName, "/dev/ttyUSB0");
        EXPECT_DOUBLE_EQ(setup->ShuntAmperes, 500);
        EXPECT_EQ(ReadAll(setup->SetupFileName), kGoodFile);

        // The close box is refused the same way.
        setup->close();
        EXPECT_TRUE(setup->isVisible());
        setup->hide();
    }
}

TEST_F(SetupFixture, ButtonAndCloseBoxBothTakeWriteAndReadBackTheEntries)
{
    for (bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox);
        ScriptedMessages m;
        ReadFrom(kGoodFile);
        setup->show();
        setup->ebMaxOnTime->setText(" 1.5 ");
        setup->ebMaxOffTime->setText("3.75");
        setup->ebMaxOps->setText("2");
        setup->ebDataFileName->setText("new.kdf");
        setup->cbSourceName->setEditText("/dev/ttyACM0");
        setup->ebShuntAmperes->setText("1000.4");
        setup->ebShuntMillivolts->setText("75.5");
        if (closeBox)
            setup->close();
        else
            QTest::mouseClick(setup->Button1, Qt::LeftButton);
        EXPECT_FALSE(setup->isVisible());
        EXPECT_EQ(setup->result(), QDialog::Accepted);
        EXPECT_TRUE(m.requests.empty());
        EXPECT_EQ(ReadAll(setup->SetupFileName),
                  "7\r\n1.50\r\n3.75\r\nnew.kdf\r\n/dev/ttyACM0\r\n2\r\n1\r\n  1000\r\n    76\r\n");
        EXPECT_DOUBLE_EQ(setup->ShuntAmperes, 1000);  // what the file holds
        EXPECT_DOUBLE_EQ(setup->ShuntMillivolts, 76);
        EXPECT_EQ(setup->Range, 7);  // range and test type are only stored here
        EXPECT_EQ(setup->TestType, 1);
    }
}

TEST_F(SetupFixture, ShownModallyTheWindowReturnsOkAndEscClosesNothing)
{
    ScriptedMessages m;
    ReadFrom(kGoodFile);
    bool stillOpenAfterEsc = false;
    QTimer::singleShot(0, setup.get(), [&] {
        QTest::keyClick(setup.get(), Qt::Key_Escape);
        stillOpenAfterEsc = setup->isVisible();
        setup->ebMaxOps->setText("5");
        setup->Button1->click();
    });
    EXPECT_EQ(setup->exec(), QDialog::Accepted);
    EXPECT_TRUE(stillOpenAfterEsc);
    EXPECT_EQ(setup->MaxOps, 5);
}
