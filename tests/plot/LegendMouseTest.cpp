// The legend box and its entries; the crosshair, the rubber band and the zoom.
#include "PlotFixture.h"

#include <QTest>
#include <cmath>

namespace {

void AddLine(TCanvas* c, TColor colour, int width, const char* text)
{
    c->Pen->Color = colour;
    c->Pen->Width = width;
    AddLegendEntry(0, QLatin1String(text));
}

} // namespace

TEST_F(PlotTest, LegendEntriesSkipInvisibleAndDuplicates)
{
    Open();
    AddLine(canvas(), Back, 1, "invisible"); // drawn in the back colour
    AddLine(canvas(), clRed, 2, "Delay Curve MAX");
    AddLine(canvas(), clLime, 2, "Delay Curve MAX");
    canvas()->Brush->Color = clBlue;
    AddLegendEntry(1, QStringLiteral("Delay Curve MAX")); // same text, other kind
    AddLegendEntry(4, QStringLiteral("kind out of range"));
    ASSERT_EQ(LegendList().size(), 2u);
    EXPECT_EQ(LegendList()[0].Color, clRed);
    EXPECT_EQ(LegendList()[0].Width, 2);
    EXPECT_EQ(LegendList()[1].Kind, 1);

    // A symbol entry takes the last symbol style, also of a symbol never queued.
    canvas()->Pen->Color = clAqua;
    canvas()->Pen->Width = 3;
    PlotMove(10, 10);
    PlotSymbol(4, -1, 2);
    AddLegendEntry(2, QStringLiteral("marks"));
    ASSERT_EQ(LegendList().size(), 3u);
    EXPECT_EQ(LegendList()[2].Color, clAqua);
    EXPECT_EQ(LegendList()[2].Style, 4);
    EXPECT_EQ(LegendList()[2].Fill, 2);
    EXPECT_EQ(LegendList()[2].Width, 3);

    // Style 4 draws nothing and keeps the entries; InitGraph keeps them too.
    const QImage before = image().copy();
    DrawLegend(4, 200, 100, 0, 0, 0, 0, 20, true);
    EXPECT_EQ(image(), before);
    InitGraph(&box, Back, Fore, 1);
    EXPECT_EQ(LegendList().size(), 3u);
    DrawLegend(0, 200, 100, 0, 0, 0, 0, 20, true);
    EXPECT_TRUE(LegendList().empty());
}

TEST_F(PlotTest, CurveWindowLegendBox)
{
    box.resize(800, 400);
    InitGraph(&box, Back, Fore, 1);
    GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false);
    const char* texts[] = {"Delay Curve MAX", "Delay Curve MIN", "Fast Curve MAX"};
    const TColor colours[] = {clRed, clLime, clYellow};
    for (int i = 0; i < 3; ++i)
        AddLine(canvas(), colours[i], 2, texts[i]);
    // The frame takes the pen's width as it stands: the caller's 1 here.
    canvas()->Pen->Color = clPurple;
    canvas()->Pen->Width = 1;
    canvas()->Pen->Style = psDash;
    canvas()->Brush->Color = clTeal;
    canvas()->Brush->Style = bsSolid;
    DrawLegend(2, 400, 50, 0, 0, 3, 50, 100, true);

    int tw = 0;
    for (const char* t : texts)
        tw = std::max(tw, canvas()->TextWidth(QLatin1String(t)));
    const int th = DigitHeight();
    const int bw = tw + 116, bh = std::max(50, 3 * th + 2);
    const int x = 400 - bw / 2, y = 50 - bh / 2;
    // The frame: fore colour on (x, y) .. (x + bw - 1, y + bh), filled with the back colour.
    EXPECT_EQ(at(x, y), Fore);
    EXPECT_EQ(at(x + bw - 1, y + bh), Fore);
    EXPECT_EQ(at(x + bw, y + 5), Back);
    EXPECT_EQ(at(x - 1, y + 5), Back);
    EXPECT_EQ(at(x, y + bh + 1), Back);
    // Entry i: a 100-pixel line 6 pixels in from the frame, at its row's middle.
    const double gap = double(bh - 2 - th * 3) / 4;
    for (int i = 0; i < 3; ++i) {
        const int ey = y + int(std::lrint((th + gap) * i + gap)) + 1, ym = ey + th / 2;
        SCOPED_TRACE(texts[i]);
        EXPECT_EQ(at(x + 6, ym), colours[i]);
        EXPECT_EQ(at(x + 6 + 99, ym), colours[i]);
        EXPECT_EQ(at(x + 6 + 102, ym), Back) << "the 2-pixel pen's cap reaches one past the end";
        // Its text in its colour, 4 pixels right of the line.
        bool textSeen = false;
        for (int yy = ey; yy < ey + th; ++yy)
            for (int xx = x + 110; xx < x + 110 + tw; ++xx)
                textSeen |= at(xx, yy) == colours[i];
        EXPECT_TRUE(textSeen);
    }
    // Pen and brush as before.
    EXPECT_EQ(canvas()->Pen->Color, clPurple);
    EXPECT_EQ(canvas()->Pen->Width, 1);
    EXPECT_EQ(canvas()->Pen->Style, psDash);
    EXPECT_EQ(canvas()->Brush->Color, clTeal);
    EXPECT_EQ(canvas()->Brush->Style, bsSolid);
}

TEST_F(PlotTest, LegendLayoutsSideBySideAndBelow)
{
    struct Case { int style; int hAlign, vAlign; } cases[] = {{0, 1, 1}, {1, -1, -1}, {3, 0, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        box.resize(600, 300);
        InitGraph(&box, Back, Fore, 1);
        GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false);
        AddLine(canvas(), clRed, 1, "one");
        canvas()->Pen->Color = clLime;
        PlotSymbol(1, 4, 0);
        AddLegendEntry(3, QStringLiteral("two"));
        const QImage before = image().copy();
        DrawLegend(c.style, 300, 150, c.hAlign, c.vAlign, 0, 0, 30, true);
        // The frame's corners follow the alignment.
        int x0 = 999, y0 = 999, x1 = -1, y1 = -1;
        for (const QPoint& p : Changed(before, image())) {
            x0 = std::min(x0, p.x());
            x1 = std::max(x1, p.x());
            y0 = std::min(y0, p.y());
            y1 = std::max(y1, p.y());
        }
        if (c.hAlign == 1) {
            EXPECT_EQ(x0, 300);
        }
        if (c.hAlign == -1) {
            EXPECT_EQ(x1, 299);
        }
        if (c.vAlign == 1) {
            EXPECT_EQ(y0, 150);
        }
        if (c.vAlign == -1) {
            EXPECT_EQ(y1, 150) << "the frame reaches one row past its height";
        }
        EXPECT_TRUE(LegendList().empty());
    }
}

TEST_F(PlotTest, LegendSymbolTakesTheFontSizeAndKindThreeGetsItsDot)
{
    struct Case { int kind, symbol, fill; bool dot; } cases[] = {
        {2, 2, 2, false}, // filled square
        {3, 2, 0, true},  // hollow square with a centre dot
        {3, 7, 0, false}, // a cross gets no dot
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " symbol " << c.symbol);
        Open();
        canvas()->Pen->Color = clLime;
        canvas()->Pen->Width = 1;
        PlotMove(100, 100);
        PlotSymbol(c.symbol, 30, c.fill); // plotted large
        AddLegendEntry(c.kind, QStringLiteral("mark"));
        InitGraph(&box, Back, Fore, 1); // drops the queued symbol
        const int size = canvas()->Font->Size;
        DrawLegend(2, 200, 150, 1, 1, 0, 0, 20, false);
        // Entry at (200 + xo, 150 + round(gap) + 1); its sample's middle is iw / 2 and th / 2 in.
        int x0 = 999, y0 = 999, x1 = -1, y1 = -1;
        for (int y = 140; y < 180; ++y)
            for (int x = 195; x < 228; ++x) // the sample, short of its text
                if (at(x, y) == clLime) {
                    x0 = std::min(x0, x);
                    x1 = std::max(x1, x);
                    y0 = std::min(y0, y);
                    y1 = std::max(y1, y);
                }
        const int h = size / 2;
        EXPECT_EQ(x1 - x0, 2 * h) << "the font size, not the plotted 30";
        EXPECT_EQ(y1 - y0, 2 * h);
        const int xm = (x0 + x1) / 2, ym = (y0 + y1) / 2;
        if (c.symbol == 2) {
            // Filled: the inside too. Hollow: the 3-pixel dot's outline round the middle, else empty.
            EXPECT_EQ(at(xm + 2, ym + 2) == clLime, c.fill == 2);
            EXPECT_EQ(at(xm - 1, ym) == clLime, c.fill == 2 || c.dot);
            EXPECT_EQ(at(xm, ym + 1) == clLime, c.fill == 2 || c.dot);
        }
    }
}

class MouseTest : public PlotTest {
protected:
    void SetUp() override
    {
        PlotTest::SetUp();
        box.OnPaint = [this](QObject*) {
            ++paints;
            Paint();
        };
        box.Repaint();
    }
    void TearDown() override { ResetZoom(0); }
    // One area with y axes 1 and 3 and a red diagonal.
    void Paint()
    {
        InitGraph(&box, Back, Fore, 1);
        GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false);
        XAxis(clGray, QString(), false, 0, 340, 0, 0, false, true);
        YAxis(clGray, QString(), 1, 0, 240, 0, 0, false, false, true);
        YAxis(clGray, QString(), 3, 0, 24, 0, 0, false, false, true);
        canvas()->Pen->Color = clRed;
        PlotMove(0, 0);
        PlotLine(340, 240);
    }
    int paints = 0;
};

TEST_F(MouseTest, CrosshairFollowsAndLeavesTheImageAsItWas)
{
    const QImage before = image().copy();
    GraphMouseDown(mbLeft, {ssLeft}, 150, 100);
    ASSERT_TRUE(CrosshairOn());
    EXPECT_EQ(Screen.Cursor(), crNone);
    // Over the background the lines show in the crosshair colour (the fore colour).
    EXPECT_EQ(at(150, 60), Fore);
    EXPECT_EQ(at(70, 100), Fore);
    GraphMouseMove({ssLeft}, 250, 180);
    EXPECT_EQ(at(150, 60), Back);
    EXPECT_EQ(at(250, 60), Fore);
    GraphMouseMove({}, 10, 10); // no button held: ignored
    EXPECT_EQ(at(250, 60), Fore);
    // Dragged out of the plot the crosshair stays on its edge.
    GraphMouseMove({ssLeft}, 900, -40);
    EXPECT_EQ(at(R, 100), Fore);
    GraphMouseUp(mbLeft, {}, 900, -40);
    EXPECT_FALSE(CrosshairOn());
    EXPECT_EQ(Screen.Cursor(), crDefault);
    EXPECT_EQ(image(), before);
    EXPECT_EQ(paints, 1);
}

TEST_F(MouseTest, RightButtonStepsThroughTheDefinedYAxes)
{
    GraphMouseDown(mbLeft, {ssLeft}, 150, 100);
    EXPECT_EQ(CurrentYAxisNumber(), 1) << "the lowest defined axis";
    GraphMouseDown(mbRight, {ssLeft, ssRight}, 150, 100);
    EXPECT_EQ(CurrentYAxisNumber(), 3);
    GraphMouseDown(mbRight, {ssLeft, ssRight}, 150, 100);
    EXPECT_EQ(CurrentYAxisNumber(), 1);
    const QImage shown = image().copy();
    GraphMouseUp(mbRight, {ssLeft}, 150, 100);
    EXPECT_TRUE(CrosshairOn()) << "only the left button ends it";
    GraphMouseUp(mbLeft, {}, 150, 100);
    EXPECT_NE(image(), shown);
}

TEST_F(MouseTest, PressOutsideThePlotSelectsWithoutCrosshair)
{
    GraphMouseDown(mbLeft, {ssLeft}, 20, 100); // on the labels, inside the area
    EXPECT_EQ(CurrentGraph(), 1);
    EXPECT_FALSE(CrosshairOn());
    GraphMouseDown(mbLeft, {ssLeft}, 500, 500); // outside every area
    EXPECT_EQ(CurrentGraph(), 0);
    float dx = 1, dy = 1;
    PixelToData(100, 100, dx, dy);
    EXPECT_EQ(dx, 0);
    EXPECT_EQ(dy, 0);
}

TEST_F(MouseTest, OverlappingAreasSelectTheLaterAndCtrlOnTheLabelsStartsABand)
{
    box.OnPaint = [this](QObject*) {
        ++paints;
        InitGraph(&box, Back, Fore, 1);
        GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false);
        XAxis(clGray, QString(), false, 0, 340, 0, 0, false, true);
        YAxis(clGray, QString(), 1, 0, 240, 0, 0, false, false, true);
        GraphWindow(25, 75, 25, 75, 50, 10, 10, 50, false); // inside the first
        XAxis(clGray, QString(), false, 0, 1, 0, 0, false, true);
        YAxis(clGray, QString(), 2, 0, 1, 0, 0, false, false, true);
    };
    box.Repaint();
    GraphMouseDown(mbLeft, {ssLeft}, 200, 150); // in both areas
    EXPECT_EQ(CurrentGraph(), 2);
    EXPECT_EQ(CurrentYAxisNumber(), 2) << "the later area's only y axis";
    GraphMouseUp(mbLeft, {}, 200, 150);
    GraphMouseDown(mbLeft, {ssLeft}, 60, 40); // in the first only
    EXPECT_EQ(CurrentGraph(), 1);
    GraphMouseUp(mbLeft, {}, 60, 40);

    // On the labels of the first area, with Ctrl: no crosshair, but a band.
    GraphMouseDown(mbLeft, {ssCtrl, ssLeft}, 20, 100);
    EXPECT_EQ(CurrentGraph(), 1);
    EXPECT_FALSE(CrosshairOn());
    EXPECT_TRUE(BandOn());
    GraphMouseUp(mbLeft, {}, 20, 100);
    EXPECT_FALSE(BandOn());
}

TEST_F(MouseTest, BandZoomsIntoItsRectangle)
{
    const QImage before = image().copy();
    // Release without Ctrl: erased, no zoom.
    GraphMouseDown(mbLeft, {ssCtrl, ssLeft}, L + 34, B - 24);
    EXPECT_TRUE(BandOn());
    GraphMouseMove({ssCtrl, ssLeft}, L + 170, B - 120);
    GraphMouseUp(mbLeft, {}, L + 170, B - 120);
    EXPECT_EQ(image(), before);
    EXPECT_EQ(GraphSlot(1).ZoomXHigh, 1);
    EXPECT_EQ(paints, 1);

    // With Ctrl: fractions 0.1 .. 0.5 on both axes, repainted at once. The far
    // corner is the last one drawn, not the release point.
    GraphMouseDown(mbLeft, {ssCtrl, ssLeft}, L + 170, B - 24);
    GraphMouseMove({ssCtrl, ssLeft}, L + 34, B - 120);
    GraphMouseUp(mbLeft, {ssCtrl}, L + 300, B - 200);
    EXPECT_EQ(paints, 2);
    EXPECT_FLOAT_EQ(GraphSlot(1).ZoomXLow, 0.1f);
    EXPECT_FLOAT_EQ(GraphSlot(1).ZoomXHigh, 0.5f);
    EXPECT_FLOAT_EQ(GraphSlot(1).ZoomYLow, 0.1f);
    EXPECT_FLOAT_EQ(GraphSlot(1).ZoomYHigh, 0.5f);
    EXPECT_FLOAT_EQ(GraphSlot(1).XAxis.Minimum, 34);
    EXPECT_FLOAT_EQ(GraphSlot(1).XAxis.Maximum, 170);
    EXPECT_FLOAT_EQ(GraphSlot(1).YAxes[2].Maximum, 12) << "every y axis of the area alike";

    // A second band narrows the first: its left half.
    GraphMouseDown(mbLeft, {ssCtrl, ssLeft}, L, B);
    GraphMouseMove({ssCtrl, ssLeft}, L + 170, T);
    GraphMouseUp(mbLeft, {ssCtrl}, L + 170, T);
    EXPECT_FLOAT_EQ(GraphSlot(1).ZoomXLow, 0.1f);
    EXPECT_FLOAT_EQ(GraphSlot(1).ZoomXHigh, 0.3f);

    // A Ctrl-click resets.
    GraphMouseDown(mbLeft, {ssCtrl, ssLeft}, 200, 100);
    GraphMouseMove({ssCtrl, ssLeft}, 201, 101);
    GraphMouseUp(mbLeft, {ssCtrl}, 201, 101);
    EXPECT_EQ(GraphSlot(1).ZoomXLow, 0);
    EXPECT_EQ(GraphSlot(1).ZoomXHigh, 1);
    EXPECT_EQ(GraphSlot(1).ZoomYLow, 0);
    EXPECT_EQ(GraphSlot(1).ZoomYHigh, 1);
    EXPECT_EQ(paints, 4);
}

TEST_F(MouseTest, ZoomFractionsStayInRangeAndKeepTheMinimumSpan)
{
    struct Case {
        const char* name;
        int x0, y0, x1, y1;
        float xl, xh, yl, yh;
    } cases[] = {
        // Beyond the plot on every side: at most the full range.
        {"past the plot", L - 40, B + 30, R + 8, T - 9, 0, 1, 0, 1},
        // Wholly in the label margin left of the plot: both x fractions at 0, widened
        // to the minimum span around 0 (the y fractions follow the band).
        {"label margin", 5, B - 24, 40, B - 120, -0.0005f, 0.0005f, 0.1f, 0.5f},
        // Narrower than 0.001 of the range: widened around its centre.
        {"thin band", L + 170, B - 24, L + 170, B - 120, 0.4995f, 0.5005f, 0.1f, 0.5f},
        // Below the x axis: y fractions both 0.
        {"under the axis", L + 34, B + 10, L + 170, B + 40, 0.1f, 0.5f, -0.0005f, 0.0005f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetZoom(0);
        box.Repaint();
        GraphMouseDown(mbLeft, {ssCtrl, ssLeft}, c.x0, c.y0);
        GraphMouseMove({ssCtrl, ssLeft}, c.x1, c.y1);
        GraphMouseUp(mbLeft, {ssCtrl}, c.x1, c.y1);
        const GraphArea& a = GraphSlot(1);
        EXPECT_NEAR(a.ZoomXLow, c.xl, 1e-6);
        EXPECT_NEAR(a.ZoomXHigh, c.xh, 1e-6);
        EXPECT_NEAR(a.ZoomYLow, c.yl, 1e-6);
        EXPECT_NEAR(a.ZoomYHigh, c.yh, 1e-6);
        EXPECT_LT(a.ZoomXLow, a.ZoomXHigh);
        EXPECT_TRUE(a.XAxis.Defined && a.YAxes[0].Defined) << "the zoomed area still has its axes";
    }
}

TEST_F(MouseTest, ZoomBelongsToThePaintBoxItWasMadeIn)
{
    GraphMouseDown(mbLeft, {ssCtrl, ssLeft}, L + 34, B - 24);
    GraphMouseMove({ssCtrl, ssLeft}, L + 170, B - 120);
    GraphMouseUp(mbLeft, {ssCtrl}, L + 170, B - 120);
    ASSERT_FLOAT_EQ(GraphSlot(1).ZoomXHigh, 0.5f);

    // Another window drawing its first area in slot 1 sees no zoom.
    TPaintBox other;
    other.resize(BoxW, BoxH);
    InitGraph(&other, Back, Fore, 1);
    GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false);
    XAxis(clGray, QString(), false, 1.5f, 15, 0, 0, true, true);
    EXPECT_EQ(GraphSlot(1).ZoomXLow, 0);
    EXPECT_EQ(GraphSlot(1).ZoomXHigh, 1);
    EXPECT_FLOAT_EQ(GraphSlot(1).XAxis.Minimum, 1.5f);
    EXPECT_FLOAT_EQ(GraphSlot(1).XAxis.Maximum, 15);

    // Back in the first window its zoom is still there.
    box.Repaint();
    EXPECT_FLOAT_EQ(GraphSlot(1).ZoomXHigh, 0.5f);
    EXPECT_FLOAT_EQ(GraphSlot(1).XAxis.Maximum, 170);
}

TEST_F(MouseTest, MouseInAWindowActsOnItEvenAfterAnotherWindowPainted)
{
    box.OnMouseDown = [](QObject*, TMouseButton b, TShiftState s, int x, int y) { GraphMouseDown(b, s, x, y); };
    box.OnMouseMove = [](QObject*, TShiftState s, int x, int y) { GraphMouseMove(s, x, y); };
    box.OnMouseUp = [](QObject*, TMouseButton b, TShiftState s, int x, int y) { GraphMouseUp(b, s, x, y); };
    // A log-log window in another box, painted last: the library is bound to it.
    TPaintBox curves;
    curves.resize(BoxW, BoxH);
    curves.OnPaint = [&](QObject*) {
        InitGraph(&curves, Back, Fore, 1);
        GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false);
        XAxis(clGray, QString(), true, 1.5f, 15, 0, 0, true, true);
        YAxis(clGray, QString(), 1, 0.01f, 20, 0, 0, true, true, true);
    };
    curves.Repaint();
    const QImage curvesBefore = curves.Image().copy();

    // A Ctrl band in the first box zooms the first box, drawn on its own canvas.
    QTest::mousePress(&box, Qt::LeftButton, Qt::ControlModifier, QPoint(L + 34, B - 24));
    EXPECT_TRUE(BandOn());
    EXPECT_EQ(curves.Image(), curvesBefore) << "the band is not drawn on the other window";
    QTest::mouseMove(&box, QPoint(L + 170, B - 120));
    QTest::mouseRelease(&box, Qt::LeftButton, Qt::ControlModifier, QPoint(L + 170, B - 120));
    EXPECT_FLOAT_EQ(GraphSlot(1).ZoomXLow, 0.1f);
    EXPECT_FLOAT_EQ(GraphSlot(1).XAxis.Maximum, 170);
    EXPECT_EQ(curves.Image(), curvesBefore);

    // The log-log window, painted again, keeps its full range.
    curves.Repaint();
    EXPECT_FLOAT_EQ(GraphSlot(1).XAxis.Minimum, 1.5f);
    EXPECT_FLOAT_EQ(GraphSlot(1).XAxis.Maximum, 15);
    EXPECT_EQ(curves.Image(), curvesBefore);

    // A crosshair too: shown and erased in the first box only.
    QTest::mousePress(&box, Qt::LeftButton, Qt::NoModifier, QPoint(150, 100));
    EXPECT_TRUE(CrosshairOn());
    EXPECT_EQ(curves.Image(), curvesBefore);
    QTest::mouseRelease(&box, Qt::LeftButton, Qt::NoModifier, QPoint(150, 100));
    EXPECT_FALSE(CrosshairOn());
}

TEST_F(MouseTest, InitGraphEndsTheCrosshairAndAsksForARepaint)
{
    GraphMouseDown(mbLeft, {ssLeft}, 150, 100);
    ASSERT_TRUE(CrosshairOn());
    box.Repaint();
    EXPECT_FALSE(CrosshairOn());
    EXPECT_EQ(Screen.Cursor(), crDefault);
    // The repaint asked for comes with the next paint event.
    box.grab();
    EXPECT_EQ(paints, 3);
}

TEST_F(MouseTest, MouseEventsOfThePaintBoxReachTheLibrary)
{
    box.OnMouseDown = [](QObject*, TMouseButton b, TShiftState s, int x, int y) { GraphMouseDown(b, s, x, y); };
    box.OnMouseMove = [](QObject*, TShiftState s, int x, int y) { GraphMouseMove(s, x, y); };
    box.OnMouseUp = [](QObject*, TMouseButton b, TShiftState s, int x, int y) { GraphMouseUp(b, s, x, y); };
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    const QImage before = image().copy();
    QTest::mousePress(&box, Qt::LeftButton, Qt::NoModifier, QPoint(150, 100));
    EXPECT_TRUE(CrosshairOn());
    EXPECT_NE(image(), before);
    QTest::mouseRelease(&box, Qt::LeftButton, Qt::NoModifier, QPoint(150, 100));
    EXPECT_FALSE(CrosshairOn());
    EXPECT_EQ(image(), before);
    QTest::mousePress(&box, Qt::LeftButton, Qt::ControlModifier, QPoint(L + 34, B - 24));
    QTest::mouseMove(&box, QPoint(L + 170, B - 120));
    QTest::mouseRelease(&box, Qt::LeftButton, Qt::ControlModifier, QPoint(L + 170, B - 120));
    EXPECT_GT(GraphSlot(1).ZoomXLow, 0);
}
