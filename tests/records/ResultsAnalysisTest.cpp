// The judging of a finished test against the curves, as a function of what the results
// window reads: every text, colour, flag, message and beep it gives, without windows.
#include "ResultsJudge.h"

#include "Lagrange.h"
#include "SysUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <ostream>

static void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

const double Multiples[10] = {2, 2.5, 3, 4, 5, 6, 7, 8, 10, 15};

// The state the effects leave on the window's edits.
struct EditState {
    QString text;
    TColor color = -1;  // -1: never set (gray in a new window)
    TColor font = -1;
};

struct Folded {
    std::map<QString, EditState> edits;
    std::vector<TResultsEffect> messages;  // Dialog, Box, ConvertError in order
    int beeps = 0;
    bool analyzed = false;
    bool showReclData = false;
    bool focusAnalyze = false;
    QString text(const QString& name) const
    {
        auto it = edits.find(name);
        return it == edits.end() ? QString() : it->second.text;
    }
    TColor color(const QString& name) const
    {
        auto it = edits.find(name);
        return it == edits.end() ? -1 : it->second.color;
    }
    TColor font(const QString& name) const
    {
        auto it = edits.find(name);
        return it == edits.end() ? -1 : it->second.font;
    }
    QStringList messageTexts() const
    {
        QStringList l;
        for (const auto& m : messages)
            l << m.Text;
        return l;
    }
};

Folded Fold(const TResultsOutcome& o)
{
    Folded f;
    for (const TResultsEffect& e : o.Effects) {
        switch (e.kind) {
        case TResultsEffect::SetText: f.edits[e.Name].text = e.Text; break;
        case TResultsEffect::SetColor: f.edits[e.Name].color = e.Color; break;
        case TResultsEffect::SetFontColor: f.edits[e.Name].font = e.Color; break;
        case TResultsEffect::MsgDialog:
        case TResultsEffect::MsgBox:
        case TResultsEffect::ConvertError: f.messages.push_back(e); break;
        case TResultsEffect::Beep: ++f.beeps; break;
        case TResultsEffect::ShowReclData: f.showReclData = true; break;
        case TResultsEffect::Analyzed: f.analyzed = true; break;
        case TResultsEffect::FocusAnalyze: f.focusAnalyze = true; break;
        }
    }
    return f;
}

QString Ed(const char* field, int n) { return QStringLiteral("eb%1%2").arg(QLatin1String(field)).arg(n); }

// A time-current curve whose square-rooted times are linear in the multiple, so the
// four-point interpolation reproduces it: T(x) = (a - b x)^2.
void SetLinearCurve(double* sqrtTimes, double a, double b)
{
    for (int i = 0; i < 10; ++i)
        sqrtTimes[i] = a - b * Multiples[i];
}

float CurveTime(const double* sqrtTimes, double x)
{
    const long double r = LagrangeInterpolate(x, 4, Multiples, sqrtTimes, 10);
    return static_cast<float>(r * r);
}

// A text that converts back to exactly the value.
QString Exact(double v) { return QString::number(v, 'g', 17); }

// A phase test "4X" of a recloser with two fast and two slow operations, reference
// current 100 A on both curves, tolerances 10 %, reclose time 2 s, every operation at
// 400 A well inside its limits.
class Analysis : public ::testing::Test {
protected:
    TResultsInput in;
    void SetUp() override
    {
        DecimalSeparator = QLatin1Char('.');
        in.ReclDataVisible = true;
        in.CurveVerified = true;
        in.cbTestType = QStringLiteral("4X");
        in.cbPhase = QStringLiteral("A (or Single)");
        in.ebPhaseMPU = QStringLiteral("200");
        in.ebGndMPU = QStringLiteral("50");
        in.ebReclTime = QStringLiteral("2");
        in.cbReclFastOps = QStringLiteral("2");
        in.cbGndFastOps = QStringLiteral("2");
        for (int k = 0; k < 4; ++k) {
            in.ebCurveRef[k] = QStringLiteral("100");
            in.ebCurveTolMin[k] = QStringLiteral("10");
            in.ebCurveTolMax[k] = QStringLiteral("10");
        }
        SetLinearCurve(in.CurveSqrtTimes[0], 0.5, 0.02);   // fast: 0.2116 s at 2x
        SetLinearCurve(in.CurveSqrtTimes[1], 2.0, 0.1);    // delay: 3.24 s at 2x
        SetLinearCurve(in.CurveSqrtTimes[2], 0.6, 0.025);
        SetLinearCurve(in.CurveSqrtTimes[3], 2.5, 0.12);
        in.CurrMultiple = 4;
        in.FastOps = 2;
        in.GndFastOps = 2;
        in.TotalOps = 4;
        in.MaxOps = 4;
        for (int n = 1; n <= 4; ++n) {
            in.ebTestCurr[n] = QStringLiteral("400.0");
            in.ebTestTrip[n] = Exact(CurveTime(in.CurveSqrtTimes[n <= 2 ? 0 : 1], 4.0) * 0.99);
            in.ebTestRecl[n] = QStringLiteral("2.000");
        }
    }
    // The trip time in the middle of row n's band.
    double Inside(int curve, double mult) const
    {
        const TTripBand b = TripBand(in.CurveSqrtTimes[curve], curve == 1 || curve == 3, float(mult), 10, 10);
        return (double(b.Min) + double(b.Max)) / 2;
    }
};

TEST_F(Analysis, EveryRowInsideItsLimitsReadsOkWithLimeBoxesAndNoBeep)
{
    const TResultsOutcome o = JudgeResults(in);
    const Folded f = Fold(o);
    EXPECT_EQ(o.ResultFlags, "OK");
    EXPECT_EQ(f.text("ebResults"), "OK");
    EXPECT_TRUE(f.analyzed);
    EXPECT_TRUE(f.focusAnalyze);
    EXPECT_EQ(f.beeps, 0);
    EXPECT_TRUE(f.messages.empty());
    for (int n = 1; n <= 4; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(f.text(Ed("MinCurr", n)), "320.00");
        EXPECT_EQ(f.text(Ed("MaxCurr", n)), "480.00");
        EXPECT_EQ(f.text(Ed("OptCurr", n)), "400.00");
        EXPECT_EQ(f.text(Ed("MinRecl", n)), " 1.800");
        EXPECT_EQ(f.text(Ed("MaxRecl", n)), " 2.200");
        EXPECT_EQ(f.text(Ed("OptRecl", n)), " 2.000");
        for (const char* res : {"ResCurr", "ResTrip"}) {
            EXPECT_EQ(f.text(Ed(res, n)), "OK");
            EXPECT_EQ(f.color(Ed(res, n)), clLime);
        }
        EXPECT_EQ(f.font(Ed("TestCurr", n)), clBlack);
        EXPECT_EQ(f.font(Ed("TestTrip", n)), clBlack);
        EXPECT_EQ(o.MeasCurr[n], 400.0);
        EXPECT_EQ(o.MeasRecl[n], 2.0);
    }
    // Rows 1..3 have a reclose interval; the last allowed operation has none.
    for (int n = 1; n <= 3; ++n)
        EXPECT_EQ(f.text(Ed("ResRecl", n)), "OK");
    EXPECT_EQ(f.text(Ed("ResRecl", 4)), "N/A");
    EXPECT_EQ(f.color(Ed("ResRecl", 4)), -1);
    // The fast rows show no optimum; the delayed ones do.
    EXPECT_EQ(f.text(Ed("OptTrip", 1)), "N/A");
    EXPECT_EQ(f.text(Ed("OptTrip", 2)), "N/A");
    EXPECT_EQ(f.text(Ed("OptTrip", 3)), Format("%6.4f", CurveTime(in.CurveSqrtTimes[1], 4.0)));
}

// The data form's texts come from the curve file or the user's typing, with either
// separator on either system; the test set's texts have the system's. The judging is
// the same whichever: only the shown separator follows the system.
TEST_F(Analysis, TheDataFormsTextsJudgeTheSameWithEitherSeparator)
{
    in.ebPhaseMPU = QStringLiteral("200.5");
    in.ebReclTime = QStringLiteral("2.00");
    in.MainMinPickUp = QStringLiteral("210.0");
    for (int k = 0; k < 4; ++k)
        in.ebCurveRef[k] = QStringLiteral("100.000 ");
    const TResultsInput pointed = in;
    for (const char* type : {"4X", "MPU"}) {
        DecimalSeparator = QLatin1Char('.');
        in = pointed;
        in.cbTestType = QLatin1String(type);
        const Folded ref = Fold(JudgeResults(in));
        ASSERT_TRUE(ref.messages.empty()) << type;
        for (const char system : {'.', ','}) {
            for (const char written : {'.', ','}) {
                SCOPED_TRACE(std::string(type) + ", system " + system + ", written " + written);
                DecimalSeparator = QLatin1Char(system);
                in = pointed;
                in.cbTestType = QLatin1String(type);
                auto form = [written](QString& t) { t.replace(QLatin1Char('.'), QLatin1Char(written)); };
                auto testSet = [system](QString& t) { t.replace(QLatin1Char('.'), QLatin1Char(system)); };
                form(in.ebPhaseMPU);
                form(in.ebReclTime);
                for (int k = 0; k < 4; ++k)
                    form(in.ebCurveRef[k]);
                testSet(in.MainMinPickUp);
                for (int n = 1; n <= 4; ++n) {
                    testSet(in.ebTestCurr[n]);
                    testSet(in.ebTestTrip[n]);
                    testSet(in.ebTestRecl[n]);
                }
                const Folded f = Fold(JudgeResults(in));
                EXPECT_TRUE(f.messages.empty());
                ASSERT_EQ(f.edits.size(), ref.edits.size());
                for (const auto& [name, state] : ref.edits) {
                    QString shown = f.text(name);
                    shown.replace(QLatin1Char(system), QLatin1Char('.'));
                    EXPECT_EQ(shown, state.text) << name.toStdString();
                    EXPECT_EQ(f.color(name), state.color) << name.toStdString();
                }
            }
        }
    }
    DecimalSeparator = QLatin1Char('.');
}

TEST_F(Analysis, WithoutTheRecloserFormOrAVerifiedCurveNothingIsJudged)
{
    struct Case {
        bool visible, verified;
        const char* text;
    } cases[] = {{false, true, "Must set up test parameters first"},
                 {false, false, "Must set up test parameters first"},
                 {true, false, "Curve Data must be entered and saved"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        in.ReclDataVisible = c.visible;
        in.CurveVerified = c.verified;
        const TResultsOutcome o = JudgeResults(in);
        ASSERT_EQ(o.Effects.size(), 2u);
        EXPECT_EQ(o.Effects[0].kind, TResultsEffect::MsgDialog);
        EXPECT_EQ(o.Effects[0].Text, c.text);
        EXPECT_EQ(o.Effects[1].kind, TResultsEffect::ShowReclData);
        EXPECT_FALSE(o.MeasRead);
    }
}

TEST(LeadingNumbers, CurrentTextsWithAndWithoutKilo)
{
    DecimalSeparator = QLatin1Char('.');
    struct Case {
        const char* text;
        double amps;
    } cases[] = {{"1.25 K", 1250}, {"1.25 kA", 1250}, {"1250 A", 1250}, {"1250", 1250}, {"  1250  ", 1250},
                 {"000.0 A", 0},   {"", 0},           {"   ", 0},        {"1.25  k", 1.25}, {"2 x", 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_DOUBLE_EQ(LeadingCurrent(QString::fromLatin1(c.text)), c.amps);
    }
    EXPECT_THROW(LeadingNumber(QStringLiteral("12A")), EConvertError);
    EXPECT_THROW(LeadingCurrent(QStringLiteral("k 12")), EConvertError);
    EXPECT_DOUBLE_EQ(LeadingNumber(QStringLiteral("0.123 s")), 0.123);
}

TEST_F(Analysis, KiloCurrentsAreJudgedInAmperes)
{
    in.CurrMultiple = 5;
    in.ebCurveRef[0] = in.ebCurveRef[1] = QStringLiteral("250");
    const char* texts[] = {"1.25 K", "1.25 kA", "1250 A", "1250"};
    for (int n = 1; n <= 4; ++n) {
        in.ebTestCurr[n] = QString::fromLatin1(texts[n - 1]);
        in.ebTestTrip[n] = Exact(Inside(n <= 2 ? 0 : 1, 5.0));
    }
    const TResultsOutcome o = JudgeResults(in);
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(o.MeasCurr[n], 1250.0) << n;
    EXPECT_EQ(o.ResultFlags, "OK");
}

TEST_F(Analysis, GroundTestWithoutFastOperationsTakesTheSlowReferenceWhileTheBandFollowsTheCount)
{
    in.cbPhase = QStringLiteral("G (Gnd Trip)");
    in.cbGndFastOps = QStringLiteral("0");
    in.GndFastOps = 1;  // the form's count, not the box's text, picks each row's curve
    in.ebCurveRef[2] = QStringLiteral("100");
    in.ebCurveRef[3] = QStringLiteral("50");
    in.CurrMultiple = 4;
    for (int n = 1; n <= 4; ++n) {
        in.ebTestCurr[n] = QStringLiteral("200");
        in.ebTestTrip[n] = Exact(Inside(n <= 1 ? 2 : 3, 4.0));
    }
    const TResultsOutcome o = JudgeResults(in);
    const Folded f = Fold(o);
    EXPECT_EQ(f.text(Ed("MinCurr", 1)), "160.00");
    EXPECT_EQ(f.text(Ed("OptCurr", 4)), "200.00");
    const TTripBand fast = TripBand(in.CurveSqrtTimes[2], false, 4.0f, 10, 10);
    const TTripBand slow = TripBand(in.CurveSqrtTimes[3], true, 4.0f, 10, 10);
    EXPECT_EQ(f.text(Ed("MaxTrip", 1)), Format("%6.4f", fast.Max));
    EXPECT_EQ(f.text(Ed("OptTrip", 1)), "N/A");
    EXPECT_EQ(f.text(Ed("MaxTrip", 2)), Format("%6.4f", slow.Max));
    EXPECT_EQ(f.text(Ed("OptTrip", 2)), Format("%6.4f", slow.Opt));
    EXPECT_EQ(o.ResultFlags, "OK");
}

TEST_F(Analysis, ThreeOperationsAllowedLeaveRowFourAndTheLastReclosesWithoutResult)
{
    in.MaxOps = 3;
    in.TotalOps = 3;
    in.ebTestCurr[4] = QStringLiteral("000.0");
    in.ebTestTrip[4] = QStringLiteral("0.0000");
    in.ebTestRecl[4] = QStringLiteral("0.0000");
    const Folded f = Fold(JudgeResults(in));
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(f.text(Ed("ResCurr", n)), "OK") << n;
        EXPECT_EQ(f.text(Ed("ResTrip", n)), "OK") << n;
    }
    EXPECT_EQ(f.text(Ed("ResCurr", 4)), "N/A");
    EXPECT_EQ(f.text(Ed("ResTrip", 4)), "N/A");
    EXPECT_EQ(f.color(Ed("ResCurr", 4)), -1);
    EXPECT_EQ(f.color(Ed("ResTrip", 4)), -1);
    EXPECT_EQ(f.text(Ed("ResRecl", 1)), "OK");
    EXPECT_EQ(f.text(Ed("ResRecl", 2)), "OK");
    EXPECT_EQ(f.text(Ed("ResRecl", 3)), "N/A");
    EXPECT_EQ(f.text(Ed("ResRecl", 4)), "N/A");
    EXPECT_EQ(f.text("ebResults"), "OK");
    EXPECT_EQ(f.beeps, 0);
}

TEST_F(Analysis, TripBandOfFastAndDelayedCurves)
{
    const double* fast = in.CurveSqrtTimes[0];
    const double* slow = in.CurveSqrtTimes[1];
    struct Case {
        float mult, tolMin, tolMax;
    } cases[] = {{2.0f, 10, 10}, {4.0f, 5, 20}, {7.3f, 0, 0}, {12.0f, 30, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mult);
        const float t = CurveTime(fast, c.mult), t11 = CurveTime(fast, 1.1 * c.mult);
        const TTripBand b = TripBand(fast, false, c.mult, c.tolMin, c.tolMax);
        // A falling curve: T(1.1 M) lies below the lower tolerance only for small ones.
        EXPECT_FLOAT_EQ(b.Min, std::min((1 - c.tolMin / 100.0f) * t, t11));
        EXPECT_FLOAT_EQ(b.Max, 0.985f * (1 + c.tolMax / 100.0f) * t);
        EXPECT_EQ(b.Opt, b.Max);
    }
    // Delayed curve with no tolerance: the band is the curve between 1.1 M and 0.9 M.
    for (float mult : {2.0f, 4.5f, 10.0f}) {
        SCOPED_TRACE(mult);
        const TTripBand b = TripBand(slow, true, mult, 0, 0);
        const float t = CurveTime(slow, mult), thi = CurveTime(slow, 1.1 * mult), tlo = CurveTime(slow, 0.9 * mult);
        ASSERT_LT(thi, t);
        ASSERT_GT(tlo, t);
        EXPECT_EQ(b.Min, thi);
        EXPECT_FLOAT_EQ(b.Max, 0.985f * tlo);
        EXPECT_EQ(b.Opt, t);
        EXPECT_NE(b.Opt, b.Max);
    }
    // A wide tolerance on a delayed curve keeps its own limits.
    const TTripBand w = TripBand(slow, true, 4.0f, 50, 50);
    EXPECT_FLOAT_EQ(w.Min, 0.5f * CurveTime(slow, 4.0));
    EXPECT_FLOAT_EQ(w.Max, 0.985f * 1.5f * CurveTime(slow, 4.0));
}

TEST_F(Analysis, TripTimesEqualToTheLimitsAreOkAndJustOutsideAreNot)
{
    const TTripBand fast = TripBand(in.CurveSqrtTimes[0], false, 4.0f, 10, 10);
    const TTripBand slow = TripBand(in.CurveSqrtTimes[1], true, 4.0f, 10, 10);
    struct Case {
        double t1, t3;
        const char* flags;
        int beeps;
    } cases[] = {
        {fast.Min, slow.Max, "OK", 0},
        {fast.Max, slow.Min, "OK", 0},
        {std::nextafter(double(fast.Min), 0.0), slow.Min, "Op 1 TripTimeLow,", 1},
        {fast.Max, std::nextafter(double(slow.Max), 10.0), "Op 3 TripTimeHigh,", 1},
        {std::nextafter(double(fast.Max), 10.0), std::nextafter(double(slow.Min), 0.0),
         "Op 1 TripTimeHigh,Op 3 TripTimeLow,", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        in.ebTestTrip[1] = Exact(c.t1);
        in.ebTestTrip[3] = Exact(c.t3);
        const TResultsOutcome o = JudgeResults(in);
        EXPECT_EQ(o.MeasTrip[1], c.t1);
        EXPECT_EQ(o.ResultFlags, c.flags);
        EXPECT_EQ(o.Beeps(), c.beeps);
    }
}

TEST_F(Analysis, MultipleOfTwelvePassesAndOfOnePointNineStopsAtItsRow)
{
    in.CurrMultiple = 10;
    in.ebTestCurr[1] = QStringLiteral("1200");
    in.ebTestTrip[1] = Exact(Inside(0, 12.0));
    in.ebTestCurr[2] = QStringLiteral("190");
    in.ebTestCurr[3] = QStringLiteral("950");
    in.ebTestTrip[3] = QStringLiteral("1.5");
    const TResultsOutcome o = JudgeResults(in);
    const Folded f = Fold(o);
    ASSERT_EQ(f.messages.size(), 1u);
    EXPECT_EQ(f.messages[0].kind, TResultsEffect::MsgBox);
    EXPECT_EQ(f.messages[0].Text, "Test Current < 1.9x Ref Current");
    EXPECT_EQ(f.messages[0].Caption, "Test current too low");
    // Row 1 at exactly 12x is judged; row 2's currents are judged before the stop.
    EXPECT_EQ(f.text(Ed("ResTrip", 1)), "OK");
    EXPECT_EQ(f.text(Ed("ResCurr", 2)), "LOW");
    EXPECT_EQ(f.text(Ed("ResRecl", 2)), "OK");
    EXPECT_EQ(f.text(Ed("MinTrip", 2)), "");
    EXPECT_EQ(f.text(Ed("MinCurr", 3)), "");
    EXPECT_EQ(o.ResultFlags, "TestCurr 2 Low,Op 2 CurrLow,");
    EXPECT_EQ(f.text("ebResults"), o.ResultFlags);
    EXPECT_EQ(f.beeps, 2);
    EXPECT_TRUE(f.analyzed);
    EXPECT_FALSE(f.focusAnalyze);
    // The later rows' values are read all the same, for the save.
    EXPECT_TRUE(o.MeasRead);
    EXPECT_EQ(o.MeasCurr[3], 950.0);
    EXPECT_EQ(o.MeasTrip[3], 1.5);
    EXPECT_EQ(o.MeasCurr[4], 400.0);
}

TEST_F(Analysis, MultipleAboveTwelveStopsAndOutsideTheOperationsIsNotChecked)
{
    in.ebTestCurr[1] = QStringLiteral("1201");
    Folded f = Fold(JudgeResults(in));
    ASSERT_EQ(f.messages.size(), 1u);
    EXPECT_EQ(f.messages[0].Text, "Test Current > 12x Ref Current");
    EXPECT_EQ(f.messages[0].Caption, "Test current too high");
    EXPECT_EQ(f.text("ebResults"), "TestCurr 1 High,Op 1 CurrHigh,");

    // Past TotalOps a current of nothing is no stop, and no trip time no missing one.
    SetUp();
    in.TotalOps = 3;
    in.ebTestCurr[4] = QStringLiteral("0");
    in.ebTestTrip[4] = QStringLiteral("0");
    f = Fold(JudgeResults(in));
    EXPECT_TRUE(f.messages.empty());
    EXPECT_EQ(f.text(Ed("ResCurr", 4)), "LOW");
    EXPECT_EQ(f.text("ebResults"), "TestCurr 4 Low,Op 4 TripTimeLow,");
}

TEST_F(Analysis, MissingAndExcessOperations)
{
    in.ebTestTrip[2] = QStringLiteral("0.0000");
    TResultsOutcome o = JudgeResults(in);
    Folded f = Fold(o);
    ASSERT_EQ(f.messages.size(), 1u);
    EXPECT_EQ(f.messages[0].Text, "Test did not complete all operations");
    EXPECT_EQ(f.messages[0].Caption, "Missing Operation");
    EXPECT_EQ(f.text(Ed("ResTrip", 2)), "LOW");
    EXPECT_EQ(f.color(Ed("ResTrip", 2)), clRed);
    EXPECT_EQ(f.font(Ed("TestTrip", 2)), clRed);
    EXPECT_EQ(o.ResultFlags, "MissingOp,Op 2 TripTimeLow,");
    EXPECT_EQ(o.Beeps(), 2);
    // The analysis goes on to row 4.
    EXPECT_EQ(f.text(Ed("ResTrip", 4)), "OK");

    SetUp();
    in.TotalOps = 2;
    o = JudgeResults(in);
    f = Fold(o);
    EXPECT_EQ(f.messageTexts(), QStringList({"An excess operation occurred", "An excess operation occurred"}));
    EXPECT_EQ(f.messages[0].Caption, "Extra Operation");
    EXPECT_EQ(o.ResultFlags, "ExcessOp,ExcessOp,");
    EXPECT_EQ(o.Beeps(), 2);
}

TEST_F(Analysis, FailedChecksColourBeepAndFlagInOrder)
{
    // Row 2: current low (but on the curves) with a short trip time; row 3: current high;
    // row 1: reclose time long, which colours but neither beeps nor flags.
    in.ebTestCurr[2] = QStringLiteral("300");
    in.ebTestTrip[2] = QStringLiteral("0.001");
    in.ebTestCurr[3] = QStringLiteral("500");
    in.ebTestTrip[3] = Exact(Inside(1, 5.0));
    in.ebTestRecl[1] = QStringLiteral("2.3");
    in.ebTestRecl[2] = QStringLiteral("1.7");
    const TResultsOutcome o = JudgeResults(in);
    const Folded f = Fold(o);
    EXPECT_EQ(o.ResultFlags, "TestCurr 2 Low,Op 2 TripTimeLow,TestCurr 3 High,");
    EXPECT_EQ(f.text("ebResults"), o.ResultFlags);
    EXPECT_EQ(o.Beeps(), 3);
    EXPECT_EQ(f.text(Ed("ResCurr", 2)), "LOW");
    EXPECT_EQ(f.color(Ed("ResCurr", 2)), clRed);
    EXPECT_EQ(f.font(Ed("TestCurr", 2)), clRed);
    EXPECT_EQ(f.text(Ed("ResCurr", 3)), "HIGH");
    EXPECT_EQ(f.text(Ed("ResRecl", 1)), "HIGH");
    EXPECT_EQ(f.color(Ed("ResRecl", 1)), clYellow);
    EXPECT_EQ(f.font(Ed("TestRecl", 1)), clBlue);
    EXPECT_EQ(f.text(Ed("ResRecl", 2)), "LOW");
    EXPECT_EQ(f.text(Ed("ResRecl", 3)), "OK");
    EXPECT_EQ(f.color(Ed("ResRecl", 3)), clLime);
    EXPECT_EQ(f.font(Ed("TestRecl", 3)), clBlack);
}

TEST_F(Analysis, SinglePrecisionLimitsAgainstDoubleMeasuredValues)
{
    // 0.8 x 4 x 100.1 is 320.32; as a single-precision limit it is 320.320007..., so a
    // measured 320.32 lies below it.
    in.ebCurveRef[0] = QStringLiteral("100.1");
    in.ebTestCurr[1] = QStringLiteral("320.32");
    in.ebTestTrip[1] = Exact(Inside(0, 320.32 / double(100.1f)));
    const Folded f = Fold(JudgeResults(in));
    EXPECT_EQ(f.text(Ed("MinCurr", 1)), "320.32");
    EXPECT_EQ(f.text(Ed("ResCurr", 1)), "LOW");
}

TEST_F(Analysis, MissingSettingsEndTheJudgingWithTheirMessage)
{
    struct Case {
        const char* reclTime;
        const char* ref;
        const char* text;
    } cases[] = {
        {"", "100", "Must have reclose time data"},
        {"2 s", "100", "Must have reclose time data"},
        {"1e40", "100", "Must have reclose time data"},
        {"2", "", "Must select recloser coil size"},
        {"2", "abc", "Must select recloser coil size"},
        // A reference of zero or below would give an infinite or undefined multiple.
        {"2", "0", "Must select recloser coil size"},
        {"2", "-100", "Must select recloser coil size"},
        {"2", "1e39", "Must select recloser coil size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + std::string(" ") + c.ref);
        in.ebReclTime = QString::fromLatin1(c.reclTime);
        in.ebCurveRef[0] = QString::fromLatin1(c.ref);
        const TResultsOutcome o = JudgeResults(in);
        const Folded f = Fold(o);
        ASSERT_EQ(f.messages.size(), 1u);
        EXPECT_EQ(f.messages[0].kind, TResultsEffect::MsgDialog);
        EXPECT_EQ(f.messages[0].Text, c.text);
        EXPECT_FALSE(f.analyzed);
        EXPECT_TRUE(f.edits.empty());
        EXPECT_EQ(f.beeps, 0);
    }
    // With no fast operations the delayed curve's reference is the one checked.
    SetUp();
    in.cbReclFastOps = QStringLiteral("0");
    in.FastOps = 0;
    in.ebCurveRef[0] = QStringLiteral("0");
    in.ebCurveRef[1] = QStringLiteral("-1");
    EXPECT_EQ(Fold(JudgeResults(in)).messageTexts(), QStringList{"Must select recloser coil size"});
}

TEST_F(Analysis, AFailureInsideARowFlagsErrorAndTheOtherRowsAreJudged)
{
    in.ebTestTrip[2] = QStringLiteral("abc");
    in.ebTestCurr[3] = QStringLiteral("500");
    in.ebTestTrip[3] = Exact(Inside(1, 5.0));
    TResultsOutcome o = JudgeResults(in);
    Folded f = Fold(o);
    EXPECT_EQ(f.messageTexts(), QStringList{"Component not found"});
    EXPECT_EQ(f.messages[0].Caption, "Error");
    EXPECT_EQ(o.ResultFlags, "ERRORTestCurr 3 High,");
    EXPECT_EQ(f.text(Ed("ResCurr", 2)), "OK");  // judged before the failure
    EXPECT_EQ(f.text(Ed("ResTrip", 2)), "");
    EXPECT_EQ(f.text(Ed("ResTrip", 4)), "OK");
    EXPECT_TRUE(f.analyzed);

    // The error replaces what earlier rows gathered; a tolerance that does not convert
    // fails the rows of its curve only.
    SetUp();
    in.ebTestCurr[1] = QStringLiteral("330");
    in.ebCurveTolMax[1] = QStringLiteral("ten");
    o = JudgeResults(in);
    EXPECT_EQ(o.ResultFlags, "ERROR");
    EXPECT_EQ(Fold(o).messageTexts(), QStringList({"Component not found", "Component not found"}));
    EXPECT_EQ(Fold(o).text(Ed("ResCurr", 1)), "OK");
}

TEST_F(Analysis, ACurveWithANegativeTimeIsReportedNotInterpolated)
{
    in.CurveSqrtTimes[1][4] = std::sqrt(-1.0);  // the form's root of a negative time
    const TResultsOutcome o = JudgeResults(in);
    const Folded f = Fold(o);
    EXPECT_EQ(f.messageTexts(), QStringList({"Curve Data must be entered and saved", "Curve Data must be entered and saved"}));
    EXPECT_EQ(o.ResultFlags, "ERROR");
    EXPECT_EQ(f.text(Ed("ResTrip", 1)), "OK");
    EXPECT_EQ(f.text(Ed("MinTrip", 3)), "");
    EXPECT_EQ(f.text(Ed("ResTrip", 3)), "");
}

TEST_F(Analysis, MinimumPickupIsJudgedAgainstTheRecloserPickupAlone)
{
    in.cbTestType = QStringLiteral("MPU");
    in.ebPhaseMPU = QStringLiteral("200");
    struct Case {
        const char* mainText;
        const char* res;
        const char* flags;
        TColor color, font;
        int beeps;
    } cases[] = {
        {"221.000", "HIGH", "MPU High", clRed, clRed, 1},
        {"220.000", "OK", "MPU OK", clLime, clBlack, 0},
        {"180 A", "OK", "MPU OK", clLime, clBlack, 0},
        {"179.99", "LOW", "MPU Low", clRed, clRed, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mainText);
        in.MainMinPickUp = QString::fromLatin1(c.mainText);
        const TResultsOutcome o = JudgeResults(in);
        const Folded f = Fold(o);
        EXPECT_EQ(f.text("ebTestMPU"), c.mainText);
        EXPECT_EQ(f.text("ebMinMPU"), " 180.00");
        EXPECT_EQ(f.text("ebMaxMPU"), " 220.00");
        EXPECT_EQ(f.text("ebOptMPU"), " 200.00");
        EXPECT_EQ(f.text("ebResMPU"), c.res);
        EXPECT_EQ(f.color("ebResMPU"), c.color);
        EXPECT_EQ(f.font("ebTestMPU"), c.font);
        EXPECT_EQ(f.text("ebResults"), c.flags);
        EXPECT_EQ(o.ResultFlags, c.flags);
        EXPECT_EQ(f.beeps, c.beeps);
        EXPECT_TRUE(f.analyzed);
        EXPECT_FALSE(o.MeasRead);  // the operation rows are not touched
        EXPECT_EQ(f.edits.count(Ed("ResCurr", 1)), 0u);
    }
    // A ground test takes the ground pick-up; keyboard input keeps the typed value.
    in.cbPhase = QStringLiteral("G (Gnd Trip)");
    in.ebGndMPU = QStringLiteral("50");
    in.KeyboardInput = true;
    in.ebTestMPU = QStringLiteral("56 A");
    const TResultsOutcome o = JudgeResults(in);
    const Folded f = Fold(o);
    for (const TResultsEffect& e : o.Effects)
        EXPECT_FALSE(e.kind == TResultsEffect::SetText && e.Name == "ebTestMPU");  // not overwritten
    EXPECT_EQ(o.MeasMPU, 56.0);
    EXPECT_EQ(f.text("ebMaxMPU"), "  55.00");
    EXPECT_EQ(f.text("ebResults"), "MPU High");
}

TEST_F(Analysis, MinimumPickupReferenceThatDoesNotConvertIsAConversionError)
{
    in.cbTestType = QStringLiteral("MPU");
    in.ebPhaseMPU = QString();
    in.MainMinPickUp = QStringLiteral("100");
    const TResultsOutcome o = JudgeResults(in);
    const Folded f = Fold(o);
    ASSERT_EQ(f.messages.size(), 1u);
    EXPECT_EQ(f.messages[0].kind, TResultsEffect::ConvertError);
    EXPECT_EQ(f.messages[0].Text, "'' is not a valid floating point value");
    EXPECT_FALSE(f.analyzed);
    EXPECT_EQ(f.text("ebResults"), "");
}

// Values that convert as doubles but not as singles: the reference itself, or a limit of
// a finite reference, beyond the single range. Not one "inf" or "nan" text reaches a box.
TEST_F(Analysis, ValuesBeyondSinglePrecisionAreNotJudged)
{
    auto noNonFinite = [](const Folded& f) {
        for (const auto& [name, e] : f.edits)
            EXPECT_FALSE(e.text.contains("inf") || e.text.contains("nan")) << name.toStdString() << " "
                                                                            << e.text.toStdString();
    };
    // Minimum pick-up: the conversion error, and nothing after it.
    for (const char* mpu : {"1e39", "3.2e38"}) {
        SCOPED_TRACE(mpu);
        SetUp();
        in.cbTestType = QStringLiteral("MPU");
        in.ebPhaseMPU = QString::fromLatin1(mpu);
        in.MainMinPickUp = QStringLiteral("100");
        const TResultsOutcome o = JudgeResults(in);
        const Folded f = Fold(o);
        noNonFinite(f);
        ASSERT_EQ(f.messages.size(), 1u);
        EXPECT_EQ(f.messages[0].kind, TResultsEffect::ConvertError);
        EXPECT_EQ(f.messages[0].Text, QStringLiteral("'%1' is not a valid floating point value").arg(mpu));
        EXPECT_EQ(f.beeps, 0);
        EXPECT_FALSE(f.analyzed);
        EXPECT_EQ(f.text("ebResMPU"), "");
    }
    // Operation rows: every row fails and the test reads "ERROR".
    struct Case {
        const char* what;
        std::function<void(TResultsInput&)> set;
    };
    const Case cases[] = {
        {"2X, fast reference 3e38: current limits",
         [](TResultsInput& i) {
             i.CurrMultiple = 2;
             i.ebCurveRef[0] = QStringLiteral("3e38");
         }},
        {"reclose time 3.3e38: its maximum", [](TResultsInput& i) { i.ebReclTime = QStringLiteral("3.3e38"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.set(in);
        const TResultsOutcome o = JudgeResults(in);
        const Folded f = Fold(o);
        noNonFinite(f);
        EXPECT_EQ(o.ResultFlags, "ERROR");
        EXPECT_EQ(f.text("ebResults"), "ERROR");
        EXPECT_EQ(f.messageTexts().count("Component not found"), 4);
        for (int n = 1; n <= 4; ++n)
            EXPECT_NE(f.text(Ed("ResRecl", n)), "OK") << n;
    }
    // A row current of 1e300 beyond the operations: its multiple is no single; that row
    // fails, the others keep their verdicts.
    SetUp();
    in.TotalOps = 3;
    in.MaxOps = 3;
    in.ebTestCurr[4] = QStringLiteral("1e300");
    in.ebTestTrip[4] = QStringLiteral("0");
    const TResultsOutcome o = JudgeResults(in);
    const Folded f = Fold(o);
    noNonFinite(f);
    EXPECT_EQ(o.ResultFlags, "ERROR");
    EXPECT_EQ(f.messageTexts(), QStringList{"Component not found"});
    EXPECT_EQ(f.text(Ed("ResTrip", 3)), "OK");
    EXPECT_EQ(f.text(Ed("ResTrip", 4)), "");
    EXPECT_NE(f.color(Ed("ResTrip", 4)), clLime);
}

} // namespace
