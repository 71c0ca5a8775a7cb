// The results record as the save builds it, before anything reaches the table.
#include "ResultsJudge.h"

#include "SysUtils.h"

#include <gtest/gtest.h>

namespace {

TResultsSaveInput OperationRow()
{
    TResultsSaveInput in;
    in.cbReclID = QStringLiteral("R-7");
    in.cbTechID = QStringLiteral("AB");
    in.cbCustID = QStringLiteral("CO-OP");
    in.cbReclType = QStringLiteral("VWE");
    in.cbReclCoil = QStringLiteral("280");
    in.cbReclGndCT = QStringLiteral("200:5 Ser");
    in.cbPhase = QStringLiteral("B");
    in.cbReclFastOps = QStringLiteral("1");
    in.cbReclDelayOps = QStringLiteral("3");
    in.cbReclDelayCurve = QStringLiteral("B");
    in.cbGndFastOps = QStringLiteral("2");
    in.cbGndFastCurve = QStringLiteral("A");
    in.cbGndDelayOps = QStringLiteral("2");
    in.cbGndSlowCurve = QStringLiteral("C");
    in.cbTestType = QStringLiteral("4X");
    in.ebResults = QStringLiteral("OK");
    for (int n = 1; n <= 4; ++n) {
        in.MeasCurr[n] = 400 + n;
        in.MeasTrip[n] = 0.1 * n;
        in.MeasRecl[n] = 2 + 0.01 * n;
        in.ebMinTrip[n] = QStringLiteral("0.0%1").arg(n);
        in.ebMaxTrip[n] = QStringLiteral("1.%1").arg(n);
        in.ebOptTrip[n] = QStringLiteral("0.5%1").arg(n);
    }
    in.ebOpCounter = QStringLiteral("1234");
    in.ebComments = QStringLiteral("<Enter Comments>");
    in.Now = QDateTime(QDate(2026, 12, 10), QTime(9, 5, 7));
    return in;
}

TEST(ResultsRecord, OperationSequenceOfPhaseAndGroundTests)
{
    TResultsSaveInput in = OperationRow();
    EXPECT_EQ(OperationSequence(in), "1A-3B");
    in.cbPhase = QStringLiteral("G (Gnd Trip)");
    EXPECT_EQ(OperationSequence(in), "2(A)-2(C)");
    const TResultsRecord r = MakeResultsRecord(in);
    EXPECT_EQ(r.COIL_CT, "200:5 Ser");
    EXPECT_EQ(r.OPSEQ, "2(A)-2(C)");
    in.cbPhase = QStringLiteral("A (or Single)");
    EXPECT_EQ(MakeResultsRecord(in).COIL_CT, "280");
}

TEST(ResultsRecord, OperationRowTakesTheMeasuredValuesAndTheShownLimits)
{
    TResultsSaveInput in = OperationRow();
    in.IncludeInReport = false;
    in.ebOptTrip[1] = QStringLiteral("N/A");
    in.ebOptTrip[2] = QString();
    in.ebMinTrip[4] = QString();
    in.ebMaxTrip[4] = QString();
    const TResultsRecord r = MakeResultsRecord(in);
    EXPECT_EQ(r.TESTRESULT, "*OK");
    EXPECT_EQ(r.TESTTIME, "09:05:07");
    EXPECT_EQ(r.TESTTYPE, "4X");
    for (int n = 1; n <= 4; ++n) {
        SCOPED_TRACE(n);
        EXPECT_TRUE(r.CurrSet[n] && r.TimeSet[n] && r.MinSet[n] && r.MaxSet[n] && r.OptSet[n]);
        EXPECT_EQ(r.CURR[n], 400 + n);
        EXPECT_EQ(r.TIME[n], 0.1 * n);
    }
    EXPECT_EQ(r.OPT[1], 0.0);
    EXPECT_EQ(r.OPT[2], 0.0);
    EXPECT_EQ(r.OPT[3], 0.53);
    EXPECT_EQ(r.MIN[3], 0.03);
    EXPECT_EQ(r.MIN[4], 0.0);
    EXPECT_EQ(r.MAX[4], 0.0);
    EXPECT_TRUE(r.ReclSet[3]);
    EXPECT_EQ(r.RECL[3], 2.03);
    EXPECT_TRUE(r.OpCounterSet);
    EXPECT_EQ(r.OPCOUNTER, 1234);
    EXPECT_EQ(r.COMMENTS, "<Enter Comments>");
    in.IncludeInReport = true;
    EXPECT_EQ(MakeResultsRecord(in).TESTRESULT, "OK");
}

TEST(ResultsRecord, MinimumPickupRowFillsTheFirstSlotsOnly)
{
    TResultsSaveInput in = OperationRow();
    in.cbTestType = QStringLiteral(" MPU ");
    in.MeasMPU = 205.3;
    in.ebMinMPU = QStringLiteral(" 180.00");
    in.ebMaxMPU = QStringLiteral(" 220.00");
    in.ebOptMPU = QStringLiteral(" 200.00");
    in.ebOpCounter.clear();
    const TResultsRecord r = MakeResultsRecord(in);
    EXPECT_EQ(r.TESTTYPE, " MPU ");
    EXPECT_EQ(r.CURR[1], 205.3);
    EXPECT_EQ(r.MIN[1], 180.0);
    EXPECT_EQ(r.MAX[1], 220.0);
    EXPECT_EQ(r.OPT[1], 200.0);
    EXPECT_FALSE(r.TimeSet[1]);
    EXPECT_FALSE(r.CurrSet[2] || r.MinSet[2] || r.MaxSet[4] || r.OptSet[3] || r.ReclSet[1]);
    EXPECT_FALSE(r.OpCounterSet);

    // The whole row as the table's fields order it: unset numbers stay empty.
    const QStringList names = {"COMMENTS", "CURR1", "TIME1", "OPCOUNTER", "RECLID", "TESTDATE", "TESTRESULT", "RECL3",
                               "MIN1",     "MAX1",  "OPT1",  "CURR2",     "TIME2", "TIME3",    "TIME4",      "CURR3",
                               "CURR4",    "MIN2",  "MIN3",  "MIN4",      "MAX2",  "MAX3",     "MAX4",       "OPT2",
                               "OPT3",     "OPT4",  "RECL1", "RECL2",     "TESTTIME", "TECHID", "CUSTID", "RECLTYPE",
                               "COIL_CT",  "PHASE", "OPSEQ", "TESTTYPE"};
    const QStringList row = ResultsRecordValues(r, names);
    ASSERT_EQ(row.size(), names.size());
    EXPECT_EQ(row[0], "<Enter Comments>");
    EXPECT_EQ(row[1], "205.3");
    EXPECT_EQ(row[2], "");
    EXPECT_EQ(row[3], "");
    EXPECT_EQ(row[4], "R-7");
    EXPECT_EQ(row[5], DateToStr(QDate(2026, 12, 10)));
    EXPECT_EQ(row[8], "180");
    EXPECT_EQ(row[11], "");
}

TEST(ResultsRecord, ATextThatDoesNotConvertStopsBeforeAnyRow)
{
    struct Case {
        const char* what;
        void (*change)(TResultsSaveInput&);
        const char* message;
    } cases[] = {
        {"operation counter", [](TResultsSaveInput& in) { in.ebOpCounter = QStringLiteral("12a"); },
         "'12a' is not a valid integer value"},
        {"empty pick-up limit",
         [](TResultsSaveInput& in) {
             in.cbTestType = QStringLiteral("MPU");
             in.ebMinMPU = QString();
             in.ebMaxMPU = QStringLiteral("1");
             in.ebOptMPU = QStringLiteral("1");
         },
         "'' is not a valid floating point value"},
        {"trip limit", [](TResultsSaveInput& in) { in.ebMaxTrip[3] = QStringLiteral("x"); },
         "'x' is not a valid floating point value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TResultsSaveInput in = OperationRow();
        c.change(in);
        try {
            MakeResultsRecord(in);
            ADD_FAILURE() << "no conversion error";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message, c.message);
        }
    }
    // A table without one of the record's fields takes no row.
    EXPECT_THROW(ResultsRecordValues(MakeResultsRecord(OperationRow()), {"RECLID", "TESTDATE"}), Exception);
}

} // namespace
