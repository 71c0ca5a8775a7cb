// Tick steps, decimals and labels of linear and logarithmic axes, grids, and ranges
// that must not hang the tick loops.
#include "PlotFixture.h"
#include "SysUtils.h"

#include <QStringList>
#include <cmath>

namespace {

QStringList Texts(const std::vector<DrawnText>& v)
{
    QStringList out;
    for (const DrawnText& t : v)
        out << t.Text;
    return out;
}

struct Recorder {
    Recorder() { RecordAxisTexts(&texts); }
    ~Recorder() { RecordAxisTexts(nullptr); }
    std::vector<DrawnText> texts;
};

} // namespace

TEST(TickStep, OneTwoFiveSearch)
{
    struct Case {
        int len, n;
        float min, max, minStep;
        float step, minor;
        int decimals;
    } cases[] = {
        {340, 11, 0, 1, 0, 0.1f, 0.02f, 1},        // the 340-pixel x axis of 0..1
        {340, 11, -1, 1, 0, 0.2f, 0.05f, 1},
        {240, 10, 0, 240, 0, 50, 10, -1},
        {300, 10, 0, 2, 1, 1, 1, 1},               // MinStep keeps the step at 1
        {300, 10, 0, 0.5f, 0, 0.05f, 0.01f, 2},
        {300, 10, 1000, 26000, 0, 5000, 1000, -3},
        {300, 0, 0, 1, 0, 1, 0.2f, 0},             // N below 1 counts as 1
        {300, 10, 1, 0, 0, 0.1f, 0.02f, 1},        // ends given the wrong way round
        {500, 10, 10000000, 10000008, 0, 1, 0.2f, 0},  // the step near the float resolution
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.min << ".." << c.max << " len " << c.len << " n " << c.n);
        const TickStep t = FindTickStep(c.len, c.n, c.min, c.max, c.minStep);
        EXPECT_FLOAT_EQ(t.Step, c.step);
        EXPECT_FLOAT_EQ(t.MinorStep, c.minor);
        EXPECT_EQ(t.Decimals, c.decimals);
    }
    // The search narrows the step until two ticks land on the axis.
    const TickStep narrow = FindTickStep(20, 1, 0.13f, 0.17f, 0);
    EXPECT_LE(narrow.Step, 0.02f);
}

TEST(TickStep, DegenerateRangesEndAtOnce)
{
    const float inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
    const float ranges[][2] = {{1, 1}, {0, inf}, {-inf, inf}, {nan, 1}, {0, nan}, {-3e38f, 3e38f}};
    for (const auto& r : ranges) {
        const TickStep t = FindTickStep(300, 10, r[0], r[1], 0);
        EXPECT_TRUE(std::isfinite(t.Step) && t.Step > 0) << r[0] << ".." << r[1];
    }
}

TEST(TickLabels, DecimalsExponentsAndDecades)
{
    struct Dec { float a; int want; } decs[] = {
        {0, 99}, {0.5f, 1}, {0.1f, 1}, {0.01f, 2}, {1, 0}, {2, 0}, {10, -1}, {-0.2f, 1}, {250, -2},
    };
    for (const Dec& d : decs)
        EXPECT_EQ(StepDecimals(d.a), d.want) << d.a;

    struct Exp { int d; double v; const char* want; } exps[] = {
        {-3, 25000, "25E3"}, {3, 0.005, "5E-3"}, {-3, 0, "0"},  {0, 7, "7"},   {-1, 250, "250"},
        {2, 0.25, "0.25"},   {1, -0.5, "-0.5"},  {-4, 30000, "3E4"}, {1, 0.02, "0.0"},
        {2, -1.49e-8, "-1E-8"}, {-10, 2e10, "2E10"},
    };
    for (const Exp& e : exps)
        EXPECT_EQ(ExpLabel(e.d, e.v), QLatin1String(e.want)) << e.d << " " << e.v;

    struct Decade { int e, digit; const char* want; } decades[] = {
        {1, 2, "20"}, {-2, 5, "0.05"}, {4, 2, "2E4"}, {-3, 5, "5E-3"}, {0, 1, "1"}, {3, 9, "9000"}, {-1, 3, "0.3"},
    };
    for (const Decade& d : decades)
        EXPECT_EQ(DecadeLabel(d.e, d.digit), QLatin1String(d.want));

    // Never "-0": a tick a hair below zero is written as zero.
    EXPECT_EQ(FixedLabel(-1.49e-8, 1), QStringLiteral("0.0"));
    EXPECT_EQ(FixedLabel(-0.04, 1), QStringLiteral("0.0"));
    EXPECT_EQ(FixedLabel(-0.06, 1), QStringLiteral("-0.1"));
    EXPECT_EQ(FixedLabel(2.5, 2), QStringLiteral("2.50"));
    const QChar keep = DecimalSeparator;
    DecimalSeparator = QLatin1Char(',');
    EXPECT_EQ(FixedLabel(0.5, 1), QStringLiteral("0,5"));
    DecimalSeparator = keep;
}

TEST_F(PlotTest, LogTickDensityByPixelsPerDecade)
{
    InitGraph(&box, Back, Fore, 1);
    struct Case { int len; float ratio; int code; } cases[] = {
        {440, 10, 224}, {250, 10, 224}, {249, 10, 123}, {160, 10, 123}, {159, 10, 112}, {100, 10, 112},
        {99, 10, 12}, {40, 10, 12}, {39, 10, 1}, {7, 10, 1}, {6, 10, 0}, {240, 2000, 12},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LogTickDensity(c.len, c.ratio), c.code) << c.len << " " << c.ratio;
    // A larger font needs more room per decade.
    InitGraph(&box, Back, Fore, 2);
    EXPECT_EQ(LogTickDensity(440, 10), 123);
}

TEST_F(PlotTest, FontChoiceAndTickLengths)
{
    InitGraph(&box, Back, Fore, 0);
    EXPECT_EQ(canvas()->Font->Name, QStringLiteral("Arial"));
    EXPECT_EQ(canvas()->Font->Size, 8);
    EXPECT_EQ(DigitWidth(), canvas()->TextWidth(QStringLiteral("0")));
    InitGraph(&box, Back, Fore, 1.1f);
    EXPECT_EQ(canvas()->Font->Size, 9);
    InitGraph(&box, Back, Fore, 0.9f);
    EXPECT_EQ(canvas()->Font->Name, QStringLiteral("Small Fonts"));
    EXPECT_EQ(canvas()->Font->Size, 7);
}

TEST_F(PlotTest, LinearXAxisOfZeroToOneOn340Pixels)
{
    InitGraph(&box, Back, Fore, 1);
    GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false);
    ASSERT_EQ(DigitWidth(), 6) << "the case assumes 8-point digits six pixels wide";
    Recorder rec;
    XAxis(Fore, QString(), false, 0, 1, 0, 0, false, true);
    EXPECT_EQ(Texts(rec.texts), QStringList({"0.0", "0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "0.7", "0.8", "0.9",
                                             "1.0"}));
    // Labels are centred under their ticks, below the major tick.
    const QString last = rec.texts.back().Text;
    EXPECT_EQ(rec.texts.back().X, R - canvas()->TextWidth(last) / 2);
    EXPECT_EQ(rec.texts.front().Y, B + DigitWidth() + 1);
    // Major ticks reach digit width + 1 below the axis (end pixel left out), minor half that + 1.
    EXPECT_EQ(at(L + 34, B + 6), Fore);
    EXPECT_EQ(at(L + 34, B + 7), Back);
    EXPECT_EQ(at(L + 34 + 7, B + 3), Fore) << "minor tick at 0.12";
    EXPECT_EQ(at(L + 34 + 7, B + 4), Back);

    // The exponent style and MinStep 1 on 0..2: no decimals.
    rec.texts.clear();
    InitGraph(&box, Back, Fore, 1);
    GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false);
    XAxis(Fore, QString(), false, 0, 2, 1, 0, false, true);
    EXPECT_EQ(Texts(rec.texts), QStringList({"0", "1", "2"}));
    rec.texts.clear();
    XAxis(Fore, QString(), false, 0, 0.004f, 0, 0, false, false);
    EXPECT_EQ(Texts(rec.texts).first(), QStringLiteral("0"));
    EXPECT_TRUE(Texts(rec.texts).contains(QStringLiteral("5E-4"))) << Texts(rec.texts).join(' ').toStdString();
}

TEST_F(PlotTest, LogXAxisOfTheCurveWindow)
{
    // Box 500 wide: plot width 440.
    box.resize(500, 300);
    InitGraph(&box, Back, Fore, 1);
    GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false);
    Recorder rec;
    XAxis(Fore, QString(), true, 1.5f, 15, 0, 0, true, true);
    EXPECT_EQ(Texts(rec.texts), QStringList({"2", "3", "4", "5", "6", "8", "10"}));
    EXPECT_TRUE(GraphSlot(1).XAxis.Logarithmic);
    EXPECT_FLOAT_EQ(GraphSlot(1).XMinSpan, 0.001f);
    // 7 gets a major tick but no label; 1.5 to 2 minor ticks every 0.1.
    const int p7 = XToPixel(7), p16 = XToPixel(1.6), p17 = XToPixel(1.7);
    EXPECT_EQ(at(p7, B + DigitWidth()), Fore);
    EXPECT_EQ(at(p16, B + 3), Fore);
    EXPECT_EQ(at(p17, B + 1), Fore);
    EXPECT_EQ(at(p16, B + DigitWidth()), Back) << "minor ticks are short";
}

TEST_F(PlotTest, LogYAxisLabelsSevenAndNineAndFallsBackToLinear)
{
    box.resize(BoxW, 320); // a 260-pixel decade gets the full label row
    InitGraph(&box, Back, Fore, 1);
    GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false);
    XAxis(Fore, QString(), false, 0, 1, 0, 0, false, true);
    Recorder rec;
    YAxis(Fore, QString(), 1, 1, 10, 0, 0, false, true, true);
    const QStringList y = Texts(rec.texts);
    EXPECT_TRUE(y.contains("7") && y.contains("9")) << y.join(' ').toStdString();
    EXPECT_TRUE(GraphSlot(1).YAxes[0].Logarithmic);

    // Min <= 0 or a ratio below 2 draws a linear axis.
    YAxis(Fore, QString(), 2, 10, 15, 0, 0, false, true, true);
    EXPECT_FALSE(GraphSlot(1).YAxes[1].Logarithmic);
    YAxis(Fore, QString(), 3, 0, 100, 0, 0, false, true, true);
    EXPECT_FALSE(GraphSlot(1).YAxes[2].Logarithmic);
    XAxis(Fore, QString(), false, -1, 100, 0, 0, true, true);
    EXPECT_FALSE(GraphSlot(1).XAxis.Logarithmic);
}

TEST_F(PlotTest, ZeroTickOfMinusOneToOneIsExactAndDrawsTheZeroLine)
{
    InitGraph(&box, Back, Fore, 1);
    GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false);
    XAxis(clGray, QString(), false, 0, 1, 0, 0, false, true);
    Recorder rec;
    YAxis(clGray, QString(), 1, -1, 1, 0, 0, false, false, true);
    const QStringList y = Texts(rec.texts);
    EXPECT_TRUE(y.contains("0.0")) << y.join(' ').toStdString();
    EXPECT_FALSE(y.contains("-0.0"));
    // Without Grid the zero row still gets the dotted major line (mask 4).
    const int py = YToPixel(0);
    ASSERT_EQ(py, (B + T) / 2);
    int on = 0;
    for (int c = L + 1; c <= R; ++c) {
        const bool dot = (c & 4) == 0;
        EXPECT_EQ(at(c, py) == clGray, dot) << c;
        on += dot;
    }
    EXPECT_GT(on, 100);
    // Other rows get no line without Grid.
    EXPECT_EQ(at(200, YToPixel(0.5)), Back);
}

TEST_F(PlotTest, GridDotMasksSkipTheAxes)
{
    // x grid alone: dashes of four rows on and four off at a major tick, one row in
    // eight at a minor tick, nothing in the column of the y axis.
    InitGraph(&box, Back, Fore, 1);
    GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false);
    XAxis(clSilver, QString(), true, 0, 1, 0, 0, false, true);
    const int major = XToPixel(0.5), minor = XToPixel(0.52);
    for (int r = T; r < B; ++r) {
        EXPECT_EQ(at(major, r) == clSilver, (r & 4) == 0) << "major, row " << r;
        EXPECT_EQ(at(minor, r) == clSilver, (r & 7) == 0) << "minor, row " << r;
        EXPECT_EQ(at(L, r), Back) << "y axis column, row " << r;
    }

    // y grid alone, the x axis in another colour: the x axis row keeps its own.
    InitGraph(&box, Back, Fore, 1);
    GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false);
    XAxis(Fore, QString(), false, 0, 1, 0, 0, false, true);
    YAxis(clSilver, QString(), 1, 1, 2, 0, 0, true, false, true);
    const int ymajor = YToPixel(1.5), yminor = YToPixel(1.52);
    ASSERT_NE(ymajor, yminor);
    for (int c = L + 1; c <= R; ++c) {
        EXPECT_EQ(at(c, ymajor) == clSilver, (c & 4) == 0) << "major, column " << c;
        EXPECT_EQ(at(c, yminor) == clSilver, (c & 7) == 0) << "minor, column " << c;
        EXPECT_EQ(at(c, B), Fore) << "x axis row, column " << c;
    }
}

TEST_F(PlotTest, YAxisPlacesLabelsAndCaptions)
{
    InitGraph(&box, Back, Fore, 1);
    GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false);
    XAxis(Fore, QString(), false, 0, 1, 0, 0, false, true);
    Recorder rec;
    YAxis(Fore, QStringLiteral("Amps"), 1, 0, 100, 0, 0, false, false, true);
    ASSERT_GE(rec.texts.size(), 3u);
    const DrawnText zero = rec.texts.front();
    EXPECT_EQ(zero.Text, QStringLiteral("0"));
    EXPECT_EQ(zero.X + canvas()->TextWidth(zero.Text), L - (DigitWidth() + 1)) << "right-aligned at the tick end";
    EXPECT_EQ(zero.Y, B - DigitHeight() / 2);
    const DrawnText cap = rec.texts.back();
    EXPECT_EQ(cap.Text, QStringLiteral("Amps"));
    EXPECT_EQ(cap.Y, T - DigitHeight() - DigitHeight() / 2);

    rec.texts.clear();
    YAxis(Fore, QStringLiteral("@Volts"), 4, 0, 100, 0, 0, false, false, true);
    EXPECT_EQ(rec.texts.front().X, R + DigitWidth() + 1 + 1) << "axis 4 labels stand right of the ticks";
    EXPECT_EQ(rec.texts.back().Text, QStringLiteral("Volts"));
    EXPECT_EQ(rec.texts.back().Y, T - 2 * DigitHeight() - DigitHeight() / 2);
    EXPECT_EQ(CurrentYAxisNumber(), 4);
}

TEST_F(PlotTest, AxesThatCannotBeDrawnLeaveTheDataCallsOff)
{
    const float inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
    // The last: finite ends whose span overflows single precision (it drew 200000
    // labels of an overflowed tick value).
    const float bad[][2] = {{1, 1}, {2, 1}, {0, inf}, {nan, 1}, {-inf, 0}, {-3e38f, 3e38f}};
    for (const auto& r : bad) {
        InitGraph(&box, Back, Fore, 1);
        GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false);
        const QImage before = image().copy();
        XAxis(Fore, QString(), true, r[0], r[1], 0, 0, false, true);
        EXPECT_EQ(image(), before) << "x " << r[0] << ".." << r[1];
        EXPECT_FALSE(GraphSlot(1).XAxis.Defined);
        XAxis(Fore, QString(), true, 0, 1, 0, 0, false, true);
        YAxis(Fore, QString(), 1, r[0], r[1], 0, 0, true, false, true);
        EXPECT_FALSE(GraphSlot(1).YAxes[0].Defined);
        const QImage axes = image().copy();
        canvas()->Pen->Color = clRed;
        PlotMove(0, 0);
        PlotLine(1, 1);
        EXPECT_EQ(image(), axes) << "no data drawn without a y axis";
    }
    // AxisNo outside 1..4, and a y axis while the x axis failed.
    Open();
    YAxis(Fore, QString(), 5, 0, 1, 0, 0, false, false, true);
    EXPECT_EQ(CurrentYAxisNumber(), 1);
    XAxis(Fore, QString(), false, 5, 5, 0, 0, false, true);
    YAxis(Fore, QString(), 2, 0, 1, 0, 0, false, false, true);
    EXPECT_FALSE(GraphSlot(1).YAxes[1].Defined);
}

TEST_F(PlotTest, HugeOffsetsAndTinySpansFinish)
{
    // Ranges whose ticks lie below the float resolution of the values.
    const float cases[][2] = {{16777216, 16777220}, {1e30f, 1.0000001e30f}, {-1e-30f, 1e-30f}, {0, 3e38f}};
    for (const auto& c : cases) {
        Open();
        XAxis(Fore, QString(), true, c[0], c[1], 0, 0, false, true);
        YAxis(Fore, QString(), 1, c[0], c[1], 0, 0, true, false, false);
        EXPECT_TRUE(GraphSlot(1).YAxes[0].Defined) << c[0];
    }
}

TEST_F(PlotTest, TransformsClampAndLogValuesBelowZero)
{
    InitGraph(&box, Back, Fore, 1);
    GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false);
    XAxis(Fore, QString(), false, 1, 100, 0, 0, true, true);
    YAxis(Fore, QString(), 1, 0, 240, 0, 0, false, false, true);
    EXPECT_EQ(XToPixel(0), XToPixel(0.5)) << "0 lands on the pixel of 0.5";
    EXPECT_LT(XToPixel(0.5), L);
    EXPECT_EQ(XToPixel(1), L);
    EXPECT_EQ(XToPixel(100), R);
    EXPECT_EQ(YToPixel(1e12), -32768);
    EXPECT_EQ(YToPixel(-1e12), 32767);
    EXPECT_EQ(YToPixel(std::numeric_limits<double>::infinity()), -32768);

    float dx, dy;
    PixelToData(L, B, dx, dy);
    EXPECT_FLOAT_EQ(dx, 1);
    EXPECT_FLOAT_EQ(dy, 0);
    PixelToData(R, T, dx, dy);
    EXPECT_NEAR(dx, 100, 1e-3);
    EXPECT_FLOAT_EQ(dy, 240);
    float ex, ey;
    PixelToData(-50, 400, dx, dy);
    PixelToData(0, BoxH, ex, ey);
    EXPECT_EQ(dx, ex);
    EXPECT_EQ(dy, ey);
    PixelToData(BoxW + 30, 0, dx, dy);
    PixelToData(BoxW, 0, ex, ey);
    EXPECT_EQ(dx, ex);
}
