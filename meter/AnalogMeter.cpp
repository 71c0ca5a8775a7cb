#include "AnalogMeter.h"

#include "Forms.h"
#include "SysUtils.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

namespace {

constexpr double DegToRad = std::numbers::pi / 180.0;

// Fixed notation with at most `precision` significant digits and exactly `digits`
// decimals (halves away from zero), `sep` as the decimal separator. A value with more
// integer digits than `precision` falls back to the general form with `precision`
// significant digits and an exponent.
QString FixedText(double v, int precision, int digits, QChar sep)
{
    precision = std::clamp(precision, 1, 18);
    digits = std::clamp(digits, 0, 18);
    if (!std::isfinite(v))
        return QString::number(v);
    int exponent = 0;  // position of the first significant digit: 10^exponent
    if (v != 0) {
        exponent = int(std::floor(std::log10(std::fabs(v))));
        const double scaled = std::fabs(v) / std::pow(10.0, exponent - (precision - 1));
        // Rounding to the precision may carry: 9.99 with two digits is 10.
        if (std::floor(scaled + 0.5) >= std::pow(10.0, precision))
            ++exponent;
    }
    if (exponent + 1 > precision) {
        // General form: d.ddd with the significant digits, then E and the exponent.
        const std::string m = FixedC(v / std::pow(10.0, exponent), precision - 1);
        QString mant = QString::fromStdString(m);
        if (mant.contains('.')) {
            while (mant.endsWith('0'))
                mant.chop(1);
            if (mant.endsWith('.'))
                mant.chop(1);
        }
        mant.replace('.', sep);
        return mant + QStringLiteral("E") + QString::number(exponent);
    }
    // Digits beyond the precision are shown as zeros.
    const int decimals = std::min(digits, precision - 1 - exponent);
    QString s = QString::fromStdString(FixedC(v, decimals));
    if (digits > decimals) {
        if (decimals == 0)
            s += '.';
        s += QString(digits - decimals, '0');
    }
    if (s.startsWith('-') && s.count('0') + s.count('.') == s.size() - 1)
        s.remove(0, 1);  // a value that rounds to zero shows no sign
    s.replace('.', sep);
    return s;
}

}  // namespace

TAnalogMeter::TAnalogMeter(QWidget* AOwner) : QWidget(AOwner)
{
    FCaption = QStringLiteral("mV");
    FHighZoneColor = clRed;
    FLowZoneColor = clYellow;
    FOKZoneColor = cl3DLight;
    FTickColor = clBlack;
    FColor = clBtnFace;
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The smallest meter that still lays out: 52 x 37.
    setMinimumSize(52, 37);
    resize(121, 117);
}

TAnalogMeter::~TAnalogMeter() = default;

void TAnalogMeter::Changed(const TNotifyEvent& event)
{
    if (event)
        event(this);
}

// ---------------------------------------------------------------------------------
// Properties

void TAnalogMeter::SetBackGround(const TBitmap* picture)
{
    // No picture leaves none behind: the background shows the face colour only.
    if (!picture)
        FBackGround.SetSize(0, 0);
    else if (picture != &FBackGround)
        FBackGround.Assign(picture);
    FullRedraw();
}

void TAnalogMeter::SetShowBackground(bool b)
{
    if (b == FShowBackground)
        return;
    FShowBackground = b;
    FullRedraw();
}

void TAnalogMeter::SetBackGroundTop(int v)
{
    if (v == FBackGroundTop)
        return;
    FBackGroundTop = v;
    if (FShowBackground)
        FullRedraw();
}

void TAnalogMeter::SetBackGroundLeft(int v)
{
    if (v == FBackGroundLeft)
        return;
    FBackGroundLeft = v;
    if (FShowBackground)
        FullRedraw();
}

void TAnalogMeter::SetCaption(const QString& s)
{
    const QString t = s.trimmed();
    if (t == FCaption)
        return;
    FCaption = t;
    DynamicRedraw();
}

void TAnalogMeter::SetCaptionPosition(TCaptionPos p)
{
    if (p == FCaptionPosition)
        return;
    FCaptionPosition = p;
    FullRedraw();
}

void TAnalogMeter::SetCaptionVertAdj(int8_t v)
{
    if (v < -30 || v > 30 || v == FCaptionVertAdj)
        return;
    FCaptionVertAdj = v;
    FullRedraw();
}

void TAnalogMeter::SetValueVertAdj(int8_t v)
{
    if (v < -30 || v > 30 || v == FValueVertAdj)
        return;
    FValueVertAdj = v;
    FullRedraw();
}

void TAnalogMeter::SetMin(float v)
{
    // An infinite or undefined bound would leave no scale to map onto.
    if (!std::isfinite(v))
        return;
    // The logarithmic substitute comes before the push, so Max never goes below 1.
    if (FLogScale && v <= 0)
        v = 1;
    if (v > FMax)
        FMax = v;
    if (v == FMin)
        return;
    const uint8_t low = LowZone();
    const uint8_t high = HighZone();
    FMin = v;
    if (FValue < v)
        SetValue(v);
    SetLowZone(low);
    SetHighZone(high);
}

void TAnalogMeter::SetMax(float v)
{
    if (!std::isfinite(v))
        return;
    if (FLogScale && v <= 0)
        v = 1;
    if (v < FMin)
        FMin = v;
    if (v == FMax)
        return;
    const uint8_t low = LowZone();
    const uint8_t high = HighZone();
    FMax = v;
    if (FValue > v)
        SetValue(v);
    SetLowZone(low);
    SetHighZone(high);
}

void TAnalogMeter::SetValue(float v)
{
    if (std::isnan(v))
        return;
    if (v < FMin)
        v = FMin;
    else if (v > FMax)
        v = FMax;
    if (v == FValue)
        return;
    const float prev = FValue;
    FPrevValue = prev;
    FValue = v;
    Changed(onChange);
    DynamicRedraw();
    if (!EnableZoneEvents)
        return;
    const float low = FLowZoneValue;
    const float high = FHighZoneValue;
    const bool fallBelowLow = onFallBelowLow && prev >= low && v < low;
    const bool riseAboveHigh = onRiseAboveHigh && prev < high && v >= high;
    if (fallBelowLow)
        Changed(onFallBelowLow);
    if (riseAboveHigh)
        Changed(onRiseAboveHigh);
    if (fallBelowLow || riseAboveHigh)
        return;
    if (prev >= high && high > v)
        Changed(onFallBelowHigh);
    if (prev < low && low <= v)
        Changed(onRiseAboveLow);
}

void TAnalogMeter::SetTickPrecision(uint8_t v)
{
    if (v == FTickPrecision)
        return;
    FTickPrecision = v;
    DynamicRedraw();
}

void TAnalogMeter::SetTickDigits(uint8_t v)
{
    if (v == FTickDigits)
        return;
    FTickDigits = v;
    DynamicRedraw();
}

void TAnalogMeter::SetLogScale(bool b)
{
    if (b) {
        if (FMin <= 0) {
            // Min takes the smallest sensible bound; Max and the zones follow into
            // the new range so every value keeps a defined angle.
            FMin = 1;
            if (FMax < FMin)
                FMax = FMin;
            FLowZoneValue = std::clamp(FLowZoneValue, FMin, FMax);
            FHighZoneValue = std::clamp(FHighZoneValue, FMin, FMax);
        }
        if (FValue < FMin)
            SetValue(FMin);
    }
    if (b == FLogScale)
        return;
    FLogScale = b;
    FullRedraw();
}

void TAnalogMeter::SetTickValAbbr(bool b)
{
    if (b == FTickValAbbr)
        return;
    FTickValAbbr = b;
    FullRedraw();
}

void TAnalogMeter::SetValuePrecision(uint8_t v)
{
    if (v == FValuePrecision)
        return;
    FValuePrecision = v;
    FullRedraw();
}

void TAnalogMeter::SetValueDigits(uint8_t v)
{
    if (v == FValueDigits)
        return;
    FValueDigits = v;
    FullRedraw();
}

void TAnalogMeter::SetAngularRange(int v)
{
    v = std::clamp(v, 10, 360);
    if (v == FAngularRange)
        return;
    FAngularRange = v;
    FStartAngle = float(360 - v) / 2;
    MakeLayout();
    FullRedraw();
}

void TAnalogMeter::SetTickCount(uint8_t v)
{
    if (v > 100)
        v = 100;
    if (v == FTickCount)
        return;
    FTickCount = v;
    DynamicRedraw();
}

uint8_t TAnalogMeter::LowZone() const
{
    if (FMax == FMin)
        return 0;
    return uint8_t(Round((double(FLowZoneValue) - FMin) * 100 / (double(FMax) - FMin)));
}

void TAnalogMeter::SetLowZone(uint8_t p)
{
    SetLowZoneValue(float(FMin + (double(FMax) - FMin) * std::min<int>(p, 100) / 100));
}

uint8_t TAnalogMeter::HighZone() const
{
    if (FMax == FMin)
        return 0;
    return uint8_t(Round((double(FHighZoneValue) - FMin) * 100 / (double(FMax) - FMin)));
}

void TAnalogMeter::SetHighZone(uint8_t p)
{
    SetHighZoneValue(float(FMin + (double(FMax) - FMin) * std::min<int>(p, 100) / 100));
}

void TAnalogMeter::SetHighZoneColor(TColor c)
{
    if (c == FHighZoneColor)
        return;
    FHighZoneColor = c;
    FullRedraw();
}

void TAnalogMeter::SetLowZoneColor(TColor c)
{
    if (c == FLowZoneColor)
        return;
    FLowZoneColor = c;
    FullRedraw();
}

void TAnalogMeter::SetOKZoneColor(TColor c)
{
    if (c == FOKZoneColor)
        return;
    FOKZoneColor = c;
    FullRedraw();
}

void TAnalogMeter::SetTransparentZones(bool b)
{
    if (b == FTransparentZones)
        return;
    FTransparentZones = b;
    FullRedraw();
}

void TAnalogMeter::SetLowZoneValue(float v)
{
    if (std::isnan(v))
        return;
    v = std::clamp(v, FMin, FMax);
    if (v > FHighZoneValue)
        FHighZoneValue = v;
    const float old = FLowZoneValue;
    FLowZoneValue = v;
    FullRedraw();
    if (!EnableZoneEvents)
        return;
    if (FValue >= old && FValue < v)
        Changed(onFallBelowLow);
    if (FValue < old && FValue >= v)
        Changed(onRiseAboveLow);
}

void TAnalogMeter::SetHighZoneValue(float v)
{
    if (std::isnan(v))
        return;
    v = std::clamp(v, FMin, FMax);
    if (v < FLowZoneValue)
        FLowZoneValue = v;
    const float old = FHighZoneValue;
    FHighZoneValue = v;
    FullRedraw();
    if (!EnableZoneEvents)
        return;
    if (FValue >= old && FValue < v)
        Changed(onFallBelowHigh);
    if (FValue < old && FValue >= v)
        Changed(onRiseAboveHigh);
}

void TAnalogMeter::SetKnobSize(uint8_t v)
{
    if (v == FKnobSize)
        return;
    FKnobSize = v;
    DynamicRedraw();
}

void TAnalogMeter::SetNeedleWidth(uint8_t v)
{
    if (v == FNeedleWidth)
        return;
    FNeedleWidth = v;
    DynamicRedraw();
}

void TAnalogMeter::SetTickColor(TColor c)
{
    if (c == FTickColor)
        return;
    FTickColor = c;
    DynamicRedraw();
}

void TAnalogMeter::SetShowTicks(bool b)
{
    if (b == FShowTicks)
        return;
    FShowTicks = b;
    FullRedraw();
}

void TAnalogMeter::SetShowTicksScale(bool b)
{
    if (b == FShowTicksScale)
        return;
    FShowTicksScale = b;
    FullRedraw();
}

void TAnalogMeter::SetShowZones(bool b)
{
    if (b == FShowZones)
        return;
    FShowZones = b;
    FullRedraw();
}

void TAnalogMeter::SetShowFrame(bool b)
{
    if (b == FShowFrame)
        return;
    FShowFrame = b;
    FullRedraw();
}

void TAnalogMeter::SetShowValue(bool b)
{
    if (b == FShowValue)
        return;
    FShowValue = b;
    FullRedraw();
}

void TAnalogMeter::SetColor(TColor c)
{
    if (c == FColor)
        return;
    FColor = c;
    FullRedraw();
}

void TAnalogMeter::SetFont(const TFont* f)
{
    if (!f || f == FaceBitmap.Canvas->Font)
        return;
    FaceBitmap.Canvas->Font->Assign(*f);
    MaskBitmap.Canvas->Font->Assign(*f);
    FTextHeight = FaceBitmap.Canvas->TextHeight(QStringLiteral("S"));
    if (FShowValue || FShowTicksScale || !FCaption.isEmpty())
        FullRedraw();
}

// ---------------------------------------------------------------------------------
// Scale

float TAnalogMeter::ValueToAngle(float v) const
{
    if (FMax == FMin)
        return 0;
    if (FLogScale) {
        // Values at or below zero have no place on a logarithmic scale: they sit at its start.
        if (v <= 0 || FMin <= 0)
            return FStartAngle;
        return float(std::log10(double(v) / FMin) * FAngularRange / std::log10(double(FMax) / FMin) + FStartAngle);
    }
    return LinearValueToAngle(v);
}

float TAnalogMeter::LinearValueToAngle(float v) const
{
    if (FMax == FMin)
        return 0;
    return float((double(v) - FMin) * FAngularRange / (double(FMax) - FMin) + FStartAngle);
}

QString TAnalogMeter::ValueText(float v) const
{
    return FixedText(v, FValuePrecision, FValueDigits, DecimalSeparator);
}

QString TAnalogMeter::TickLabel(float v) const
{
    if (FTickValAbbr) {
        if (v >= 1000000)
            return FixedText(v / 1000000.0, FTickPrecision, FTickDigits, QLatin1Char('M'));
        if (v >= 1000)
            return FixedText(v / 1000.0, FTickPrecision, FTickDigits, QLatin1Char('k'));
    }
    return FixedText(v, FTickPrecision, FTickDigits, DecimalSeparator);
}

// ---------------------------------------------------------------------------------
// Layout

float TAnalogMeter::EllipseRadius(float rx, float ry, float a)
{
    if (rx <= 0 || ry <= 0)
        return 0;
    const double s = std::sin(a * DegToRad);
    const double c = std::cos(a * DegToRad);
    return float(double(rx) * ry / std::sqrt(double(ry) * ry * s * s + double(rx) * rx * c * c));
}

int TAnalogMeter::FitRadiusY(int availH, int availW, float a)
{
    if (a >= 90)
        return availH;
    const double sa = std::sin(a * DegToRad);
    const double s = sa * sa;
    // No width left (a meter far taller than wide) counts as none: a negative one would
    // keep f at zero on a 360-degree scale and the search would never end.
    const double c = std::max(availW, 0) * std::cos(a * DegToRad) / 2;
    auto f = [&](int r) {
        const double d = std::sqrt(double(r) * r * s + c * c);
        return d > 0 ? r + r * c / d : double(r);
    };
    int r = availH / 2;
    while (availH > f(r))
        ++r;
    return r - 1;
}

TPoint TAnalogMeter::EllipsePoint(float rx, float ry, float a) const
{
    const double R = EllipseRadius(rx, ry, a);
    return Point(FCenterX + int(Round(-R * std::sin(a * DegToRad))), FCenterY + int(Round(R * std::cos(a * DegToRad))));
}

void TAnalogMeter::MakeLayout()
{
    const int W = width();
    const int H = height();
    FMargin = (W + H) / 40;
    FRadiusY = FitRadiusY(H - 2 * FMargin - (FTextHeight + 2), W - 2 * FMargin, FStartAngle);
    FCenterY = FMargin + FRadiusY;
    FCenterX = W / 2;
    FRadiusX = FCenterX - FMargin;
    FInnerRadii = Point(FRadiusX - (W + H) / 25, FRadiusY - (W + H) / 25);
}

void TAnalogMeter::resizeEvent(QResizeEvent* e)
{
    Guarded([&] {
        Changed(onResize);
        MakeLayout();
        // The background picture keeps its own size: Paint copies the part that fits.
        FaceBitmap.SetSize(width(), height());
        MaskBitmap.SetSize(width(), height());
        InvMaskBitmap.SetSize(width(), height());
        ComposeBitmap.SetSize(width(), height());
        StaticFace.SetSize(width(), height());
        StaticMask.SetSize(width(), height());
        DrawStatic();
        DrawDynamic();
    });
    QWidget::resizeEvent(e);
}

// ---------------------------------------------------------------------------------
// Drawing

bool TAnalogMeter::Drawable() const
{
    return FaceBitmap.Width() > 0 && FaceBitmap.Height() > 0;
}

void TAnalogMeter::FullRedraw()
{
    DrawStatic();
    DrawDynamic();
    repaint();
}

void TAnalogMeter::DynamicRedraw()
{
    DrawDynamic();
    repaint();
}

TColor TAnalogMeter::ShadowColor() const
{
    return FColor == clBtnShadow ? cl3DLight : clBtnShadow;
}

TColor TAnalogMeter::KnobColor() const
{
    if (FLowZoneValue > FMin && FValue <= FLowZoneValue)
        return FLowZoneColor;
    if (FHighZoneValue < FMax && FValue >= FHighZoneValue)
        return FHighZoneColor;
    return FOKZoneColor;
}

TPoint TAnalogMeter::ScaleEnd(const TPoint& start) const
{
    return Point(2 * FCenterX - start.X, start.Y);
}

void TAnalogMeter::ZonePie(TCanvas* c, const TPoint& from, const TPoint& to, float span)
{
    // Two boundaries on one pixel would make the slice a whole ellipse; a zone that
    // narrow has nothing to show.
    if (from == to && span < 180)
        return;
    c->Pie(FCenterX - FRadiusX, FCenterY - FRadiusY, FCenterX + FRadiusX, FCenterY + FRadiusY, from.X, from.Y, to.X,
           to.Y);
}

void TAnalogMeter::DrawText(int x, int y, const QString& s, TColor faceColor, TColor faceBack, TColor maskColor,
                            TColor maskBack)
{
    TCanvas* c = FaceBitmap.Canvas;
    const TColor fontColor = c->Font->Color;
    c->Font->Color = faceColor;
    c->Brush->Style = faceBack == clNone ? bsClear : bsSolid;
    if (faceBack != clNone)
        c->Brush->Color = faceBack;
    c->TextOut(x, y, s);
    c->Font->Color = fontColor;
    if (FShowBackground) {
        // The mask's texts take the face font as it is now, attribute changes made
        // through Font included, so they cover the face's texts exactly.
        TCanvas* m = MaskBitmap.Canvas;
        m->Font->Assign(*c->Font);
        m->Font->Color = maskColor;
        m->Brush->Style = maskBack == clNone ? bsClear : bsSolid;
        if (maskBack != clNone)
            m->Brush->Color = maskBack;
        m->TextOut(x, y, s);
    }
}

void TAnalogMeter::DrawStatic()
{
    if (!Drawable())
        return;
    const int W = width();
    const int H = height();
    TCanvas* c = FaceBitmap.Canvas;
    TCanvas* m = MaskBitmap.Canvas;
    c->Pen->Mode = pmCopy;
    c->Pen->Style = psSolid;
    c->Brush->Style = bsSolid;
    c->Brush->Color = FColor;
    c->FillRect(Rect(0, 0, W, H));
    if (FShowBackground) {
        m->Pen->Mode = pmCopy;
        m->Pen->Style = psSolid;
        m->Brush->Style = bsSolid;
        m->Brush->Color = clBlack;
        m->FillRect(Rect(0, 0, W, H));
    }
    if (FShowZones)
        DrawZones();
    StaticFace.Canvas->Draw(0, 0, c);
    if (FShowBackground)
        StaticMask.Canvas->Draw(0, 0, m);
}

void TAnalogMeter::DrawZones()
{
    TCanvas* c = FaceBitmap.Canvas;
    TCanvas* m = MaskBitmap.Canvas;
    c->Pen->Width = 2;
    c->Pen->Color = ShadowColor();
    const float lowAngle = ValueToAngle(FLowZoneValue);
    const float highAngle = ValueToAngle(FHighZoneValue);
    const float endAngle = FStartAngle + FAngularRange;
    const TPoint start = EllipsePoint(FRadiusX, FRadiusY, FStartAngle);
    const TPoint low = EllipsePoint(FRadiusX, FRadiusY, lowAngle);
    const TPoint high = EllipsePoint(FRadiusX, FRadiusY, highAngle);
    const TPoint end = ScaleEnd(start);
    const bool showLow = FLowZoneValue > FMin;
    const bool showOK = FHighZoneValue > FLowZoneValue;
    const bool showHigh = FHighZoneValue < FMax;
    if (showLow) {
        c->Brush->Color = FTransparentZones ? FColor : FLowZoneColor;
        ZonePie(c, low, start, lowAngle - FStartAngle);
    }
    if (showOK) {
        c->Brush->Color = FTransparentZones ? FColor : FOKZoneColor;
        ZonePie(c, high, low, highAngle - lowAngle);
    }
    if (showHigh) {
        c->Brush->Color = FTransparentZones ? FColor : FHighZoneColor;
        ZonePie(c, end, high, endAngle - highAngle);
    }
    if (FShowBackground) {
        m->Pen->Width = 2;
        m->Pen->Color = clWhite;
        m->Brush->Color = FTransparentZones ? clBlack : clWhite;
        if (showLow)
            ZonePie(m, low, start, lowAngle - FStartAngle);
        if (showOK)
            ZonePie(m, high, low, highAngle - lowAngle);
        if (showHigh)
            ZonePie(m, end, high, endAngle - highAngle);
        m->Arc(FCenterX - FInnerRadii.X, FCenterY - FInnerRadii.Y, FCenterX + FInnerRadii.X,
               FCenterY + FInnerRadii.Y, end.X, end.Y, start.X, start.Y);
    }
}

void TAnalogMeter::DrawDynamic()
{
    if (!Drawable())
        return;
    const int W = width();
    const int H = height();
    TCanvas* c = FaceBitmap.Canvas;
    TCanvas* m = MaskBitmap.Canvas;
    const bool mask = FShowBackground;
    const int IX = FInnerRadii.X;
    const int IY = FInnerRadii.Y;
    c->Draw(0, 0, StaticFace.Canvas);
    if (mask)
        m->Draw(0, 0, StaticMask.Canvas);

    // 1. Face: the inner edge of the zone ring, then the inside wiped clean.
    c->Pen->Mode = pmCopy;
    c->Pen->Style = psSolid;
    c->Pen->Width = 2;
    c->Pen->Color = ShadowColor();
    const TPoint start = EllipsePoint(FRadiusX, FRadiusY, FStartAngle);
    const TPoint end = ScaleEnd(start);
    if (FShowZones)
        c->Arc(FCenterX - IX, FCenterY - IY, FCenterX + IX, FCenterY + IY, end.X, end.Y, start.X, start.Y);
    c->Pen->Color = FColor;
    c->Brush->Style = bsSolid;
    c->Brush->Color = FColor;
    c->Ellipse(FCenterX - (IX - 2), FCenterY - (IY - 2), FCenterX + (IX - 2), FCenterY + (IY - 2));
    if (mask) {
        m->Pen->Mode = pmCopy;
        m->Pen->Style = psSolid;
        m->Pen->Width = 2;
        m->Pen->Color = clBlack;
        m->Brush->Style = bsSolid;
        m->Brush->Color = clBlack;
        m->Ellipse(FCenterX - (IX - 2), FCenterY - (IY - 2), FCenterX + (IX - 2), FCenterY + (IY - 2));
    }

    const int tickLength = (W + H) / 35;
    const float labelRX = IX - tickLength;
    const float labelRY = IY - tickLength;
    const int steps = FTickCount - 1;
    auto tickAngle = [&](int i) { return LinearValueToAngle(float(FMin + (double(FMax) - FMin) * i / steps)); };

    // 2. Ticks, evenly spaced on the scale also when it is logarithmic.
    if (FShowTicks && FTickCount >= 2) {
        c->Pen->Width = 1;
        c->Pen->Color = FTickColor;
        if (mask) {
            m->Pen->Width = 1;
            m->Pen->Color = clWhite;
        }
        for (int i = 0; i <= steps; ++i) {
            const float a = tickAngle(i);
            const TPoint p1 = EllipsePoint(IX, IY, a);
            const TPoint p2 = EllipsePoint(labelRX, labelRY, a);
            c->MoveTo(p1.X, p1.Y);
            c->LineTo(p2.X, p2.Y);
            if (mask) {
                m->MoveTo(p1.X, p1.Y);
                m->LineTo(p2.X, p2.Y);
            }
        }
    }

    // 3. Tick labels, placed inside the label ellipse by the side of the scale they sit on.
    if (FShowTicksScale && FTickCount >= 2) {
        for (int i = 0; i <= steps; ++i) {
            const double v = FLogScale ? FMin * std::pow(double(FMax) / FMin, double(i) / steps)
                                       : FMin + (double(FMax) - FMin) * i / steps;
            const QString text = TickLabel(float(v));
            const double a = tickAngle(i);
            const TPoint P = EllipsePoint(labelRX, labelRY, float(a));
            const int w = c->TextWidth(text);
            const int h = c->TextHeight(text);
            int x, y;
            if (a >= 315 || a <= 45) {
                const double k = a >= 315 ? 1 - (a - 315) / 90 : (45 - a) / 90;
                x = P.X - int(Trunc(w * k));
                y = P.Y - h;
            } else if (a < 135) {
                x = P.X;
                y = P.Y - int(Trunc(h * (1 - (a - 45) / 90)));
            } else if (a <= 225) {
                x = P.X - int(Trunc(w * (a - 135) / 90));
                y = P.Y;
            } else {
                x = P.X - w;
                y = P.Y - int(Trunc(h * (a - 225) / 90));
            }
            DrawText(x, y, text, FTickColor, clNone, clWhite, clNone);
        }
    }

    // 4. Caption, above or below the centre.
    if (!FCaption.isEmpty()) {
        const int x = FCenterX - c->TextWidth(FCaption) / 2;
        int y;
        if (FCaptionPosition == cpTop)
            y = ((FCenterY - IY - 1) + (FCenterY - FMargin)) / 2 + FCaptionVertAdj;
        else
            y = ((FCenterY + FMargin) + (H - FTextHeight - 2 - (FRadiusY - IY))) / 2 + FCaptionVertAdj -
                c->TextHeight(FCaption) / 2;
        DrawText(x, y, FCaption, c->Font->Color, FColor, clWhite, clBlack);
    }

    const int valueY = H - FMargin - FTextHeight + FValueVertAdj - 1;
    // 5. The previous value's text drawn over in the face colour.
    if (FShowValue) {
        const QString old = ValueText(FPrevValue);
        DrawText(FCenterX - c->TextWidth(old) / 2, valueY, old, FColor, clNone, clBlack, clNone);
    }

    // 6. Needle and knob, the knob in the colour of the zone the value is in.
    const TPoint tip = EllipsePoint(IX - FNeedleWidth - 1, IY - FNeedleWidth - 1, ValueToAngle(FValue));
    const int k = FKnobSize * (W + H) / 400;
    const TColor knob = KnobColor();
    auto needleAndKnob = [&](TCanvas* t, bool onMask) {
        t->Pen->Width = FNeedleWidth;
        t->Pen->Color = onMask ? clWhite : FTickColor;
        t->MoveTo(FCenterX, FCenterY);
        t->LineTo(tip.X, tip.Y);
        t->Pen->Width = 3;
        t->Pen->Color = onMask ? clWhite : clBtnShadow;
        t->Brush->Style = bsClear;
        t->Ellipse(FCenterX - k + 1, FCenterY - k, FCenterX + k + 1, FCenterY + k);
        t->Pen->Width = 1;
        t->Pen->Color = onMask ? clWhite : knob;
        t->Brush->Style = bsSolid;
        t->Brush->Color = onMask ? clWhite : knob;
        t->Ellipse(FCenterX - k, FCenterY - k, FCenterX + k, FCenterY + k);
    };
    needleAndKnob(c, false);
    if (mask)
        needleAndKnob(m, true);

    // 7. Value text.
    if (FShowValue) {
        const QString text = ValueText(FValue);
        DrawText(FCenterX - c->TextWidth(text) / 2, valueY, text, c->Font->Color, clNone, clWhite, clNone);
    }

    // 8. Frame: shadow on the left and top, highlight on the right and bottom.
    if (FShowFrame) {
        auto frame = [&](TCanvas* t, bool onMask) {
            t->Pen->Width = 1;
            t->Pen->Color = onMask ? clWhite : clBtnShadow;
            t->MoveTo(0, H);
            t->LineTo(0, 0);
            t->LineTo(W - 1, 0);
            t->Pen->Color = onMask ? clWhite : clBtnHighlight;
            t->LineTo(W - 1, H - 1);
            t->LineTo(0, H - 1);
        };
        frame(c, false);
        if (mask)
            frame(m, true);
    }
}

void TAnalogMeter::paintEvent(QPaintEvent*)
{
    Guarded([&] {
        QPainter screen(this);
        Paint(screen);
    });
}

void TAnalogMeter::Paint(QPainter& screen)
{
    if (!Drawable())
        return;
    const int W = width();
    const int H = height();
    const TRect all = Rect(0, 0, W, H);
    if (!FShowBackground) {
        screen.drawImage(0, 0, FaceBitmap.Image());
        return;
    }
    InvMaskBitmap.Canvas->CopyMode = cmNotSrcCopy;
    InvMaskBitmap.Canvas->CopyRect(all, MaskBitmap.Canvas, all);
    TCanvas* compose = ComposeBitmap.Canvas;
    compose->Brush->Style = bsSolid;
    compose->Brush->Color = FColor;
    compose->FillRect(all);
    // The part of the picture that fits, from its top-left corner; the picture itself
    // stays whole for later sizes.
    const int bw = std::min(W, FBackGround.Width());
    const int bh = std::min(H, FBackGround.Height());
    if (bw > 0 && bh > 0)
        BitBlt(compose, FBackGroundLeft, FBackGroundTop, bw, bh, FBackGround.Canvas, 0, 0, cmSrcCopy);
    BitBlt(compose, 0, 0, W, H, InvMaskBitmap.Canvas, 0, 0, cmSrcAnd);
    BitBlt(FaceBitmap.Canvas, 0, 0, W, H, MaskBitmap.Canvas, 0, 0, cmSrcAnd);
    BitBlt(compose, 0, 0, W, H, FaceBitmap.Canvas, 0, 0, cmSrcPaint);
    screen.drawImage(0, 0, ComposeBitmap.Image());
}
