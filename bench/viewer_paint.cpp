// The waveform viewer's full repaint of a full store (145001 samples) at 1000 pixels
// wide: axes, grid, the trace cut to each column's extremes, the cursors and the edits.
#include "PaintBox.h"
#include "Waveform.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <clocale>
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
    w->TotalTime = 0;  // no trackbar snap: every repaint draws the same view
    w->CursorStart = 10;
    w->CursorEnd = 11;
    return w;
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
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
