// Pixel rules of the canvas stand-in: end pixels, exclusive bounds, raster operations,
// text without anti-aliasing, fonts, and the paint box's persistent image.
#include "Canvas.h"
#include "PaintBox.h"

#include <QApplication>
#include <QPalette>
#include <QSet>
#include <gtest/gtest.h>

namespace {

constexpr TColor Bg = 0x102030;

struct Surface {
    explicit Surface(int w = 64, int h = 48) : bitmap(w, h)
    {
        bitmap.Canvas->Brush->Color = Bg;
        bitmap.Canvas->FillRect(Rect(0, 0, w, h));
    }
    TColor at(int x, int y) { return bitmap.Canvas->Pixels[x][y]; }
    int count(TColor c)
    {
        int n = 0;
        for (int y = 0; y < bitmap.Height(); ++y)
            for (int x = 0; x < bitmap.Width(); ++x)
                n += at(x, y) == c;
        return n;
    }
    TBitmap bitmap;
};

} // namespace

TEST(Canvas, LineToLeavesOutItsEndPixelInEveryDirection)
{
    struct Case { int dx, dy; } cases[] = {
        {10, 0}, {-10, 0}, {0, 10}, {0, -10}, {7, 7}, {-7, -7}, {7, -7}, {-7, 7},
        {12, 5}, {-12, -5}, {3, -11}, {-3, 11}, {1, 0}, {0, -1},
    };
    for (const Case& c : cases) {
        Surface s;
        TCanvas* cv = s.bitmap.Canvas;
        cv->Pen->Color = clRed;
        cv->MoveTo(30, 24);
        cv->LineTo(30 + c.dx, 24 + c.dy);
        SCOPED_TRACE(testing::Message() << c.dx << "," << c.dy);
        EXPECT_EQ(s.at(30, 24), clRed) << "start pixel drawn";
        EXPECT_EQ(s.at(30 + c.dx, 24 + c.dy), Bg) << "end pixel left out";
        EXPECT_EQ(s.count(clRed), std::max(std::abs(c.dx), std::abs(c.dy)));
        EXPECT_EQ(cv->PenPos, Point(30 + c.dx, 24 + c.dy));
    }
}

TEST(Canvas, ZeroLengthLineDrawsNothingAndContinuedPolylineIsGapless)
{
    Surface s;
    TCanvas* cv = s.bitmap.Canvas;
    cv->Pen->Color = clWhite;
    cv->MoveTo(5, 5);
    cv->LineTo(5, 5);
    EXPECT_EQ(s.count(clWhite), 0);
    // The next segment starts on the left-out pixel, so a polyline has no holes.
    cv->LineTo(15, 5);
    cv->LineTo(15, 15);
    EXPECT_EQ(s.at(15, 5), clWhite);
    EXPECT_EQ(s.at(15, 15), Bg);
    EXPECT_EQ(s.count(clWhite), 20);
}

TEST(Canvas, WidePenCoversBothEnds)
{
    Surface s;
    TCanvas* cv = s.bitmap.Canvas;
    cv->Pen->Color = clYellow;
    cv->Pen->Width = 2;
    cv->MoveTo(10, 10);
    cv->LineTo(20, 10);
    EXPECT_EQ(s.at(10, 10), clYellow);
    EXPECT_EQ(s.at(20, 10), clYellow);
    EXPECT_EQ(s.at(10, 11), clYellow);
    // Two rows thick; the cap reaches one pixel past the end on one side only.
    EXPECT_EQ(s.count(clYellow), 2 * 12);
    EXPECT_EQ(s.at(9, 10), Bg);
    EXPECT_EQ(s.at(22, 10), Bg);
}

TEST(Canvas, RectangleAndEllipseExcludeRightAndBottom)
{
    Surface s;
    TCanvas* cv = s.bitmap.Canvas;
    cv->Pen->Color = clRed;
    cv->Brush->Color = clBlue;
    cv->Rectangle(2, 3, 7, 9);
    EXPECT_EQ(s.at(2, 3), clRed);
    EXPECT_EQ(s.at(6, 8), clRed);
    EXPECT_EQ(s.at(7, 5), Bg);
    EXPECT_EQ(s.at(4, 9), Bg);
    EXPECT_EQ(s.at(3, 4), clBlue);
    EXPECT_EQ(s.count(clRed), 2 * 5 + 2 * 4);
    EXPECT_EQ(s.count(clBlue), 3 * 4);

    // Ellipse: the extreme pixels lie on columns 20 and 29, rows 10 and 17.
    Surface e;
    e.bitmap.Canvas->Pen->Color = clRed;
    e.bitmap.Canvas->Brush->Style = bsClear;
    e.bitmap.Canvas->Ellipse(20, 10, 30, 18);
    int minX = 99, maxX = -1, minY = 99, maxY = -1;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            if (e.at(x, y) == clRed) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
    EXPECT_EQ(minX, 20);
    EXPECT_EQ(maxX, 29);
    EXPECT_EQ(minY, 10);
    EXPECT_EQ(maxY, 17);
    EXPECT_EQ(e.at(25, 14), Bg) << "clear brush leaves the inside";
}

TEST(Canvas, ExclusiveOrTwiceRestoresEveryPixel)
{
    Surface s(120, 90);
    TCanvas* cv = s.bitmap.Canvas;
    // A busy picture first.
    cv->Pen->Color = clLime;
    cv->Brush->Color = clMaroon;
    cv->Ellipse(5, 5, 70, 60);
    cv->Font->Color = clWhite;
    cv->TextOut(10, 60, QStringLiteral("0.25 ms"));
    const QImage before = s.bitmap.Image().copy();

    auto draw = [&] {
        cv->Pen->Mode = pmXor;
        cv->Pen->Color = 0x00FFFFFF;
        for (int w : {1, 2, 3}) {
            cv->Pen->Width = w;
            cv->MoveTo(0, 3 * w);
            cv->LineTo(119, 80 - w);
            cv->LineTo(60, 2);
            cv->LineTo(60, 2);
        }
        cv->Pen->Width = 1;
        cv->Brush->Color = 0x3355AA;
        cv->Brush->Style = bsSolid;
        cv->Rectangle(20, 20, 90, 70);
        cv->Ellipse(30, 10, 100, 50);
        cv->Polygon({Point(10, 80), Point(60, 30), Point(110, 80)});
        cv->Pie(40, 20, 110, 80, 110, 20, 40, 50);
        cv->Brush->Style = bsClear;
        cv->Arc(0, 0, 50, 40, 50, 0, 0, 40);
        cv->Pen->Mode = pmCopy;
    };
    draw();
    EXPECT_NE(s.bitmap.Image(), before);
    draw();
    EXPECT_EQ(s.bitmap.Image(), before);
}

TEST(Canvas, PenModesAndBlockRasterOperations)
{
    struct Mode { TPenMode m; std::uint32_t p, d, want; } modes[] = {
        {pmCopy, 0x123456, 0xABCDEF, 0x123456}, {pmXor, 0xFFFFFF, 0x0F0F0F, 0xF0F0F0},
        {pmNot, 0, 0x00FF00, 0xFF00FF},         {pmMerge, 0x0000F0, 0x00000F, 0x0000FF},
        {pmMask, 0x00FFF0, 0x000FFF, 0x000FF0}, {pmNotXor, 0x000000, 0xFFFFFF, 0x000000},
        {pmNop, 0x111111, 0x222222, 0x222222},  {pmWhite, 0, 0, 0xFFFFFF},
    };
    for (const Mode& m : modes)
        EXPECT_EQ(ApplyPenMode(m.m, 0xFF000000 | m.p, 0xFF000000 | m.d), 0xFF000000 | m.want) << int(m.m);

    const std::uint32_t P = 0xFF00FF00, S = 0xFF0F0F0F, D = 0xFF3333CC;
    struct Rop { std::uint32_t rop, want; } rops[] = {
        {cmSrcCopy, S},         {cmSrcAnd, S & D},   {cmSrcPaint, S | D},
        {cmSrcInvert, 0xFF000000 | (S ^ D)},         {cmNotSrcCopy, 0xFF000000 | (~S & 0xFFFFFF)},
        {cmDstInvert, 0xFF000000 | (~D & 0xFFFFFF)}, {cmPatCopy, P},
        {cmBlackness, 0xFF000000}, {cmWhiteness, 0xFFFFFFFF},
        {cmSrcErase, 0xFF000000 | (S & ~D)},         {cmMergeCopy, P & S},
    };
    for (const Rop& r : rops)
        EXPECT_EQ(ApplyRop3(r.rop, P, S, D), r.want) << std::hex << r.rop;
}

TEST(Canvas, MaskCompositionPutsPictureWhereTheMaskIsBlack)
{
    // The meter's way over a background: picture AND NOT mask, face AND mask, then OR.
    TBitmap face(8, 1), mask(8, 1), inv(8, 1), compose(8, 1);
    for (int x = 0; x < 8; ++x) {
        face.Canvas->Pixels[x][0] = x < 4 ? clRed : clBlue;      // the meter drawn everywhere
        mask.Canvas->Pixels[x][0] = x % 2 ? clWhite : clBlack;   // white where the meter is
        compose.Canvas->Pixels[x][0] = clGreen;                  // the background picture
    }
    inv.Canvas->CopyMode = cmNotSrcCopy;
    inv.Canvas->Draw(0, 0, mask.Canvas);
    compose.Canvas->CopyMode = cmSrcAnd;
    compose.Canvas->Draw(0, 0, inv.Canvas);
    face.Canvas->CopyMode = cmSrcAnd;
    face.Canvas->Draw(0, 0, mask.Canvas);
    compose.Canvas->CopyMode = cmSrcPaint;
    compose.Canvas->Draw(0, 0, face.Canvas);
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(TColor(compose.Canvas->Pixels[x][0]), x % 2 ? (x < 4 ? clRed : clBlue) : clGreen) << x;

    // BitBlt of a block within one canvas reads the source whole before writing.
    TBitmap strip(6, 1);
    for (int x = 0; x < 6; ++x)
        strip.Canvas->Pixels[x][0] = RGB(x, 0, 0);
    BitBlt(strip.Canvas, 1, 0, 4, 1, strip.Canvas, 0, 0, cmSrcCopy);
    for (int x = 1; x < 5; ++x)
        EXPECT_EQ(TColor(strip.Canvas->Pixels[x][0]), RGB(x - 1, 0, 0));
}

TEST(Canvas, PieRunsCounterClockwiseBetweenRaysThroughItsPoints)
{
    Surface s(120, 80);
    TCanvas* cv = s.bitmap.Canvas;
    cv->Pen->Style = psClear;
    cv->Brush->Color = clRed;
    // A wide ellipse: the start ray through its box corner (0, 0) is not the
    // parametric 45 degrees; the slice covers the upper left from that ray to the left.
    cv->Pie(0, 0, 120, 80, 0, 0, 0, 40);
    EXPECT_EQ(s.at(20, 30), clRed) << "below the ray to the corner, above the centre row";
    EXPECT_EQ(s.at(40, 18), Bg) << "above the ray to the corner";
    EXPECT_EQ(s.at(80, 20), Bg) << "upper right, outside";
    EXPECT_EQ(s.at(30, 60), Bg) << "lower left, outside";
}

TEST(Canvas, TextIsDrawnInTwoColoursAndFontsMapToInstalledFaces)
{
    Surface s(100, 30);
    TCanvas* cv = s.bitmap.Canvas;
    cv->Font->Name = QStringLiteral("Arial");
    cv->Font->Size = 8;
    cv->Font->Color = clYellow;
    cv->Brush->Style = bsClear;
    cv->TextOut(2, 2, QStringLiteral("1E-3 20 0.05"));
    QSet<TColor> colours;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 100; ++x)
            colours.insert(s.at(x, y));
    EXPECT_EQ(colours, (QSet<TColor>{Bg, clYellow}));
    EXPECT_EQ(cv->PenPos, Point(2 + cv->TextWidth(QStringLiteral("1E-3 20 0.05")), 2));

    EXPECT_EQ(cv->Font->ToQFont().pixelSize(), 11) << "8 points at 96 dpi";
    EXPECT_EQ(TFont::FaceFor(QStringLiteral("Arial")), QStringLiteral("Liberation Sans"));
    EXPECT_TRUE(Screen.Fonts().contains(QStringLiteral("Arial")));
    EXPECT_TRUE(Screen.Fonts().contains(QStringLiteral("MS Sans Serif")));
    EXPECT_NE(TFont::FaceFor(QStringLiteral("Small Fonts")), QStringLiteral("Small Fonts"));
    EXPECT_GT(cv->TextWidth(QStringLiteral("0")), 3);
    EXPECT_GT(cv->TextHeight(QStringLiteral("0")), 8);
    EXPECT_EQ(cv->TextWidth(QString()), 0);

    // An opaque brush fills the text cell behind the glyphs.
    Surface o(100, 30);
    o.bitmap.Canvas->Brush->Color = clNavy;
    o.bitmap.Canvas->TextOut(0, 0, QStringLiteral("88"));
    EXPECT_EQ(o.at(0, 0), clNavy);
}

TEST(Canvas, ColoursAndSystemColours)
{
    EXPECT_EQ(ColorToRGB(clRed), 0x0000FF);
    EXPECT_EQ(ColorToPixel(clRed), 0xFFFF0000u);
    EXPECT_EQ(PixelToColor(0xFF123456u), 0x563412);
    const QColor face = QApplication::palette().color(QPalette::Button);
    EXPECT_EQ(ColorToRGB(clBtnFace), RGB(face.red(), face.green(), face.blue()));
    Surface s(4, 4);
    s.bitmap.Canvas->Pixels[1][1] = clBtnFace;
    EXPECT_EQ(s.at(1, 1), ColorToRGB(clBtnFace));
    EXPECT_EQ(TColor(s.bitmap.Canvas->Pixels[-1][0]), clNone);
    s.bitmap.Canvas->Pixels[4][0] = clRed; // outside: ignored
}

TEST(Canvas, BitmapResizeKeepsThePictureAndWhitensNewPixels)
{
    TBitmap b(3, 2);
    EXPECT_EQ(TColor(b.Canvas->Pixels[2][1]), clWhite);
    b.Canvas->Pixels[1][1] = clRed;
    b.SetSize(5, 4);
    EXPECT_EQ(b.Width(), 5);
    EXPECT_EQ(TColor(b.Canvas->Pixels[1][1]), clRed);
    EXPECT_EQ(TColor(b.Canvas->Pixels[4][3]), clWhite);
    b.SetSize(1, 1);
    EXPECT_EQ(TColor(b.Canvas->Pixels[1][1]), clNone);
    TBitmap copy;
    copy.Assign(&b);
    EXPECT_EQ(copy.Width(), 1);
    EXPECT_FALSE(copy.Empty());
    EXPECT_TRUE(TBitmap().Empty());
    TBitmap().Canvas->Ellipse(0, 0, 5, 5); // nothing to draw on: no effect
}

TEST(PaintBox, PaintsOnlyWhenInvalidatedAndKeepsDrawingBetweenPaints)
{
    TPaintBox box;
    box.resize(50, 40);
    box.Color = clBlack;
    int paints = 0;
    box.OnPaint = [&](QObject*) {
        ++paints;
        box.Canvas->Pen->Color = clWhite;
        box.Canvas->MoveTo(0, 0);
        box.Canvas->LineTo(10, 0);
    };
    box.Repaint();
    EXPECT_EQ(paints, 1);
    EXPECT_EQ(box.Width(), 50);
    EXPECT_EQ(box.Image().pixel(5, 0), 0xFFFFFFFFu);
    // Drawing outside the paint handler stays on the image the screen shows.
    box.Canvas->Pixels[20][20] = clRed;
    QImage shown = box.grab().toImage();
    EXPECT_EQ(paints, 1) << "showing the image runs no paint";
    EXPECT_EQ(shown.pixel(20, 20) & 0xFFFFFF, 0xFF0000u);
    box.Invalidate();
    shown = box.grab().toImage();
    EXPECT_EQ(paints, 2);
    EXPECT_EQ(shown.pixel(20, 20) & 0xFFFFFF, 0u) << "a paint starts from the box colour";
}
