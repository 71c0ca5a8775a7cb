// Samples per second through the test engine's per-sample steps over a long synthetic
// test (the instrument delivers 2400 per second): metering, the 20-sample blocks,
// detection with debounce, timing and recording, with the limit checks at each tick.
#include "CalData.h"
#include "KyrGlobals.h"
#include "KyrUpdate.h"
#include "SampleStore.h"
#include "SetupData.h"

#include "NullKyrView.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

// No instrument: no port, nothing streaming.
class NullLink : public IKyrLink {
public:
    bool GetPortFound() const override { return false; }
    void SetPortFound(bool) override {}
    bool GetStreaming() const override { return false; }
    int GetRxCount() const override { return 0; }
    int GetErrorCount() const override { return 0; }
    void ClearErrorCounts() override {}
    int GetSample() override { return 0; }
    void StopComm() override {}
};

// The engine's records, as the calibration, setup and waveform windows hold them.
TCalData* CalRec = nullptr;
TSetupData* SetupRec = nullptr;
TSampleStore* Store = nullptr;
NullLink Link;

void Setup()
{
    if (!CalRec)
        CalRec = new TCalData();
    if (!SetupRec)
        SetupRec = new TSetupData();
    if (!Store)
        Store = new TSampleStore();
    CalRec->OnThresh = 40;
    CalRec->MPUThresh = 100;
    CalRec->OnDelay = 5;
    CalRec->OffThresh = 20;
    CalRec->OffDelay = 15;
    CalRec->AvgTime = 0.1;
    CalRec->AvgSamples = 240;
    SetupRec->Range = 4;
    SetupRec->TestType = 0;
    // No time limits: the test runs over the whole waveform.
    SetupRec->MaxOnTime = 0;
    SetupRec->MaxOffTime = 0;
    Store->SampleRate = 2400;
    Store->SecPerSample = 1.0f / 2400;
    Store->AmpsPerCount = 0.5f;
    RangeFullScale = 500;
    MaxOps = 5;
}

// 60 s of 60 Hz current: 0.3 s on at a decaying 800-count peak, 0.5 s off, repeated;
// after the fifth the current keeps continuing operation 5.
std::vector<int16_t> LongTest()
{
    std::vector<int16_t> w(144000, 0);
    for (size_t i = 100; i < w.size(); ++i) {
        const size_t k = (i - 100) % 1920; // 0.8 s period
        if (k < 720)
            w[i] = static_cast<int16_t>(800 * (1 - 0.2 * k / 720.0) * std::sin(k * 9 * M_PI / 180));
    }
    return w;
}

void BM_PerSampleSteps(benchmark::State& state)
{
    Setup();
    NullKyrView view;
    TKyrUpdate engine(&view, &Link, CalRec, SetupRec, Store);
    const std::vector<int16_t> w = LongTest();
    for (auto _ : state) {
        engine.Reset();
        view.ops = 0;
        for (size_t i = 0; i < w.size(); i += 240) {
            for (size_t j = i; j < i + 240 && j < w.size(); ++j)
                engine.ProcessSample(w[j]);
            if (engine.Result == 0)
                engine.CheckLimits();
        }
        benchmark::DoNotOptimize(engine.TripTime[5]);
        if (!engine.Running || view.ops != 5)
            state.SkipWithError("the synthetic test did not run to its end");
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(w.size()));
    state.counters["samples/s"] =
        benchmark::Counter(static_cast<double>(w.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_PerSampleSteps)->Unit(benchmark::kMillisecond);

// The same test played through the tick in demo mode: sample counts, display refresh
// and limit checks included (the view does nothing).
void BM_DemoTicks(benchmark::State& state)
{
    Setup();
    NullKyrView view;
    TKyrUpdate engine(&view, &Link, CalRec, SetupRec, Store);
    engine.CurrentFormat = QStringLiteral("%5.1f A");
    engine.TimeFormat = QStringLiteral("%8.4f secs");
    const std::vector<int16_t> w = LongTest();
    std::copy(w.begin(), w.begin() + TKyrUpdate::DemoPlayMax, engine.DemoSamples.begin());
    DemoMode = true;
    const int ticks = TKyrUpdate::DemoPlayMax / 240;
    for (auto _ : state) {
        engine.Reset();
        view.ops = 0;
        DemoPlaying = true;
        for (int t = 0; t < ticks; ++t)
            engine.TimerTick();
        benchmark::DoNotOptimize(engine.TripTime[5]);
    }
    DemoMode = false;
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * ticks * 240);
    state.counters["samples/s"] =
        benchmark::Counter(static_cast<double>(ticks) * 240, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_DemoTicks)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
