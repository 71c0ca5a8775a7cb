#include "EngineFixture.h"

#include "Comm.h"
#include "SysUtils.h"

void EngineTest::SetUp()
{
    DecimalSeparator = QLatin1Char('.');
    cal = std::make_unique<TfmCal>();
    fmCal = cal.get();
    setup = std::make_unique<TfmSetup>();
    fmSetup = setup.get();
    store = std::make_unique<TfmWaveform>();
    fmWaveform = store.get();

    fmCal->OnThresh = 40;
    fmCal->MPUThresh = 100;
    fmCal->OnDelay = 5;
    fmCal->OffThresh = 20;
    fmCal->OffDelay = 15;
    fmCal->AvgTime = 0.1;
    fmCal->AvgSamples = 240;
    fmCal->CalError = false;
    fmCal->SerNum = QStringLiteral(" KV0012345");

    fmSetup->Range = 4;
    fmSetup->MaxOnTime = 5.0;
    fmSetup->MaxOffTime = 1.0;
    fmSetup->TestType = 0;
    fmSetup->SourceName = QStringLiteral("COM3");

    fmWaveform->SampleRate = 2400;
    fmWaveform->SecPerSample = 1.0f / 2400;
    fmWaveform->AmpsPerCount = 0.5f;
    fmWaveform->SampleIndex = 0;
    fmWaveform->FileName = QStringLiteral("KestrovanNorm.kwf");

    RangeFullScale = 500;
    DemoMode = true;
    DemoPlaying = false;
    MaxOps = 4;

    engine = new TKyrUpdate(&view);
    engine->CurrentFormat = QStringLiteral("%5.1f A");
    engine->TimeFormat = QStringLiteral("%8.4f secs");
    ResetEngine();
}

void EngineTest::TearDown()
{
    delete engine;
    engine = nullptr;
    store.reset();
    setup.reset();
    cal.reset();
    DemoMode = false;
    DemoPlaying = false;
}

void EngineTest::ResetEngine()
{
    engine->Reset();
    view.opCount = 0;
    view.dataSaved = true;
}

void EngineTest::Play(const Wave& w, int perTick, bool display)
{
    for (int i = 0; i < w.size();) {
        const int end = std::min(w.size(), i + perTick);
        for (; i < end; ++i)
            engine->ProcessSample(w.s[i]);
        if (display)
            engine->UpdateDisplay();
        if (engine->Result == trNone)
            engine->CheckLimits();
    }
    if (display)
        engine->UpdateDisplay();
}

void EngineTest::Feed(const Wave& w)
{
    for (int16_t x : w.s)
        engine->ProcessSample(x);
}
