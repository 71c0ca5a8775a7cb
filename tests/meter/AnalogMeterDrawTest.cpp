// The meter's layout and pixels, drawn offscreen.
#include "AnalogMeter.h"
#include "TestSupport.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <gtest/gtest.h>
#include <cmath>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

namespace {

// The meter as the meter window sets it up.
void SetUpAsMeterWindow(TAnalogMeter& m)
{
    m.SetColor(clBtnFace);
    TFont* f = m.Font();
    f->Color = clWindowText;
    f->SetHeight(-11);
    f->Name = "MS Sans Serif";
    f->Style = 0;
    m.SetCaption("% FS x 10");
    m.SetMax(1000);
    m.SetTickCount(21);
    m.SetLowZone(20);
    m.SetHighZone(80);
    m.SetOKZoneColor(clLime);
}

std::unique_ptr<TAnalogMeter> ShownMeter(int w, int h)
{
    auto m = std::make_unique<TAnalogMeter>();
    m->resize(w, h);
    m->show();
    return m;
}

// What the meter puts on the screen.
QImage OnScreen(TAnalogMeter& m)
{
    return m.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// A pixel's plain RGB value, compared with colours (system colours resolved).
struct Px {
    std::int32_t rgb;
    friend bool operator==(Px p, TColor c) { return p.rgb == ColorToRGB(c); }
    friend void PrintTo(Px p, std::ostream* os) { *os << "rgb " << std::hex << p.rgb << std::dec; }
};

Px At(const QImage& img, int x, int y)
{
    if (!img.valid(x, y))
        return Px{-1};
    return Px{PixelToColor(img.pixel(x, y))};
}

// Whether the colour is at or next to (x, y).
bool Near(const QImage& img, int x, int y, TColor c)
{
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (At(img, x + dx, y + dy) == c)
                return true;
    return false;
}

Px FaceAt(const TAnalogMeter& m, int x, int y)
{
    return At(m.Face().Image(), x, y);
}

// Where the meter should have put its texts: each drawn alone in black on white with
// the face's font, its top-left corner at the given point.
struct PlacedText {
    QString text;
    int x, y;
};
QImage TextsAlone(TAnalogMeter& m, const std::vector<PlacedText>& texts)
{
    TBitmap alone(m.width(), m.height());
    alone.Canvas->Font->Assign(*m.Font());
    alone.Canvas->Font->Color = clBlack;
    alone.Canvas->Brush->Style = bsClear;
    for (const PlacedText& t : texts)
        alone.Canvas->TextOut(t.x, t.y, t.text);
    return alone.Image().copy();
}

// A point at angle a between the outer and the inner edge of the zone ring.
TPoint RingPoint(const TAnalogMeter& m, float a)
{
    return m.EllipsePoint((m.RadiusX() + m.InnerRadii().X) / 2.0f, (m.RadiusY() + m.InnerRadii().Y) / 2.0f, a);
}

struct MeterWindowMeter {
    std::unique_ptr<TAnalogMeter> m = std::make_unique<TAnalogMeter>();
    explicit MeterWindowMeter(int w = 262, int h = 262)
    {
        SetUpAsMeterWindow(*m);
        m->resize(w, h);
        m->show();
    }
    TAnalogMeter* operator->() { return m.get(); }
};

}  // namespace

TEST(AnalogMeterDraw, Layout)
{
    auto m = ShownMeter(262, 262);
    EXPECT_EQ(m->Margin(), 13);
    EXPECT_EQ(m->CenterX(), 131);
    EXPECT_EQ(m->RadiusX(), 118);
    EXPECT_EQ(m->RadiusX() - m->InnerRadii().X, 20);
    EXPECT_EQ(m->RadiusY() - m->InnerRadii().Y, 20);
    EXPECT_EQ(m->CenterY(), m->Margin() + m->RadiusY());
    // The ellipse reaches down to its scale ends inside the height left above the value text.
    const int availH = 262 - 2 * 13 - (8 + 2);
    const int rY = m->RadiusY();
    auto depth = [&](int r) { return r + TAnalogMeter::EllipseRadius(118, r, 45) * std::cos(M_PI / 4); };
    EXPECT_LT(depth(rY), availH);
    EXPECT_GE(depth(rY + 1), availH);  // one short of the first that reaches it

    // A half circle or less takes the whole height.
    m->SetAngularRange(180);
    EXPECT_EQ(m->RadiusY(), availH);
    m->SetAngularRange(100);
    EXPECT_EQ(m->RadiusY(), availH);

    // A meter far taller than wide still lays out, also with the full circle.
    EXPECT_EQ(TAnalogMeter::FitRadiusY(1000, -10, 0), 999);
    m->SetAngularRange(360);
    m->resize(52, 1200);
    EXPECT_EQ(m->RadiusX(), 26 - 31);
    m->SetAngularRange(100);

    m->resize(30, 20);
    EXPECT_EQ(m->width(), 52);
    EXPECT_EQ(m->height(), 37);
    EXPECT_EQ(m->Face().Width(), 52);
    EXPECT_EQ(m->Face().Height(), 37);
}

TEST(AnalogMeterDraw, EllipseGeometry)
{
    struct { float rx, ry, a, r; } radii[] = {
        {50, 50, 0, 50}, {50, 50, 123, 50}, {100, 50, 0, 50}, {100, 50, 90, 100}, {100, 50, 180, 50},
        {100, 50, 45, 63.2456f}, {0, 50, 10, 0}, {50, -1, 10, 0},
    };
    for (auto c : radii)
        EXPECT_NEAR(TAnalogMeter::EllipseRadius(c.rx, c.ry, c.a), c.r, 1e-3) << c.rx << " " << c.ry << " " << c.a;

    auto m = ShownMeter(262, 262);
    const int cx = m->CenterX(), cy = m->CenterY();
    // Straight down, left, up and right of the centre.
    EXPECT_EQ(m->EllipsePoint(100, 60, 0), Point(cx, cy + 60));
    EXPECT_EQ(m->EllipsePoint(100, 60, 90), Point(cx - 100, cy));
    EXPECT_EQ(m->EllipsePoint(100, 60, 180), Point(cx, cy - 60));
    EXPECT_EQ(m->EllipsePoint(100, 60, 270), Point(cx + 100, cy));
}

TEST(AnalogMeterDraw, NeedleReachesItsTipAndNoFurther)
{
    MeterWindowMeter m;
    m->SetTickColor(clNavy);
    const int cx = m->CenterX(), cy = m->CenterY();
    const float rx = m->InnerRadii().X - m->NeedleWidth() - 1, ry = m->InnerRadii().Y - m->NeedleWidth() - 1;
    // Values between the ticks, so that nothing but the needle has its colour near the tip.
    for (float v : {20.0f, 130.0f, 333.0f, 480.0f, 720.0f, 980.0f}) {
        m->SetValue(v);
        const QImage& face = m->Face().Image();
        const TPoint tip = m->EllipsePoint(rx, ry, m->ValueToAngle(v));
        const double len = std::hypot(tip.X - cx, tip.Y - cy);
        const double ux = (tip.X - cx) / len, uy = (tip.Y - cy) / len;
        auto along = [&](double d, TColor c) {
            return Near(face, int(std::lround(cx + d * ux)), int(std::lround(cy + d * uy)), c);
        };
        EXPECT_TRUE(along(len - 1, clNavy)) << v;
        EXPECT_TRUE(along(len / 2, clNavy)) << v;
        EXPECT_TRUE(along(m->KnobSize() * 524 / 400 + 3, clNavy)) << v;
        // The pen's end reaches a pixel past the tip, up to the ring's inner edge.
        EXPECT_FALSE(along(len + 4, clNavy)) << v;
        EXPECT_FALSE(along(len + 6, clNavy)) << v;
    }
}

TEST(AnalogMeterDraw, TicksRunFromTheRingInwards)
{
    // On a half circle the end ticks lie flat and the middle one stands upright, so
    // their pixels can be counted: (W + H) div 35 long from the ring's inner edge
    // towards the centre, the end pixel left out.
    struct { int w, h, length; } sizes[] = {{262, 262, 14}, {548, 468, 29}};
    for (auto s : sizes) {
        auto m = ShownMeter(s.w, s.h);
        m->SetAngularRange(180);
        m->SetTickCount(3);
        m->SetShowZones(false);
        m->SetCaption("");
        m->SetShowValue(false);
        m->SetTickColor(clNavy);
        m->SetValue(25);  // the needle points up and to the left, away from the ticks
        const int cx = m->CenterX(), cy = m->CenterY(), ix = m->InnerRadii().X, iy = m->InnerRadii().Y;
        const int len = s.length;
        for (int d = 0; d < len; ++d) {
            EXPECT_EQ(FaceAt(*m, cx - ix + d, cy), clNavy) << s.w << " left " << d;
            EXPECT_EQ(FaceAt(*m, cx, cy - iy + d), clNavy) << s.w << " top " << d;
            EXPECT_EQ(FaceAt(*m, cx + ix - d, cy), clNavy) << s.w << " right " << d;
        }
        struct { int x, y; } beyond[] = {{cx - ix - 1, cy}, {cx - ix + len, cy}, {cx, cy - iy - 1},
                                         {cx, cy - iy + len}, {cx + ix + 1, cy}, {cx + ix - len, cy}};
        for (auto b : beyond)
            EXPECT_EQ(FaceAt(*m, b.x, b.y), clBtnFace) << s.w << " at " << b.x << "," << b.y;
    }
}

TEST(AnalogMeterDraw, TickLabelsSitInsideTheScaleBesideTheirPoints)
{
    // Where a label's top-left corner lies from its point on the label ellipse, in
    // fractions of the text's width and height (truncated): at the bottom the text
    // stands on its point, at 45 degrees it starts there and rises, on the left it
    // hangs right of it, at the top it hangs below it (centred at 180), and so round.
    struct Anchor {
        double angle, fx, fy;
    };
    const Anchor anchors[] = {
        {0, -0.5, -1},      {22.5, -0.25, -1}, {45, 0, -1},         {67.5, 0, -0.75},   {90, 0, -0.5},
        {112.5, 0, -0.25},  {135, 0, 0},       {157.5, -0.25, 0},   {180, -0.5, 0},     {202.5, -0.75, 0},
        {225, -1, 0},       {247.5, -1, -0.25}, {270, -1, -0.5},    {292.5, -1, -0.75}, {315, -1, -1},
        {337.5, -0.75, -1}, {360, -0.5, -1},
    };
    struct Case {
        const char* name;
        float max;
        bool log;
        int range, digits;
        bool abbr;
        std::vector<QString> labels;
    } cases[] = {
        {"linear", 120, false, 270, 1, false, {"0.0", "20.0", "40.0", "60.0", "80.0", "100.0", "120.0"}},
        {"logarithmic, evenly spaced", 1000, true, 270, 1, false, {"1.0", "10.0", "100.0", "1000.0"}},
        {"abbreviated, full circle", 1000, false, 360, 1, true,
         {"0.0", "125.0", "250.0", "375.0", "500.0", "625.0", "750.0", "875.0", "1k0"}},
        {"no decimals, full circle", 160, false, 360, 0, false,
         {"0", "10", "20", "30", "40", "50", "60", "70", "80", "90", "100", "110", "120", "130", "140", "150", "160"}},
    };
    for (const Case& c : cases) {
        auto setUp = [&](TAnalogMeter& m, bool labels) {
            m.SetMax(c.max);
            m.SetLogScale(c.log);
            m.SetAngularRange(c.range);
            m.SetTickCount(uint8_t(c.labels.size()));
            m.SetTickDigits(uint8_t(c.digits));
            m.SetTickValAbbr(c.abbr);
            m.SetCaption("");
            m.SetTickColor(clNavy);
            m.Font()->Color = clMaroon;
            m.SetShowTicksScale(labels);
            m.SetValue(c.max * 0.37f);
        };
        auto with = ShownMeter(262, 262), without = ShownMeter(262, 262);
        setUp(*with, true);
        setUp(*without, false);
        ASSERT_EQ(with->Min(), c.log ? 1 : 0) << c.name;

        const int len = (262 + 262) / 35;
        const float lx = with->InnerRadii().X - len, ly = with->InnerRadii().Y - len;
        const TCanvas* fonts = with->Face().Canvas;
        std::vector<PlacedText> placed;
        const int n = int(c.labels.size());
        for (int i = 0; i < n; ++i) {
            const double a = (360 - c.range) / 2.0 + double(c.range) * i / (n - 1);
            const Anchor* anchor = nullptr;
            for (const Anchor& an : anchors)
                if (std::fabs(an.angle - a) < 1e-6)
                    anchor = &an;
            ASSERT_NE(anchor, nullptr) << a;
            const TPoint P = with->EllipsePoint(lx, ly, float(a));
            const int w = fonts->TextWidth(c.labels[i]), h = fonts->TextHeight(c.labels[i]);
            placed.push_back({c.labels[i], P.X + int(std::trunc(w * anchor->fx)), P.Y + int(std::trunc(h * anchor->fy))});
        }
        // The label pixels are exactly the texts at their places (the needle and the
        // ticks share their colour); everything else is as without labels.
        const QImage alone = TextsAlone(*with, placed);
        const QImage& a = with->Face().Image();
        const QImage& b = without->Face().Image();
        int wrong = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x) {
                const bool text = At(alone, x, y) == clBlack;
                if (text ? !(At(a, x, y) == clNavy) : a.pixel(x, y) != b.pixel(x, y)) {
                    if (wrong++ < 3)
                        ADD_FAILURE() << c.name << ": " << (text ? "text" : "beside the texts") << " at " << x << ","
                                      << y;
                }
            }
        EXPECT_EQ(wrong, 0) << c.name;
    }
}

TEST(AnalogMeterDraw, CaptionAndValueTextPlaces)
{
    // The meter window changes the font in place, so TextHeight keeps 8 while its
    // texts are taller: the caption below the centre is placed with both.
    struct {
        TCaptionPos pos;
        int captionAdj, valueAdj;
    } cases[] = {
        {cpTop, 0, 0}, {cpTop, -30, -20}, {cpTop, 30, 10}, {cpBottom, 0, 0}, {cpBottom, -10, -20}, {cpBottom, 10, 5},
    };
    for (auto c : cases) {
        MeterWindowMeter m;
        m->Font()->Color = clMaroon;
        m->SetCaptionPosition(c.pos);
        m->SetCaptionVertAdj(int8_t(c.captionAdj));
        m->SetValueVertAdj(int8_t(c.valueAdj));
        m->SetValue(170);  // the needle lies about flat, away from both texts
        const int H = 262, M = m->Margin(), cx = m->CenterX(), cy = m->CenterY();
        const int iy = m->InnerRadii().Y, ry = m->RadiusY();
        ASSERT_EQ(m->TextHeight(), 8);
        const TCanvas* fonts = m->Face().Canvas;
        const QString caption = "% FS x 10", value = "170.0";
        ASSERT_GT(fonts->TextHeight(caption), 8);
        // On top: halfway between the face's top and the centre less the margin; below:
        // centred halfway between the centre plus the margin and the value line less
        // the ring's depth.
        const int captionY = c.pos == cpTop
                                 ? ((cy - iy - 1) + (cy - M)) / 2 + c.captionAdj
                                 : ((cy + M) + (H - 8 - 2 - (ry - iy))) / 2 + c.captionAdj - fonts->TextHeight(caption) / 2;
        const QImage alone =
            TextsAlone(*m.m, {{caption, cx - fonts->TextWidth(caption) / 2, captionY},
                              {value, cx - fonts->TextWidth(value) / 2, H - M - 8 + c.valueAdj - 1}});
        const QImage& face = m->Face().Image();
        int wrong = 0;
        for (int y = 0; y < face.height(); ++y)
            for (int x = 0; x < face.width(); ++x)
                wrong += (At(face, x, y) == clMaroon) != (At(alone, x, y) == clBlack);
        EXPECT_EQ(wrong, 0) << (c.pos == cpTop ? "top " : "bottom ") << c.captionAdj << " " << c.valueAdj;
    }
}

TEST(AnalogMeterDraw, KnobTakesTheColourOfTheValuesZone)
{
    struct Case {
        float value;
        int low, high;
        TColor knob;
    } cases[] = {
        {100, 20, 80, clYellow},
        {200, 20, 80, clYellow},  // on the low boundary
        {201, 20, 80, clLime},
        {500, 20, 80, clLime},
        {799, 20, 80, clLime},
        {800, 20, 80, clRed},     // on the high boundary
        {1000, 20, 80, clRed},
        {0, 0, 80, clLime},       // no low zone: its colour never shows
        {1000, 20, 100, clLime},  // no high zone
    };
    for (const Case& c : cases) {
        MeterWindowMeter m;
        m->SetLowZone(uint8_t(c.low));
        m->SetHighZone(uint8_t(c.high));
        m->SetValue(c.value);
        const int cx = m->CenterX(), cy = m->CenterY();
        const int k = m->KnobSize() * (262 + 262) / 400;
        EXPECT_EQ(k, 13);
        EXPECT_EQ(FaceAt(*m.m, cx, cy), c.knob) << c.value;
        EXPECT_EQ(FaceAt(*m.m, cx - k + 2, cy), c.knob) << c.value;
        EXPECT_EQ(FaceAt(*m.m, cx, cy + k - 2), c.knob) << c.value;
        EXPECT_NE(FaceAt(*m.m, cx - k - 3, cy + 3), c.knob) << c.value;
        // Transparent zones keep the knob's colours.
        m->SetTransparentZones(true);
        EXPECT_EQ(FaceAt(*m.m, cx, cy), c.knob) << c.value;
    }
}

TEST(AnalogMeterDraw, ZoneRingColours)
{
    MeterWindowMeter m;  // 0..1000, zones 200/800
    struct { float v; TColor colour; } ring[] = {
        {10, clYellow}, {100, clYellow}, {185, clYellow}, {215, clLime}, {500, clLime},
        {785, clLime}, {815, clRed}, {990, clRed},
    };
    for (auto r : ring)
        EXPECT_EQ(FaceAt(*m.m, RingPoint(*m.m, m->ValueToAngle(r.v)).X, RingPoint(*m.m, m->ValueToAngle(r.v)).Y),
                  r.colour)
            << r.v;
    // Below the scale, between its ends, there is no ring.
    for (float a : {40.0f, 320.0f})
        EXPECT_EQ(FaceAt(*m.m, RingPoint(*m.m, a).X, RingPoint(*m.m, a).Y), clBtnFace) << a;
    // The outline of the ring is in the button-shadow colour.
    const TPoint top = m->EllipsePoint(m->RadiusX(), m->RadiusY(), 180);
    EXPECT_EQ(FaceAt(*m.m, top.X, top.Y), clBtnShadow);
    EXPECT_EQ(FaceAt(*m.m, top.X, top.Y - 2), clBtnFace);

    m->SetTransparentZones(true);
    for (auto r : ring) {
        const TPoint p = RingPoint(*m.m, m->ValueToAngle(r.v));
        EXPECT_EQ(FaceAt(*m.m, p.X, p.Y), clBtnFace) << r.v;
    }
    EXPECT_EQ(FaceAt(*m.m, top.X, top.Y), clBtnShadow);  // outlines stay
    m->SetTransparentZones(false);

    // Zones that fill the scale leave out the empty ones: a zone ending one step
    // short of the scale end is no whole-ring slice.
    m->SetHighZoneValue(999.99f);
    EXPECT_EQ(FaceAt(*m.m, RingPoint(*m.m, 180).X, RingPoint(*m.m, 180).Y), clLime);
    m->SetLowZoneValue(0.001f);
    EXPECT_EQ(FaceAt(*m.m, RingPoint(*m.m, 180).X, RingPoint(*m.m, 180).Y), clLime);

    m->SetShowZones(false);
    const TPoint p = RingPoint(*m.m, 180);
    EXPECT_EQ(FaceAt(*m.m, p.X, p.Y), clBtnFace);
}

TEST(AnalogMeterDraw, Frame)
{
    MeterWindowMeter m(284, 262);
    const int W = 284, H = 262;
    struct { int x, y; TColor colour; } frame[] = {
        {0, 0, clBtnShadow}, {0, H - 1, clBtnShadow}, {0, H / 2, clBtnShadow}, {W - 2, 0, clBtnShadow},
        {W / 2, 0, clBtnShadow}, {W - 1, 0, clBtnHighlight}, {W - 1, H - 2, clBtnHighlight},
        {W - 1, H - 1, clBtnHighlight}, {1, H - 1, clBtnHighlight}, {W / 2, H - 1, clBtnHighlight},
        {1, 1, clBtnFace}, {W - 2, H - 2, clBtnFace},
    };
    for (auto f : frame)
        EXPECT_EQ(FaceAt(*m.m, f.x, f.y), f.colour) << f.x << "," << f.y;
    m->SetShowFrame(false);
    for (auto f : frame)
        EXPECT_EQ(FaceAt(*m.m, f.x, f.y), clBtnFace) << f.x << "," << f.y;
    // What Paint puts on the screen is the face.
    EXPECT_EQ(OnScreen(*m.m), m->Face().Image());
}

TEST(AnalogMeterDraw, FaceAfterManyValueChangesEqualsAFreshFace)
{
    TBitmap picture(262, 262);
    picture.Canvas->Brush->Color = clTeal;
    picture.Canvas->FillRect(Rect(0, 0, 262, 262));
    struct Variant {
        const char* name;
        std::function<void(TAnalogMeter&)> setUp;
    } variants[] = {
        {"meter window", [](TAnalogMeter&) {}},
        {"labels, caption below, wide needle",
         [](TAnalogMeter& m) {
             m.SetShowTicksScale(true);
             m.SetCaptionPosition(cpBottom);
             m.SetNeedleWidth(4);
             m.SetKnobSize(6);
         }},
        {"log scale", [](TAnalogMeter& m) { m.SetLogScale(true); }},
        {"over a background picture, with labels",
         [&picture](TAnalogMeter& m) {
             m.SetBackGround(&picture);
             m.SetShowBackground(true);
             m.SetShowTicksScale(true);
         }},
    };
    for (const Variant& var : variants) {
        MeterWindowMeter used;
        var.setUp(*used.m);
        float v = 3;
        for (int i = 0; i < 50; ++i) {
            v = std::fmod(v * 7.3f + 111, 1000);  // wanders over the whole scale and its zones
            used->SetValue(v);
        }
        used->SetValue(437.5f);
        MeterWindowMeter fresh;
        var.setUp(*fresh.m);
        fresh->SetValue(437.5f);
        const QImage a = used->Face().Image(), b = fresh->Face().Image();
        int differing = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                differing += a.pixel(x, y) != b.pixel(x, y);
        EXPECT_EQ(differing, 0) << var.name;
        // And so is what reaches the screen, mask and picture included.
        EXPECT_EQ(OnScreen(*used.m), OnScreen(*fresh.m)) << var.name;
    }
}

TEST(AnalogMeterDraw, BackgroundPictureShowsAroundAndInsideTheMeter)
{
    TBitmap picture(200, 150);
    picture.Canvas->Brush->Color = clBlue;
    picture.Canvas->FillRect(Rect(0, 0, 200, 150));
    MeterWindowMeter m;
    m->SetBackGround(&picture);
    m->SetBackGroundLeft(20);
    m->SetBackGroundTop(10);
    m->SetShowBackground(true);
    m->SetValue(900);
    const int cx = m->CenterX(), cy = m->CenterY();
    QImage s = OnScreen(*m.m);
    EXPECT_EQ(At(s, 30, 40), clBlue);                    // outside the ring, on the picture
    EXPECT_EQ(At(s, 240, 200), clBtnFace);               // beyond the picture
    EXPECT_EQ(At(s, cx - 30, cy - 10), clBlue);          // inside the face
    EXPECT_EQ(At(s, cx, cy), clRed);                     // the knob in its zone's colour
    const TPoint lowZone = RingPoint(*m.m, m->ValueToAngle(100));
    EXPECT_EQ(At(s, lowZone.X, lowZone.Y), clYellow);    // the zones cover the picture
    EXPECT_EQ(At(s, 0, 100), clBtnShadow);               // and so does the frame
    EXPECT_EQ(At(s, 10, 5), clBtnFace);                  // left of and above the picture

    // Transparent zones let the picture through the ring but keep its outline.
    m->SetTransparentZones(true);
    s = OnScreen(*m.m);
    const TPoint okZone = RingPoint(*m.m, 180);
    EXPECT_EQ(At(s, okZone.X, okZone.Y), clBlue);
    EXPECT_EQ(At(s, lowZone.X, lowZone.Y), clBtnFace);  // beyond the picture

    // Resizing smaller and back keeps the whole picture.
    m->SetTransparentZones(false);
    m->resize(60, 60);
    m->resize(262, 262);
    s = OnScreen(*m.m);
    EXPECT_EQ(At(s, 200, 140), clBlue);
    EXPECT_EQ(At(s, 30, 40), clBlue);
    EXPECT_EQ(m->BackGround()->Width(), 200);
    EXPECT_EQ(m->BackGround()->Height(), 150);

    // Assigning no picture takes the old one away.
    m->SetBackGround(nullptr);
    EXPECT_TRUE(m->BackGround()->Empty());
    EXPECT_EQ(At(OnScreen(*m.m), 30, 40), clBtnFace);
    EXPECT_EQ(At(OnScreen(*m.m), cx, cy), clRed);

    m->SetShowBackground(false);
    EXPECT_EQ(At(OnScreen(*m.m), 30, 40), clBtnFace);
}

TEST(AnalogMeterDraw, MaskedTextsFollowAFontChangedInPlace)
{
    // The font changed through Font() without an assignment: the texts over a
    // background picture must come out whole.
    auto captionPixels = [](bool background) {
        TBitmap picture(300, 300);
        picture.Canvas->Brush->Color = clBlue;
        picture.Canvas->FillRect(Rect(0, 0, 300, 300));
        MeterWindowMeter m;
        m->SetBackGround(&picture);
        m->SetShowBackground(background);
        m->Font()->Color = clMaroon;
        m->Font()->Size = 20;
        m->SetValue(321);
        const QImage s = OnScreen(*m.m);
        int n = 0;
        for (int y = 0; y < s.height(); ++y)
            for (int x = 0; x < s.width(); ++x)
                n += At(s, x, y) == clMaroon;
        return n;
    };
    const int plain = captionPixels(false);
    EXPECT_GT(plain, 200);
    EXPECT_EQ(captionPixels(true), plain);
}

TEST(AnalogMeterDraw, AssigningAFontSetsTheTextHeight)
{
    auto m = ShownMeter(262, 262);
    TFont big;
    big.Size = 20;
    m->SetFont(&big);
    EXPECT_GT(m->TextHeight(), 20);
    EXPECT_EQ(m->Font()->Size, 20);
    m->resize(263, 262);  // the layout takes it up at the next size
    EXPECT_EQ(m->RadiusY(),
              TAnalogMeter::FitRadiusY(262 - 2 * m->Margin() - (m->TextHeight() + 2), 263 - 2 * m->Margin(), 45));
    // Attribute changes through the face's own font leave the text height alone.
    m->Font()->Size = 8;
    EXPECT_GT(m->TextHeight(), 20);
}

TEST(AnalogMeterDraw, PictureAtTheMeterWindowSizes)
{
    // In the small window the meter is 262 high across the 284-pixel client width; in
    // the large one 468 high across 548.
    MeterWindowMeter small(284, 262), large(548, 468);
    small->SetValue(500);
    large->SetValue(850);
    QImage sheet(284 + 548 + 30, 468 + 20, QImage::Format_RGB32);
    sheet.fill(QColor(96, 96, 96));
    {
        QPainter p(&sheet);
        p.drawImage(10, 10, OnScreen(*small.m));
        p.drawImage(284 + 20, 10, OnScreen(*large.m));
    }
    ASSERT_TRUE(sheet.save(ArtifactPath("analog-meter.png")));

    // The same with tick labels and a logarithmic scale, to see the labels' placement.
    MeterWindowMeter labelled(284, 262), log(284, 262);
    labelled->SetShowTicksScale(true);
    labelled->SetTickCount(11);
    labelled->SetTickValAbbr(true);
    labelled->SetValue(150);
    log->SetShowTicksScale(true);
    log->SetTickCount(4);
    log->SetLogScale(true);
    log->SetCaptionPosition(cpBottom);
    log->SetValue(10);
    QImage sheet2(284 * 2 + 30, 262 + 20, QImage::Format_RGB32);
    sheet2.fill(QColor(96, 96, 96));
    {
        QPainter p(&sheet2);
        p.drawImage(10, 10, OnScreen(*labelled.m));
        p.drawImage(284 + 20, 10, OnScreen(*log.m));
    }
    ASSERT_TRUE(sheet2.save(ArtifactPath("analog-meter-labels.png")));
}
