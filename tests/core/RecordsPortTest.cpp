// The main window reaches the records' windows (a library above the core) through the
// records' side installed in the core: File Report and View Database show them.
#include "FakeRecords.h"
#include "KyrMain.h"
#include "ProgramFixture.h"
#include "Setup.h"

#include <QAction>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {
class RecordsPort : public ProgramFixture {
protected:
    FakeRecords records;
    ScopedRecords installed{&records};
};
} // namespace

TEST_F(RecordsPort, FileReportAndViewDatabaseShowTheRecordsWindows)
{
    StartProgram();
    fmKyr->findChild<QAction*>(QStringLiteral("mReport"))->trigger();
    EXPECT_EQ(records.ReportShown, 1);
    EXPECT_EQ(records.DatabaseShown, 0);
    fmKyr->findChild<QAction*>(QStringLiteral("mDatabase"))->trigger();
    EXPECT_EQ(records.ReportShown, 1);
    EXPECT_EQ(records.DatabaseShown, 1);
    EXPECT_EQ(fmKyr->findChild<QAction*>(QStringLiteral("mReport"))->text(), QStringLiteral("&Report"));
    EXPECT_EQ(fmKyr->findChild<QAction*>(QStringLiteral("mDatabase"))->text(), QStringLiteral("&Database"));
}

TEST_F(RecordsPort, TheProgramMakesTheRecordsWindowsAfterTheMainWindowAndFreesThem)
{
    StartProgram();
    EXPECT_EQ(records.LateCreated, 1);
    EXPECT_EQ(records.LateFreed, 0);
    ASSERT_NE(records.TestSet, nullptr);
    QTest::mouseClick(fmKyr->BtnReclData, Qt::LeftButton);
    EXPECT_EQ(records.ReclDataShown, 1);
    StopProgram();
    EXPECT_EQ(records.LateFreed, 1);
    // The report window, made beside the welcome window, is freed after every other.
    EXPECT_EQ(records.ReportFreed, 1);
}

TEST_F(RecordsPort, ALaunchedTestProgramsTheSetupHidesTheResultsAndInitialises)
{
    StartProgram();
    ASSERT_NE(records.TestSet, nullptr);
    TTestLaunch t;
    t.Range = 3;
    t.TestType = 0;
    t.MaxOnTime = 50;
    t.SetsMaxOps = true;
    t.MaxOps = 4;
    t.SetsMaxOffTime = true;
    t.MaxOffTime = 5;
    int checks = 0;
    records.OnCheckTables = [&checks] { ++checks; };
    records.TestSet->LaunchTest(t);
    EXPECT_EQ(fmSetup->Range, 3);
    EXPECT_EQ(fmSetup->MaxOps, 4);
    EXPECT_EQ(fmSetup->MaxOnTime, 50);
    EXPECT_EQ(fmSetup->MaxOffTime, 5);
    EXPECT_EQ(checks, 1);  // the main window initialised again
    EXPECT_EQ(records.ResultsHidden, 1);
    EXPECT_TRUE(fmKyr->isVisible());
}

namespace {
// No records' side installed, as in a program built without the records.
class NoRecords : public ProgramFixture {
protected:
    ScopedRecords none{nullptr};
};
} // namespace

TEST_F(NoRecords, TheProgramRunsAndEveryCallToTheRecordsIsLeftUndone)
{
    IKyrRecords& standIn = KyrRecords();
    StartProgram();
    ASSERT_TRUE(fmKyr->isVisible());
    QTest::mouseClick(fmKyr->BtnReclData, Qt::LeftButton);
    fmKyr->findChild<QAction*>(QStringLiteral("mReport"))->trigger();
    fmKyr->findChild<QAction*>(QStringLiteral("mDatabase"))->trigger();
    EXPECT_TRUE(fmKyr->isVisible());
    StopProgram();
    // A records' side replaces the stand-in for as long as it is installed.
    FakeRecords records;
    {
        ScopedRecords installed{&records};
        EXPECT_EQ(&KyrRecords(), &records);
    }
    EXPECT_EQ(&KyrRecords(), &standIn);
}
