// The engine's tick (sample counts of demo and instrument, the lost-link rule, the
// display clock), its reset and arming, and what it shows: status texts and colours,
// the meter and progress bar, the result rows. Ends with a demo file played through
// the tick.
#include "EngineFixture.h"

#include "Comm.h"
#include "Debug.h"
#include "KyrLink.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "USB.h"
#include "Waveform.h"

#include <QTimer>
#include <cmath>
#include <mutex>
#include <string>

namespace {

// The instrument's two bytes for a count (a multiple of 4 in -2048..2044).
void AppendPair(int v)
{
    const int u = v + 2048;
    const uint8_t first = static_cast<uint8_t>(u & 0xFC);
    const uint8_t second = static_cast<uint8_t>(((u >> 6) & 0xFC) | 1);
    ASSERT_EQ(SamplePairValue(first, second), v);
    const uint8_t bytes[2] = {first, second};
    fmComm->AppendRx(bytes, 2);
}

constexpr const char* ZeroRow = "  0.0 A | 0.0% |   0.0000 secs |   0.0000 secs";

} // namespace

// The tick's fixture: the engine's own fixture (no window, an idle fake link) and a
// helper that runs ticks.
class EngineTick : public EngineTest {
protected:
    void Ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            engine->TimerTick();
    }
};

// The engine on the program's link (TKyrLink over the link and USB windows), idle: no
// port, not streaming. Its tests check the engine together with the link's byte ring
// and sample decoder.
class EngineOnLink : public EngineTick {
protected:
    void SetUp() override
    {
        link = &programLink;
        comm = std::make_unique<TfmComm>();
        fmComm = comm.get();
        comm->CommTimer->stop();
        usb = std::make_unique<TfmUSB>();
        fmUSB = usb.get();
        {
            std::lock_guard<std::mutex> g(*CommLock);
            fmComm->RxHead = 0;
            fmComm->RxTail = 0;
            fmComm->RxCount = 0;
        }
        fmComm->PortFound = false;
        fmComm->Streaming = false;
        fmComm->ErrorCount = 0;
        EngineTick::SetUp();
    }
    void TearDown() override
    {
        EngineTick::TearDown();
        usb.reset();
        comm.reset();
    }
    TKyrLink programLink;
    std::unique_ptr<TfmComm> comm;
    std::unique_ptr<TfmUSB> usb;
};

// ---------------------------------------------------------------------------------
// Reset and arming

TEST_F(EngineTick, ResetClearsResultsAndArms)
{
    // A finished test first.
    Play(Wave().zeros(107).on(240, 400).zeros(4000));
    ASSERT_EQ(engine->Result, trTimeout);
    view.meter = 77;
    view.minPickUp = QStringLiteral("x");

    ResetEngine();

    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(view.Row(i), QString::fromLatin1(ZeroRow)) << "row " << i;
    for (int i = 1; i <= 5; ++i) {
        EXPECT_EQ(engine->TripCurr[i], 0);
        EXPECT_EQ(engine->TripTime[i], 0);
        EXPECT_EQ(engine->ReclTime[i], 0);
        EXPECT_EQ(engine->Decay[i], 0);
    }
    EXPECT_EQ(view.minPickUp, QString());
    EXPECT_EQ(view.meter, 0);
    EXPECT_TRUE(view.range);
    EXPECT_TRUE(view.testTypeSel);
    EXPECT_TRUE(view.maxOpsBox);
    EXPECT_FALSE(view.checkTCC);
    EXPECT_EQ(view.armedCaption, QStringLiteral("ARMED"));
    EXPECT_EQ(view.armedColor, TKyrColor::Lime);
    EXPECT_EQ(view.status[1], QStringLiteral("Press RUN to start DEMO"));
    EXPECT_EQ(view.status[2], QStringLiteral("KestrovanNorm.kwf"));
    EXPECT_TRUE(engine->Armed);
    EXPECT_FALSE(engine->Running);
    EXPECT_EQ(engine->Result, trNone);
    EXPECT_TRUE(engine->UpdateReady);
    EXPECT_EQ(engine->MpuCountdown, 50);
    EXPECT_EQ(engine->TotalSamples, 0);
    EXPECT_EQ(engine->Timer->interval(), 100);
    for (int16_t s : store->Samples)
        ASSERT_EQ(s, 0);
}

TEST_F(EngineTick, RingFollowsOnDelay)
{
    EXPECT_EQ(engine->Ring.size(), 11u); // on delay 5
    cal->OnDelay = 20;
    ResetEngine();
    EXPECT_EQ(engine->RingSize, 25);
    ASSERT_EQ(engine->Ring.size(), 26u);
    Feed(Wave().raw({7, 7, 7}));
    const int16_t* storage = engine->Ring.data();
    ResetEngine();
    EXPECT_EQ(engine->Ring.data(), storage);
    for (int16_t s : engine->Ring)
        EXPECT_EQ(s, 0);
    // A calibration with a negative on delay still leaves a ring to write into.
    cal->OnDelay = -9;
    ResetEngine();
    EXPECT_EQ(engine->Ring.size(), 1u);
    Feed(Wave().zeros(20).on(20, 400));
    EXPECT_TRUE(engine->Running);
}

// The first sample captured is the oldest of the ring: a test's recording starts with
// the RingSize samples up to the trigger, the trigger sample stored once.
TEST_F(EngineTick, RecordingStartsWithPreTriggerSamples)
{
    // 20 zeros, then 101..108: the on decision comes at the 5th, 105 (index 24).
    Feed(Wave().zeros(20).raw({101, 102, 103, 104, 105, 106, 107, 108}));
    // The ring (11 entries) gives the newest 10 up to the trigger: indices 15..19
    // (zeros) and 101..105; then 106..108 follow.
    const std::vector<int16_t> expect{0, 0, 0, 0, 0, 101, 102, 103, 104, 105, 106, 107, 108};
    EXPECT_EQ(store->SampleIndex, 13);
    EXPECT_EQ(std::vector<int16_t>(store->Samples, store->Samples + 13), expect);
    // Trip-phase sum: the 4 samples before the trigger, the trigger and 3 after.
    EXPECT_DOUBLE_EQ(engine->OnSumSq, 101. * 101 + 102 * 102 + 103 * 103 + 104 * 104 + 105 * 105 +
                                          106 * 106 + 107 * 107 + 108 * 108);
}

// ---------------------------------------------------------------------------------
// Timer interval and display clock

struct IntervalCase {
    double avgTime;
    int interval;
    int refreshesIn8Ticks;
    const char* elapsed; // 8 ticks of samples, seconds
    friend void PrintTo(const IntervalCase& c, std::ostream* os) { *os << "AvgTime " << c.avgTime; }
};

class EngineInterval : public EngineTick, public ::testing::WithParamInterface<IntervalCase> {};

TEST_P(EngineInterval, IntervalAndDisplayRefresh)
{
    cal->AvgTime = GetParam().avgTime;
    ResetEngine();
    EXPECT_EQ(engine->Timer->interval(), GetParam().interval);
    view.currentWrites = 0;
    engine->DisplayClock = 0;
    Ticks(8);
    EXPECT_EQ(view.currentWrites, GetParam().refreshesIn8Ticks);
    // Demo ticks take interval * 2400 / 1000 samples each.
    EXPECT_EQ(engine->TotalSamples, 8 * GetParam().interval * 2400 / 1000);
    EXPECT_EQ(view.status[0], QString::fromLatin1(GetParam().elapsed));
}

INSTANTIATE_TEST_SUITE_P(Cases, EngineInterval, ::testing::Values(
    IntervalCase{0.0, 100, 4, " 0.8000"},  // 0.04 s and below: 100 ms, every second tick
    IntervalCase{0.04, 100, 4, " 0.8000"},
    IntervalCase{0.05, 50, 2, " 0.4000"},  // every fourth tick
    IntervalCase{0.1, 100, 4, " 0.8000"},
    IntervalCase{0.15, 150, 4, " 1.2000"}, // 150, 300: every second tick
    IntervalCase{0.25, 250, 8, " 2.0000"})); // every tick

// ---------------------------------------------------------------------------------
// Demo samples

TEST_F(EngineTick, DemoWithoutPlaybackIsNoiseBelowThreshold)
{
    int lo = 100, hi = -100;
    for (int t = 0; t < 50; ++t) {
        engine->TimerTick();
        lo = std::min<int>(lo, engine->RawSample);
        hi = std::max<int>(hi, engine->RawSample);
    }
    EXPECT_GE(lo, 2);
    EXPECT_LE(hi, 6);
    EXPECT_EQ(engine->TotalSamples, 50 * 240);
    EXPECT_TRUE(engine->Armed);
    EXPECT_FALSE(engine->Running);
    // RMS of 2..6 is about sqrt(18) = 4.2 counts = 2.1 A.
    EXPECT_GT(engine->MeterAmps, 1.5);
    EXPECT_LT(engine->MeterAmps, 2.7);
}

// A demo tick takes interval x rate / 1000 samples, rounded with halves to even; the
// interval itself is the averaging time in whole milliseconds, rounded the same way.
struct DemoCountCase {
    double avgTime, rate;
    int interval, samples;
    friend void PrintTo(const DemoCountCase& c, std::ostream* os) { *os << c.avgTime << " s, " << c.rate << "/s"; }
};

class EngineDemoCount : public EngineTick, public ::testing::WithParamInterface<DemoCountCase> {};

TEST_P(EngineDemoCount, SamplesPerTick)
{
    cal->AvgTime = GetParam().avgTime;
    store->SampleRate = GetParam().rate;
    ResetEngine();
    EXPECT_EQ(engine->Timer->interval(), GetParam().interval);
    engine->TimerTick();
    EXPECT_EQ(engine->TotalSamples, GetParam().samples);
}

INSTANTIATE_TEST_SUITE_P(Cases, EngineDemoCount, ::testing::Values(
    DemoCountCase{0.0625, 2400, 62, 149},     // 62.5 ms -> 62; 148.8 -> 149
    DemoCountCase{0.1875, 2400, 188, 451},    // 187.5 ms -> 188; 451.2 -> 451
    DemoCountCase{0.1, 2405, 100, 240},       // 240.5 -> 240
    DemoCountCase{0.1, 2415, 100, 242},       // 241.5 -> 242
    DemoCountCase{0.1, 2399.99994, 100, 240})); // a file's rate just below 2400

TEST_F(EngineTick, DemoPlaybackStopsAtSixtyThousand)
{
    std::fill(engine->DemoSamples.begin(), engine->DemoSamples.end(), 30);
    DemoPlaying = true;
    engine->DemoIndex = 59990;
    engine->TimerTick();
    EXPECT_EQ(engine->DemoIndex, 60000);
    EXPECT_NE(engine->RawSample, 30); // the last 230 samples of the tick are noise
    EXPECT_EQ(engine->TotalSamples, 240);
}

// ---------------------------------------------------------------------------------
// Meter and progress bar, status while running

struct GaugeCase {
    double fullScale, meterAmps;
    int progress, meter;
    friend void PrintTo(const GaugeCase& c, std::ostream* os) { *os << c.fullScale << " " << c.meterAmps; }
};

class EngineGauge : public EngineTick, public ::testing::WithParamInterface<GaugeCase> {};

// The tick shows the previous tick's meter current in percent and tenths of a
// percent of full scale, rounded.
TEST_P(EngineGauge, ProgressAndMeter)
{
    RangeFullScale = GetParam().fullScale;
    engine->MeterAmps = GetParam().meterAmps;
    engine->TimerTick();
    EXPECT_EQ(view.progress, GetParam().progress);
    EXPECT_EQ(view.meter, GetParam().meter);
}

INSTANTIATE_TEST_SUITE_P(Cases, EngineGauge, ::testing::Values(
    GaugeCase{500, 250, 50, 500},    // half of full scale: the needle at 500
    GaugeCase{500, 500, 100, 1000},  // full scale
    GaugeCase{500, 750, 150, 1500},  // beyond: passed on, the controls limit it
    GaugeCase{500, 1.23, 0, 2},      // 0.246 % -> 0; 2.46 -> 2
    GaugeCase{500, 4.99, 1, 10},     // 0.998 -> 1 and 9.98 -> 10: rounded, not truncated
    GaugeCase{500, 12.5, 2, 25},     // 2.5 -> 2: halves go to even
    GaugeCase{500, 17.5, 4, 35},     // 3.5 -> 4
    GaugeCase{500, 0.25, 0, 0},      // meter 0.5 -> 0
    GaugeCase{500, 0.75, 0, 2},      // meter 1.5 -> 2
    GaugeCase{0, 250, 0, 0},         // a bad shunt gives no full scale: nothing to show
    GaugeCase{-500, 250, 0, 0}));

TEST_F(EngineOnLink, GaugesOnlyInDemoOrWhileStreaming)
{
    DemoMode = false;
    engine->TimerTick();
    EXPECT_EQ(view.progressWrites, 0);
    EXPECT_EQ(view.meterWrites, 1); // Reset's 0 only
    fmComm->PortFound = true;
    fmComm->Streaming = true;
    AppendPair(0);
    engine->TimerTick();
    EXPECT_EQ(view.progressWrites, 1);
}

TEST_F(EngineTick, RunningTickShowsUnderrange)
{
    Feed(Wave().zeros(20).on(10, 400));
    ASSERT_TRUE(engine->Running);
    engine->TimerTick();
    EXPECT_EQ(view.status[1], QStringLiteral("Test in progress"));
    EXPECT_EQ(view.statusColor, TKyrColor::BtnFace);
    engine->Underrange = true;
    engine->TimerTick();
    EXPECT_EQ(view.status[1], QStringLiteral("Underrange Detected"));
    EXPECT_EQ(view.statusColor, TKyrColor::Yellow);
    // The range box is enabled exactly while armed.
    EXPECT_FALSE(view.range);
}

// Range 1 never reports underrange; from range 2 a trip current under 30 % of full
// scale does: 240 samples at +-200 give 100 sqrt(240/241) = 99.79 A < 150 A.
TEST_F(EngineTick, UnderrangeFromRangeTwo)
{
    const Wave w = Wave().zeros(107).on(240, 200).zeros(300);
    setup->Range = 1;
    Feed(w);
    EXPECT_FALSE(engine->Underrange);
    setup->Range = 2;
    ResetEngine();
    Feed(w);
    EXPECT_TRUE(engine->Underrange);
    EXPECT_NEAR(engine->TripCurr[1], 100 * std::sqrt(240.0 / 241), 1e-4);
    // A test that ends without a result shows it.
    engine->TestEnd();
    EXPECT_EQ(view.status[1], QStringLiteral("Underrange detected"));
    EXPECT_EQ(view.statusColor, TKyrColor::Yellow);
}

TEST_F(EngineTick, ReenteredTickIsCountedAndRuns)
{
    fmDebug = new TfmDebug();
    engine->UpdateReady = false;
    engine->TimerTick();
    const QString trace = fmDebug->TraceText();
    delete fmDebug;
    fmDebug = nullptr;
    EXPECT_TRUE(trace.contains(QStringLiteral("*Update Error "))) << trace.toStdString();
    EXPECT_EQ(engine->UpdateErrorCount, 1);
    EXPECT_EQ(engine->TotalSamples, 240);
    EXPECT_TRUE(engine->UpdateReady);
    engine->UpdateErrorCount = 255;
    engine->UpdateReady = false;
    engine->TimerTick();
    EXPECT_EQ(engine->UpdateErrorCount, 0);
    engine->TimerTick();
    EXPECT_EQ(engine->UpdateErrorCount, 0);
}

// ---------------------------------------------------------------------------------
// Instrument ticks

TEST_F(EngineTick, NoInstrumentProcessesOneZeroSample)
{
    DemoMode = false;
    engine->RawSample = 9;
    const int before = engine->MeterCount;
    engine->TimerTick();
    EXPECT_EQ(engine->RawSample, 0);
    EXPECT_EQ(engine->MeterCount, before + 1);
    EXPECT_EQ(engine->TotalSamples, 0);
}

TEST_F(EngineOnLink, FoundButNotStreamingProcessesNone)
{
    DemoMode = false;
    fmComm->PortFound = true;
    for (int i = 0; i < 10; ++i)
        AppendPair(400);
    engine->RawSample = 9;
    const int before = engine->MeterCount;
    engine->TimerTick();
    EXPECT_EQ(engine->RawSample, 9);
    EXPECT_EQ(engine->MeterCount, before);
    EXPECT_EQ(fmComm->RxCount, 20);
}

TEST_F(EngineOnLink, StreamingTakesEveryWaitingPair)
{
    DemoMode = false;
    fmComm->PortFound = true;
    fmComm->Streaming = true;
    for (int i = 0; i < 300; ++i)
        AppendPair(i % 2 ? -400 : 400);
    fmComm->AppendRx(reinterpret_cast<const uint8_t*>("\x00"), 1); // half a pair stays
    engine->TimerTick();
    EXPECT_EQ(engine->TotalSamples, 300);
    EXPECT_EQ(fmComm->RxCount, 1);
    EXPECT_TRUE(engine->Running);
    EXPECT_FALSE(view.commError);
    EXPECT_EQ(view.commErrorWrites, 1);
    fmComm->ErrorCount = 1;
    AppendPair(400);
    engine->TimerTick();
    EXPECT_TRUE(view.commError);
}

TEST_F(EngineOnLink, FourthEmptyStreamingTickLosesTheLink)
{
    DemoMode = false;
    fmComm->PortFound = true;
    fmComm->Streaming = true;
    engine->RawSample = 9;
    engine->TimerTick(); // nothing received: no sample is made up
    EXPECT_EQ(engine->TotalSamples, 0);
    EXPECT_EQ(engine->RawSample, 9);
    Ticks(2);
    EXPECT_EQ(engine->EmptyTicks, 3);
    AppendPair(0); // data in between restarts the count
    engine->TimerTick();
    EXPECT_EQ(engine->EmptyTicks, 0);
    Ticks(3);
    EXPECT_TRUE(fmComm->PortFound);
    EXPECT_TRUE(engine->Armed);
    engine->TimerTick();
    EXPECT_EQ(engine->EmptyTicks, 4);
    EXPECT_FALSE(fmComm->PortFound);
    EXPECT_FALSE(fmComm->Streaming);
    EXPECT_FALSE(engine->Armed);
    EXPECT_EQ(engine->Result, trNone);
    EXPECT_EQ(view.status[1], QStringLiteral("Test Over"));
    EXPECT_EQ(view.status[2], QStringLiteral("Error on COM3"));
    EXPECT_EQ(view.statusColor, TKyrColor::Red);
    EXPECT_EQ(view.runCaption, QStringLiteral("RESET"));
}

// A test that ends inside the sample loop with more than 2 link errors forgets the
// port: the tick then processes one sample of 0 and takes nothing more.
TEST_F(EngineOnLink, LinkErrorsAtTestEndStopTheTick)
{
    DemoMode = false;
    fmComm->PortFound = true;
    fmComm->Streaming = true;
    for (int i = 0; i < 10; ++i)
        AppendPair(i % 2 ? -400 : 400); // on decision at the 5th: the test starts
    const uint8_t bad = 0x01;          // a first byte with bit 0 set: one error each
    for (int i = 0; i < 3; ++i)
        fmComm->AppendRx(&bad, 1);
    AppendPair(2044); // overrange ends the test
    for (int i = 0; i < 20; ++i)
        AppendPair(400);
    // 65 bytes: 32 samples this tick; taken: 10 + 3 + 1.
    engine->TimerTick();
    EXPECT_EQ(engine->Result, trOverrange);
    EXPECT_EQ(engine->TotalSamples, 14);
    EXPECT_EQ(engine->RawSample, 0);
    EXPECT_EQ(fmComm->RxCount, 40);
    EXPECT_FALSE(fmComm->PortFound);
    EXPECT_EQ(view.commShown, 1);
    EXPECT_EQ(view.status[2], QStringLiteral("Error on COM3"));
}

TEST_F(EngineOnLink, TestStartClearsLinkErrorCounts)
{
    fmComm->ErrorCount = 7;
    fmUSB->ErrorCount = 3;
    Feed(Wave().zeros(20).on(5, 400));
    ASSERT_TRUE(engine->Running);
    EXPECT_EQ(fmComm->ErrorCount, 0);
    EXPECT_EQ(fmUSB->ErrorCount, 0);
    EXPECT_EQ(view.runCaption, QStringLiteral("STOP"));
    EXPECT_EQ(view.runColor, TKyrColor::Red);
    EXPECT_EQ(view.armedCaption, QStringLiteral("Running"));
    EXPECT_EQ(view.armedColor, TKyrColor::Yellow);
    EXPECT_EQ(view.opCount, 1);
}

// ---------------------------------------------------------------------------------
// Status texts and colours

struct StatusCase {
    const char* name;
    uint8_t result;
    bool calError, armed, demo, underrange, portFound;
    const char* source;
    const char* panel1;
    const char* panel2;
    TKyrColor color;
    bool resetOffered; // the button's caption became RESET on a source error
    friend void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }
};

class EngineStatus : public EngineTick, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(EngineStatus, TextsAndColour)
{
    const StatusCase& c = GetParam();
    engine->Result = c.result;
    cal->CalError = c.calError;
    engine->Armed = c.armed;
    DemoMode = c.demo;
    engine->Underrange = c.underrange;
    fakeLink.portFound = c.portFound;
    setup->SourceName = QString::fromLatin1(c.source);
    view.runCaption = QStringLiteral("READY");
    engine->ShowStatus();
    EXPECT_EQ(view.status[1], QString::fromLatin1(c.panel1));
    EXPECT_EQ(view.status[2], QString::fromLatin1(c.panel2));
    EXPECT_EQ(view.statusColor, c.color);
    EXPECT_EQ(view.runCaption, c.resetOffered ? QStringLiteral("RESET") : QStringLiteral("READY"));
    if (c.resetOffered) {
        EXPECT_EQ(view.runColor, TKyrColor::Green);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, EngineStatus, ::testing::Values(
    StatusCase{"overrange", 6, true, true, true, true, false, "COM3", "Overrange Detected", "KestrovanNorm.kwf", TKyrColor::Red, false},
    StatusCase{"excess_shot", 3, false, false, true, false, false, "COM3", "Excess Shot", "KestrovanNorm.kwf", TKyrColor::Red, false},
    StatusCase{"aborted", 5, false, false, true, false, false, "COM3", "Test Aborted", "KestrovanNorm.kwf", TKyrColor::Red, false},
    StatusCase{"timeout", 4, false, false, true, false, false, "COM3", "Timeout", "KestrovanNorm.kwf", TKyrColor::Red, false},
    StatusCase{"lockout_over_calibration_error", 2, true, false, true, false, false, "COM3", "Lockout", "KestrovanNorm.kwf", TKyrColor::Lime, false},
    StatusCase{"minimum_pickup", 1, false, false, true, false, false, "COM3", "Minimum Pickup", "KestrovanNorm.kwf", TKyrColor::Lime, false},
    StatusCase{"calibration_error_over_armed", 0, true, true, true, false, false, "COM3", "CALIBRATION ERROR", "KestrovanNorm.kwf", TKyrColor::Red, false},
    StatusCase{"armed_demo", 0, false, true, true, true, false, "COM3", "Press RUN to start DEMO", "KestrovanNorm.kwf", TKyrColor::BtnFace, false},
    StatusCase{"armed_instrument", 0, false, true, false, false, true, "COM3", "Armed - Initiate test current", "KV0012345 on COM3", TKyrColor::BtnFace, false},
    StatusCase{"underrange", 0, false, false, false, true, true, "COM3", "Underrange detected", "KV0012345 on COM3", TKyrColor::Yellow, false},
    StatusCase{"test_over", 0, false, false, false, false, true, "COM3", "Test Over", "KV0012345 on COM3", TKyrColor::BtnFace, false},
    // A source error colours the bar red whatever the result.
    StatusCase{"lockout_with_port_lost", 2, false, false, false, false, false, "COM3", "Lockout", "Error on COM3", TKyrColor::Red, true},
    StatusCase{"usb_source", 0, false, true, false, false, true, "USB", "Armed - Initiate test current", "Error on USB port", TKyrColor::Red, true},
    // In demo mode the file name shows whatever the port state.
    StatusCase{"demo_ignores_port", 2, false, false, true, false, false, "USB", "Lockout", "KestrovanNorm.kwf", TKyrColor::Lime, false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------
// Result rows

// While operation 2 is in its trip phase its row follows the meter and row 1 shows
// its result. Operation 2's current starts at 1547; the meter window 1434..1672 holds
// 126 current samples: 400 sqrt(126/239) * 0.5 = 145.2 A.
TEST_F(EngineTick, CurrentOperationRowFollowsMeter)
{
    MaxOps = 2;
    ResetEngine();
    Wave w = Wave().zeros(107).on(240, 400).zeros(1200).on(154, 400);
    Feed(w); // through sample 1700
    ASSERT_EQ(view.opCount, 2);
    ASSERT_FALSE(engine->Open);
    engine->UpdateDisplay();
    EXPECT_NEAR(engine->MeterAmps, 400 * std::sqrt(126.0 / 239) * 0.5, 1e-9);
    EXPECT_EQ(view.op[2][ocTripCurr], QStringLiteral("145.2 A"));
    EXPECT_EQ(view.op[1][ocTripCurr], QStringLiteral("199.6 A"));
    EXPECT_EQ(view.current, QStringLiteral("145.2 A"));
    // Rows above the count are not touched.
    EXPECT_EQ(view.Row(3), QString::fromLatin1(ZeroRow));
    view.op[3][ocTripCurr] = QStringLiteral("x");
    engine->UpdateDisplay();
    EXPECT_EQ(view.op[3][ocTripCurr], QStringLiteral("x"));
}

// In a running minimum pick-up test each refresh shows the pick-up current.
TEST_F(EngineTick, RunningMinimumPickupShowsPickupCurrent)
{
    setup->TestType = 1;
    MaxOps = 1;
    ResetEngine();
    Feed(Wave().zeros(103).on(300, 400));
    engine->UpdateDisplay();
    EXPECT_EQ(view.minPickUp, QStringLiteral("200.0 A"));
}

// ---------------------------------------------------------------------------------
// A demo file through the tick

// The demo file of the normal test, played as the main window's demo start does it:
// the file loaded into the store and copied (one sample fewer than its count) into the
// demo buffer, amperes per count from the range (500 A x 0.001 = 0.5), RESET, RUN.
//
// The file (241 zeros, then the segments) holds current at 241..361 (121 samples),
// 3963..4107 (145), 7709..8261 (553) and 11863..12463 (601), 3601 zeros between.
// Segments 1 and 2 start at 425 and 810 counts (phase 30 and 90 degrees): on decisions
// at their 5th samples, 245 and 3967. Segments 3 and 4 start at 0 (phase 0): on
// decisions at their 6th samples, 7714 and 11868. No sample inside a segment is below
// an eighth of its peak for 15 samples running, and the last samples end the current:
// off decisions at 361 + 15 = 376, 4107 + 15 = 4122, 8261 + 15 = 8276, and, the last
// sample of segment 4 being 0, 12462 + 15 = 12477. So:
//   trip 1 = 245..375 - 10 = 121 samples; trip 2 = 3968..4121 - 10 = 144;
//   trip 3 = 7715..8275 - 10 = 551; trip 4 = 11869..12476 - 10 = 598;
//   reclose 1 = 10 + 377..3967 = 3601; reclose 2 = 10 + 4123..7714 = 3602;
//   reclose 3 = 10 + 8277..11868 = 3602;
//   reclose 4 = 10 + (s - 12477) first exceeds 5 s at the tick ending s = 24479:
//   12012 samples. Four operations of four: Lockout.
// The file's rate reads back as 2399.99994 per second, so the tick takes
// round(239.999994) = 240 samples. Trip currents and decays from the file's samples:
// operation 1 sums 241..375 (its 4 pre-trigger samples on), operations 2..4 the
// on-decision sample up to the sample before the off decision, each over
// R x trip + 1, the blocks of 20 from the sample after each on decision.
TEST_F(EngineTick, DemoFilePlayedThroughTheTick)
{
    TempCurrentDir dir;
    // The waveform window makes and loads the file; its store becomes the engine's.
    TfmWaveform wave;
    {
        ScriptedMessages answers;
        answers.answer(mrOk);
        wave.MakeWaveFile(QStringLiteral("KestrovanNorm.kwf"), false, NormSegments);
    }
    ASSERT_TRUE(FileExists(QStringLiteral("KestrovanNorm.kwf")));
    std::fill(std::begin(wave.Samples), std::end(wave.Samples), 0);
    wave.FileName = store->FileName;
    ASSERT_TRUE(wave.LoadFile(QStringLiteral("KestrovanNorm.kwf")));
    *store = static_cast<const TSampleStore&>(wave);
    ASSERT_EQ(store->SampleCount, 60000);
    std::copy(store->Samples, store->Samples + store->SampleCount - 1, engine->DemoSamples.begin());
    cal->Factor[4] = 0.001f;
    store->AmpsPerCount = static_cast<float>(RangeFullScale * cal->Factor[4]);
    store->SampleIndex = 0;
    setup->MaxOnTime = 5;
    setup->MaxOffTime = 5;
    MaxOps = 4;
    DemoMode = true;
    ResetEngine();
    DemoPlaying = true;

    int ticks = 0;
    while (engine->Result == trNone && ticks < 200) {
        engine->TimerTick();
        ++ticks;
    }
    engine->TimerTick(); // the display refresh after the end

    EXPECT_EQ(ticks, 102);
    EXPECT_EQ(engine->Result, trLockout);
    EXPECT_EQ(view.status[1], QStringLiteral("Lockout"));
    EXPECT_EQ(view.statusColor, TKyrColor::Lime);
    EXPECT_EQ(view.status[2], QStringLiteral("KestrovanNorm.kwf"));
    EXPECT_FALSE(DemoPlaying);
    ASSERT_EQ(view.opCount, 4);
    const double R = store->SampleRate;
    const auto& d = engine->DemoSamples;
    // Sum of squares over samples [from, to).
    auto sum = [&](int from, int to) {
        double t = 0;
        for (int i = from; i < to; ++i)
            t += double(d[i]) * d[i];
        return t;
    };
    // Largest RMS of the 20-sample blocks from the sample after the on decision
    // through the off-decision sample, amperes.
    auto block = [&](int on, int off) {
        double best = 0;
        for (int i = on + 1; i + 20 <= off + 1; i += 20)
            best = std::max(best, std::sqrt(sum(i, i + 20) / 20) * 0.5);
        return best;
    };
    struct Op {
        int trip, recl, sumFrom, on, off;
        const char* row;
    };
    const Op ops[4] = {
        {121, 3601, 241, 245, 376, "270.5 A | -8.7% |   0.0504 secs |   1.5004 secs"},
        {144, 3602, 3967, 3967, 4122, "252.8 A | -10.4% |   0.0600 secs |   1.5008 secs"},
        {551, 3602, 7714, 7714, 8276, "261.4 A | -10.3% |   0.2296 secs |   1.5008 secs"},
        {598, 12012, 11868, 11868, 12477, "254.7 A | -10.5% |   0.2492 secs |   5.0050 secs"},
    };
    for (int i = 1; i <= 4; ++i) {
        const Op& o = ops[i - 1];
        SCOPED_TRACE("operation " + std::to_string(i));
        const double trip = o.trip / 2400.0;
        const double curr = std::sqrt(sum(o.sumFrom, o.off) / (R * trip + 1)) * 0.5;
        EXPECT_NEAR(engine->TripTime[i], trip, 1e-6);
        EXPECT_NEAR(engine->ReclTime[i], o.recl / 2400.0, 1e-6);
        EXPECT_NEAR(engine->TripCurr[i], curr, 1e-3);
        EXPECT_NEAR(engine->Decay[i], (block(o.on, o.off) / curr - 1) * -100, 1e-3);
        EXPECT_EQ(view.Row(i), QString::fromLatin1(o.row));
    }
    // The recording holds the test from 10 samples before the first on decision.
    EXPECT_EQ(store->Samples[0], engine->DemoSamples[236]);
    EXPECT_EQ(store->Samples[9], engine->DemoSamples[245]);
    EXPECT_EQ(store->Samples[200], engine->DemoSamples[436]);
}

// Without the link and USB windows the program's link has no port and nothing to give.
TEST(KyrLink, WithoutTheLinkWindowsThereIsNoPort)
{
    TfmComm* const comm = fmComm;
    TfmUSB* const usb = fmUSB;
    fmComm = nullptr;
    fmUSB = nullptr;
    TKyrLink link;
    link.SetPortFound(true);
    link.ClearErrorCounts();
    link.StopComm();
    EXPECT_FALSE(link.GetPortFound());
    EXPECT_FALSE(link.GetStreaming());
    EXPECT_EQ(link.GetRxCount(), 0);
    EXPECT_EQ(link.GetErrorCount(), 0);
    EXPECT_EQ(link.GetSample(), 0);
    fmComm = comm;
    fmUSB = usb;
}
