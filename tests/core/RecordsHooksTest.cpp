// The main window reaches the records' windows (a library above the core) through the
// hooks the program block fills in: File Report and View Database show them.
#include "KyrHooks.h"
#include "KyrMain.h"
#include "ProgramFixture.h"

#include <QAction>
#include <gtest/gtest.h>

namespace {
class RecordsHooks : public ProgramFixture {
protected:
    void TearDown() override
    {
        ReportWindow = {};
        DatabaseWindow = {};
        ProgramFixture::TearDown();
    }
};
} // namespace

TEST_F(RecordsHooks, FileReportAndViewDatabaseShowTheRecordsWindows)
{
    StartProgram();
    int report = 0, database = 0;
    ReportWindow.Show = [&] { ++report; };
    DatabaseWindow.Show = [&] { ++database; };
    fmKyr->findChild<QAction*>(QStringLiteral("mReport"))->trigger();
    EXPECT_EQ(report, 1);
    EXPECT_EQ(database, 0);
    fmKyr->findChild<QAction*>(QStringLiteral("mDatabase"))->trigger();
    EXPECT_EQ(report, 1);
    EXPECT_EQ(database, 1);
    EXPECT_EQ(fmKyr->findChild<QAction*>(QStringLiteral("mReport"))->text(), QStringLiteral("&Report"));
    EXPECT_EQ(fmKyr->findChild<QAction*>(QStringLiteral("mDatabase"))->text(), QStringLiteral("&Database"));
}
