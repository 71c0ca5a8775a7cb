#include "Canvas.h"

#include <QCursor>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <algorithm>
#include <cmath>
#include <cstdlib>

// ---------------------------------------------------------------- raster operations

std::uint32_t ApplyRop3(std::uint32_t rop, std::uint32_t p, std::uint32_t s, std::uint32_t d)
{
    const unsigned code = (rop >> 16) & 0xFF;
    std::uint32_t r = 0;
    // Bit i of the operation byte is the result where pattern, source and
    // destination bits are the bits 2, 1 and 0 of i.
    for (unsigned i = 0; i < 8; ++i) {
        if (!(code & (1u << i)))
            continue;
        const std::uint32_t tp = (i & 4) ? p : ~p;
        const std::uint32_t ts = (i & 2) ? s : ~s;
        const std::uint32_t td = (i & 1) ? d : ~d;
        r |= tp & ts & td;
    }
    return 0xFF000000u | (r & 0x00FFFFFFu);
}

// ---------------------------------------------------------------- canvas

TCanvasPixels::Pixel::operator TColor() const
{
    std::uint32_t p;
    if (!c_->GetPixelRGB(x_, y_, p))
        return clNone;
    return PixelToColor(p);
}

TCanvasPixels::Pixel& TCanvasPixels::Pixel::operator=(TColor color)
{
    c_->SetPixelRGB(x_, y_, ColorToPixel(color));
    return *this;
}

TCanvas::TCanvas(QImage* image) : Pen(&pen_), Brush(&brush_), Font(&font_), image_(image) {}

void TCanvas::Changed()
{
    if (OnChange)
        OnChange();
}

void TCanvas::SetPixelRGB(int x, int y, std::uint32_t pixel)
{
    if (x < 0 || y < 0 || x >= image_->width() || y >= image_->height())
        return;
    reinterpret_cast<std::uint32_t*>(image_->scanLine(y))[x] = pixel | 0xFF000000u;
    Changed();
}

bool TCanvas::GetPixelRGB(int x, int y, std::uint32_t& pixel) const
{
    if (x < 0 || y < 0 || x >= image_->width() || y >= image_->height())
        return false;
    pixel = reinterpret_cast<const std::uint32_t*>(image_->constScanLine(y))[x];
    return true;
}

inline void TCanvas::PlotPen(int x, int y, std::uint32_t p)
{
    if (unsigned(x) >= unsigned(image_->width()) || unsigned(y) >= unsigned(image_->height()))
        return;
    std::uint32_t* px = reinterpret_cast<std::uint32_t*>(image_->scanLine(y)) + x;
    *px = pen_.Mode == pmCopy ? p : ApplyPenMode(pen_.Mode, p, *px);
}

void TCanvas::MoveTo(int X, int Y)
{
    PenPos = TPoint{X, Y};
    dashPhase_ = 0;
}

namespace {

// On/off run lengths of the one-pixel pen styles.
std::span<const int> DashPattern(TPenStyle s)
{
    static const int dash[] = {18, 6};
    static const int dot[] = {3, 3};
    static const int dashDot[] = {9, 6, 3, 6};
    static const int dashDotDot[] = {9, 3, 3, 3, 3, 3};
    switch (s) {
    case psDash: return dash;
    case psDot: return dot;
    case psDashDot: return dashDot;
    case psDashDotDot: return dashDotDot;
    default: return {};
    }
}

bool DashOn(std::span<const int> pat, unsigned phase, bool& on)
{
    int total = 0;
    for (int v : pat)
        total += v;
    int pos = int(phase % unsigned(total));
    for (size_t i = 0; i < pat.size(); ++i) {
        if (pos < pat[i]) {
            on = (i % 2) == 0;
            return true;
        }
        pos -= pat[i];
    }
    on = true;
    return true;
}

} // namespace

// Bresenham from (x0, y0) towards (x1, y1); the end pixel only when lastPixel.
void TCanvas::ThinLine(int x0, int y0, int x1, int y1, bool lastPixel)
{
    const std::uint32_t p = ColorToPixel(pen_.Color);
    const std::span<const int> pat = DashPattern(pen_.Style);
    const bool gapsFilled = !pat.empty() && brush_.Style != bsClear;
    const std::uint32_t gap = ColorToPixel(brush_.Color);
    const int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int n = std::max(dx, dy) + (lastPixel ? 1 : 0);
    int err = dx - dy;
    int x = x0, y = y0;
    for (; n > 0; --n) {
        if (pat.empty()) {
            PlotPen(x, y, p);
        } else {
            bool on;
            DashOn(pat, dashPhase_++, on);
            if (on)
                PlotPen(x, y, p);
            else if (gapsFilled)
                PlotPen(x, y, gap);
        }
        const int e2 = 2 * err;
        if (e2 > -dy) {
            err -= dy;
            x += sx;
        }
        if (e2 < dx) {
            err += dx;
            y += sy;
        }
    }
}

namespace {

// Offsets of the pixels a pen of width w covers around one point of its line.
const std::vector<TPoint>& PenDisc(int w)
{
    static std::vector<std::vector<TPoint>> cache(64);
    const int cw = std::clamp(w, 1, 63);
    std::vector<TPoint>& d = cache[cw];
    if (d.empty()) {
        const int lo = -((cw - 1) / 2), hi = lo + cw - 1;
        const double c = (lo + hi) / 2.0, r2 = (cw / 2.0) * (cw / 2.0) + 0.01;
        for (int y = lo; y <= hi; ++y)
            for (int x = lo; x <= hi; ++x)
                if ((x - c) * (x - c) + (y - c) * (y - c) <= r2 || cw <= 3)
                    d.push_back(TPoint{x, y});
    }
    return d;
}

} // namespace

// A wide pen covers both ends (round caps, as the framework's wide pens do).
void TCanvas::WideLine(int x0, int y0, int x1, int y1)
{
    const std::uint32_t p = ColorToPixel(pen_.Color);
    const std::vector<TPoint>& disc = PenDisc(pen_.Width);
    const int reach = (std::clamp(pen_.Width, 1, 63) + 1) / 2 + 1;
    const int bx0 = std::max(std::min(x0, x1) - reach, 0);
    const int by0 = std::max(std::min(y0, y1) - reach, 0);
    const int bx1 = std::min(std::max(x0, x1) + reach, image_->width() - 1);
    const int by1 = std::min(std::max(y0, y1) + reach, image_->height() - 1);
    if (bx0 > bx1 || by0 > by1)
        return;
    const bool direct = pen_.Mode == pmCopy;
    // Other modes mark coverage first so that each pixel takes the mode once.
    std::vector<std::uint8_t> mask;
    const int mw = bx1 - bx0 + 1;
    if (!direct)
        mask.assign(size_t(mw) * size_t(by1 - by0 + 1), 0);
    const int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int err = dx - dy;
    int x = x0, y = y0;
    // The rows are found from the image's start once per line: asking the image for a
    // row per stamped pixel cost more than the stamping on long traces.
    uchar* const bits = direct ? image_->bits() : nullptr;
    const qsizetype rowBytes = image_->bytesPerLine();
    for (int n = std::max(dx, dy) + 1; n > 0; --n) {
        for (const TPoint& o : disc) {
            const int px = x + o.X, py = y + o.Y;
            if (px < bx0 || px > bx1 || py < by0 || py > by1)
                continue;
            if (direct)
                reinterpret_cast<std::uint32_t*>(bits + py * rowBytes)[px] = p;
            else
                mask[size_t(py - by0) * size_t(mw) + size_t(px - bx0)] = 1;
        }
        const int e2 = 2 * err;
        if (e2 > -dy) {
            err -= dy;
            x += sx;
        }
        if (e2 < dx) {
            err += dx;
            y += sy;
        }
    }
    if (!direct) {
        for (int py = by0; py <= by1; ++py) {
            std::uint32_t* row = reinterpret_cast<std::uint32_t*>(image_->scanLine(py));
            const std::uint8_t* m = mask.data() + size_t(py - by0) * size_t(mw);
            for (int px = bx0; px <= bx1; ++px)
                if (m[px - bx0])
                    row[px] = ApplyPenMode(pen_.Mode, p, row[px]);
        }
    }
}

void TCanvas::LineTo(int X, int Y)
{
    const TPoint from = PenPos;
    PenPos = TPoint{X, Y};
    if (pen_.Style == psClear || (from.X == X && from.Y == Y && pen_.Width <= 1))
        return;
    if (pen_.Width <= 1)
        ThinLine(from.X, from.Y, X, Y, false);
    else
        WideLine(from.X, from.Y, X, Y);
    Changed();
}

void TCanvas::Polyline(std::span<const TPoint> points)
{
    if (points.empty())
        return;
    const TPoint keep = PenPos;
    MoveTo(points[0].X, points[0].Y);
    for (size_t i = 1; i < points.size(); ++i)
        LineTo(points[i].X, points[i].Y);
    PenPos = keep;
}

void TCanvas::FillSpan(int x0, int x1, int y, std::uint32_t p, TPenMode mode)
{
    if (y < 0 || y >= image_->height())
        return;
    x0 = std::max(x0, 0);
    x1 = std::min(x1, image_->width() - 1);
    std::uint32_t* row = reinterpret_cast<std::uint32_t*>(image_->scanLine(y));
    if (mode == pmCopy) {
        std::fill(row + x0, row + std::max(x1 + 1, x0), p);
        return;
    }
    for (int x = x0; x <= x1; ++x)
        row[x] = ApplyPenMode(mode, p, row[x]);
}

namespace {

Qt::BrushStyle QtHatch(TBrushStyle s)
{
    switch (s) {
    case bsHorizontal: return Qt::HorPattern;
    case bsVertical: return Qt::VerPattern;
    case bsFDiagonal: return Qt::BDiagPattern;
    case bsBDiagonal: return Qt::FDiagPattern;
    case bsCross: return Qt::CrossPattern;
    case bsDiagCross: return Qt::DiagCrossPattern;
    default: return Qt::SolidPattern;
    }
}

QPen QtPen(const TPen& pen)
{
    if (pen.Style == psClear)
        return QPen(Qt::NoPen);
    QPen p(ColorToQColor(pen.Color));
    p.setWidth(std::max(pen.Width, 1));
    p.setCapStyle(Qt::RoundCap);
    p.setJoinStyle(Qt::RoundJoin);
    if (pen.Width <= 1) {
        switch (pen.Style) {
        case psDash: p.setStyle(Qt::DashLine); break;
        case psDot: p.setStyle(Qt::DotLine); break;
        case psDashDot: p.setStyle(Qt::DashDotLine); break;
        case psDashDotDot: p.setStyle(Qt::DashDotDotLine); break;
        default: break;
        }
    }
    return p;
}

QBrush QtBrush(const TBrush& brush)
{
    if (brush.Style == bsClear)
        return QBrush(Qt::NoBrush);
    return QBrush(ColorToQColor(brush.Color), QtHatch(brush.Style));
}

} // namespace

namespace {

// The pixels of a one-pixel line from (x0, y0) towards (x1, y1), the end left out.
template <class Plot>
void LinePixels(int x0, int y0, int x1, int y1, Plot&& plot)
{
    const int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int err = dx - dy;
    int x = x0, y = y0;
    for (int n = std::max(dx, dy); n > 0; --n) {
        plot(x, y);
        const int e2 = 2 * err;
        if (e2 > -dy) {
            err -= dy;
            x += sx;
        }
        if (e2 < dx) {
            err += dx;
            y += sy;
        }
    }
}

} // namespace

void TCanvas::DrawShape(const QRect& bounds, bool usesPen, bool usesBrush,
                        const std::function<void(QPainter&)>& draw, std::span<const TPoint> thinOutline)
{
    // A one-pixel outline through given vertices is drawn with the line rule (every
    // vertex painted, as a closed run of LineTo); Qt's aliased stroke drops corners.
    const bool ownOutline = usesPen && !thinOutline.empty() && pen_.Width <= 1 && pen_.Style != psClear;
    const QPen qpen = usesPen && !ownOutline ? QtPen(pen_) : QPen(Qt::NoPen);
    const QBrush qbrush = usesBrush ? QtBrush(brush_) : QBrush(Qt::NoBrush);
    if (image_->isNull() || (qpen.style() == Qt::NoPen && qbrush.style() == Qt::NoBrush && !ownOutline))
        return;
    const std::uint32_t penPixel = ColorToPixel(pen_.Color);
    auto outline = [&](auto&& plot) {
        for (size_t i = 0; i < thinOutline.size(); ++i) {
            const TPoint& a = thinOutline[i];
            const TPoint& b = thinOutline[(i + 1) % thinOutline.size()];
            LinePixels(a.X, a.Y, b.X, b.Y, plot);
        }
    };
    if (pen_.Mode == pmCopy) {
        {
            QPainter g(image_);
            g.setRenderHint(QPainter::Antialiasing, false);
            g.setPen(qpen);
            g.setBrush(qbrush);
            draw(g);
        }
        if (ownOutline)
            outline([&](int x, int y) { PlotPen(x, y, penPixel); });
        return;
    }
    const QRect clip = bounds.intersected(image_->rect());
    if (clip.isEmpty())
        return;
    QImage cover(clip.size(), QImage::Format_ARGB32);
    cover.fill(0);
    {
        QPainter g(&cover);
        g.setRenderHint(QPainter::Antialiasing, false);
        g.setCompositionMode(QPainter::CompositionMode_Source);
        g.translate(-clip.left(), -clip.top());
        g.setPen(qpen);
        g.setBrush(qbrush);
        draw(g);
    }
    if (ownOutline)
        outline([&](int x, int y) {
            if (clip.contains(x, y))
                reinterpret_cast<std::uint32_t*>(cover.scanLine(y - clip.top()))[x - clip.left()] = penPixel;
        });
    for (int y = 0; y < clip.height(); ++y) {
        const std::uint32_t* src = reinterpret_cast<const std::uint32_t*>(cover.constScanLine(y));
        std::uint32_t* dst = reinterpret_cast<std::uint32_t*>(image_->scanLine(clip.top() + y)) + clip.left();
        for (int x = 0; x < clip.width(); ++x)
            if ((src[x] >> 24) >= 0x80)
                dst[x] = ApplyPenMode(pen_.Mode, src[x], dst[x]);
    }
}

void TCanvas::Rectangle(int X1, int Y1, int X2, int Y2)
{
    if (X2 < X1)
        std::swap(X1, X2);
    if (Y2 < Y1)
        std::swap(Y1, Y2);
    if (X2 - X1 < 1 || Y2 - Y1 < 1)
        return;
    const bool framed = pen_.Style != psClear;
    const int w = framed ? std::max(pen_.Width, 1) : 0;
    const int lo = framed ? (w - 1) / 2 : 0;
    // The frame is w pixels wide, centred on the outermost columns and rows.
    const int ox0 = X1 - lo, oy0 = Y1 - lo, ox1 = X2 - 1 + (w > 0 ? w - 1 - lo : 0), oy1 = Y2 - 1 + (w > 0 ? w - 1 - lo : 0);
    const int in = framed ? w - lo : 0;
    const int ix0 = X1 + in, iy0 = Y1 + in, ix1 = X2 - 1 - in, iy1 = Y2 - 1 - in;
    if (brush_.Style == bsSolid) {
        const std::uint32_t b = ColorToPixel(brush_.Color);
        for (int y = iy0; y <= iy1; ++y)
            if (ix0 <= ix1)
                FillSpan(ix0, ix1, y, b, pen_.Mode);
    } else if (brush_.Style != bsClear && ix0 <= ix1 && iy0 <= iy1) {
        DrawShape(QRect(QPoint(ix0, iy0), QPoint(ix1, iy1)), false, true,
                  [&](QPainter& g) { g.fillRect(QRect(QPoint(ix0, iy0), QPoint(ix1, iy1)), g.brush()); });
    }
    if (framed) {
        const std::uint32_t p = ColorToPixel(pen_.Color);
        const std::span<const int> pat = pen_.Width <= 1 ? DashPattern(pen_.Style) : std::span<const int>();
        if (pat.empty()) {
            for (int y = oy0; y <= oy1; ++y) {
                if (y < iy0 || y > iy1 || ix0 > ix1)
                    FillSpan(ox0, ox1, y, p, pen_.Mode);
                else {
                    FillSpan(ox0, ix0 - 1, y, p, pen_.Mode);
                    FillSpan(ix1 + 1, ox1, y, p, pen_.Mode);
                }
            }
        } else {
            const TPoint keep = PenPos;
            MoveTo(X1, Y1);
            ThinLine(X1, Y1, X2 - 1, Y1, false);
            ThinLine(X2 - 1, Y1, X2 - 1, Y2 - 1, false);
            ThinLine(X2 - 1, Y2 - 1, X1, Y2 - 1, false);
            ThinLine(X1, Y2 - 1, X1, Y1, false);
            PenPos = keep;
        }
    }
    Changed();
}

void TCanvas::FillRect(const TRect& r)
{
    const int x0 = std::min(r.Left, r.Right), x1 = std::max(r.Left, r.Right) - 1;
    const int y0 = std::min(r.Top, r.Bottom), y1 = std::max(r.Top, r.Bottom) - 1;
    if (x0 > x1 || y0 > y1 || brush_.Style == bsClear)
        return;
    if (brush_.Style == bsSolid) {
        const std::uint32_t b = ColorToPixel(brush_.Color);
        for (int y = y0; y <= y1; ++y)
            FillSpan(x0, x1, y, b, pmCopy);
    } else if (!image_->isNull()) {
        QPainter g(image_);
        g.fillRect(QRect(QPoint(x0, y0), QPoint(x1, y1)), QtBrush(brush_));
    }
    Changed();
}

void TCanvas::FrameRect(const TRect& r)
{
    const int x0 = std::min(r.Left, r.Right), x1 = std::max(r.Left, r.Right) - 1;
    const int y0 = std::min(r.Top, r.Bottom), y1 = std::max(r.Top, r.Bottom) - 1;
    if (x0 > x1 || y0 > y1)
        return;
    const std::uint32_t b = ColorToPixel(brush_.Color);
    FillSpan(x0, x1, y0, b, pmCopy);
    FillSpan(x0, x1, y1, b, pmCopy);
    for (int y = y0 + 1; y < y1; ++y) {
        FillSpan(x0, x0, y, b, pmCopy);
        FillSpan(x1, x1, y, b, pmCopy);
    }
    Changed();
}

namespace {

QRect ShapeBounds(int X1, int Y1, int X2, int Y2, int penWidth)
{
    const int m = std::max(penWidth, 1) + 2;
    return QRect(QPoint(std::min(X1, X2) - m, std::min(Y1, Y2) - m),
                 QPoint(std::max(X1, X2) + m, std::max(Y1, Y2) + m));
}

// The framework's box X1..X2 (exclusive) as the rectangle Qt's aliased outline
// follows through the same pixels.
QRect OutlineBox(int X1, int Y1, int X2, int Y2)
{
    const int l = std::min(X1, X2), t = std::min(Y1, Y2);
    return QRect(l, t, std::abs(X2 - X1) - 1, std::abs(Y2 - Y1) - 1);
}

// Qt's arc angles are parametric on the ellipse; the framework gives rays from the
// centre through a point. This is the parametric angle (1/16 degree) of that ray.
int ArcAngle16(const QRect& box, int px, int py)
{
    const double cx = box.left() + box.width() / 2.0, cy = box.top() + box.height() / 2.0;
    const double a = std::max(box.width() / 2.0, 0.5), b = std::max(box.height() / 2.0, 0.5);
    const double t = std::atan2(-(py - cy) * a, (px - cx) * b);
    return int(std::lround(t * 180.0 / M_PI * 16.0));
}

int ArcSpan16(int start16, int end16)
{
    int span = end16 - start16;
    while (span <= 0)
        span += 360 * 16;
    while (span > 360 * 16)
        span -= 360 * 16;
    return span;
}

} // namespace

void TCanvas::Ellipse(int X1, int Y1, int X2, int Y2)
{
    if (X1 == X2 || Y1 == Y2)
        return;
    const QRect box = OutlineBox(X1, Y1, X2, Y2);
    DrawShape(ShapeBounds(X1, Y1, X2, Y2, pen_.Width), true, true, [&](QPainter& g) { g.drawEllipse(box); });
    Changed();
}

void TCanvas::Pie(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4)
{
    if (X1 == X2 || Y1 == Y2)
        return;
    const QRect box = OutlineBox(X1, Y1, X2, Y2);
    const int a3 = ArcAngle16(box, X3, Y3), a4 = ArcAngle16(box, X4, Y4);
    const int span = ArcSpan16(a3, a4);
    DrawShape(ShapeBounds(X1, Y1, X2, Y2, pen_.Width), true, true, [&](QPainter& g) {
        if (span >= 360 * 16)
            g.drawEllipse(box);
        else
            g.drawPie(box, a3, span);
    });
    Changed();
}

void TCanvas::Arc(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4)
{
    if (X1 == X2 || Y1 == Y2)
        return;
    const QRect box = OutlineBox(X1, Y1, X2, Y2);
    const int a3 = ArcAngle16(box, X3, Y3), a4 = ArcAngle16(box, X4, Y4);
    const int span = ArcSpan16(a3, a4);
    DrawShape(ShapeBounds(X1, Y1, X2, Y2, pen_.Width), true, false, [&](QPainter& g) {
        g.setBrush(Qt::NoBrush);
        g.drawArc(box, a3, span);
    });
    Changed();
}

void TCanvas::Polygon(std::span<const TPoint> points)
{
    if (points.size() < 2)
        return;
    QPolygon poly;
    int x0 = points[0].X, x1 = x0, y0 = points[0].Y, y1 = y0;
    for (const TPoint& p : points) {
        poly << QPoint(p.X, p.Y);
        x0 = std::min(x0, p.X);
        x1 = std::max(x1, p.X);
        y0 = std::min(y0, p.Y);
        y1 = std::max(y1, p.Y);
    }
    DrawShape(ShapeBounds(x0, y0, x1, y1, pen_.Width), true, true,
              [&](QPainter& g) { g.drawPolygon(poly, Qt::OddEvenFill); }, points);
    Changed();
}

void TCanvas::TextOut(int X, int Y, const QString& Text)
{
    if (!Text.isEmpty() && !image_->isNull()) {
        const QFont f = font_.ToQFont();
        const QFontMetrics fm(f);
        QPainter g(image_);
        g.setRenderHint(QPainter::TextAntialiasing, false);
        g.setRenderHint(QPainter::Antialiasing, false);
        if (brush_.Style != bsClear)
            g.fillRect(QRect(X, Y, fm.horizontalAdvance(Text), fm.height()), ColorToQColor(brush_.Color));
        g.setFont(f);
        g.setPen(ColorToQColor(font_.Color));
        g.drawText(X, Y + fm.ascent(), Text);
    }
    PenPos = TPoint{X + TextWidth(Text), Y};
    Changed();
}

int TCanvas::TextWidth(const QString& Text) const
{
    return QFontMetrics(font_.ToQFont()).horizontalAdvance(Text);
}

int TCanvas::TextHeight(const QString& Text) const
{
    (void)Text;
    return QFontMetrics(font_.ToQFont()).height();
}

TSize TCanvas::TextExtent(const QString& Text) const
{
    return TSize{TextWidth(Text), TextHeight(Text)};
}

void TCanvas::CopyRect(const TRect& Dest, TCanvas* Source, const TRect& SourceRect)
{
    if (!Source)
        return;
    const int dw = Dest.Right - Dest.Left, dh = Dest.Bottom - Dest.Top;
    const int sw = SourceRect.Right - SourceRect.Left, sh = SourceRect.Bottom - SourceRect.Top;
    if (dw == 0 || dh == 0 || sw == 0 || sh == 0)
        return;
    // A copy within one image reads from a snapshot, so overlapping blocks come out whole.
    const QImage snapshot = Source == this ? image_->copy() : QImage();
    const QImage& src = Source == this ? snapshot : *Source->image_;
    const std::uint32_t pat = ColorToPixel(brush_.Color);
    const int adw = std::abs(dw), adh = std::abs(dh);
    for (int j = 0; j < adh; ++j) {
        const int dy = dh > 0 ? Dest.Top + j : Dest.Top - 1 - j;
        if (dy < 0 || dy >= image_->height())
            continue;
        const int sy = (sh > 0 ? SourceRect.Top : SourceRect.Top - 1) +
                       (sh > 0 ? 1 : -1) * int((long long)j * std::abs(sh) / adh);
        if (sy < 0 || sy >= src.height())
            continue;
        std::uint32_t* drow = reinterpret_cast<std::uint32_t*>(image_->scanLine(dy));
        const std::uint32_t* srow = reinterpret_cast<const std::uint32_t*>(src.constScanLine(sy));
        for (int i = 0; i < adw; ++i) {
            const int dx = dw > 0 ? Dest.Left + i : Dest.Left - 1 - i;
            if (dx < 0 || dx >= image_->width())
                continue;
            const int sx = (sw > 0 ? SourceRect.Left : SourceRect.Left - 1) +
                           (sw > 0 ? 1 : -1) * int((long long)i * std::abs(sw) / adw);
            if (sx < 0 || sx >= src.width())
                continue;
            drow[dx] = CopyMode == cmSrcCopy ? (srow[sx] | 0xFF000000u) : ApplyRop3(CopyMode, pat, srow[sx], drow[dx]);
        }
    }
    Changed();
}

void TCanvas::Draw(int X, int Y, TCanvas* Source)
{
    if (!Source)
        return;
    CopyRect(Rect(X, Y, X + Source->Width(), Y + Source->Height()), Source,
             Rect(0, 0, Source->Width(), Source->Height()));
}

bool BitBlt(TCanvas* Dest, int X, int Y, int Width, int Height, TCanvas* Source, int XSrc, int YSrc,
            std::uint32_t Rop)
{
    if (!Dest)
        return false;
    const std::uint32_t keep = Dest->CopyMode;
    Dest->CopyMode = Rop;
    if (Source) {
        Dest->CopyRect(Rect(X, Y, X + Width, Y + Height), Source, Rect(XSrc, YSrc, XSrc + Width, YSrc + Height));
    } else {
        // Operations without a source (pattern and destination only).
        Dest->CopyRect(Rect(X, Y, X + Width, Y + Height), Dest, Rect(X, Y, X + Width, Y + Height));
    }
    Dest->CopyMode = keep;
    return true;
}

// ---------------------------------------------------------------- bitmaps

TBitmap::TBitmap() : Canvas(&canvas_), canvas_(&image_) {}

TBitmap::TBitmap(int width, int height) : TBitmap()
{
    SetSize(width, height);
}

void TBitmap::SetSize(int width, int height)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == image_.width() && height == image_.height() && !image_.isNull())
        return;
    QImage next(width, height, QImage::Format_RGB32);
    next.fill(0xFFFFFFFFu);
    if (!image_.isNull() && width > 0 && height > 0) {
        QPainter g(&next);
        g.drawImage(0, 0, image_);
    }
    image_ = next;
}

void TBitmap::Assign(const TBitmap* other)
{
    if (!other || other == this)
        return;
    image_ = other->image_.copy();
    if (image_.format() != QImage::Format_RGB32 && !image_.isNull())
        image_ = image_.convertToFormat(QImage::Format_RGB32);
}
