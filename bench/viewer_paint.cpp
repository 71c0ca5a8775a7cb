// The waveform viewer's full repaint of a full store (145001 samples) at 1000 pixels
// wide: axes, grid, the trace cut to each column's extremes, the cursors and the edits.
// Before timing, the repaint is compared pixel by pixel with the same view drawn sample
// by sample; the program stops with an error when they differ.
#include "PaintBox.h"
#include "Waveform.h"
#include "xyplot.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <clocale>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

std::unique_ptr<TfmWaveform> MakeViewer()
{
    auto w = std::make_unique<TfmWaveform>();
    w->SampleRate = 2400;
    w->AmpsPerCount = 0.244140625f;
    w->show();
    // The paint box follows the window: make it 1000 pixels wide.
    w->resize(w->width() + (1000 - w->PaintBox1->width()), w->height());
    QCoreApplication::processEvents();
    for (int i = 0; i < WaveStoreSize; ++i)
        w->Samples[i] = static_cast<int16_t>(std::lround(1500 * std::sin(2 * M_PI * 60 * i / 2400.0)) + (i * 7919) % 13 - 6);
    w->ViewStart = 0;
    w->ViewEnd = static_cast<float>((WaveStoreSize - 1) / 2400.0);
    // The trackbar scale over the whole view: the thumb stays at 0, every repaint draws
    // the same view, and the cursors (1 s apart, within the scale) keep their places.
    w->TotalTime = w->ViewEnd;
    w->CursorStart = 10;
    w->CursorEnd = 11;
    return w;
}

// The viewer's repaint against every sample drawn with its own line (and marker).
bool RepaintLooksLikeEverySample(TfmWaveform& w)
{
    const float cursorStart = w.CursorStart, cursorEnd = w.CursorEnd;
    w.PaintBox1->Repaint();
    const QImage repaint = w.PaintBox1->Image().copy();
    InitGraph(w.PaintBox1, clBlack, clWhite, 1.1f);
    GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false);
    XAxis(clWhite, QString(), true, w.ViewStart, w.ViewEnd, 0, 0, false, true);
    YAxis(clWhite, QString(), 1, w.YMin, w.YMax, 0, 0, true, false, true);
    TPen* pen = w.PaintBox1->Canvas->Pen;
    pen->Width = 2;
    pen->Color = clYellow;
    PlotMove(static_cast<float>(w.FirstShown / w.SampleRate), w.Samples[w.FirstShown] * w.AmpsPerCount);
    for (int i = w.FirstShown + 1; i <= w.LastShown; ++i) {
        PlotLine(static_cast<float>(i / w.SampleRate), w.Samples[i] * w.AmpsPerCount);
        PlotSymbol(1, 0, 1);
    }
    PlotMove(cursorStart, w.YMax);
    pen->Color = clLime;
    PlotLine(cursorStart, w.YMin);
    PlotMove(cursorEnd, w.YMax);
    pen->Color = clRed;
    PlotLine(cursorEnd, w.YMin);
    const QImage& every = w.PaintBox1->Image();
    long differing = 0;
    for (int y = 0; y < every.height(); ++y)
        for (int x = 0; x < every.width(); ++x)
            differing += every.pixel(x, y) != repaint.pixel(x, y);
    std::printf("%ld pixels differ between the repaint and every sample drawn\n", differing);
    w.CursorStart = cursorStart;
    w.CursorEnd = cursorEnd;
    return differing == 0;
}

void BM_ViewerFullRepaint(benchmark::State& state)
{
    auto w = MakeViewer();
    if (w->PaintBox1->width() != 1000)
        state.SkipWithError("paint box is not 1000 pixels wide");
    for (auto _ : state) {
        w->PaintBox1->Repaint();
        benchmark::DoNotOptimize(w->PaintBox1->Image().constBits());
    }
    state.counters["samples"] = w->LastShown - w->FirstShown + 1;
    state.counters["width_px"] = w->PaintBox1->width();
}

} // namespace

BENCHMARK(BM_ViewerFullRepaint)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    {
        auto w = MakeViewer();
        if (!RepaintLooksLikeEverySample(*w)) {
            std::fprintf(stderr, "the viewer's repaint does not look like every sample drawn\n");
            return 1;
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
