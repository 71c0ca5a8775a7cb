#include "EngineFixture.h"

#include "SysUtils.h"

void EngineTest::SetUp()
{
    DecimalSeparator = QLatin1Char('.');
    cal = std::make_unique<TCalData>();
    setup = std::make_unique<TSetupData>();
    store = std::make_unique<TSampleStore>();

    cal->OnThresh = 40;
    cal->MPUThresh = 100;
    cal->OnDelay = 5;
    cal->OffThresh = 20;
    cal->OffDelay = 15;
    cal->AvgTime = 0.1;
    cal->AvgSamples = 240;
    cal->CalError = false;
    cal->SerNum = QStringLiteral(" KV0012345");

    setup->Range = 4;
    setup->MaxOnTime = 5.0;
    setup->MaxOffTime = 1.0;
    setup->TestType = 0;
    setup->SourceName = QStringLiteral("COM3");

    store->SampleRate = 2400;
    store->SecPerSample = 1.0f / 2400;
    store->AmpsPerCount = 0.5f;
    store->SampleIndex = 0;
    store->FileName = QStringLiteral("KestrovanNorm.kwf");

    RangeFullScale = 500;
    DemoMode = true;
    DemoPlaying = false;
    MaxOps = 4;

    engine = new TKyrUpdate(&view, link, cal.get(), setup.get(), store.get());
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
