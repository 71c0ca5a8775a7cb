// A self-contained gauge: a needle on an elliptical scale between Min and Max, with a
// low, an OK and a high zone, optional ticks and tick labels, a caption and a value
// text. It draws itself into off-screen bitmaps (a static layer with the fill and the
// zones, a dynamic layer with everything that moves) and copies them to the screen;
// with a background picture a mask keeps the picture visible around the meter.
#pragma once

#include "Canvas.h"
#include "Graphics.h"

#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>

class QPainter;

enum TCaptionPos { cpTop, cpBottom };

class TAnalogMeter : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool ShowBackground READ ShowBackground WRITE SetShowBackground)
    Q_PROPERTY(int BackGroundTop READ BackGroundTop WRITE SetBackGroundTop)
    Q_PROPERTY(int BackGroundLeft READ BackGroundLeft WRITE SetBackGroundLeft)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(int CaptionPosition READ CaptionPositionInt WRITE SetCaptionPositionInt)
    Q_PROPERTY(qint8 CaptionVertAdj READ CaptionVertAdj WRITE SetCaptionVertAdj)
    Q_PROPERTY(qint8 ValueVertAdj READ ValueVertAdj WRITE SetValueVertAdj)
    Q_PROPERTY(float Min READ Min WRITE SetMin)
    Q_PROPERTY(float Max READ Max WRITE SetMax)
    Q_PROPERTY(float Value READ Value WRITE SetValue)
    Q_PROPERTY(quint8 TickPrecision READ TickPrecision WRITE SetTickPrecision)
    Q_PROPERTY(quint8 TickDigits READ TickDigits WRITE SetTickDigits)
    Q_PROPERTY(bool LogScale READ LogScale WRITE SetLogScale)
    Q_PROPERTY(bool TickValAbbr READ TickValAbbr WRITE SetTickValAbbr)
    Q_PROPERTY(quint8 ValuePrecision READ ValuePrecision WRITE SetValuePrecision)
    Q_PROPERTY(quint8 ValueDigits READ ValueDigits WRITE SetValueDigits)
    Q_PROPERTY(int AngularRange READ AngularRange WRITE SetAngularRange)
    Q_PROPERTY(quint8 TickCount READ TickCount WRITE SetTickCount)
    Q_PROPERTY(quint8 LowZone READ LowZone WRITE SetLowZone STORED false)
    Q_PROPERTY(quint8 HighZone READ HighZone WRITE SetHighZone STORED false)
    Q_PROPERTY(TColor HighZoneColor READ HighZoneColor WRITE SetHighZoneColor)
    Q_PROPERTY(TColor LowZoneColor READ LowZoneColor WRITE SetLowZoneColor)
    Q_PROPERTY(TColor OKZoneColor READ OKZoneColor WRITE SetOKZoneColor)
    Q_PROPERTY(bool TransparentZones READ TransparentZones WRITE SetTransparentZones)
    Q_PROPERTY(float LowZoneValue READ LowZoneValue WRITE SetLowZoneValue)
    Q_PROPERTY(float HighZoneValue READ HighZoneValue WRITE SetHighZoneValue)
    Q_PROPERTY(quint8 KnobSize READ KnobSize WRITE SetKnobSize)
    Q_PROPERTY(quint8 NeedleWidth READ NeedleWidth WRITE SetNeedleWidth)
    Q_PROPERTY(TColor TickColor READ TickColor WRITE SetTickColor)
    Q_PROPERTY(bool ShowTicks READ ShowTicks WRITE SetShowTicks)
    Q_PROPERTY(bool ShowTicksScale READ ShowTicksScale WRITE SetShowTicksScale)
    Q_PROPERTY(bool ShowZones READ ShowZones WRITE SetShowZones)
    Q_PROPERTY(bool ShowFrame READ ShowFrame WRITE SetShowFrame)
    Q_PROPERTY(bool ShowValue READ ShowValue WRITE SetShowValue)
    Q_PROPERTY(TColor Color READ Color WRITE SetColor)

public:
    // A notify event: called with the meter as its sender, only when assigned.
    using TNotifyEvent = std::function<void(QObject* Sender)>;

    explicit TAnalogMeter(QWidget* AOwner = nullptr);
    ~TAnalogMeter() override;

    // --- published properties, in their declaration order ---
    // The picture drawn behind the meter while ShowBackground is on; kept as assigned
    // and copied from its top-left corner at (BackGroundLeft, BackGroundTop); assigning
    // no picture empties it.
    TBitmap* BackGround() { return &FBackGround; }
    void SetBackGround(const TBitmap* picture);
    bool ShowBackground() const { return FShowBackground; }
    void SetShowBackground(bool b);
    int BackGroundTop() const { return FBackGroundTop; }
    void SetBackGroundTop(int v);
    int BackGroundLeft() const { return FBackGroundLeft; }
    void SetBackGroundLeft(int v);
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& s);
    TCaptionPos CaptionPosition() const { return FCaptionPosition; }
    void SetCaptionPosition(TCaptionPos p);
    // Vertical nudges of the caption and the value text; only -30..30 is accepted.
    int8_t CaptionVertAdj() const { return FCaptionVertAdj; }
    void SetCaptionVertAdj(int8_t v);
    int8_t ValueVertAdj() const { return FValueVertAdj; }
    void SetValueVertAdj(int8_t v);
    float Min() const { return FMin; }
    void SetMin(float v);
    float Max() const { return FMax; }
    void SetMax(float v);
    float Value() const { return FValue; }
    void SetValue(float v);
    uint8_t TickPrecision() const { return FTickPrecision; }
    void SetTickPrecision(uint8_t v);
    uint8_t TickDigits() const { return FTickDigits; }
    void SetTickDigits(uint8_t v);
    bool LogScale() const { return FLogScale; }
    void SetLogScale(bool b);
    bool TickValAbbr() const { return FTickValAbbr; }
    void SetTickValAbbr(bool b);
    uint8_t ValuePrecision() const { return FValuePrecision; }
    void SetValuePrecision(uint8_t v);
    uint8_t ValueDigits() const { return FValueDigits; }
    void SetValueDigits(uint8_t v);
    int AngularRange() const { return FAngularRange; }
    void SetAngularRange(int v);
    uint8_t TickCount() const { return FTickCount; }
    void SetTickCount(uint8_t v);
    // Zone boundaries as percentages of the scale; not stored, they move the values.
    uint8_t LowZone() const;
    void SetLowZone(uint8_t p);
    uint8_t HighZone() const;
    void SetHighZone(uint8_t p);
    TColor HighZoneColor() const { return FHighZoneColor; }
    void SetHighZoneColor(TColor c);
    TColor LowZoneColor() const { return FLowZoneColor; }
    void SetLowZoneColor(TColor c);
    TColor OKZoneColor() const { return FOKZoneColor; }
    void SetOKZoneColor(TColor c);
    bool TransparentZones() const { return FTransparentZones; }
    void SetTransparentZones(bool b);
    float LowZoneValue() const { return FLowZoneValue; }
    void SetLowZoneValue(float v);
    float HighZoneValue() const { return FHighZoneValue; }
    void SetHighZoneValue(float v);
    uint8_t KnobSize() const { return FKnobSize; }
    void SetKnobSize(uint8_t v);
    uint8_t NeedleWidth() const { return FNeedleWidth; }
    void SetNeedleWidth(uint8_t v);
    TColor TickColor() const { return FTickColor; }
    void SetTickColor(TColor c);
    bool ShowTicks() const { return FShowTicks; }
    void SetShowTicks(bool b);
    bool ShowTicksScale() const { return FShowTicksScale; }
    void SetShowTicksScale(bool b);
    bool ShowZones() const { return FShowZones; }
    void SetShowZones(bool b);
    bool ShowFrame() const { return FShowFrame; }
    void SetShowFrame(bool b);
    bool ShowValue() const { return FShowValue; }
    void SetShowValue(bool b);
    TNotifyEvent onResize;
    TNotifyEvent onChange;
    // Plain switch for the four zone-crossing events.
    bool EnableZoneEvents = true;
    TNotifyEvent onRiseAboveHigh;
    TNotifyEvent onFallBelowHigh;
    TNotifyEvent onRiseAboveLow;
    TNotifyEvent onFallBelowLow;
    TColor Color() const { return FColor; }
    void SetColor(TColor c);
    // The face's own font object: changing its attributes changes the face font at
    // once and redraws nothing. Assigning a font copies it into the face and the mask
    // and redraws when any text is shown.
    TFont* Font() { return FaceBitmap.Canvas->Font; }
    void SetFont(const TFont* f);

    // Angle on the scale (degrees from straight down, clockwise on the screen) of a
    // value, linear or logarithmic as LogScale says; 0 when Max = Min.
    float ValueToAngle(float v) const;

    // The geometry of the ellipses: the radius of an ellipse of semi-axes rx, ry at
    // angle a, and the largest vertical semi-axis whose ellipse (of width availW) fits
    // into availH down to its points at angle a.
    static float EllipseRadius(float rx, float ry, float a);
    static int FitRadiusY(int availH, int availW, float a);

    // The layout, made at every resize and AngularRange change.
    float StartAngle() const { return FStartAngle; }
    float PrevValue() const { return FPrevValue; }
    int TextHeight() const { return FTextHeight; }
    int Margin() const { return FMargin; }
    int CenterX() const { return FCenterX; }
    int CenterY() const { return FCenterY; }
    int RadiusX() const { return FRadiusX; }
    int RadiusY() const { return FRadiusY; }
    TPoint InnerRadii() const { return FInnerRadii; }
    // The point at angle a on the ellipse of semi-axes rx, ry round the centre.
    TPoint EllipsePoint(float rx, float ry, float a) const;

    // The texts the meter shows for a value: the value text and a tick label.
    QString ValueText(float v) const;
    QString TickLabel(float v) const;

    // The meter as drawn. With the background picture shown, Paint leaves only the
    // meter's own pixels in it (black where the picture shows through).
    const TBitmap& Face() const { return FaceBitmap; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    // Copies the meter (over the background picture when it is shown) to the screen.
    virtual void Paint(QPainter& screen);

private:
    // Calls the event when it is assigned.
    void Changed(const TNotifyEvent& event);
    float LinearValueToAngle(float v) const;
    void MakeLayout();
    void DrawStatic();
    void DrawZones();
    void DrawDynamic();
    void FullRedraw();
    void DynamicRedraw();
    bool Drawable() const;
    TColor ShadowColor() const;
    TColor KnobColor() const;
    // Text on the face and, with the background shown, on the mask; both in the
    // face's font. A background of clNone leaves the text's background clear.
    void DrawText(int x, int y, const QString& s, TColor faceColor, TColor faceBack, TColor maskColor,
                  TColor maskBack);
    TPoint ScaleEnd(const TPoint& start) const;
    // The pie of one zone, skipped when its boundary points fall on one pixel.
    void ZonePie(TCanvas* c, const TPoint& from, const TPoint& to, float span);
    int CaptionPositionInt() const { return FCaptionPosition; }
    void SetCaptionPositionInt(int p) { SetCaptionPosition(p == cpBottom ? cpBottom : cpTop); }

    TBitmap FaceBitmap;
    TBitmap FBackGround;
    TBitmap MaskBitmap;
    TBitmap InvMaskBitmap;
    TBitmap ComposeBitmap;
    // The static layer as last drawn, face and mask: every dynamic layer starts from
    // it, so nothing a moved needle touched outside the wiped face stays behind.
    TBitmap StaticFace;
    TBitmap StaticMask;

    bool FShowBackground = false;
    int FBackGroundTop = 0;
    int FBackGroundLeft = 0;
    QString FCaption;
    TCaptionPos FCaptionPosition = cpTop;
    int8_t FCaptionVertAdj = 0;
    int8_t FValueVertAdj = 0;
    float FMin = 0;
    float FMax = 100;
    float FValue = 0;
    uint8_t FTickPrecision = 7;
    uint8_t FTickDigits = 1;
    bool FLogScale = false;
    bool FTickValAbbr = false;
    uint8_t FValuePrecision = 7;
    uint8_t FValueDigits = 1;
    int FAngularRange = 270;
    uint8_t FTickCount = 11;
    TColor FHighZoneColor;
    TColor FLowZoneColor;
    TColor FOKZoneColor;
    bool FTransparentZones = false;
    float FLowZoneValue = 10;
    float FHighZoneValue = 90;
    uint8_t FKnobSize = 10;
    uint8_t FNeedleWidth = 2;
    TColor FTickColor;
    bool FShowTicks = true;
    bool FShowTicksScale = false;
    bool FShowZones = true;
    bool FShowFrame = true;
    bool FShowValue = true;
    TColor FColor;

    float FStartAngle = 45;
    float FPrevValue = 0;
    int FTextHeight = 8;
    int FMargin = 0;
    int FCenterX = 0;
    int FCenterY = 0;
    int FRadiusX = 0;
    int FRadiusY = 0;
    TPoint FInnerRadii;
};
