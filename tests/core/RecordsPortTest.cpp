// The main window reaches the records' windows (a library above the core) through the
// records' side installed in the core: File Report and View Database show them.
#include "FakeRecords.h"
#include "KyrMain.h"
#include "ProgramFixture.h"

#include <QAction>
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
