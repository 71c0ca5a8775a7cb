// Clipped lines and their pending end pixel, unclipped drawing, symbols and their
// queue, and the per-column reduction of long traces.
#include "PlotFixture.h"

#include <cmath>

namespace {

struct Seg {
    const char* name;
    int x1, y1, x2, y2; // pixels (converted to data units of the fixture)
};

} // namespace

class ClipTest : public PlotTest {
protected:
    // Draws one segment in red in pixel coordinates and returns the pixels it changed.
    std::vector<QPoint> Draw(int x1, int y1, int x2, int y2, int width = 1)
    {
        Open();
        const QImage before = image().copy();
        canvas()->Pen->Color = clRed;
        canvas()->Pen->Width = width;
        PlotMove(float(x1 - L), float(B - y1));
        PlotLine(float(x2 - L), float(B - y2));
        int px, py;
        pendingSet = PendingEndPixel(px, py);
        pending = QPoint(px, py);
        // Set the pending pixel as the next area or move would.
        PlotMove(0, 0);
        return Changed(before, image());
    }
    static bool Inside(const QPoint& p) { return L <= p.x() && p.x() <= R && T <= p.y() && p.y() <= B; }
    bool pendingSet = false;
    QPoint pending;
};

TEST_F(ClipTest, SegmentsInsideAreDrawnWholeWithTheEndPixelSetLater)
{
    const Seg inside[] = {
        {"diagonal", L + 10, T + 10, L + 60, T + 40}, {"backwards", L + 60, T + 40, L + 10, T + 10},
        {"vertical", L + 20, T + 5, L + 20, B - 5},   {"horizontal", L + 5, T + 50, R - 5, T + 50},
    };
    for (const Seg& s : inside) {
        SCOPED_TRACE(s.name);
        const auto px = Draw(s.x1, s.y1, s.x2, s.y2);
        EXPECT_EQ(int(px.size()), std::max(std::abs(s.x2 - s.x1), std::abs(s.y2 - s.y1)) + 1);
        EXPECT_TRUE(pendingSet);
        EXPECT_EQ(at(s.x1, s.y1), clRed);
        EXPECT_EQ(at(s.x2, s.y2), clRed);
    }
}

TEST_F(ClipTest, EachEdgeInBothDirectionsPaintsTheEdgeAndNothingBeyond)
{
    const int cx = (L + R) / 2, cy = (T + B) / 2;
    const Seg out[] = {
        {"left", cx, cy, L - 80, cy - 30},     {"right", cx, cy, R + 80, cy + 30},
        {"top", cx, cy, cx - 30, T - 80},      {"bottom", cx, cy, cx + 30, B + 80},
        {"left corner", cx, cy, L - 200, T - 150}, {"right corner", cx, cy, R + 150, B + 200},
        {"through", L - 100, cy - 7, R + 100, cy + 7}, {"top to bottom", cx - 5, T - 50, cx + 5, B + 50},
    };
    for (const Seg& s : out) {
        for (bool reversed : {false, true}) {
            SCOPED_TRACE(testing::Message() << s.name << (reversed ? " reversed" : ""));
            const auto px = reversed ? Draw(s.x2, s.y2, s.x1, s.y1) : Draw(s.x1, s.y1, s.x2, s.y2);
            ASSERT_FALSE(px.empty());
            bool left = false, right = false, top = false, bottom = false;
            for (const QPoint& p : px) {
                EXPECT_TRUE(Inside(p)) << p.x() << "," << p.y();
                left |= p.x() == L;
                right |= p.x() == R;
                top |= p.y() == T;
                bottom |= p.y() == B;
            }
            const bool crossesL = std::min(s.x1, s.x2) < L, crossesR = std::max(s.x1, s.x2) > R;
            const bool crossesT = std::min(s.y1, s.y2) < T, crossesB = std::max(s.y1, s.y2) > B;
            // The edge pixel of a crossed edge is painted (the corner cases may leave by the other edge).
            if (crossesL && !crossesT) {
                EXPECT_TRUE(left);
            }
            if (crossesR && !crossesB) {
                EXPECT_TRUE(right);
            }
            if (crossesT && !crossesL) {
                EXPECT_TRUE(top);
            }
            if (crossesB && !crossesR) {
                EXPECT_TRUE(bottom);
            }
            EXPECT_TRUE(left || right || top || bottom);
        }
    }
}

TEST_F(ClipTest, ToTheRightOfTheEdgeOnOneRowEndsOnColumnR)
{
    const auto px = Draw(L + 10, T + 10, R + 100, T + 10);
    EXPECT_EQ(int(px.size()), R - (L + 10) + 1);
    EXPECT_EQ(at(R, T + 10), clRed);
    EXPECT_FALSE(pendingSet) << "the far end lies beyond the edge";
}

TEST_F(ClipTest, SegmentsOutsideOrOfNoLengthDrawNothing)
{
    const Seg none[] = {
        {"both left", L - 30, T + 20, L - 1, B - 20}, {"both above", L + 10, T - 40, R - 10, T - 1},
        {"both right", R + 1, T, R + 50, B},          {"both below", L, B + 1, R, B + 9},
        {"zero length on the edge", L, T + 30, L, T + 30},
        {"corner miss", L - 50, T + 10, L + 10, T - 50},
    };
    for (const Seg& s : none) {
        SCOPED_TRACE(s.name);
        EXPECT_TRUE(Draw(s.x1, s.y1, s.x2, s.y2).empty());
    }
    // Inside, a segment of no length leaves its one pixel pending, like any end.
    const auto dot = Draw(L + 30, T + 30, L + 30, T + 30);
    ASSERT_EQ(dot.size(), 1u);
    EXPECT_EQ(dot[0], QPoint(L + 30, T + 30));
}

TEST_F(ClipTest, VerticalSegmentsAreCutToTheRectangle)
{
    auto px = Draw(L + 40, T - 100, L + 40, B + 100);
    EXPECT_EQ(int(px.size()), B - T + 1);
    px = Draw(L + 40, B + 100, L + 40, T + 20);
    EXPECT_EQ(int(px.size()), B - (T + 20) + 1) << "from the bottom edge up to the end (set later)";
    for (const QPoint& p : px)
        EXPECT_TRUE(Inside(p));
}

TEST_F(ClipTest, WidePenHasNoPendingPixelAndNoClipDrawsStraight)
{
    Draw(L + 10, T + 10, L + 50, T + 10, 2);
    EXPECT_FALSE(pendingSet);

    // No-clip: straight canvas lines, the end pixel only at the next move.
    Open(true);
    canvas()->Pen->Color = clRed;
    PlotMove(-20, 10);
    PlotLine(30, 10);
    EXPECT_EQ(at(L - 20, B - 10), clRed) << "outside the plot rectangle";
    EXPECT_EQ(at(L + 30, B - 10), Back);
    PlotMove(0, 0);
    EXPECT_EQ(at(L + 30, B - 10), clRed);

    // A zoomed area clips even when no-clip is asked for.
    InitGraph(&box, Back, Fore, 1);
    GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, true);
    XAxis(clGray, QString(), false, 0, 340, 0, 0, false, true);
    YAxis(clGray, QString(), 1, 0, 240, 0, 0, false, false, true);
    GraphMouseDown(mbLeft, {ssCtrl, ssLeft}, L + 10, B - 10);
    GraphMouseMove({ssCtrl, ssLeft}, L + 200, B - 200);
    GraphMouseUp(mbLeft, {ssCtrl}, L + 200, B - 200);
    Open(true);
    canvas()->Pen->Color = clRed;
    const QImage before = image().copy();
    PlotMove(-300, 10);
    PlotLine(300, 10);
    for (const QPoint& p : Changed(before, image()))
        EXPECT_TRUE(Inside(p));
    ResetZoom(0);
}

TEST_F(ClipTest, NonNumberPointsAreLeftOut)
{
    Open();
    const QImage before = image().copy();
    canvas()->Pen->Color = clRed;
    PlotMove(std::nanf(""), 10);
    PlotLine(10, std::nanf(""));
    EXPECT_EQ(image(), before);
    PlotMove(10, 10);
    PlotLine(std::nanf(""), 0);
    PlotLine(20, 10);
    EXPECT_EQ(at(L + 15, B - 10), clRed);
}

TEST_F(PlotTest, SymbolsAreQueuedAndDrawnAtTheNextAxisWithToolsRestored)
{
    Open();
    canvas()->Pen->Color = clYellow;
    canvas()->Pen->Width = 1;
    canvas()->Brush->Color = clNavy;
    canvas()->Brush->Style = bsSolid;
    PlotMove(100, 100);
    PlotSymbol(1, 8, 0); // h = 4: a circle from x - 4 to x + 4
    PlotMove(200, 50);
    PlotSymbol(2, 9, 2);
    PlotMove(150, 150);
    PlotSymbol(0, 5, 0);
    ASSERT_EQ(SymbolQueue().size(), 3u);
    EXPECT_EQ(at(L + 100 - 4, B - 100), Back) << "nothing drawn before the flush";

    canvas()->Pen->Color = clLime;
    canvas()->Pen->Width = 3;
    TPen pen = *canvas()->Pen;
    TBrush brush = *canvas()->Brush;
    YAxis(clGray, QString(), 2, 0, 240, 0, 0, false, false, true); // flushes the queue
    EXPECT_TRUE(SymbolQueue().empty());

    // The circle's extreme pixels; its inside stays clear (fill 0).
    const int cx = L + 100, cy = B - 100;
    EXPECT_EQ(at(cx - 4, cy), clYellow);
    EXPECT_EQ(at(cx + 4, cy), clYellow);
    EXPECT_EQ(at(cx, cy - 4), clYellow);
    EXPECT_EQ(at(cx, cy + 4), clYellow);
    EXPECT_EQ(at(cx - 5, cy), Back);
    EXPECT_EQ(at(cx + 5, cy), Back);
    EXPECT_EQ(at(cx, cy), Back);
    // The filled square: x - 4 .. x + 4 in its own colour.
    const int sx = L + 200, sy = B - 50;
    EXPECT_EQ(at(sx, sy), clYellow);
    EXPECT_EQ(at(sx + 4, sy + 4), clYellow);
    EXPECT_EQ(at(sx + 5, sy), Back);
    // A one-pixel symbol.
    EXPECT_EQ(at(L + 150, B - 150), clYellow);
    // The yellow axis 2 of the flush is drawn after; pen and brush of the caller
    // came back before the axis set its colour.
    EXPECT_EQ(canvas()->Pen->Width, pen.Width);
    EXPECT_EQ(canvas()->Brush->Color, brush.Color);
    EXPECT_EQ(canvas()->Brush->Style, bsClear) << "the axis sets a clear brush";
}

TEST_F(PlotTest, SymbolQueueRules)
{
    Open();
    canvas()->Pen->Color = clRed;
    canvas()->Pen->Width = 2;
    PlotMove(10, 10);
    PlotSymbol(9, 5, 0); // kind out of range
    PlotSymbol(1, 5, 3); // fill out of range
    EXPECT_TRUE(SymbolQueue().empty());
    PlotSymbol(3, -1, 1); // negative size: style only
    EXPECT_TRUE(SymbolQueue().empty());
    EXPECT_EQ(LastSymbolStyle().Kind, 3);
    EXPECT_EQ(LastSymbolStyle().PenWidth, 2);
    EXPECT_EQ(LastSymbolStyle().Color, clRed);
    PlotSymbol(1, 0, 1); // size 0: the font size
    ASSERT_EQ(SymbolQueue().size(), 1u);
    EXPECT_EQ(SymbolQueue()[0].Size, canvas()->Font->Size);
    EXPECT_EQ(SymbolQueue()[0].X, L + 10);
    EXPECT_EQ(SymbolQueue()[0].Y, B - 10);
    PlotMove(-5, 10); // centre left of the plot: not queued
    PlotSymbol(1, 5, 0);
    PlotMove(340, 240); // the corner belongs to the rectangle
    PlotSymbol(1, 5, 0);
    EXPECT_EQ(SymbolQueue().size(), 2u);
    // Symbols after the last axis call are dropped by the next InitGraph.
    InitGraph(&box, Back, Fore, 1);
    EXPECT_TRUE(SymbolQueue().empty());
}

TEST_F(PlotTest, TooManyAreasAndEmptyAreas)
{
    InitGraph(&box, Back, Fore, 1);
    for (int k = 0; k < 8; ++k)
        GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false);
    EXPECT_EQ(GraphCount(), 8);
    GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false);
    EXPECT_EQ(GraphCount(), 8);
    XAxis(Fore, QString(), false, 0, 1, 0, 0, false, true);
    EXPECT_FALSE(GraphSlot(8).XAxis.Defined) << "the ninth area is refused";

    // Reversed and out-of-range percentages; margins that leave no plot.
    InitGraph(&box, Back, Fore, 1);
    GraphWindow(100, 0, -20, 130, 50, 10, 10, 50, false);
    EXPECT_EQ(GraphSlot(1).AreaLeft, 0);
    EXPECT_EQ(GraphSlot(1).AreaRight, BoxW);
    EXPECT_EQ(GraphSlot(1).AreaTop, 0);
    EXPECT_EQ(GraphSlot(1).AreaBottom, BoxH);
    GraphWindow(0, 10, 0, 100, 30, 20, 10, 50, false);
    EXPECT_FALSE(GraphSlot(2).Valid);
    const QImage before = image().copy();
    XAxis(Fore, QString(), true, 0, 1, 0, 0, false, true);
    EXPECT_EQ(image(), before);
}

TEST_F(PlotTest, ReducedTraceDrawsTheSamePixelsAsEverySegment)
{
    // A trace of many samples per column with spikes, noise and excursions past the edges.
    const int n = 20001;
    auto sample = [](int i, float& x, float& y) {
        x = float(i) * (340.0f / 20000.0f);
        y = float(120 + 100 * std::sin(i * 0.013) + 30 * std::sin(i * 1.7));
        if (i % 997 == 0)
            y = 400;  // above the plot
        if (i % 1499 == 0)
            y = -90;  // below
    };
    for (int width : {1, 2}) {
        for (float x0 : {0.0f, -40.0f}) {
            SCOPED_TRACE(testing::Message() << "pen " << width << " start " << x0);
            auto shifted = [&](int i, float& x, float& y) {
                sample(i, x, y);
                x = x * 1.2f + x0;
            };
            Open();
            canvas()->Pen->Color = clYellow;
            canvas()->Pen->Width = width;
            float x, y;
            shifted(0, x, y);
            PlotMove(x, y);
            for (int i = 1; i < n; ++i) {
                shifted(i, x, y);
                PlotLine(x, y);
            }
            PlotMove(0, 0);
            const QImage every = image().copy();

            Open();
            canvas()->Pen->Color = clYellow;
            canvas()->Pen->Width = width;
            PlotPolyline(n, shifted);
            PlotMove(0, 0);
            EXPECT_EQ(Changed(every, image()).size(), 0u);
        }
    }
}

TEST_F(PlotTest, SymbolExtentsByKind)
{
    struct Case { int kind, size; int left, top, right, bottom; } cases[] = {
        {1, 8, -4, -4, 4, 4}, {1, 9, -4, -4, 4, 4}, {2, 8, -4, -4, 4, 4},
        {3, 8, -4, -6, 4, 4}, {4, 8, -4, -4, 4, 6}, {5, 8, -4, -4, 6, 4}, {6, 8, -6, -4, 4, 4},
        {7, 8, -4, -4, 4, 4}, {8, 8, -3, -3, 3, 3}, {1, 1, 0, 0, 0, 0}, {0, 8, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " size " << c.size);
        Open();
        const QImage before = image().copy();
        canvas()->Pen->Color = clFuchsia;
        PlotMove(170, 120);
        PlotSymbol(c.kind, c.size, 0);
        GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false); // the flush
        int x0 = 999, y0 = 999, x1 = -999, y1 = -999;
        for (const QPoint& p : Changed(before, image())) {
            x0 = std::min(x0, p.x() - (L + 170));
            x1 = std::max(x1, p.x() - (L + 170));
            y0 = std::min(y0, p.y() - (B - 120));
            y1 = std::max(y1, p.y() - (B - 120));
        }
        EXPECT_EQ(x0, c.left);
        EXPECT_EQ(y0, c.top);
        EXPECT_EQ(x1, c.right);
        EXPECT_EQ(y1, c.bottom);
    }
}
