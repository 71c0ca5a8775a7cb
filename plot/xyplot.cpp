#include "xyplot.h"

#include "SysUtils.h"

#include <QObject>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>

namespace {

// ---------------------------------------------------------------- module state

struct WorkingScale {
    std::int32_t PlotLeft = 0, PlotBottom = 0, PlotWidth = 0, PlotHeight = 0;
    float XMin = 0, XMax = 1, XLnRatio = 1;
    bool XLog = false;
    float YMin = 0, YMax = 1, YLnRatio = 1;
    bool YLog = false;
};

struct ZoomFractions {
    float XLow = 0, XHigh = 1, YLow = 0, YHigh = 1;
};
using ZoomSet = std::array<ZoomFractions, 8>;

TPaintBox* Box = nullptr;
TCanvas* Cv = nullptr;
std::int32_t W = 0, H = 0;
TColor BackColor = clBlack, ForeColor = clWhite;
float FontScale = 1;
std::int32_t DigitW = 1, DigitH = 1;
std::int32_t MajorTick = 2, MinorTick = 2;
std::int32_t Count = 0;
std::int32_t Current = 0;
GraphArea Slots[8];
WorkingScale WS;
bool GraphValid = false, XReady = false, YReady = false, NoClipping = false;
float YMinSpanBuilding = 0;
std::int32_t LastX = 0, LastY = 0;
struct {
    bool Set = false;
    std::int32_t X = 0, Y = 0;
    TColor Color = clBlack;
} Pending;
std::vector<QueuedSymbol> Queue;
QueuedSymbol LastStyle;
std::vector<LegendItem> Legend;
bool Crosshair = false, Band = false;
std::int32_t CrossX = 0, CrossY = 0;
std::int32_t AnchorX = 0, AnchorY = 0, CornerX = 0, CornerY = 0;
TColor CrosshairColor = clWhite;
std::int32_t CurrentYAxis = 0;
TPen SavedPen;
TBrush SavedBrush;
std::vector<DrawnText>* TextRecorder = nullptr;

// The zoom of the eight slots for every paint box the library has drawn into. An
// entry lives as long as its box.
std::map<const TPaintBox*, ZoomSet>& ZoomByBox()
{
    static std::map<const TPaintBox*, ZoomSet> m;
    return m;
}

// A paint box that goes away takes its zoom along and unbinds the library.
void ForgetBox(const TPaintBox* box)
{
    ZoomByBox().erase(box);
    if (Box == box) {
        Box = nullptr;
        Cv = nullptr;
        Count = 0;
        Current = 0;
        GraphValid = XReady = YReady = false;
        Crosshair = Band = false;
        Queue.clear();
        Pending.Set = false;
    }
}

ZoomSet& BoxZoom(TPaintBox* box)
{
    auto& m = ZoomByBox();
    auto it = m.find(box);
    if (it == m.end()) {
        it = m.emplace(box, ZoomSet{}).first;
        if (box)
            QObject::connect(box, &QObject::destroyed, [box] { ForgetBox(box); });
    }
    return it->second;
}

void StoreZoom(std::int32_t slot)
{
    GraphArea& a = Slots[slot - 1];
    BoxZoom(Box)[slot - 1] = ZoomFractions{a.ZoomXLow, a.ZoomXHigh, a.ZoomYLow, a.ZoomYHigh};
}

bool Finite(double v)
{
    return std::isfinite(v);
}

std::int32_t RoundI(double v)
{
    if (!Finite(v))
        return 0;
    return std::int32_t(Round(std::clamp(v, -2147483648.0, 2147483647.0)));
}

// ---------------------------------------------------------------- pixel helpers

std::int32_t PlotRight() { return WS.PlotLeft + WS.PlotWidth; }
std::int32_t PlotTop() { return WS.PlotBottom - WS.PlotHeight; }

void SetPixel(std::int32_t x, std::int32_t y, TColor c)
{
    Cv->Pixels[x][y] = c;
}

void DrawText(std::int32_t x, std::int32_t y, const QString& text)
{
    if (TextRecorder)
        TextRecorder->push_back(DrawnText{x, y, text});
    Cv->TextOut(x, y, text);
}

std::int32_t TextW(const QString& s)
{
    return Cv ? Cv->TextWidth(s) : 0;
}

void DrawPendingPixel()
{
    if (!Pending.Set)
        return;
    Pending.Set = false;
    if (Cv)
        SetPixel(Pending.X, Pending.Y, Pending.Color);
}

void SetPendingPixel(std::int32_t x, std::int32_t y, TColor c)
{
    Pending.Set = true;
    Pending.X = x;
    Pending.Y = y;
    Pending.Color = c;
}

void SaveCanvasTools()
{
    SavedPen.Assign(*Cv->Pen);
    SavedBrush.Assign(*Cv->Brush);
}

void RestoreCanvasTools()
{
    Cv->Pen->Assign(SavedPen);
    Cv->Brush->Assign(SavedBrush);
}

void DrawSymbol(const QueuedSymbol& s)
{
    const int x = s.X, y = s.Y;
    const int h = s.Size / 2, h2 = h + h / 2;
    if (s.Kind == 0 || h == 0) {
        // One pixel in the symbol's own colour.
        SetPixel(x, y, s.Color);
        return;
    }
    Cv->Pen->Width = s.PenWidth;
    Cv->Pen->Style = psSolid;
    Cv->Pen->Color = s.Color;
    switch (s.Fill) {
    case 0: Cv->Brush->Style = bsClear; break;
    case 1: Cv->Brush->Style = bsSolid; Cv->Brush->Color = BackColor; break;
    default: Cv->Brush->Style = bsSolid; Cv->Brush->Color = s.Color; break;
    }
    switch (s.Kind) {
    case 1: Cv->Ellipse(x - h, y - h, x + h + 1, y + h + 1); break;
    case 2: Cv->Rectangle(x - h, y - h, x + h + 1, y + h + 1); break;
    case 3: Cv->Polygon({Point(x - h, y + h), Point(x + h, y + h), Point(x, y - h2)}); break;
    case 4: Cv->Polygon({Point(x - h, y - h), Point(x + h, y - h), Point(x, y + h2)}); break;
    case 5: Cv->Polygon({Point(x - h, y + h), Point(x - h, y - h), Point(x + h2, y)}); break;
    case 6: Cv->Polygon({Point(x + h, y + h), Point(x + h, y - h), Point(x - h2, y)}); break;
    case 7:
        Cv->MoveTo(x, y - h);
        Cv->LineTo(x, y + h + 1);
        Cv->MoveTo(x + h, y);
        Cv->LineTo(x - h - 1, y);
        break;
    case 8:
        Cv->MoveTo(x - h + 1, y - h + 1);
        Cv->LineTo(x + h, y + h);
        Cv->MoveTo(x + h - 1, y - h + 1);
        Cv->LineTo(x - h, y + h);
        break;
    default: break;
    }
}

void DrawSymbolQueue()
{
    if (Queue.empty() || !Cv)
        return;
    SaveCanvasTools();
    for (const QueuedSymbol& s : Queue)
        DrawSymbol(s);
    Queue.clear();
    RestoreCanvasTools();
}

void FlushGraph()
{
    DrawPendingPixel();
    DrawSymbolQueue();
}

void QueueSymbol(std::int32_t x, std::int32_t y, std::int32_t kind, std::int32_t size, std::int32_t fill,
                 std::int32_t penWidth, TColor colour)
{
    if (kind < 0 || kind > 8 || fill < 0 || fill > 2)
        return;
    if (size == 0)
        size = Cv ? Cv->Font->Size : 8;
    LastStyle = QueuedSymbol{std::uint16_t(x), std::uint16_t(y), std::uint8_t(kind), std::uint8_t(size),
                             std::uint8_t(fill), std::uint8_t(penWidth), colour};
    if (size < 0)
        return;
    if (x < 0 || x > W - 1 || y < 0 || y > H - 1)
        return;
    if (!NoClipping && (x < WS.PlotLeft || x > PlotRight() || y < PlotTop() || y > WS.PlotBottom))
        return;
    Queue.push_back(LastStyle);
}

// ---------------------------------------------------------------- font

void ChooseGraphFont()
{
    const float s = FontScale * 8;
    TFont* f = Cv->Font;
    if (s < 7.5f) {
        f->Name = QStringLiteral("Small Fonts");
        f->Size = std::int32_t(Round(s));
    } else if (Screen.Fonts().contains(QStringLiteral("Arial"))) {
        f->Name = QStringLiteral("Arial");
        f->Size = std::int32_t(Round(s));
    } else {
        f->Name = QStringLiteral("MS Sans Serif");
        f->Size = s < 9 ? 8 : s < 11 ? 10 : s < 13 ? 12 : s < 16 ? 14 : s < 21 ? 18 : 24;
    }
    // A digit of no width would divide the tick count by zero.
    DigitW = std::max(Cv->TextWidth(QStringLiteral("0")), 1);
    DigitH = std::max(Cv->TextHeight(QStringLiteral("0")), 1);
}

// ---------------------------------------------------------------- transforms

std::int32_t ToPixel(double v, bool log, float mn, float mx, float lnRatio, std::int32_t origin, double len,
                     int sign)
{
    if (std::isnan(v))
        v = mn;
    double t;
    if (log) {
        if (v <= 0)
            v = mn / 2.0;
        t = std::log(v / mn) / lnRatio;
    } else {
        t = (v - mn) / (double(mx) - mn);
    }
    double p = origin + sign * t * len;
    if (std::isnan(p))
        p = origin;
    p = std::clamp(p, -32768.0, 32767.0);
    return std::int32_t(Round(p));
}

double ScaleValue(double t, const AxisScale& a)
{
    if (a.Logarithmic)
        return a.Minimum * std::exp(t * a.LnRatio);
    return a.Minimum + t * (double(a.Maximum) - a.Minimum);
}

// The mantissa rows of the logarithmic axes: bit m - 10 stands for m.
using MantissaRow = std::array<bool, 90>;

const std::array<MantissaRow, 5>& MantissaRows()
{
    static const std::array<MantissaRow, 5> rows = [] {
        std::array<MantissaRow, 5> r{};
        auto add = [&](int row, int m) { r[row][m - 10] = true; };
        add(0, 10);
        for (int m : {10, 20, 50})
            add(1, m);
        for (int m = 10; m <= 90; m += 10)
            add(2, m);
        for (int m : {10, 12, 14, 16, 18, 20, 25, 30, 35, 40, 45, 50, 60, 70, 80, 90})
            add(3, m);
        for (int m = 10; m <= 20; ++m)
            add(4, m);
        for (int m = 22; m <= 50; m += 2)
            add(4, m);
        for (int m = 55; m <= 95; m += 5)
            add(4, m);
        return r;
    }();
    return rows;
}

bool InRow(int row, int m)
{
    return row >= 0 && row < 5 && MantissaRows()[row][m - 10];
}

// Whether t is a whole multiple of step, allowing for the 32-bit step's rounding.
bool WholeMultiple(double t, double step)
{
    const double q = t / step;
    return std::abs(q - std::round(q)) < 1e-4;
}

void GridLineX(std::int32_t px, bool minor)
{
    if (px == WS.PlotLeft)
        return;
    const GraphArea& a = Slots[Current - 1];
    const std::int32_t mask = minor ? a.GridXMinor : a.GridXMajor;
    const TColor c = Cv->Pen->Color;
    for (std::int32_t r = PlotTop(); r <= WS.PlotBottom; ++r)
        if ((mask & r) == 0)
            SetPixel(px, r, c);
}

void GridLineY(std::int32_t py, bool minor)
{
    if (py == WS.PlotBottom)
        return;
    const GraphArea& a = Slots[Current - 1];
    const std::int32_t mask = minor ? a.GridYMinor : a.GridYMajor;
    const TColor c = Cv->Pen->Color;
    for (std::int32_t col = WS.PlotLeft; col <= PlotRight(); ++col)
        if ((mask & col) == 0)
            SetPixel(col, py, c);
}

// A tick loop ends once its pixel passes the plot; this bounds it for values that
// never get there (a step far below the range).
constexpr long long MaxTicks = 100000;

// Effective range of an axis under the zoom fractions lo, hi; a logarithmic range of
// less than a factor 2 continues as a linear axis.
void EffectiveRange(float Min, float Max, float lo, float hi, bool& log, float& eMin, float& eMax)
{
    if (log) {
        eMin = float(Min * std::pow(double(Max) / Min, double(lo)));
        eMax = float(Min * std::pow(double(Max) / Min, double(hi)));
        if (!(eMax / eMin >= 2))
            log = false;
    } else {
        eMin = float(Min + (double(Max) - Min) * lo);
        eMax = float(Min + (double(Max) - Min) * hi);
    }
}

// A range the axes can divide: finite ends in order, and a span that is finite in
// single precision too (-3e38..3e38 has none, and its tick values would overflow).
bool ValidRange(float Min, float Max)
{
    return Finite(Min) && Finite(Max) && Min < Max && Finite(Max - Min);
}

QString TickText(double t, std::int32_t decimals, bool labelStyle)
{
    return labelStyle ? FixedLabel(t, std::max(decimals, 0)) : ExpLabel(decimals, t);
}

// ---------------------------------------------------------------- clipping

void DrawSegment(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2)
{
    Cv->MoveTo(x1, y1);
    Cv->LineTo(x2, y2);
    if (Cv->Pen->Width <= 1 && x2 < PlotRight() && PlotTop() < y2 && y2 < WS.PlotBottom)
        SetPendingPixel(x2, y2, Cv->Pen->Color);
}

void ClipLine(std::int32_t x, std::int32_t y)
{
    std::int32_t x1 = LastX, y1 = LastY, x2 = x, y2 = y;
    LastX = x;
    LastY = y;
    const std::int32_t L = WS.PlotLeft, R = PlotRight(), T = PlotTop(), B = WS.PlotBottom;
    if (x1 > x2) {
        std::swap(x1, x2);
        std::swap(y1, y2);
    }
    auto inY = [&](std::int32_t v) { return T <= v && v <= B; };
    if (x1 > L && x2 < R && inY(y1) && inY(y2)) {
        DrawSegment(x1, y1, x2, y2);
        return;
    }
    if (x2 < L || x1 > R || (y1 < T && y2 < T) || (y1 > B && y2 > B))
        return;
    if (x1 == x2) {
        if (y1 == y2)
            return;
        if (y1 < T)
            y1 = T;
        else if (y1 > B)
            y1 = B;
        if (y2 < T)
            y2 = T - 1;
        else if (y2 > B)
            y2 = B + 1;
        DrawSegment(x1, y1, x2, y2);
        return;
    }
    if (x1 < L) {
        y1 = y1 + RoundI(double(L - x1) / double(x2 - x1) * double(y2 - y1));
        x1 = L;
    }
    if (x2 > R) {
        y2 = y2 + RoundI(double(R + 1 - x2) / double(x2 - x1) * double(y2 - y1));
        x2 = R + 1;
    }
    if ((y1 < T && y2 < T) || (y1 > B && y2 > B))
        return;
    if (inY(y1) && inY(y2)) {
        DrawSegment(x1, y1, x2, y2);
        return;
    }
    if (y2 > y1) {
        if (y1 < T) {
            x1 = x1 + RoundI(double(T - y1) / double(y2 - y1) * double(x2 - x1));
            y1 = T;
        }
        if (y2 > B) {
            x2 = x2 + RoundI(double(B + 1 - y2) / double(y2 - y1) * double(x2 - x1));
            y2 = B + 1;
        }
    } else {
        if (y2 < T) {
            x2 = x2 + RoundI(double(T - 1 - y2) / double(y2 - y1) * double(x2 - x1));
            y2 = T - 1;
        }
        if (y1 > B) {
            x1 = x1 + RoundI(double(B - y1) / double(y2 - y1) * double(x2 - x1));
            y1 = B;
        }
    }
    DrawSegment(x1, y1, x2, y2);
}

void LineToPixel(std::int32_t px, std::int32_t py)
{
    if (NoClipping) {
        Cv->LineTo(px, py);
        if (Cv->Pen->Width <= 1)
            SetPendingPixel(px, py, Cv->Pen->Color);
    } else {
        ClipLine(px, py);
    }
}

void MoveToPixel(std::int32_t px, std::int32_t py)
{
    if (NoClipping)
        Cv->MoveTo(px, py);
    else {
        LastX = px;
        LastY = py;
    }
}

// ---------------------------------------------------------------- mouse helpers

const AxisScale* CurrentY()
{
    if (Current < 1 || Current > 8 || CurrentYAxis < 1 || CurrentYAxis > 4)
        return nullptr;
    const AxisScale& a = Slots[Current - 1].YAxes[CurrentYAxis - 1];
    return a.Defined ? &a : nullptr;
}

void DrawCrosshair(std::int32_t X, std::int32_t Y)
{
    const AxisScale* ya = CurrentY();
    if (!ya || !Cv)
        return;
    const AxisScale& xa = Slots[Current - 1].XAxis;
    X = std::clamp(X, xa.PixelOrigin, xa.PixelOrigin + std::max(xa.PixelLength, 0));
    Y = std::clamp(Y, ya->PixelOrigin - std::max(ya->PixelLength, 0), ya->PixelOrigin);
    Cv->Pen->Mode = pmXor;
    Cv->Pen->Color = ColorToRGB(CrosshairColor) ^ ColorToRGB(BackColor);
    Cv->Pen->Width = 1;
    Cv->Pen->Style = psSolid;
    Cv->MoveTo(X, ya->PixelOrigin);
    Cv->LineTo(X, ya->PixelOrigin - ya->PixelLength);
    Cv->MoveTo(xa.PixelOrigin, Y);
    Cv->LineTo(xa.PixelOrigin + xa.PixelLength, Y);
    Cv->Pen->Mode = pmCopy;
    CrossX = X;
    CrossY = Y;
}

void DrawRubberBand(std::int32_t X, std::int32_t Y)
{
    if (!Cv)
        return;
    Cv->Pen->Mode = pmXor;
    Cv->Pen->Color = clWhite;
    Cv->Pen->Width = 1;
    Cv->Pen->Style = psSolid;
    Cv->MoveTo(AnchorX, AnchorY);
    Cv->LineTo(X, AnchorY);
    Cv->LineTo(X, Y);
    Cv->LineTo(AnchorX, Y);
    Cv->LineTo(AnchorX, AnchorY);
    Cv->Pen->Mode = pmCopy;
    Cv->Pen->Style = psSolid;
    CornerX = X;
    CornerY = Y;
}

void ApplyZoom()
{
    const AxisScale* ya = CurrentY();
    if (!ya)
        return;
    GraphArea& a = Slots[Current - 1];
    const std::int32_t xo = a.XAxis.PixelOrigin, xl = a.XAxis.PixelLength;
    const std::int32_t yo = ya->PixelOrigin, yl = ya->PixelLength;
    if (a.YMinSpan < 0.001f)
        a.YMinSpan = 0.001f;
    std::int32_t x0 = AnchorX, y0 = AnchorY, x1 = CornerX, y1 = CornerY;
    if (std::abs(x0 - x1) <= 1 && std::abs(y0 - y1) <= 1) {
        ResetZoom(Current);
        if (Box)
            Box->Repaint();
        return;
    }
    if (xl <= 0 || yl <= 0)
        return;
    if (x0 > x1)
        std::swap(x0, x1);
    if (y0 < y1)
        std::swap(y0, y1);
    const float fx0 = float(x0 - xo) / float(xl), fx1 = float(x1 - xo) / float(xl);
    const float fy0 = float(yo - y0) / float(yl), fy1 = float(yo - y1) / float(yl);
    const float xlow = a.ZoomXLow, xhigh = a.ZoomXHigh, ylow = a.ZoomYLow, yhigh = a.ZoomYHigh;
    float nxl = xlow + (xhigh - xlow) * fx0, nxh = xlow + (xhigh - xlow) * fx1;
    float nyl = ylow + (yhigh - ylow) * fy0, nyh = ylow + (yhigh - ylow) * fy1;
    // Both fractions of each pair are held in 0..1: a band wholly in the label
    // margin would otherwise leave low above high and an empty plot.
    nxl = std::clamp(nxl, 0.0f, 1.0f);
    nxh = std::clamp(nxh, 0.0f, 1.0f);
    nyl = std::clamp(nyl, 0.0f, 1.0f);
    nyh = std::clamp(nyh, 0.0f, 1.0f);
    if (nxh - nxl < a.XMinSpan) {
        nxl = (nxh + nxl) / 2 - a.XMinSpan / 2;
        nxh = nxl + a.XMinSpan;
    }
    if (nyh - nyl < a.YMinSpan) {
        nyl = (nyh + nyl) / 2 - a.YMinSpan / 2;
        nyh = nyl + a.YMinSpan;
    }
    a.ZoomXLow = nxl;
    a.ZoomXHigh = nxh;
    a.ZoomYLow = nyl;
    a.ZoomYHigh = nyh;
    StoreZoom(Current);
    if (Box)
        Box->Repaint();
}

} // namespace

// ---------------------------------------------------------------- set-up and areas

void InitGraph(TPaintBox* PaintBox, TColor BackColor_, TColor ForeColor_, float FontScale_)
{
    if (!PaintBox)
        return;
    if (Crosshair && Box)
        Box->Invalidate();
    Screen.SetCursor(crDefault);
    Crosshair = false;
    CrossX = CrossY = 0;
    Band = false;

    Box = PaintBox;
    Cv = PaintBox->Canvas;
    W = PaintBox->Width();
    H = PaintBox->Height();

    BackColor = BackColor_;
    ForeColor = ForeColor_;
    Cv->Brush->Color = BackColor;
    Cv->Brush->Style = bsSolid;
    Cv->Pen->Color = ForeColor;
    Cv->Pen->Style = psSolid;
    Cv->Pen->Width = 1;
    Cv->Pen->Mode = pmCopy;
    Cv->Rectangle(0, 0, W, H);

    FontScale = FontScale_ == 0 ? 1.0f : FontScale_;
    ChooseGraphFont();
    MajorTick = DigitW + 1;
    MinorTick = MajorTick / 2 + 1;

    const ZoomSet& zoom = BoxZoom(Box);
    for (int k = 0; k < 8; ++k) {
        GraphArea& a = Slots[k];
        a.GridXMajor = 4;
        a.GridXMinor = 7;
        a.GridYMajor = 4;
        a.GridYMinor = 7;
        a.Valid = false;
        a.ZoomXLow = zoom[k].XLow;
        a.ZoomXHigh = zoom[k].XHigh;
        a.ZoomYLow = zoom[k].YLow;
        a.ZoomYHigh = zoom[k].YHigh;
    }
    Count = 0;
    Current = 0;
    YReady = false;
    Queue.clear();
    Pending.Set = false;
}

void GraphWindow(std::int32_t X1, std::int32_t X2, std::int32_t Y1, std::int32_t Y2, std::int32_t Left,
                 std::int32_t Right, std::int32_t Top, std::int32_t Bottom, bool NoClip)
{
    if (!Cv)
        return;
    if (Count >= 8) {
        GraphValid = false;
        return;
    }
    FlushGraph();
    Count += 1;
    Current = Count;
    GraphArea& a = Slots[Current - 1];
    if (X1 > X2)
        std::swap(X1, X2);
    X1 = std::max(X1, 0);
    X2 = std::min(X2, 100);
    if (Y1 > Y2)
        std::swap(Y1, Y2);
    Y1 = std::max(Y1, 0);
    Y2 = std::min(Y2, 100);
    a.AreaLeft = RoundI(X1 / 100.0 * W);
    a.AreaRight = RoundI(X2 / 100.0 * W);
    a.AreaTop = RoundI(Y1 / 100.0 * H);
    a.AreaBottom = RoundI(Y2 / 100.0 * H);
    WS.PlotLeft = a.AreaLeft + Left;
    WS.PlotWidth = a.AreaRight - Right - WS.PlotLeft;
    WS.PlotBottom = a.AreaBottom - Bottom;
    WS.PlotHeight = WS.PlotBottom - (a.AreaTop + Top);
    GraphValid = WS.PlotWidth > 0 && WS.PlotHeight > 0;
    a.Valid = GraphValid;
    CrosshairColor = ForeColor;
    YMinSpanBuilding = 0;
    NoClipping = NoClip && a.ZoomXLow == 0 && a.ZoomXHigh == 1 && a.ZoomYLow == 0 && a.ZoomYHigh == 1;
    YReady = false;
    a.XAxis.Defined = false;
    for (AxisScale& y : a.YAxes)
        y.Defined = false;
    CurrentYAxis = 0;
    Cv->Pen->Width = 1;
    Cv->Pen->Style = psSolid;
    Cv->Brush->Color = BackColor;
    Cv->Brush->Style = bsSolid;
}

std::int32_t XToPixel(double V)
{
    return ToPixel(V, WS.XLog, WS.XMin, WS.XMax, WS.XLnRatio, WS.PlotLeft, WS.PlotWidth, +1);
}

std::int32_t YToPixel(double V)
{
    return ToPixel(V, WS.YLog, WS.YMin, WS.YMax, WS.YLnRatio, WS.PlotBottom, WS.PlotHeight, -1);
}

void PixelToData(std::int32_t X, std::int32_t Y, float& DX, float& DY)
{
    DX = 0;
    DY = 0;
    if (Current < 1 || Current > 8)
        return;
    const AxisScale& xa = Slots[Current - 1].XAxis;
    if (!xa.Defined || xa.PixelLength <= 0 || WS.PlotHeight <= 0)
        return;
    const std::int32_t c = std::clamp(X, 0, W);
    DX = float(ScaleValue(double(c - xa.PixelOrigin) / xa.PixelLength, xa));
    const std::int32_t r = std::clamp(Y, 0, H);
    AxisScale ya;
    ya.Logarithmic = WS.YLog;
    ya.Minimum = WS.YMin;
    ya.Maximum = WS.YMax;
    ya.LnRatio = WS.YLnRatio;
    DY = float(ScaleValue(double(WS.PlotBottom - r) / WS.PlotHeight, ya));
    if (!Finite(DX))
        DX = 0;
    if (!Finite(DY))
        DY = 0;
}

void ResetZoom(std::int32_t Slot)
{
    auto reset = [](std::int32_t k) {
        GraphArea& a = Slots[k - 1];
        a.ZoomXLow = 0;
        a.ZoomXHigh = 1;
        a.ZoomYLow = 0;
        a.ZoomYHigh = 1;
        StoreZoom(k);
    };
    if (Slot == 0)
        for (std::int32_t k = 1; k <= 8; ++k)
            reset(k);
    else if (Slot >= 1 && Slot <= 8)
        reset(Slot);
}

// ---------------------------------------------------------------- tick computations

TickStep FindTickStep(std::int32_t Len, std::int32_t N, float Min, float Max, float MinStep)
{
    TickStep r;
    if (N < 1)
        N = 1;
    if (Min > Max)
        std::swap(Min, Max);
    if (!ValidRange(Min, Max)) {
        // No span to divide: one unit step, so callers' loops still end.
        r.Step = std::max(1.0f, Finite(MinStep) ? MinStep : 1.0f);
        r.MinorStep = r.Step;
        return r;
    }
    float f = 1;
    for (int pass = 0; pass < 200; ++pass) {
        float s = (Max - Min) / (float(N) + 0.000001f) * f;
        float mag = 1;
        std::int32_t dec = 0;
        if (!(s > 0) || !Finite(s))
            s = 1;
        while (s >= 5) {
            s /= 10;
            mag *= 10;
            --dec;
        }
        while (s < 0.5f) {
            s *= 10;
            mag /= 10;
            ++dec;
        }
        if (s < 1) {
            r.Step = mag;
            r.MinorStep = mag / 5;
        } else if (s < 2) {
            r.Step = 2 * mag;
            r.MinorStep = mag / 2;
        } else {
            r.Step = 5 * mag;
            r.MinorStep = mag;
        }
        r.Decimals = dec;
        // Count the ticks that land on the axis (two are enough).
        auto pixel = [&](double t) { return Round((t - Min) / (double(Max) - Min) * Len); };
        int count = 0;
        for (long long k = Trunc(double(Min) / r.Step - 1), n = 0; n < MaxTicks && count < 2; ++k, ++n) {
            const double t = double(k) * r.Step;
            const long long p = pixel(t);
            if (p > Len)
                break;
            if (p >= 0)
                ++count;
        }
        r.Step = std::max(r.Step, MinStep);
        r.MinorStep = std::max(r.MinorStep, MinStep);
        if (count >= 2)
            break;
        f *= 0.8f;
    }
    return r;
}

std::int32_t LogTickDensity(std::int32_t Len, float Ratio)
{
    const double p = Len / std::log10(double(Ratio)) / FontScale;
    if (!(p >= 7))
        return 0;
    if (p >= 250)
        return 224;
    if (p >= 160)
        return 123;
    if (p >= 100)
        return 112;
    if (p >= 40)
        return 12;
    return 1;
}

QString DecadeLabel(std::int32_t E, std::int32_t Digit)
{
    QString s;
    switch (E) {
    case -2: s = QStringLiteral("0.01"); break;
    case -1: s = QStringLiteral("0.1"); break;
    case 0: s = QStringLiteral("1"); break;
    case 1: s = QStringLiteral("10"); break;
    case 2: s = QStringLiteral("100"); break;
    case 3: s = QStringLiteral("1000"); break;
    default: s = QStringLiteral("1E") + QString::number(E); break;
    }
    const int i = s.indexOf(QLatin1Char('1'));
    if (i >= 0)
        s[i] = QChar(u'0' + std::clamp(Digit, 0, 9));
    return s;
}

QString FixedLabel(double V, std::int32_t D)
{
    if (!Finite(V))
        V = 0;
    D = std::clamp(D, 0, 30);
    const QByteArray fmt = "%." + QByteArray::number(D) + "f";
    QString s = Format(fmt.constData(), V);
    // A value that rounds to zero is written without a sign.
    if (s.startsWith(QLatin1Char('-'))) {
        bool allZero = true;
        for (int i = 1; i < s.size(); ++i)
            if (s[i].isDigit() && s[i] != QLatin1Char('0'))
                allZero = false;
        if (allZero)
            s.remove(0, 1);
    }
    return s;
}

QString ExpLabel(std::int32_t D, double V)
{
    if (V == 0 || !Finite(V))
        return QStringLiteral("0");
    if (D <= -3) {
        for (int i = 0; i < -D; ++i)
            V /= 10;
        return FixedLabel(V, 0) + QStringLiteral("E") + QString::number(-D);
    }
    if (D <= 0)
        return FixedLabel(V, 0);
    if (std::abs(V) >= 0.01)
        return FixedLabel(V, D);
    int k = 0;
    do {
        V *= 10;
        ++k;
    } while (std::abs(V) <= 1 && k < 60);
    return FixedLabel(V, std::max(D - k, 0)) + QStringLiteral("E-") + QString::number(k);
}

std::int32_t StepDecimals(float A)
{
    const double a = std::abs(double(A));
    if (a == 0 || !Finite(a))
        return 99;
    const long long t = Trunc(std::log10(1.001 * a));
    return std::int32_t(a >= 1 ? -t : 1 - t);
}

// ---------------------------------------------------------------- axes

void XAxis(TColor Color, const QString& Caption, bool Grid, float Min, float Max, float MinStep, float MinSpan,
           bool Log, bool LabelStyle)
{
    FlushGraph();
    // A range that is empty, reversed or not finite gives no axis.
    XReady = GraphValid && Cv && Current >= 1 && ValidRange(Min, Max);
    if (!XReady)
        return;
    GraphArea& a = Slots[Current - 1];
    if (Min <= 0)
        Log = false;
    Cv->Pen->Color = Color;
    Cv->Font->Color = Color;
    Cv->Brush->Style = bsClear;
    const std::int32_t L = WS.PlotLeft, R = PlotRight(), B = WS.PlotBottom;
    Cv->MoveTo(L, B);
    Cv->LineTo(R + 1, B);

    float eMin, eMax;
    EffectiveRange(Min, Max, a.ZoomXLow, a.ZoomXHigh, Log, eMin, eMax);
    if (!ValidRange(eMin, eMax)) {
        // A zoom narrower than the float resolution of the range: show it whole.
        eMin = Min;
        eMax = Max;
        Log = Log && Max / Min >= 2;
    }
    WS.XMin = eMin;
    WS.XMax = eMax;
    WS.XLog = Log;
    if (Log) {
        a.XMinSpan = 0.001f;
        WS.XLnRatio = float(std::log(double(eMax) / eMin));
        const std::int32_t code = LogTickDensity(WS.PlotWidth, eMax / eMin);
        const int labelRow = code / 100, majorRow = code / 10 % 10, minorRow = code % 10;
        std::int32_t e = std::int32_t(Trunc(std::log10(double(eMin)))) - 1;
        for (int guard = 0; guard < 100 && XToPixel(std::pow(10.0, e)) <= R; ++guard, ++e) {
            for (int m = 10; m <= 99; ++m) {
                const double v = m * std::pow(10.0, e) / 10;
                const std::int32_t px = XToPixel(v);
                if (px < L || px > R)
                    continue;
                Cv->MoveTo(px, B);
                if (InRow(majorRow, m)) {
                    Cv->LineTo(px, B + MajorTick);
                    if (Grid)
                        GridLineX(px, false);
                } else if (InRow(minorRow, m)) {
                    Cv->LineTo(px, B + MinorTick);
                    if (Grid)
                        GridLineX(px, true);
                }
                if (InRow(labelRow, m) && m != 70 && m != 90) {
                    const QString text = DecadeLabel(e, std::int32_t(Round(m / 10.0)));
                    DrawText(px - TextW(text) / 2, B + MajorTick, text);
                }
            }
        }
    } else {
        a.XMinSpan = std::max(float(MinSpan / (double(Max) - Min)), 0.001f);
        WS.XLnRatio = 1;
        const std::int32_t cap = StepDecimals(MinStep);
        const std::int32_t n = WS.PlotWidth / (5 * DigitW);
        TickStep ts = FindTickStep(WS.PlotWidth, n, eMin, eMax, MinStep);
        ts.Decimals = std::min(ts.Decimals, cap);
        // Tick values are whole multiples of the step, so zero comes out exactly.
        long long k = Trunc(double(eMin) / ts.Step - 1);
        for (long long i = 0; i < MaxTicks; ++i, ++k) {
            const double t = double(k) * ts.Step;
            const std::int32_t px = XToPixel(t);
            if (px > R)
                break;
            if (px >= L) {
                Cv->MoveTo(px, B);
                Cv->LineTo(px, B + MajorTick);
                const QString text = TickText(t, ts.Decimals, LabelStyle);
                DrawText(px - TextW(text) / 2, B + MajorTick, text);
                if (Grid)
                    GridLineX(px, false);
            }
        }
        k = Trunc(double(eMin) / ts.MinorStep);
        for (long long i = 0; i < MaxTicks; ++i, ++k) {
            const double t = double(k) * ts.MinorStep;
            if (t > eMax)
                break;
            if (t >= eMin && !WholeMultiple(t, ts.Step)) {
                const std::int32_t px = XToPixel(t);
                Cv->MoveTo(px, B);
                Cv->LineTo(px, B + MinorTick);
                if (Grid)
                    GridLineX(px, true);
            }
        }
    }
    if (!Caption.isEmpty())
        DrawText(L + WS.PlotWidth / 2 - TextW(Caption) / 2, B + MajorTick + DigitH, Caption);

    a.XAxis.Defined = true;
    a.XAxis.Logarithmic = Log;
    a.XAxis.Minimum = eMin;
    a.XAxis.Maximum = eMax;
    a.XAxis.LnRatio = WS.XLnRatio;
    a.XAxis.PixelOrigin = L;
    a.XAxis.PixelLength = WS.PlotWidth;
}

void YAxis(TColor Color, const QString& Caption, std::int32_t AxisNo, float Min, float Max, float MinStep,
           float MinSpan, bool Grid, bool Log, bool LabelStyle)
{
    FlushGraph();
    YReady = XReady && Cv && Current >= 1 && ValidRange(Min, Max) && AxisNo >= 1 && AxisNo <= 4;
    if (!YReady)
        return;
    GraphArea& a = Slots[Current - 1];
    if (Min <= 0)
        Log = false;
    const std::int32_t cap = StepDecimals(MinStep);
    Cv->Pen->Color = Color;
    Cv->Font->Color = Color;
    Cv->Brush->Style = bsClear;
    const std::int32_t L = WS.PlotLeft, R = PlotRight(), T = PlotTop(), B = WS.PlotBottom;
    std::int32_t x, d;
    switch (AxisNo) {
    case 1: x = L; d = -1; break;
    case 2: x = L + 1; d = +1; break;
    case 3: x = R - 1; d = -1; break;
    default: x = R; d = +1; break;
    }
    Cv->MoveTo(x, B);
    Cv->LineTo(x, T - 1);

    float eMin, eMax;
    EffectiveRange(Min, Max, a.ZoomYLow, a.ZoomYHigh, Log, eMin, eMax);
    if (!ValidRange(eMin, eMax)) {
        eMin = Min;
        eMax = Max;
        Log = Log && Max / Min >= 2;
    }
    WS.YMin = eMin;
    WS.YMax = eMax;
    WS.YLog = Log;

    std::int32_t widest = 0;
    auto label = [&](std::int32_t py, const QString& text) {
        const std::int32_t w = TextW(text);
        widest = std::max(widest, w);
        const std::int32_t col = (AxisNo == 1 || AxisNo == 3) ? x + d * MajorTick - w : x + d * MajorTick + 1;
        DrawText(col, py - DigitH / 2, text);
    };

    if (Log) {
        YMinSpanBuilding = 0.001f;
        WS.YLnRatio = float(std::log(double(eMax) / eMin));
        const std::int32_t code = LogTickDensity(WS.PlotHeight, eMax / eMin);
        const int labelRow = code / 100, majorRow = code / 10 % 10, minorRow = code % 10;
        std::int32_t e = std::int32_t(Trunc(std::log10(double(eMin)))) - 1;
        for (int guard = 0; guard < 100 && YToPixel(std::pow(10.0, e)) >= T; ++guard, ++e) {
            for (int m = 10; m <= 99; ++m) {
                const std::int32_t py = YToPixel(m * std::pow(10.0, e) / 10);
                if (py < T || py > B)
                    continue;
                Cv->MoveTo(x, py);
                if (InRow(majorRow, m)) {
                    Cv->LineTo(x + d * MajorTick, py);
                    if (Grid)
                        GridLineY(py, false);
                } else if (InRow(minorRow, m)) {
                    Cv->LineTo(x + d * MinorTick, py);
                    if (Grid)
                        GridLineY(py, true);
                }
                if (InRow(labelRow, m))
                    label(py, DecadeLabel(e, std::int32_t(Round(m / 10.0))));
            }
        }
    } else {
        WS.YLnRatio = 1;
        if (YMinSpanBuilding == 0)
            YMinSpanBuilding = float(MinSpan / (double(Max) - Min));
        const std::int32_t n = WS.PlotHeight / (2 * DigitH);
        TickStep ts = FindTickStep(WS.PlotHeight, n, eMin, eMax, MinStep);
        ts.Decimals = std::min(ts.Decimals, cap);
        long long k = Trunc(double(eMin) / ts.Step - 1);
        for (long long i = 0; i < MaxTicks; ++i, ++k) {
            const double t = double(k) * ts.Step;
            const std::int32_t py = YToPixel(t);
            if (py < T)
                break;
            if (py <= B) {
                Cv->MoveTo(x, py);
                Cv->LineTo(x + d * MajorTick, py);
                label(py, TickText(t, ts.Decimals, LabelStyle));
                if (Grid || k == 0)
                    GridLineY(py, false);
            }
        }
        k = Trunc(double(eMin) / ts.MinorStep);
        for (long long i = 0; i < MaxTicks; ++i, ++k) {
            const double t = double(k) * ts.MinorStep;
            const std::int32_t py = YToPixel(t);
            if (py < T)
                break;
            if (py <= B && !WholeMultiple(t, ts.Step)) {
                Cv->MoveTo(x, py);
                Cv->LineTo(x + d * MinorTick, py);
                if (Grid)
                    GridLineY(py, true);
            }
        }
    }

    if (!Caption.isEmpty()) {
        std::int32_t row = T - DigitH - DigitH / 2;
        QString text = Caption;
        if (text.startsWith(QLatin1Char('@'))) {
            row -= DigitH;
            text = text.mid(1, 99);
        }
        const std::int32_t w = TextW(text);
        std::int32_t col;
        switch (AxisNo) {
        case 1: col = std::max(L - widest - MajorTick, 0); break;
        case 2: col = L; break;
        case 3: col = R - w; break;
        default: col = std::min(R + widest + MajorTick, W) - w; break;
        }
        DrawText(col, row, text);
    }

    AxisScale& ya = a.YAxes[AxisNo - 1];
    ya.Defined = true;
    ya.Logarithmic = Log;
    ya.Minimum = eMin;
    ya.Maximum = eMax;
    ya.LnRatio = WS.YLnRatio;
    ya.PixelOrigin = B;
    ya.PixelLength = WS.PlotHeight;
    a.YMinSpan = YMinSpanBuilding;
    CurrentYAxis = AxisNo;
    Cv->Pen->Mode = pmCopy;
}

// ---------------------------------------------------------------- drawing in data units

void PlotMove(float X, float Y)
{
    DrawPendingPixel();
    // A point that is not a number has no pixel: it is left out.
    if (!YReady || std::isnan(X) || std::isnan(Y))
        return;
    MoveToPixel(XToPixel(X), YToPixel(Y));
}

void PlotLine(float X, float Y)
{
    if (!YReady || std::isnan(X) || std::isnan(Y))
        return;
    LineToPixel(XToPixel(X), YToPixel(Y));
}

void PlotPolyline(std::int32_t Count, const std::function<void(std::int32_t, float&, float&)>& Point)
{
    if (Count <= 0 || !Point)
        return;
    DrawPendingPixel();
    if (!YReady)
        return;
    // One column's run: its first, lowest, highest and last pixels in the order met.
    bool open = false, started = false;
    std::int32_t col = 0, firstY = 0, lastY = 0, lowY = 0, highY = 0;
    long long lowAt = 0, highAt = 0;
    auto drawTo = [&](std::int32_t px, std::int32_t py) {
        if (!started) {
            MoveToPixel(px, py);
            started = true;
        } else {
            LineToPixel(px, py);
        }
    };
    auto close = [&] {
        if (!open)
            return;
        drawTo(col, firstY);
        if (lowAt <= highAt) {
            drawTo(col, lowY);
            drawTo(col, highY);
        } else {
            drawTo(col, highY);
            drawTo(col, lowY);
        }
        drawTo(col, lastY);
        open = false;
    };
    for (std::int32_t i = 0; i < Count; ++i) {
        float x = 0, y = 0;
        Point(i, x, y);
        if (std::isnan(x) || std::isnan(y))
            continue;
        const std::int32_t px = XToPixel(x), py = YToPixel(y);
        if (open && px == col) {
            lastY = py;
            if (py < lowY) {
                lowY = py;
                lowAt = i;
            }
            if (py > highY) {
                highY = py;
                highAt = i;
            }
            continue;
        }
        close();
        open = true;
        col = px;
        firstY = lastY = lowY = highY = py;
        lowAt = highAt = i;
    }
    close();
}

void PlotSymbol(std::int32_t Kind, std::int32_t Size, std::int32_t Fill)
{
    if (!Cv)
        return;
    std::int32_t x = LastX, y = LastY;
    if (NoClipping) {
        x = Cv->PenPos.X;
        y = Cv->PenPos.Y;
    }
    QueueSymbol(x, y, Kind, Size, Fill, Cv->Pen->Width, Cv->Pen->Color);
}

// ---------------------------------------------------------------- legend

namespace {

std::int32_t LegendIW = 20, LegendTH = 1;

void DrawLegendText(std::int32_t x, std::int32_t y, const LegendItem& item, bool centred)
{
    Cv->Font->Color = item.Color;
    Cv->Brush->Style = bsClear;
    Cv->TextOut(centred ? x - Cv->TextWidth(item.Text) / 2 : x, y, item.Text);
}

void DrawLegendSample(std::int32_t x, std::int32_t y, const LegendItem& item)
{
    const std::int32_t xm = x + LegendIW / 2, ym = y + LegendTH / 2;
    switch (item.Kind) {
    case 0:
        Cv->Pen->Color = item.Color;
        Cv->Pen->Width = item.Width;
        Cv->Pen->Style = TPenStyle(std::clamp(item.Style, 0, int(psInsideFrame)));
        Cv->MoveTo(x, ym);
        Cv->LineTo(x + LegendIW, ym);
        break;
    case 1:
        Cv->Brush->Color = item.Color;
        Cv->Brush->Style = TBrushStyle(std::clamp(item.Style, 0, int(bsDiagCross)));
        Cv->Pen->Style = psClear;
        Cv->Rectangle(xm - 10, y + 1, xm + 11, y + LegendTH);
        break;
    default: {
        QueuedSymbol s;
        s.X = std::uint16_t(xm);
        s.Y = std::uint16_t(ym);
        s.Kind = std::uint8_t(item.Style);
        s.Size = std::uint8_t(Cv->Font->Size);
        s.Fill = std::uint8_t(item.Fill);
        s.PenWidth = std::uint8_t(item.Width);
        s.Color = item.Color;
        DrawSymbol(s);
        Cv->Pen->Width = 1;
        Cv->Pen->Color = item.Color;
        if (item.Kind == 3 && item.Fill == 0 && item.Style >= 1 && item.Style <= 6)
            Cv->Ellipse(xm - 1, ym - 1, xm + 2, ym + 2);
        break;
    }
    }
}

void DrawLegendItem(std::int32_t x, std::int32_t y, const LegendItem& item, bool below)
{
    if (!below) {
        DrawLegendSample(x, y, item);
        DrawLegendText(x + LegendIW + 4, y, item, false);
    } else {
        DrawLegendSample(x - LegendIW / 2, y, item);
        DrawLegendText(x, y + LegendTH, item, true);
    }
}

void ClearLegend()
{
    Legend.clear();
}

} // namespace

void AddLegendEntry(std::int32_t Kind, const QString& Text)
{
    if (Kind < 0 || Kind > 3 || !Cv)
        return;
    TColor colour = Kind == 0 ? Cv->Pen->Color : Kind == 1 ? Cv->Brush->Color : LastStyle.Color;
    if (ColorToRGB(colour) == ColorToRGB(BackColor))
        return;
    for (const LegendItem& e : Legend)
        if (e.Text == Text && e.Kind == Kind)
            return;
    LegendItem item;
    item.Text = Text;
    item.Color = colour;
    item.Kind = Kind;
    if (Kind == 0) {
        item.Width = Cv->Pen->Width;
        item.Style = Cv->Pen->Style;
    } else if (Kind == 1) {
        item.Style = Cv->Brush->Style;
    } else {
        item.Width = LastStyle.PenWidth;
        item.Style = LastStyle.Kind;
        item.Fill = LastStyle.Fill;
    }
    Legend.push_back(item);
}

void DrawLegend(std::int32_t Style, std::int32_t X, std::int32_t Y, std::int32_t HAlign, std::int32_t VAlign,
                std::int32_t MinWidth, std::int32_t MinHeight, std::int32_t ItemWidth, bool Frame)
{
    const std::int32_t n = std::int32_t(Legend.size());
    if (n == 0 || Style < 0 || Style > 3 || !Cv)
        return;
    SaveCanvasTools();
    const std::int32_t th = DigitH;
    LegendTH = th;
    std::int32_t tw = 0;
    for (const LegendItem& e : Legend)
        tw = std::max(tw, Cv->TextWidth(e.Text));
    std::int32_t iw = std::max(ItemWidth, 20);
    const bool below = Style & 1, stacked = Style & 2;
    std::int32_t cell, rowH, textOffset;
    if (below) {
        cell = std::max(iw, tw);
        iw = cell;
        rowH = 2 * th;
        textOffset = cell / 2;
    } else {
        cell = tw + iw + 4;
        rowH = th;
        textOffset = 0;
    }
    LegendIW = iw;
    std::int32_t natW, natH;
    if (!stacked) {
        natW = (cell + 6) * n + 6;
        natH = rowH + 2;
    } else {
        natW = cell + 12;
        natH = n * rowH + 2;
    }
    const std::int32_t bw = std::max(MinWidth, natW), bh = std::max(MinHeight, natH);
    if (HAlign == 0)
        X -= bw / 2;
    else if (HAlign == -1)
        X -= bw;
    if (VAlign == 0)
        Y -= bh / 2;
    else if (VAlign == -1)
        Y -= bh;
    if (Frame) {
        Cv->Pen->Color = ForeColor;
        Cv->Pen->Style = psSolid;
        Cv->Brush->Color = BackColor;
        Cv->Brush->Style = bsSolid;
        Cv->Rectangle(X, Y, X + bw, Y + bh + 1);
    }
    for (std::int32_t i = 0; i < n; ++i) {
        if (!stacked) {
            const std::int32_t yo = (bh - rowH) / 2;
            const double gap = double(bw - cell * n) / (n + 1);
            DrawLegendItem(X + RoundI((cell + gap) * i + gap) + textOffset, Y + yo, Legend[i], below);
        } else {
            const std::int32_t xo = (bw - cell) / 2 + textOffset;
            const double gap = double(bh - 2 - rowH * n) / (n + 1);
            DrawLegendItem(X + xo, Y + RoundI((rowH + gap) * i + gap) + 1, Legend[i], below);
        }
    }
    Cv->Pen->Width = 1;
    RestoreCanvasTools();
    ClearLegend();
}

// ---------------------------------------------------------------- mouse

namespace {

// Whether a mouse event belongs to the bound paint box. An event forwarded from the
// handler of a box that another window's paint has since rebound would otherwise act
// on that window's areas, draw its crosshair there and zoom that window; a press
// paints its own box again first, which binds the library to it. Events from outside
// a paint box's handler are taken as the bound box's.
bool MouseBoxBound(bool press)
{
    TPaintBox* sender = TPaintBox::MouseSender();
    if (!sender || sender == Box)
        return true;
    if (press)
        sender->Repaint();
    return sender == Box;
}

} // namespace

void GraphMouseDown(TMouseButton Button, TShiftState Shift, std::int32_t X, std::int32_t Y)
{
    if (!MouseBoxBound(true) || !Cv)
        return;
    if (!(Crosshair && !Band)) {
        Current = 0;
        for (std::int32_t k = 1; k <= Count; ++k) {
            const GraphArea& a = Slots[k - 1];
            if (a.Valid && a.AreaLeft <= X && X <= a.AreaRight && a.AreaTop <= Y && Y <= a.AreaBottom)
                Current = k;
        }
        if (Current == 0)
            return;
        const GraphArea& a = Slots[Current - 1];
        CurrentYAxis = 0;
        for (std::int32_t n = 1; n <= 4 && CurrentYAxis == 0; ++n)
            if (a.YAxes[n - 1].Defined)
                CurrentYAxis = n;
        if (CurrentYAxis == 0 || !a.XAxis.Defined)
            return;
    }
    const AxisScale* ya = CurrentY();
    if (!ya)
        return;
    const AxisScale& xa = Slots[Current - 1].XAxis;
    if (Button == mbLeft) {
        if (Shift.Contains(ssCtrl)) {
            Band = true;
            AnchorX = X;
            AnchorY = Y;
            DrawRubberBand(X, Y);
        } else if (xa.PixelOrigin < X && X < xa.PixelOrigin + xa.PixelLength &&
                   ya->PixelOrigin - ya->PixelLength < Y && Y < ya->PixelOrigin) {
            Crosshair = true;
            DrawCrosshair(X, Y);
            Screen.SetCursor(crNone);
        }
    } else if (Button == mbRight && Crosshair) {
        DrawCrosshair(CrossX, CrossY);
        const GraphArea& a = Slots[Current - 1];
        for (int step = 0; step < 4; ++step) {
            CurrentYAxis = CurrentYAxis % 4 + 1;
            if (a.YAxes[CurrentYAxis - 1].Defined)
                break;
        }
        DrawCrosshair(CrossX, CrossY);
    }
}

void GraphMouseMove(TShiftState Shift, std::int32_t X, std::int32_t Y)
{
    if (!Shift.Contains(ssLeft) || !MouseBoxBound(false))
        return;
    if (Crosshair) {
        DrawCrosshair(CrossX, CrossY);
        DrawCrosshair(X, Y);
    }
    if (Band) {
        DrawRubberBand(CornerX, CornerY);
        DrawRubberBand(X, Y);
    }
}

void GraphMouseUp(TMouseButton Button, TShiftState Shift, std::int32_t, std::int32_t)
{
    if (Button != mbLeft || !MouseBoxBound(false))
        return;
    if (Crosshair) {
        DrawCrosshair(CrossX, CrossY);
        Crosshair = false;
        CrossX = CrossY = 0;
        Screen.SetCursor(crDefault);
    }
    if (Band) {
        DrawRubberBand(CornerX, CornerY);
        Band = false;
        if (Shift.Contains(ssCtrl))
            ApplyZoom();
    }
}

// ---------------------------------------------------------------- state views

const GraphArea& GraphSlot(std::int32_t Slot)
{
    return Slots[std::clamp(Slot, 1, 8) - 1];
}
std::int32_t CurrentGraph() { return Current; }
std::int32_t GraphCount() { return Count; }
std::int32_t CurrentYAxisNumber() { return CurrentYAxis; }
std::int32_t DigitWidth() { return DigitW; }
std::int32_t DigitHeight() { return DigitH; }
const std::vector<QueuedSymbol>& SymbolQueue() { return Queue; }
const QueuedSymbol& LastSymbolStyle() { return LastStyle; }
const std::vector<LegendItem>& LegendList() { return Legend; }
bool PendingEndPixel(std::int32_t& X, std::int32_t& Y)
{
    X = Pending.X;
    Y = Pending.Y;
    return Pending.Set;
}
bool CrosshairOn() { return Crosshair; }
bool BandOn() { return Band; }
void RecordAxisTexts(std::vector<DrawnText>* recorder)
{
    TextRecorder = recorder;
}
