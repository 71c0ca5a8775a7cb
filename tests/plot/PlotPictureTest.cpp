// A window drawing a waveform-like plot and a log-log curve plot with a legend, saved
// as build/artifacts/plot_waveform.png for a person to look at.
#include "TestSupport.h"
#include "xyplot.h"

#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <cmath>
#include <gtest/gtest.h>

namespace {

// Current of a recloser test: two operations of a decaying 60 Hz fault current.
float Current(double t)
{
    auto op = [&](double on, double off, double amps) -> double {
        if (t < on || t >= off)
            return 0;
        const double s = t - on;
        return amps * (std::sin(2 * M_PI * 60 * s) + 0.6 * std::exp(-s / 0.03) * 0) *
               (0.75 + 0.25 * std::exp(-s / 0.05));
    };
    return float(op(0.10, 0.36, 1250) + op(0.82, 0.97, 1150));
}

// An inverse time-current curve: seconds at a multiple of pick-up.
float CurveSeconds(double m, double a, double b)
{
    return float(a / (std::pow(m, 2.0) - 1) + b);
}

void PaintPlots(TPaintBox* box)
{
    InitGraph(box, clBlack, clWhite, 1);

    // The waveform: time against current, grid on, two cursors and trip marks.
    GraphWindow(0, 100, 0, 52, 60, 20, 30, 40, false);
    XAxis(clWhite, QStringLiteral("Time (s)"), true, 0, 1.2f, 0, 0, false, true);
    YAxis(clWhite, QStringLiteral("Amps"), 1, -1500, 1500, 0, 0, true, false, true);
    TCanvas* c = box->Canvas;
    c->Pen->Color = clYellow;
    c->Pen->Width = 2;
    const int samples = 2881; // 1.2 s at 2400 per second
    PlotPolyline(samples, [](int i, float& x, float& y) {
        x = float(i / 2400.0);
        y = Current(i / 2400.0);
    });
    AddLegendEntry(0, QStringLiteral("Current"));
    for (auto [t, colour] : {std::pair{0.10f, clLime}, std::pair{0.36f, clRed}}) {
        c->Pen->Color = colour;
        c->Pen->Width = 1;
        PlotMove(t, -1500);
        PlotLine(t, 1500);
    }
    c->Pen->Color = clAqua;
    c->Pen->Width = 1;
    for (float t : {0.10f, 0.82f}) {
        PlotMove(t, 0);
        PlotSymbol(3, 10, 0);
    }
    AddLegendEntry(3, QStringLiteral("Trip start"));

    // The curves: log-log, multiples of pick-up against seconds.
    GraphWindow(0, 100, 52, 100, 60, 20, 40, 40, false);
    XAxis(clWhite, QStringLiteral("Multiples of pick-up"), true, 1.5f, 15, 0, 0, true, true);
    YAxis(clWhite, QStringLiteral("@Seconds"), 1, 0.01f, 20, 0, 0, true, true, true);
    struct Curve { TColor colour; double a, b; const char* text; } curves[] = {
        {clRed, 28.2, 0.12, "Delay Curve MAX"},
        {clLime, 19.6, 0.08, "Delay Curve MIN"},
        {clYellow, 0.9, 0.02, "Fast Curve MAX"},
    };
    for (const Curve& k : curves) {
        c->Pen->Color = k.colour;
        c->Pen->Width = 2;
        for (int i = 0; i <= 200; ++i) {
            const double m = 1.5 * std::pow(10.0, i / 200.0);
            if (i == 0)
                PlotMove(float(m), CurveSeconds(m, k.a, k.b));
            else
                PlotLine(float(m), CurveSeconds(m, k.a, k.b));
        }
        AddLegendEntry(0, QLatin1String(k.text));
    }
    DrawLegend(2, 774, 380, -1, 1, 3, 50, 60, true);
}

} // namespace

TEST(PlotPicture, WaveformAndCurvesRenderToAnArtifact)
{
    QWidget window;
    window.setWindowTitle(QStringLiteral("Plot"));
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* box = new TPaintBox(&window);
    box->setFixedSize(800, 640);
    layout->addWidget(box);
    box->OnPaint = [box](QObject*) { PaintPlots(box); };
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    const QImage shot = box->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QString path = ArtifactPath(QStringLiteral("plot_waveform.png"));
    ASSERT_TRUE(shot.save(path)) << path.toStdString();

    // The trace, the cursors and the three curves are on it; the legend's texts too.
    int yellow = 0, red = 0, lime = 0, aqua = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb p = shot.pixel(x, y) & 0xFFFFFF;
            yellow += p == 0xFFFF00;
            red += p == 0xFF0000;
            lime += p == 0x00FF00;
            aqua += p == 0x00FFFF;
        }
    EXPECT_GT(yellow, 2000);
    EXPECT_GT(red, 300);
    EXPECT_GT(lime, 300);
    EXPECT_GT(aqua, 10) << "the trip marks, drawn when the second area opened";
    EXPECT_TRUE(LegendList().empty());
}
