// The start-up table check as the initialisation's last step: core calls whatever the
// records installed, and an error of the check ends the initialisation for its caller.
#include "ProgramFixture.h"

#include "Debug.h"
#include "FakeRecords.h"
#include "KyrGlobals.h"
#include "KyrMain.h"
#include "SysUtils.h"

#include <gtest/gtest.h>

namespace {

class StartupTableCheckTest : public ProgramFixture {
protected:
    FakeRecords records;
    ScopedRecords installed{&records};
};

TEST_F(StartupTableCheckTest, RunsLastAndItsErrorReachesTheCaller)
{
    StartProgram();
    int runs = 0;
    records.OnCheckTables = [&runs] {
        ++runs;
        TfmDebug::AddLine(QStringLiteral("table check"));
    };
    fmKyr->ProgInit();
    EXPECT_EQ(runs, 1);
    QString trace = TraceText();
    EXPECT_LT(trace.lastIndexOf("table check"), trace.lastIndexOf("End ProgInit "));
    EXPECT_GT(trace.lastIndexOf("table check"), trace.lastIndexOf(": ProgInit "));

    records.OnCheckTables = [] { throw Exception(QStringLiteral("Cannot open table /data/KyrCust1.dbf: not a dBASE table")); };
    const int ends = TraceText().count("End ProgInit ");
    try {
        fmKyr->ProgInit();
        FAIL() << "the error was swallowed";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message, QStringLiteral("Cannot open table /data/KyrCust1.dbf: not a dBASE table"));
    }
    EXPECT_EQ(TraceText().count("End ProgInit "), ends);
}

} // namespace
