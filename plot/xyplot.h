// The x-y plotting library: unit-level procedures over module state that draw graphs
// into one bound paint box at a time. A paint handler binds the box with InitGraph,
// opens areas with GraphWindow, draws their x axis and y axes, draws curves and
// markers in data units and a legend; the box's mouse handlers forward their events
// for the crosshair and the rubber-band zoom.
//
// The zoom of each area is kept per paint box: two windows drawing into slot 1 each
// keep their own. A mouse press forwarded from a paint box's handler after another
// window's paint repaints its own box first, so it acts on that box's areas.
#pragma once

#include "Canvas.h"
#include "PaintBox.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

// ---------------------------------------------------------------- records

struct AxisScale {
    bool Defined = false;
    bool Logarithmic = false;
    float Minimum = 0;          // the effective range (after the zoom)
    float Maximum = 0;
    float LnRatio = 1;          // ln(Maximum / Minimum), 1 when linear
    std::int32_t PixelOrigin = 0;
    std::int32_t PixelLength = 0;
};

struct GraphArea {
    std::int32_t AreaLeft = 0, AreaRight = 0;
    std::int32_t AreaTop = 0, AreaBottom = 0;
    float ZoomXLow = 0, ZoomXHigh = 1;
    float ZoomYLow = 0, ZoomYHigh = 1;
    std::int32_t GridXMajor = 4, GridXMinor = 7, GridYMajor = 4, GridYMinor = 7;
    bool Valid = false;
    float XMinSpan = 0, YMinSpan = 0;
    AxisScale XAxis;
    AxisScale YAxes[4];         // y axis 1 to 4
};

struct QueuedSymbol {
    std::uint16_t X = 0, Y = 0;
    std::uint8_t Kind = 0;
    std::uint8_t Size = 0;
    std::uint8_t Fill = 0;
    std::uint8_t PenWidth = 0;
    TColor Color = clBlack;
};

struct LegendItem {
    QString Text;
    TColor Color = clBlack;
    std::int32_t Kind = 0;      // 0 line, 1 fill, 2 symbol, 3 symbol with a centre dot
    std::int32_t Width = 0;
    std::int32_t Style = 0;     // pen style, brush style or symbol kind
    std::int32_t Fill = 0;
};

// ---------------------------------------------------------------- set-up and areas

void InitGraph(TPaintBox* PaintBox, TColor BackColor, TColor ForeColor, float FontScale);
void GraphWindow(std::int32_t X1, std::int32_t X2, std::int32_t Y1, std::int32_t Y2, std::int32_t Left,
                 std::int32_t Right, std::int32_t Top, std::int32_t Bottom, bool NoClip);
// The data values at a pixel of the box; 0, 0 when no area with an x axis is current.
void PixelToData(std::int32_t X, std::int32_t Y, float& DX, float& DY);

// ---------------------------------------------------------------- axes

void XAxis(TColor Color, const QString& Caption, bool Grid, float Min, float Max, float MinStep, float MinSpan,
           bool Log, bool LabelStyle);
void YAxis(TColor Color, const QString& Caption, std::int32_t AxisNo, float Min, float Max, float MinStep,
           float MinSpan, bool Grid, bool Log, bool LabelStyle);

// ---------------------------------------------------------------- drawing in data units

void PlotMove(float X, float Y);
void PlotLine(float X, float Y);
void PlotSymbol(std::int32_t Kind, std::int32_t Size, std::int32_t Fill);
// A whole polyline of Count points (PlotMove to the first, PlotLine to each other)
// drawn with the same pixels, but with each run of points that falls into one pixel
// column cut to its first, lowest, highest and last point: a long trace costs about
// four segments per column and keeps every peak.
void PlotPolyline(std::int32_t Count, const std::function<void(std::int32_t Index, float& X, float& Y)>& Point);

// ---------------------------------------------------------------- legend

void AddLegendEntry(std::int32_t Kind, const QString& Text);
void DrawLegend(std::int32_t Style, std::int32_t X, std::int32_t Y, std::int32_t HAlign, std::int32_t VAlign,
                std::int32_t MinWidth, std::int32_t MinHeight, std::int32_t ItemWidth, bool Frame);

// ---------------------------------------------------------------- mouse

void GraphMouseDown(TMouseButton Button, TShiftState Shift, std::int32_t X, std::int32_t Y);
void GraphMouseMove(TShiftState Shift, std::int32_t X, std::int32_t Y);
void GraphMouseUp(TMouseButton Button, TShiftState Shift, std::int32_t X, std::int32_t Y);

// ---------------------------------------------------------------- internal steps
// Reachable for the tests of the library; the windows use the calls above.

struct TickStep {
    float Step = 0;
    float MinorStep = 0;
    std::int32_t Decimals = 0;
};
TickStep FindTickStep(std::int32_t Len, std::int32_t N, float Min, float Max, float MinStep);
std::int32_t LogTickDensity(std::int32_t Len, float Ratio);
QString DecadeLabel(std::int32_t E, std::int32_t Digit);
QString ExpLabel(std::int32_t D, double V);
std::int32_t StepDecimals(float A);
// Fixed-point text with d decimals in the system's separator; never "-0".
QString FixedLabel(double V, std::int32_t D);
std::int32_t XToPixel(double V);
std::int32_t YToPixel(double V);
void ResetZoom(std::int32_t Slot);

// Read-only views of the module state.
const GraphArea& GraphSlot(std::int32_t Slot);   // 1 to 8
std::int32_t CurrentGraph();
std::int32_t GraphCount();
std::int32_t CurrentYAxisNumber();
std::int32_t DigitWidth();
std::int32_t DigitHeight();
const std::vector<QueuedSymbol>& SymbolQueue();
const QueuedSymbol& LastSymbolStyle();
const std::vector<LegendItem>& LegendList();
bool PendingEndPixel(std::int32_t& X, std::int32_t& Y);
bool CrosshairOn();
bool BandOn();
// Every tick label and caption the axes draw, in drawing order, while a recorder is set.
struct DrawnText {
    std::int32_t X = 0, Y = 0;
    QString Text;
};
void RecordAxisTexts(std::vector<DrawnText>* recorder);
