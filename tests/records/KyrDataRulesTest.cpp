// The recloser data form's rules without a window: curve lines and keys, the operation
// counts, the current multiple, Run Test's range and limits, comma text and ground pages.
#include "KyrDataRules.h"

#include "SysUtils.h"

#include <gtest/gtest.h>

TEST(CurveKey, FieldsArePaddedWithUnderscoresAndCutToTheirWidths)
{
    struct Case { const char *type, *coil, *curve, *key; } cases[] = {
        {"VWE", "100", "A", "VWE__100____A__"},
        {"VWE", "None  Ser", "1", "VWE__None  S1__"},   // a CT setting keys as its first seven characters
        {"PWVEXY", "560-X", "B", "PWVEX560-X__B__"},    // types agreeing in five characters share records
        {"", "", "", "_______________"},
        {"R", "100:5 Par", "1-3", "R____100:5 P1-3"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MakeCurveKey(QLatin1String(c.type), QLatin1String(c.coil), QLatin1String(c.curve)),
                  QLatin1String(c.key)) << c.key;
}

TEST(CurveKey, StrToFieldCopiesAtMostWidthPlusOneAndNothingElse)
{
    QString buf(10, QLatin1Char('x'));
    StrToField(QStringLiteral("abcdef"), buf, 2, 2);
    EXPECT_EQ(buf, QStringLiteral("xxabcxxxxx"));
    StrToField(QStringLiteral("z"), buf, 2, 6);
    EXPECT_EQ(buf, QStringLiteral("xxzbcxxxxx"));
}

TEST(CurveValue, SevenCharactersWithLeadingZerosAndATrailingBlank)
{
    struct Case { double v; const char* text; } cases[] = {
        {0.045, "00.045 "}, {10, "10.000 "}, {100, "100.000"}, {2.5, "02.500 "}, {0, "00.000 "},
        {1000, "1000.00"},      // decimals are cut, the number stays
        {1234567, "1234567"},
        {10000000, ""},         // whole digits would be lost: refused
        {12345678.5, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CurveValueText(c.v), QLatin1String(c.text)) << c.v;
}

TEST(CurveValue, UsesTheSystemDecimalSeparator)
{
    DecimalSeparator = QLatin1Char(',');
    EXPECT_EQ(CurveValueText(0.045), QStringLiteral("00,045 "));
    EXPECT_EQ(CurveValueText(10000000), QString());
    DecimalSeparator = QLatin1Char('.');
}

TEST(CurveList, LookupTakesTheLastMatchWithCaseWhileTheSortIgnoresCase)
{
    QStringList list{QStringLiteral("VWE__100____A__2"), QStringLiteral("vwe__100____A__1"),
                     QStringLiteral("KF___50_____B__"), QStringLiteral("VWE__100____A__1")};
    SortCurveList(list);
    EXPECT_EQ(list.at(0), QStringLiteral("KF___50_____B__"));
    // vwe and VWE sort together yet are different keys.
    const int upper = FindCurveLine(list, QStringLiteral("VWE__100____A__"));
    ASSERT_GE(upper, 0);
    EXPECT_EQ(list.at(upper), QStringLiteral("VWE__100____A__2"));
    EXPECT_EQ(upper, list.lastIndexOf(QStringLiteral("VWE__100____A__2")));
    const int lower = FindCurveLine(list, QStringLiteral("vwe__100____A__"));
    ASSERT_GE(lower, 0);
    EXPECT_EQ(list.at(lower), QStringLiteral("vwe__100____A__1"));
    EXPECT_EQ(FindCurveLine(list, QStringLiteral("VWE__140____A__")), -1);
    EXPECT_EQ(FindCurveLine(QStringList{QStringLiteral("VWE")}, QStringLiteral("VWE__100____A__")), -1);
}

TEST(OpsRules, PhaseTotalAndGroundCounts)
{
    struct Case {
        int f, d, gf, gd;
        TOpsSender s;
        int ef, ed, egf, egd, total;
    } cases[] = {
        {3, 2, 1, 1, osFast, 3, 1, 3, 1, 4},     // fast box changed: slow follows
        {3, 2, 1, 1, osDelay, 2, 2, 3, 1, 4},    // slow box changed: fast follows
        {0, 0, 0, 0, osFast, 1, 0, 1, 0, 1},     // no operation: one fast
        {2, 1, 2, 2, osGndFast, 2, 1, 2, 1, 3},  // ground fast changed: ground slow follows
        {2, 1, 2, 2, osFast, 2, 1, 1, 2, 3},     // any other box: ground fast follows
        {2, 1, 2, 2, osNone, 2, 1, 1, 2, 3},
        {1, 0, 0, 3, osGndDelay, 1, 0, 0, 1, 1}, // would give -2 ground fast: held at 0
        {1, 0, 4, 0, osGndFast, 1, 0, 1, 0, 1},  // would give -3 ground slow: held at 0
        {9, -3, 7, -1, osFast, 4, 0, 4, 0, 4},   // typed counts outside the lists
        {2, 2, 2, 2, osFast, 2, 2, 2, 2, 4},
    };
    for (const Case& c : cases) {
        const TOpCounts r = ApplyOpsRules(c.f, c.d, c.gf, c.gd, c.s);
        EXPECT_EQ(r.FastOps, c.ef) << c.f << c.d << c.gf << c.gd;
        EXPECT_EQ(r.DelayOps, c.ed) << c.f << c.d << c.gf << c.gd;
        EXPECT_EQ(r.GndFastOps, c.egf) << c.f << c.d << c.gf << c.gd;
        EXPECT_EQ(r.GndDelayOps, c.egd) << c.f << c.d << c.gf << c.gd;
        EXPECT_EQ(r.TotalOps, c.total);
    }
    // Whatever comes in, every count stays within the lists and the ground adds up.
    for (int f = -2; f <= 6; ++f)
        for (int gf = -2; gf <= 6; ++gf)
            for (TOpsSender s : {osNone, osFast, osDelay, osGndFast, osGndDelay}) {
                const TOpCounts r = ApplyOpsRules(f, 6 - f, gf, 3, s);
                for (int v : {r.FastOps, r.DelayOps, r.GndFastOps, r.GndDelayOps}) {
                    EXPECT_GE(v, 0);
                    EXPECT_LE(v, 4);
                }
                EXPECT_EQ(r.GndFastOps + r.GndDelayOps, r.TotalOps);
                EXPECT_GE(r.TotalOps, 1);
            }
}

TEST(CurrMultiple, ByTheTestTypeTextWithCase)
{
    struct Case { const char* t; int m; } cases[] = {
        {"MPU", 2}, {"2X", 2}, {"3X", 3}, {"4X", 4}, {" 5X ", 5}, {"6X", 6}, {"8X", 8}, {"10X", 10},
        {"7X", 1}, {"4x", 1}, {"", 1}, {"mpu", 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CurrMultipleOf(QLatin1String(c.t)), c.m) << c.t;
}

TEST(TestLaunch, RangeFromTheEstimatedCurrent)
{
    struct Case { const char* mpu; int mult; const char* type; double current; int range; } cases[] = {
        {"100", 4, "4X", 240, 3},
        {"100", 2, "MPU", 120, 3},
        {"", 4, "4X", 50, 2},            // not a number: 50 A, which is not above 50
        {"abc", 4, "4X", 50, 2},
        {"100.000", 4, "4X", 240, 3},    // a stored value as the form shows it
        {"250", 4, "4X", 600, 5},
        {"1250", 2, "2X", 1500, 6},
        {"1250", 10, "10X", 7500, 8},
        {"2000", 10, "10X", 12000, 8},   // above every range
        {"0.5", 2, "2X", 0.6, 1},
    };
    for (const Case& c : cases) {
        const TTestLaunch t = DeriveTestLaunch(QLatin1String(c.mpu), c.mult, QLatin1String(c.type),
                                               QStringLiteral("A"), 2, 1);
        EXPECT_NEAR(t.EstimatedCurrent, c.current, 1e-9) << c.mpu;
        EXPECT_EQ(t.Range, c.range) << c.mpu;
    }
}

TEST(TestLaunch, TimeLimitsAndOperations)
{
    struct Case { int mult; const char* phase; int phases; double on; double off; } cases[] = {
        {5, "G(Gnd Trip)", 3, 10, 30}, {4, "G(Gnd Trip)", 3, 50, 30},
        {6, "A", 1, 5, 5},             {3, "B", 3, 20, 30},
        {6, "A(Single)", 0, 5, 5},     // no type found yet: single phase
    };
    for (const Case& c : cases) {
        const TTestLaunch t = DeriveTestLaunch(QStringLiteral("100"), c.mult, QStringLiteral("4X"),
                                               QLatin1String(c.phase), 3, c.phases);
        EXPECT_EQ(t.TestType, 0);
        EXPECT_TRUE(t.SetsMaxOps);
        EXPECT_EQ(t.MaxOps, 3);
        EXPECT_EQ(t.MaxOnTime, c.on) << c.mult << c.phase;
        EXPECT_TRUE(t.SetsMaxOffTime);
        EXPECT_EQ(t.MaxOffTime, c.off) << c.phases;
    }
    // A minimum pick-up test keeps the operations and off-time limits.
    const TTestLaunch mpu = DeriveTestLaunch(QStringLiteral("100"), 2, QStringLiteral("MPU"),
                                             QStringLiteral("G(Gnd Trip)"), 3, 3);
    EXPECT_EQ(mpu.TestType, 1);
    EXPECT_EQ(mpu.MaxOnTime, 20);
    EXPECT_FALSE(mpu.SetsMaxOps);
    EXPECT_FALSE(mpu.SetsMaxOffTime);
}

TEST(CommaText, TheFrameworksRules)
{
    struct Case { const char* text; QStringList items; } cases[] = {
        {"a,,b", {"a", "", "b"}},
        {"a,b", {"a", "b"}},
        {"a b", {"a", "b"}},                           // a blank separates too
        {"\"None  Ser\",\"100:5 Par\"", {"None  Ser", "100:5 Par"}},
        {"\"say \"\"hi\"\"\",x", {"say \"hi\"", "x"}},
        {"  a , b ", {"a", "b"}},
        {"a,", {"a", ""}},
        {"", {}},
        {"\"A\",\"B\",\"C\",\"G(Gnd Trip)\"", {"A", "B", "C", "G(Gnd Trip)"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CommaTextToList(QLatin1String(c.text)), c.items) << c.text;
    EXPECT_EQ(CommaTextToList(QLatin1String(FixedTypeList)).size(), 44);
    const QStringList round{QStringLiteral("None  Ser"), QString(), QStringLiteral("a\"b"), QStringLiteral("x")};
    EXPECT_EQ(CommaTextToList(ListToCommaText(round)), round);
}

TEST(GroundPages, ByTheTypesFirstLetterOrTheOneAfterV)
{
    for (const char* t : {"RXE", "VWE", "R", "W", "VR", "WVE"})
        EXPECT_TRUE(TypeHasGroundPages(QLatin1String(t))) << t;
    for (const char* t : {"V4E", "KF", "V", "", "rxe", "vWE", "E1"})
        EXPECT_FALSE(TypeHasGroundPages(QLatin1String(t))) << t;
}
