// Paint time of a full waveform store (145001 samples) drawn into a plot 1000 pixels
// wide: every segment as the viewer draws it, and the per-column reduction of
// PlotPolyline. Before timing, both are drawn once and compared pixel by pixel; the
// program stops with an error when the reduced trace looks different.
#include "xyplot.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int Samples = 145001;
constexpr double SampleRate = 2400;

std::vector<std::int16_t>& Trace()
{
    static std::vector<std::int16_t> s = [] {
        std::vector<std::int16_t> v(Samples);
        unsigned noise = 12345;
        for (int i = 0; i < Samples; ++i) {
            const double t = i / SampleRate;
            // Operations of a few tenths of a second every few seconds, with noise and
            // a one-sample spike now and then.
            const double phase = std::fmod(t, 7.0);
            double a = phase > 1.0 && phase < 1.4 ? 1800 * (0.7 + 0.3 * std::exp(-(phase - 1.0) / 0.05)) : 0;
            noise = noise * 1103515245u + 12345u;
            double y = a * std::sin(2 * M_PI * 60 * t) + double((noise >> 16) % 21) - 10;
            if (i % 10007 == 0)
                y = 2040;
            v[i] = std::int16_t(std::lround(std::clamp(y, -2048.0, 2044.0)));
        }
        return v;
    }();
    return s;
}

TPaintBox* Box()
{
    static TPaintBox* box = [] {
        auto* b = new TPaintBox;
        b->resize(1060, 400); // plot width 1000 with the system's margins
        return b;
    }();
    return box;
}

void OpenPlot()
{
    TPaintBox* box = Box();
    InitGraph(box, clBlack, clWhite, 1);
    GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false);
    XAxis(clWhite, QString(), true, 0, float((Samples - 1) / SampleRate), 0, 0, false, true);
    YAxis(clWhite, QString(), 1, -2048, 2048, 0, 0, true, false, true);
    box->Canvas->Pen->Color = clYellow;
    box->Canvas->Pen->Width = 2;
}

void DrawEverySegment(bool symbols)
{
    const std::vector<std::int16_t>& s = Trace();
    PlotMove(0, s[0]);
    if (symbols)
        PlotSymbol(1, 0, 1);
    for (int i = 1; i < Samples; ++i) {
        PlotLine(float(i / SampleRate), s[i]);
        if (symbols)
            PlotSymbol(1, 0, 1);
    }
}

void DrawReduced()
{
    const std::vector<std::int16_t>& s = Trace();
    PlotPolyline(Samples, [&s](int i, float& x, float& y) {
        x = float(i / SampleRate);
        y = s[i];
    });
}

bool ReductionLooksTheSame()
{
    bool same = true;
    for (int width : {1, 2}) {
        OpenPlot();
        Box()->Canvas->Pen->Width = width;
        DrawEverySegment(false);
        PlotMove(0, 0); // sets the pending end pixel
        const QImage every = Box()->Image().copy();
        OpenPlot();
        Box()->Canvas->Pen->Width = width;
        DrawReduced();
        PlotMove(0, 0);
        const QImage reduced = Box()->Image().copy();
        long differing = 0;
        for (int y = 0; y < every.height(); ++y)
            for (int x = 0; x < every.width(); ++x)
                differing += every.pixel(x, y) != reduced.pixel(x, y);
        std::printf("pen width %d: %ld pixels differ between every segment and the reduced trace\n", width,
                    differing);
        same = same && differing == 0;
    }
    return same;
}

void BM_PaintEverySegment(benchmark::State& state)
{
    for (auto _ : state) {
        OpenPlot();
        DrawEverySegment(false);
    }
    state.SetItemsProcessed(state.iterations() * Samples);
}

// As the viewer draws: a symbol queued after every segment (never drawn).
void BM_PaintEverySegmentWithSymbols(benchmark::State& state)
{
    for (auto _ : state) {
        OpenPlot();
        DrawEverySegment(true);
    }
    state.SetItemsProcessed(state.iterations() * Samples);
}

void BM_PaintReducedTrace(benchmark::State& state)
{
    for (auto _ : state) {
        OpenPlot();
        DrawReduced();
    }
    state.SetItemsProcessed(state.iterations() * Samples);
}

// The frame alone (box, area and axes), for reference.
void BM_PaintAxesOnly(benchmark::State& state)
{
    for (auto _ : state)
        OpenPlot();
}

BENCHMARK(BM_PaintEverySegment)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_PaintEverySegmentWithSymbols)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_PaintReducedTrace)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_PaintAxesOnly)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    if (!ReductionLooksTheSame()) {
        std::fprintf(stderr, "the reduced trace does not look like the full trace\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
