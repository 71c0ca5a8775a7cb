// The results window made alone with a fake records' hub: no data form, no main window.
// What the data form has prepared comes as a plain record; the shows and the curve-time
// refresh are counted; the save goes into the hub's tables.
#include "KyrResults.h"

#include "FakeReclSource.h"
#include "KyrTableDefs.h"
#include "ResultsDbf.h"
#include "TestSupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class ResultsHub : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(WriteEmptyTable(dir.path(), QStringLiteral("KyrRes"), true));
        hub.Prepared.Shown = true;
        hub.Prepared.CurveVerified = true;
        hub.Prepared.TechID = QStringLiteral("JDOE");
        hub.Prepared.CustID = QStringLiteral("NORTHGRID");
        hub.Prepared.ReclType = QStringLiteral("VWE");
        hub.Prepared.ReclCoil = QStringLiteral("280");
        hub.Prepared.ReclGndCT = QStringLiteral("200:5 Ser");
        hub.Prepared.Phase = QStringLiteral("A (or Single)");
        hub.Prepared.TestType = QStringLiteral("2X");
        hub.Prepared.FastOpsText = QStringLiteral("1");
        hub.Prepared.DelayOpsText = QStringLiteral("3");
        hub.Prepared.DelayCurve = QStringLiteral("B");
    }
    void TearDown() override { ResultsAnalyzed = false; }

    TempCurrentDir dir;
    ScriptedMessages answers;
    TReclTables tables;
    QString reclID = QStringLiteral("R-1042");
    FakeReclSource hub{&tables, [this] { return reclID; }};
    TKyrRecordsData data;
};

TEST_F(ResultsHub, TheButtonsShowTheOtherWindowsThroughTheHubOnly)
{
    // Without a hub the buttons do nothing; with one they ask it.
    {
        TfmKyrResults alone;
        alone.btViewResults->click();
        alone.btReport->click();
    }
    TfmKyrResults w(&hub, &data);
    FakeReclSource& counting = hub;
    w.btViewResults->click();
    w.btReport->click();
    EXPECT_EQ(counting.DatabaseShown, 1);
    EXPECT_EQ(counting.ReportShown, 1);
    EXPECT_EQ(counting.DataFormShown, 0);
}

TEST_F(ResultsHub, TheJudgingReadsThePreparedRecordAndRefreshesTheCurveTimesOnlyForATimedTest)
{
    struct Case {
        bool shown, verified;
        const char* testType;
        const char* message;  // the judging's first message
        int formShown, refreshed;
    };
    const Case cases[] = {
        {false, true, "2X", "Must set up test parameters first", 1, 0},
        {true, false, "2X", "Curve Data must be entered and saved", 1, 0},
        {true, true, "MPU", nullptr, 0, 0},
        {true, true, "2X", nullptr, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.testType) + (c.shown ? " shown" : "") + (c.verified ? " verified" : ""));
        FakeReclSource h{&tables, [] { return QStringLiteral("R-1"); }};
        h.Prepared = hub.Prepared;
        h.Prepared.Shown = c.shown;
        h.Prepared.CurveVerified = c.verified;
        h.Prepared.TestType = QLatin1String(c.testType);
        // The refresh writes the times the judging then reads from the shared data.
        h.OnRefreshCurveTimes = [this] { data.CurveSqrtTimes[Fast][0] = 1.5; };
        answers.requests.clear();
        TfmKyrResults w(&h, &data);
        w.AnalyzeResults();
        EXPECT_EQ(h.DataFormShown, c.formShown);
        EXPECT_EQ(h.CurveTimesRefreshed, c.refreshed);
        if (c.message) {
            ASSERT_FALSE(answers.requests.empty());
            EXPECT_EQ(answers.requests.front().text, QLatin1String(c.message));
        }
    }
    EXPECT_EQ(data.CurveSqrtTimes[Fast][0], 1.5);
}

TEST_F(ResultsHub, TheSaveStoresThePreparedRecordInTheHubsResultsTable)
{
    TfmKyrResults w(&hub, &data);
    w.ebResults->setText(QStringLiteral("PASS"));
    answers.answer(IDYES);
    w.btSaveResults->click();
    const auto rows = resultsdbf::ReadRows(dir.file(QStringLiteral("KyrRes.dbf")));
    ASSERT_EQ(rows.size(), 1u);
    const resultsdbf::Row& r = rows[0];
    EXPECT_EQ(r.at("RECLID"), "R-1042");
    EXPECT_EQ(r.at("TECHID"), "JDOE");
    EXPECT_EQ(r.at("CUSTID"), "NORTHGRID");
    EXPECT_EQ(r.at("RECLTYPE"), "VWE");
    EXPECT_EQ(r.at("COIL_CT"), "280");
    EXPECT_EQ(r.at("PHASE"), "A (or Single)");
    EXPECT_EQ(r.at("OPSEQ"), "1A-3B");
    EXPECT_EQ(r.at("TESTTYPE"), "2X");
    EXPECT_EQ(r.at("TESTRESULT"), "PASS");

    // A hub without tables has no results file to save into: the table is not touched.
    FakeReclSource noTables{nullptr, [] { return QStringLiteral("R-2"); }};
    TfmKyrResults other(&noTables, &data);
    answers.requests.clear();
    other.btSaveResults->click();
    ASSERT_FALSE(answers.requests.empty());
    EXPECT_EQ(answers.requests.front().text, QStringLiteral("Results file KyrRes.dbf not found"));
    EXPECT_EQ(resultsdbf::ReadRows(dir.file(QStringLiteral("KyrRes.dbf"))).size(), 1u);
}

}  // namespace
