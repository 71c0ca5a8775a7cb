// Program control: start-up, the source selection, ranges, test types, operation rows,
// the calibration status and the reset question.
#include "ProgramFixture.h"

#include "Cal.h"
#include "Comm.h"
#include "Forms.h"
#include "Kestrovan10.h"
#include "KyrMain.h"
#include "KyrMeter.h"
#include "KyrUpdate.h"
#include "Pass.h"
#include "Setup.h"
#include "SysUtils.h"
#include "Waveform.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QScreen>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

TEST(ProgramBlock, WelcomeAndProgramNameRules)
{
    struct Case { const char* argv0; QStringList params; bool welcome; };
    const Case cases[] = {
        {"/opt/kv/bin/Kestrovan10", {}, true},
        {"/opt/kv/bin/Kestrovan10", {QStringLiteral("!")}, true},
        {"/opt/kv/bin/Kestrovan10", {QStringLiteral("KestrovanNorm.kwf")}, false},
        {"/opt/kv/bin/Kestrovan10", {QStringLiteral("!x")}, false},
        {"/opt/kv/KYRRUN.EXE", {}, false},
        {"/x/KyrRun.exe", {QStringLiteral("!")}, false},
        {"/usr/bin/kyrrun", {}, false},
        {"/usr/bin/KYRRUN", {QStringLiteral("!")}, false},
        {"/usr/bin/kyrrun2", {}, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WelcomeWanted(ProgramFileName(QString::fromLatin1(c.argv0)), c.params), c.welcome) << c.argv0;
    EXPECT_EQ(ProgramFileName(QStringLiteral("/a/b/KYRRUN.EXE")), QStringLiteral("KYRRUN.EXE"));
    // The program file itself (its date is the window's caption): a folder as given,
    // a bare name through the search path, never the current folder.
    EXPECT_EQ(ProgramFilePath(QStringLiteral("/a/b/KYRRUN.EXE")), QStringLiteral("/a/b/KYRRUN.EXE"));
    EXPECT_EQ(ProgramFilePath(QStringLiteral("./bin/kv")), QDir::current().absoluteFilePath(QStringLiteral("bin/kv")));
    const QString sh = ProgramFilePath(QStringLiteral("sh"));
    EXPECT_TRUE(QFileInfo(sh).isAbsolute()) << sh.toStdString();
    EXPECT_EQ(QFileInfo(sh).fileName(), QStringLiteral("sh"));
    EXPECT_TRUE(QFileInfo(sh).isExecutable()) << sh.toStdString();
    EXPECT_EQ(ProgramFileName(sh), QStringLiteral("sh"));
}

class ProgramControlTest : public ProgramFixture {};

TEST_F(ProgramControlTest, StartWithoutInstrumentFallsBackToTheDefaultDemo)
{
    StartProgram();
    // The folders: the data folder under the XDG data folder, made current.
    EXPECT_EQ(DataFolder, dataFolder);
    EXPECT_EQ(QDir::currentPath(), dataFolder);
    // The program folder is the program file's: nothing is made for it.
    EXPECT_EQ(fmKyr->ProgFolder, QFileInfo(Application.ExeName).absolutePath());
    EXPECT_TRUE(QFile::exists(DataFile(QStringLiteral("KestrovanNorm.kwf"))));
    EXPECT_TRUE(QFile::exists(DataFile(QStringLiteral("KestrovanMpu.kwf"))));
    // The search asked once, Cancel gave the demo of the default file.
    const MessageRequest* m = answers->find(QStringLiteral("Hardware Not Found. Try again?"));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->caption, QStringLiteral("Hardware Check"));
    EXPECT_EQ(m->flags & 0xF, static_cast<unsigned>(MB_RETRYCANCEL));
    EXPECT_EQ(answers->count(QStringLiteral("Hardware Not Found. Try again?")), 1);
    EXPECT_TRUE(DemoMode);
    EXPECT_FALSE(fmComm->PortFound);
    EXPECT_TRUE(TestEngine->Timer->isActive());
    EXPECT_TRUE(ProgInitDone);
    const QPoint mid = QGuiApplication::primaryScreen()->geometry().center();
    // Centred on the screen (the menu bar settles its height after the placement).
    EXPECT_LE((fmKyr->geometry().center() - mid).manhattanLength(), 10);
    ASSERT_NE(fmPass, nullptr);  // created with the others, shown only by Calibrate
    EXPECT_FALSE(fmPass->isVisible());
    EXPECT_EQ(fmWaveform->FileName, QStringLiteral("KestrovanNorm.kwf"));
    EXPECT_EQ(fmKyr->StatusPanelText(2), QStringLiteral("KestrovanNorm.kwf"));
    // The demo buffer holds the file's samples but the last.
    EXPECT_EQ(TestEngine->DemoSamples[1000], fmWaveform->Samples[1000]);
    EXPECT_EQ(TestEngine->DemoSamples[static_cast<size_t>(fmWaveform->SampleCount - 1)], 0);
    // The trace in the order of the start.
    const QString trace = TraceText();
    const QStringList order = {"FormCreate Kyr ", "DataFolder: ", "End FormCreate Kyr ", "ProgInit ",
                               "Hardware not found on port: ", "SetDemo ", "End SetDemo ", "End ProgInit "};
    qsizetype at = 0;
    for (const QString& s : order) {
        const qsizetype p = trace.indexOf(s, at);
        EXPECT_GE(p, 0) << s.toStdString();
        if (p >= 0)
            at = p;
    }
    // A second start with both demo files present does not make them again.
    const QDateTime made = QFileInfo(DataFile(QStringLiteral("KestrovanNorm.kwf"))).lastModified();
    StopProgram();
    ASSERT_TRUE(QFile::remove(DataFile(QStringLiteral("KestrovanMpu.kwf"))));
    answers->clear();
    StartProgram();
    EXPECT_EQ(answers->count(QStringLiteral("Writing Waveform File: KestrovanNorm.kwf")), 0);
    EXPECT_EQ(answers->count(QStringLiteral("Writing Waveform File: KestrovanMpu.kwf")), 1);
    EXPECT_EQ(QFileInfo(DataFile(QStringLiteral("KestrovanNorm.kwf"))).lastModified(), made);
}

TEST_F(ProgramControlTest, FirstParameterNamingAFilePlaysItWithoutSearch)
{
    // The data folder exists before the start (a file there is named on the command line).
    ASSERT_TRUE(QDir().mkpath(dataFolder));
    StartProgram();
    const QString wave = tmp->file(QStringLiteral("Given.kwf"));
    ASSERT_TRUE(QFile::copy(DataFile(QStringLiteral("KestrovanMpu.kwf")), wave));
    StopProgram();
    answers->clear();
    StartProgram({wave});
    EXPECT_FALSE(answers->saw(QStringLiteral("Hardware Not Found. Try again?")));
    EXPECT_FALSE(TraceText().contains(QStringLiteral("Reset PIC ")));
    EXPECT_TRUE(DemoMode);
    EXPECT_EQ(fmSetup->TestType, 1);  // the file's type character
    EXPECT_TRUE(fmKyrMeter->isVisible());

    // "!" selects no source: no search, no demo.
    StopProgram();
    answers->clear();
    StartProgram({QStringLiteral("!")});
    EXPECT_FALSE(answers->saw(QStringLiteral("Hardware Not Found. Try again?")));
    EXPECT_FALSE(DemoMode);
    // No source is a source error: the status says so and the button offers RESET.
    EXPECT_TRUE(fmKyr->StatusPanelText(2).startsWith(QStringLiteral("Error on ")));
    EXPECT_EQ(fmKyr->BitBtnRunStopReset->text(), QStringLiteral("RESET"));
}

TEST_F(ProgramControlTest, RangeTextsFollowTheShunt)
{
    StartProgram();
    QStringList texts;
    for (int i = 0; i < fmKyr->cbRange->count(); ++i)
        texts << fmKyr->cbRange->itemText(i);
    EXPECT_EQ(texts, QStringList({"50.00 A", "100.00 A", "250.00 A", "500.0 A", "1000.0 A", "2500.0 A", "5000 A",
                                  "10000 A"}));
    EXPECT_EQ(RangeFormat[1], QStringLiteral("%5.2f A"));
    EXPECT_EQ(RangeFormat[4], QStringLiteral("%5.1f A"));
    EXPECT_EQ(RangeFormat[7], QStringLiteral("%5.0f A"));
    EXPECT_NEAR(RangeFullScale, 500.0, 1e-9);  // range 4 of the default setup
    EXPECT_EQ(fmKyr->cbRange->currentIndex(), 3);

    // A 500 A / 100 mV shunt: exactly 25 A takes three decimals.
    fmSetup->ShuntAmperes = 500;
    fmSetup->WriteSetupFile();
    fmKyr->ProgInit();
    EXPECT_EQ(fmKyr->cbRange->itemText(0), QStringLiteral("25.000 A"));
    EXPECT_EQ(fmKyr->cbRange->itemText(7), QStringLiteral("5000 A"));
    EXPECT_EQ(fmKyr->cbRange->count(), 8);
    EXPECT_NEAR(RangeFullScale, 250.0, 1e-9);
}

TEST_F(ProgramControlTest, TestTypeAppliesItsSettingsEveryTime)
{
    StartProgram();
    fmSetup->MaxOnTime = 5;
    fmKyr->SelectTestType(1);
    EXPECT_EQ(fmKyr->TestTypeSelItemIndex(), 1);
    EXPECT_EQ(fmSetup->MaxOnTime, 10.0);
    EXPECT_EQ(fmWaveform->FileName, QStringLiteral("KestrovanMpu.kwf"));
    EXPECT_TRUE(fmKyrMeter->isVisible());
    EXPECT_TRUE(fmKyr->MinPickUpCurrent->text().isEmpty());
    fmKyr->SelectTestType(0);
    EXPECT_EQ(fmSetup->MaxOnTime, 10.0);  // not lowered again
    EXPECT_FALSE(fmKyrMeter->isVisible());
    EXPECT_TRUE(fmKyr->MinPickUpCurrent->isHidden());
    EXPECT_EQ(MaxOps, fmSetup->MaxOps);
    // The same type again still runs the handler (its trace and its reset).
    const int before = static_cast<int>(TraceText().count(QStringLiteral(": SetTestType ")));
    fmKyr->SelectTestType(0);
    EXPECT_EQ(TraceText().count(QStringLiteral(": SetTestType ")), before + 1);
}

TEST_F(ProgramControlTest, SetMaxOpsShowsTheRows)
{
    StartProgram();
    struct Case { int n; int rows; int index; };
    const Case cases[] = {{3, 3, 2}, {1, 1, 0}, {5, 5, 4}, {0, 0, -1}, {6, 5, -1}, {-1, 0, -1}};
    for (const Case& c : cases) {
        fmKyr->SetMaxOps(c.n);
        int rows = 0;
        for (int i = 1; i <= 5; ++i) {
            const bool shown = !fmKyr->TripCurr[i]->isHidden();
            EXPECT_EQ(shown, !fmKyr->LabelOp[i]->isHidden());
            EXPECT_EQ(shown, !fmKyr->RecloseTime[i]->isHidden());
            rows += shown ? 1 : 0;
        }
        EXPECT_EQ(rows, c.rows) << c.n;
        EXPECT_EQ(fmKyr->cbMaxOps->currentIndex(), c.index) << c.n;
    }
}

TEST_F(ProgramControlTest, CalibrationAgeColours)
{
    StartProgram();
    struct Case { int age; QColor colour; };
    const Case cases[] = {{0, QColor(0, 255, 0)},     {335, QColor(0, 255, 0)}, {336, QColor(255, 255, 0)},
                          {365, QColor(255, 255, 0)}, {366, QColor(255, 0, 0)}};
    for (const Case& c : cases) {
        fmCal->CalibrationDate = Today() - c.age;
        fmKyr->ResetData();
        EXPECT_EQ(fmKyr->PanelCal->palette().color(QPalette::Window), c.colour) << c.age;
        EXPECT_EQ(fmKyr->PanelCal->text(),
                  QStringLiteral("Calibration Date ") + DateToStr(DayNumberToDate(Today() - c.age)));
    }
}

TEST_F(ProgramControlTest, StartShowsTheMeterOfAMinimumPickupTestFromEitherSource)
{
    // No parameter: the demo after Cancel; "!": no source at all (not a demo).
    struct Case { QStringList params; bool demo; };
    const Case cases[] = {{{}, true}, {{QStringLiteral("!")}, false}};
    for (const Case& c : cases) {
        StartProgram(c.params);
        ASSERT_EQ(DemoMode, c.demo);
        for (int type : {1, 0}) {
            fmKyr->SelectTestType(type);
            fmKyrMeter->hide();
            DemoPlaying = false;
            fmKyr->Start();
            EXPECT_EQ(fmKyrMeter->isVisible(), type == 1) << c.demo << " type " << type;
            EXPECT_EQ(DemoPlaying, c.demo) << c.demo << " type " << type;
        }
        EXPECT_TRUE(TraceText().contains(QStringLiteral("End Start ")));
        StopProgram();
    }
}

TEST_F(ProgramControlTest, ResetAsksBeforeDiscardingResults)
{
    StartProgram();
    ASSERT_TRUE(PlayDemo());
    const QString trip1 = fmKyr->TripTime[1]->text();
    answers->on(QStringLiteral("OK to discard data?"), {IDNO, IDYES});
    fmKyr->ResetData();
    const MessageRequest* m = answers->find(QStringLiteral("OK to discard data?"));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->caption, QStringLiteral("Test Reset"));
    EXPECT_EQ(fmKyr->TripTime[1]->text(), trip1);
    EXPECT_EQ(fmKyr->OpCount, 4);
    EXPECT_FALSE(fmKyr->DataSaved);
    fmKyr->ResetData();
    EXPECT_EQ(fmKyr->OpCount, 0);
    EXPECT_TRUE(fmKyr->DataSaved);
    EXPECT_EQ(TestEngine->Result, 0);
    EXPECT_EQ(fmWaveform->SampleIndex, 0);
}

} // namespace

namespace {

// A data folder that cannot be made (its parent is a plain file) is reported once, by
// name, and the program ends: nothing is written anywhere else, and no folder is made
// beside the program.
TEST_F(ProgramControlTest, ADataFolderThatCannotBeMadeIsReportedOnce)
{
    const QString blocker = tmp->file(QStringLiteral("plain"));
    {
        QFile f(blocker);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    qputenv("XDG_DATA_HOME", (blocker + QStringLiteral("/xdg")).toLocal8Bit());
    const QString wanted = blocker + QStringLiteral("/xdg/Kestrovan");
    // The install prefix of the program file (bin's parent): no "Kestrovan" is made there.
    const QString prefix = QFileInfo(QCoreApplication::applicationDirPath()).absolutePath();
    QDir(prefix).rmdir(QStringLiteral("Kestrovan"));  // only an empty one, left by older builds
    const bool prefixHadOne = QFileInfo::exists(prefix + QStringLiteral("/Kestrovan"));
    const QString before = QDir::currentPath();
    const QStringList beforeEntries = FolderEntries(before);

    StartProgram();
    ASSERT_EQ(answers->requests.size(), 1u);
    EXPECT_EQ(answers->requests[0].text, QStringLiteral("Cannot make the data folder: ") + wanted);
    EXPECT_TRUE(Application.Terminated);
    EXPECT_EQ(DataFolder, wanted);
    EXPECT_FALSE(ProgInitDone);
    EXPECT_EQ(QFileInfo::exists(prefix + QStringLiteral("/Kestrovan")), prefixHadOne);
    EXPECT_EQ(FolderEntries(before), beforeEntries);  // no demo files written where we were
}

// A save stopped by a kill between its write and its rename leaves a whole copy beside
// the file: the next start removes it.
TEST_F(ProgramControlTest, StaleSaveCopiesAreRemovedAtStart)
{
    ASSERT_TRUE(QDir().mkpath(dataFolder));
    const QString stale = DataFile(QStringLiteral("Kestrovan.ksf.kvnew-a1B2c3"));
    {
        QFile f(stale);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("4\r\n");
    }
    StartProgram();
    EXPECT_FALSE(QFileInfo::exists(stale));
    EXPECT_TRUE(QFileInfo::exists(DataFile(QStringLiteral("Kestrovan.ksf"))));
}

// A waveform named relative to the folder the user started the program in is played,
// although the program works in its data folder.
TEST_F(ProgramControlTest, RelativeWaveformNameIsFoundInTheStartFolder)
{
    ASSERT_TRUE(QDir().mkpath(dataFolder));
    StartProgram();
    const QString mine = tmp->file(QStringLiteral("mine"));
    ASSERT_TRUE(QDir().mkpath(mine));
    ASSERT_TRUE(QFile::copy(DataFile(QStringLiteral("KestrovanMpu.kwf")), mine + QStringLiteral("/mywave.kwf")));
    StopProgram();
    answers->clear();
    ASSERT_TRUE(QDir::setCurrent(mine));
    StartProgram({QStringLiteral("mywave.kwf")});
    EXPECT_FALSE(answers->saw(QStringLiteral("Error loading: mywave.kwf")));
    EXPECT_TRUE(DemoMode);
    EXPECT_EQ(fmSetup->TestType, 1);  // the file's type character
    EXPECT_EQ(QDir::currentPath(), QDir(dataFolder).absolutePath());
}

// A waveform argument that cannot be played says so by name; "!" selects no source
// silently. Either way the engine has a usable calibration: zero samples never make a
// test.
TEST_F(ProgramControlTest, AnUnplayableWaveformArgumentIsReportedAndNoTestRunsOnZeros)
{
    ASSERT_TRUE(QDir().mkpath(tmp->file(QStringLiteral("folder.kwf"))));
    struct Case { QString param; bool reported; };
    const Case cases[] = {{tmp->file(QStringLiteral("folder.kwf")), true},
                          {tmp->file(QStringLiteral("Missing.kwf")), true},
                          {QStringLiteral("!"), false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.param.toStdString());
        answers->clear();
        StartProgram({c.param});
        EXPECT_EQ(answers->saw(QStringLiteral("Error loading: ") + c.param), c.reported);
        EXPECT_FALSE(DemoMode);
        for (int r = 1; r <= 8; ++r)
            EXPECT_TRUE(CalFactorUsable(fmCal->Factor[r])) << r;
        EXPECT_GE(fmCal->OnDelay, 1);
        EXPECT_GE(fmCal->OffDelay, 1);
        EXPECT_TRUE(CalAvgTimeUsable(fmCal->AvgTime));
        EXPECT_NE(fmCal->CalibrationDate, 0);  // never 30 Dec 1899
        EXPECT_FALSE(fmKyr->PanelCal->text().contains(QStringLiteral("1899")));
        for (int i = 0; i < 50; ++i)
            TestEngine->TimerTick();
        EXPECT_EQ(TestEngine->Result, 0);
        EXPECT_EQ(TestEngine->TripTime[1], 0.0);
        StopProgram();
    }
}

// Esc again while the exit waits runs no second exit inside the first.
TEST_F(ProgramControlTest, OneExitAtATime)
{
    StartProgram();
    const qsizetype writesBefore = TraceText().count(QStringLiteral("WriteSetupFile "));
    int presses = 0;
    QTimer again;
    again.setInterval(50);
    QObject::connect(&again, &QTimer::timeout, [&] {
        if (presses < 5 && !Application.Terminated) {
            ++presses;
            fmKyr->FormKeyPress(QChar(27));
        }
    });
    again.start();
    fmKyr->FormKeyPress(QChar(27));
    again.stop();
    EXPECT_GE(presses, 1);  // pressed while the first exit waited
    EXPECT_TRUE(Application.Terminated);
    EXPECT_EQ(TraceText().count(QStringLiteral("ProgExit")), 1);
    EXPECT_EQ(TraceText().count(QStringLiteral("WriteSetupFile ")), writesBefore + 1);
}

} // namespace
