#include "KyrUpdate.h"

#include "CalData.h"
#include "Forms.h"
#include "KyrGlobals.h"
#include "SampleStore.h"
#include "SetupData.h"
#include "SysUtils.h"
#include "Trace.h"

#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdlib>

bool DemoPlaying = false;
TKyrUpdate* TestEngine = nullptr;

namespace {

constexpr int StoreLast = WaveStoreSize - 1; // highest index of the store's Samples

int Abs(int v) { return v < 0 ? -v : v; }

// Rounded to a whole number, halves to even. The callers' controls and loops limit
// the value themselves; this only keeps a huge or undefined quotient from
// overflowing the conversion.
int RoundClamped(double v)
{
    if (std::isnan(v))
        return 0;
    return static_cast<int>(Round(std::clamp(v, -1.0e9, 1.0e9)));
}

} // namespace

TKyrUpdate::TKyrUpdate(IKyrView* view, IKyrLink* link, TCalData* cal, TSetupData* setup, TSampleStore* store)
    : DemoSamples(DemoSize, 0), View(view), Link(link), Cal(cal), Setup(setup), Store(store)
{
    // Disabled, at the framework timer's default second until Reset sets the interval.
    Timer = new QTimer();
    Timer->setInterval(1000);
    Timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(Timer, &QTimer::timeout, [this] { Guarded([this] { TimerTick(); }); });
    RingSize = 10;
    Ring.assign(RingSize + 1, 0);
    DisplayClock = 0;
}

TKyrUpdate::~TKyrUpdate()
{
    delete Timer;
}

QString TKyrUpdate::FormatCurrent(double amps) const
{
    return Format(CurrentFormat.toLatin1().constData(), amps);
}

QString TKyrUpdate::FormatTime(double secs) const
{
    return Format(TimeFormat.toLatin1().constData(), secs);
}

QString TKyrUpdate::FormatDecay(double percent)
{
    return Format("%3.1f", percent) + QLatin1Char('%');
}

int TKyrUpdate::TimerInterval() const
{
    return Timer->interval();
}

// The tick follows the meter's averaging time when that is longer than 40 ms.
void TKyrUpdate::SetTimerInterval()
{
    int ms = 100;
    if (Cal->AvgTime > 0.04)
        ms = static_cast<int>(Round(std::min(Cal->AvgTime, 1.0e6) * 1000));
    // The same interval again leaves the timer alone: setting it restarts a running
    // timer, and a reset at every key repeat would keep the tick from ever firing.
    if (Timer->interval() != ms)
        Timer->setInterval(ms);
}

// ---------------------------------------------------------------------------------
// Timer and tick

void TKyrUpdate::ProcessSample(int16_t x)
{
    RawSample = x;
    Sample = x;
    MeterSample();
    TrackPickupRms();
    DetectCurrent();
    if (Running)
        TimeOperation();
}

void TKyrUpdate::TimerTick()
{
    // A tick that starts inside an unfinished one is counted and runs all the same.
    if (!UpdateReady) {
        ++UpdateErrorCount;
        Trace("*Update Error ");
    } else {
        UpdateReady = false;
    }

    // The range can change only while a test is armed.
    View->SetRangeEnabled(Armed);

    // The meter of the previous tick. A bad shunt gives no full scale: show nothing.
    const bool streaming = Link->GetStreaming();
    if (DemoMode || streaming) {
        if (RangeFullScale > 0) {
            View->SetProgress(RoundClamped(100 * MeterAmps / RangeFullScale));
            View->SetMeterValue(RoundClamped(1000 * MeterAmps / RangeFullScale));
        } else {
            View->SetProgress(0);
            View->SetMeterValue(0);
        }
    }

    if (Running) {
        if (Underrange) {
            View->SetStatusColor(TKyrColor::Yellow);
            View->SetStatusPanel(1, QStringLiteral("Underrange Detected"));
        } else {
            View->SetStatusColor(TKyrColor::BtnFace);
            View->SetStatusPanel(1, QStringLiteral("Test in progress"));
        }
    }

    // How many samples this tick takes.
    if (DemoMode) {
        SamplesThisTick = RoundClamped(TimerInterval() * Store->SampleRate / 1000);
    } else {
        SamplesThisTick = (Link->GetPortFound() && Link->GetStreaming()) ? Link->GetRxCount() / 2 : 0;
        if (streaming) {
            View->SetCommErrorVisible(Link->GetErrorCount() > 0);
            if (SamplesThisTick <= 0) {
                Trace("RxDataCount <= 0 ");
                ++EmptyTicks;
                if (EmptyTicks > 3) {
                    // The link counts as lost.
                    Link->SetPortFound(false);
                    Link->StopComm();
                    TestEnd();
                }
            } else {
                EmptyTicks = 0;
            }
        }
    }

    // At least one pass.
    do {
        int16_t x = 0;
        bool last = false;
        if (DemoMode) {
            if (DemoPlaying && DemoIndex >= 0 && DemoIndex < DemoPlayMax)
                x = DemoSamples[DemoIndex++];
            else
                x = static_cast<int16_t>(2 + std::uniform_int_distribution<int>(0, 4)(Noise));
            ++TotalSamples;
            --SamplesThisTick;
        } else if (Link->GetPortFound()) {
            if (!Link->GetStreaming())
                break;
            // A tick that found nothing received takes no sample: the link's 0 for an
            // empty ring is no sample of the instrument, and timing it would lengthen
            // the operation by a sample for every tick the machine was too busy to fill.
            if (SamplesThisTick <= 0)
                break;
            x = static_cast<int16_t>(Link->GetSample());
            ++TotalSamples;
            --SamplesThisTick;
        } else {
            // No instrument: one sample of 0, not counted, and the loop ends.
            last = true;
        }
        ProcessSample(x);
        if (last)
            break;
    } while (SamplesThisTick > 0);

    // The texts refresh every 200 ms of timer time; the time limits follow the samples.
    DisplayClock += TimerInterval();
    if (DisplayClock >= 200) {
        UpdateDisplay();
        DisplayClock = 0;
    }

    if (Result == trNone)
        CheckLimits();

    UpdateReady = true;
}

void TKyrUpdate::Reset()
{
    for (int i = 1; i <= 5; ++i) {
        TripTime[i] = 0;
        ReclTime[i] = 0;
        TripCurr[i] = 0;
        Decay[i] = 0;
        View->SetOpText(i, ocTripCurr, FormatCurrent(TripCurr[i]));
        View->SetOpText(i, ocDecay, FormatDecay(Decay[i]));
        View->SetOpText(i, ocTripTime, FormatTime(TripTime[i]));
        View->SetOpText(i, ocRecloseTime, FormatTime(ReclTime[i]));
    }
    std::fill(std::begin(Store->Samples), std::end(Store->Samples), 0);
    // A calibration with a negative on delay still gets a ring of at least one entry.
    RingSize = std::max(0, Cal->OnDelay + 5);
    if (static_cast<int>(Ring.size()) != RingSize + 1)
        Ring.resize(RingSize + 1);
    std::fill(Ring.begin(), Ring.end(), 0);
    MeterSumSq = 0;
    MeterAmps = 0;
    CurrentOn = false;
    Count20 = 0;
    Sum20 = 0;
    DemoPlaying = false;
    AboveRef = false;
    DemoIndex = 0;
    Rms20 = 0;
    MpuPeak = 0;
    PickupRms = 0;
    OnCount = 0;
    RingIndex = 0;
    EmptyTicks = 0;
    Running = false;
    Result = trNone;
    TotalSamples = 0;
    OnSumSq = 0;
    Underrange = false;
    UpdateReady = true;
    MpuCountdown = 50;
    View->SetRangeEnabled(true);
    View->SetTestTypeSelEnabled(true);
    View->SetMaxOpsBoxEnabled(true);
    View->SetMeterValue(0);
    View->SetMinPickUpText(QString());
    SetTimerInterval();
    TestArm();
}

void TKyrUpdate::TestArm()
{
    Trace("Test Arm ");
    Armed = true;
    View->SetStatusColor(TKyrColor::BtnFace);
    View->SetArmedRunning(QStringLiteral("ARMED"), TKyrColor::Lime);
    View->SetCheckTCCEnabled(false);
    ShowStatus();
}

void TKyrUpdate::TestStart()
{
    Trace("Test Start ");
    Running = true;
    Link->ClearErrorCounts();
    MeterSumSq = 0;
    MeterAmps = 0;
    Peak = 0;
    std::fill(std::begin(Store->Samples), std::end(Store->Samples), 0);
    Store->SampleIndex = 0;
    View->SetRunStopReset(QStringLiteral("STOP"), TKyrColor::Red);
    View->SetArmedRunning(QStringLiteral("Running"), TKyrColor::Yellow);
    // A change of the test type or of the operation count resets the test, and the
    // running test's results are not yet marked unsaved, so nothing would ask first: a
    // stray key on either box would throw the test away. Both wait for the test's end.
    View->SetTestTypeSelEnabled(false);
    View->SetMaxOpsBoxEnabled(false);
}

void TKyrUpdate::TestEnd()
{
    if (!Armed && !Running)
        return;
    Trace("Test End ");
    Armed = false;
    Running = false;
    DemoPlaying = false;
    View->SetArmedRunning(QStringLiteral("Test Over"), TKyrColor::BtnFace);
    View->SetRunStopReset(QStringLiteral("RESET"), TKyrColor::Green);
    View->SetCheckTCCEnabled(true);
    View->SetTestTypeSelEnabled(true);
    View->SetMaxOpsBoxEnabled(true);
    View->SetDataSaved(false);
    if (Link->GetErrorCount() > 2) {
        Link->SetPortFound(false);
        View->ShowCommStatus();
    }
    ShowStatus();
}

void TKyrUpdate::TestAbort()
{
    Trace("Test Abort ");
    const int n = View->GetOpCount();
    if (Setup->TestType == 1 && TripTime[1] > 0.5)
        Result = trMinimumPickup;
    else if (n == MaxOps && Open)
        Result = trLockout;
    else
        Result = trAborted;
    if (!Open) {
        if (n >= 1 && n <= 5) {
            const double R = Store->SampleRate;
            const float A = Store->AmpsPerCount;
            TripCurr[n] = TripTime[n] == 0 ? 0 : std::sqrt(OnSumSq / (R * TripTime[n])) * A;
            View->SetOpText(n, ocTripCurr, FormatCurrent(TripCurr[n]));
        }
        Open = true;
    } else {
        Open = false;
        if (n < 5)
            View->SetOpCount(n + 1);
    }
    // A minimum pick-up ended by the user shows its current as one ended by the engine.
    if (Result == trMinimumPickup)
        View->SetMinPickUpText(FormatCurrent(PickupRms));
    TestEnd();
}

// ---------------------------------------------------------------------------------
// Per-sample steps

void TKyrUpdate::MeterSample()
{
    const int N = Cal->AvgSamples;
    // A window of N - 1 samples: N of 1 would divide 0 by 0, so it meters nothing, as 0 does.
    if (N <= 1)
        return;
    const int x = Sample;
    if (MeterCount < N - 1) {
        ++MeterCount;
        if (Abs(x) > OverrangeCounts) {
            Result = trOverrange;
            TestEnd();
        } else {
            MeterSumSq += static_cast<double>(x * x);
        }
    }
    if (MeterCount >= N - 1) {
        MeterAmps = std::sqrt(MeterSumSq / MeterCount) * Store->AmpsPerCount;
        if (MeterAmps > MpuPeak) {
            AboveRef = true;
            MpuPeak = MeterAmps;
        } else {
            AboveRef = false;
        }
        MeterSumSq = 0;
        MeterCount = 0;
        // Minimum pick-up: the end comes 0.5 s after the first trip phase started
        // carrying current, by the recloser staying open or by 50 windows without a
        // new maximum above the pick-up threshold.
        if (Setup->TestType == 1) {
            if (TripTime[1] < 0.5) {
                MpuPeak = 0;
                MpuCountdown = 50;
            } else if (ReclTime[1] >= 0.5) {
                MpuCountdown = 0;
            } else if (AboveRef) {
                MpuCountdown = 50;
            } else if (MpuPeak > Cal->MPUThresh * static_cast<double>(Store->AmpsPerCount)) {
                --MpuCountdown;
            }
            if (MpuCountdown <= 0 && Result == trNone)
                MinimumPickup();
        }
    }
}

void TKyrUpdate::TrackPickupRms()
{
    if (!CurrentOn)
        return;
    const int x = Sample;
    ++Count20;
    Sum20 += static_cast<int64_t>(x * x);
    if (Count20 >= 20) {
        Rms20 = std::sqrt(static_cast<double>(Sum20) / Count20) * Store->AmpsPerCount;
        if (Rms20 > PickupRms)
            PickupRms = Rms20;
        Count20 = 0;
        Sum20 = 0;
    }
}

void TKyrUpdate::DetectCurrent()
{
    const int ax = Abs(Sample);
    if (!CurrentOn) {
        WorkThreshold = Setup->TestType == 1 ? Cal->MPUThresh : Cal->OnThresh;
        Peak = 0;
        OffCount = Cal->OffDelay;
        PushPreTrigger();
        // An up/down count that never drops below 0.
        if (ax > WorkThreshold) {
            if (OnCount < Cal->OnDelay)
                ++OnCount;
        } else if (OnCount > 0) {
            --OnCount;
        }
        if (OnCount >= Cal->OnDelay) {
            CurrentOn = true;
            if (Armed) {
                TestStart();
                View->SetOpCount(1);
                Open = false;
                LoadPreTrigger();
            }
            OnCount = 0;
        }
    } else {
        // A test starts only at an off-to-on change.
        Armed = false;
        // The off level follows an eighth of the on-period's peak.
        WorkThreshold = Cal->OffThresh;
        if (ax > Peak)
            Peak = ax;
        if (Peak / 8 > WorkThreshold)
            WorkThreshold = Peak / 8;
        if (ax < WorkThreshold)
            --OffCount;
        else if (OffCount < Cal->OffDelay)
            OffCount = Cal->OffDelay;
        if (OffCount <= 0) {
            CurrentOn = false;
            std::fill(Ring.begin(), Ring.end(), 0);
            RingIndex = 0;
            OnCount = 0;
            OffCount = Cal->OffDelay;
        }
    }
}

void TKyrUpdate::PushPreTrigger()
{
    Ring[RingIndex] = RawSample;
    RingIndex = RingIndex >= RingSize ? 0 : RingIndex + 1;
}

void TKyrUpdate::LoadPreTrigger()
{
    if (View->GetOpCount() != 1 || Open)
        return;
    auto& store = Store->Samples;
    int& index = Store->SampleIndex;
    index = 0;
    // The newest RingSize samples, oldest first, ending with the trigger sample;
    // the OnDelay - 1 samples before the trigger count into the trip phase's sum.
    for (int k = 1; k <= RingSize; ++k) {
        RingIndex = RingIndex >= RingSize ? 0 : RingIndex + 1;
        Sample = Ring[RingIndex];
        if (RingSize - Cal->OnDelay < k && k < RingSize)
            OnSumSq += static_cast<double>(Sample * Sample);
        store[index] = Sample;
        if (index < StoreLast)
            ++index;
    }
    // TimeOperation stores the trigger sample once more, at its own place.
    if (index > 0) {
        Sample = store[index - 1];
        --index;
    }
}

void TKyrUpdate::TimeOperation()
{
    const int n = View->GetOpCount();
    if (n < 1 || n > 5)
        return;
    const int x = Sample;
    const float P = Store->SecPerSample;
    if (!Open) {
        // Trip phase.
        if (CurrentOn) {
            OnSumSq += static_cast<double>(x * x);
            TripTime[n] += P;
        } else {
            // This sample ended the operation.
            if (n > MaxOps)
                ExcessShot();
            Open = true;
            // The off decision came OffDelay samples after the current stopped and
            // the on decision OnDelay samples after it started: the difference belongs
            // to the reclose time.
            const double R = Store->SampleRate;
            const double c = (Cal->OffDelay - Cal->OnDelay) / R;
            if (TripTime[n] > c) {
                TripTime[n] = TripTime[n] - c;
                ReclTime[n] = c < 0 ? 0 : c;
            }
            if (TripTime[n] > 0) {
                TripCurr[n] = std::sqrt(OnSumSq / (R * TripTime[n] + 1)) * Store->AmpsPerCount;
                if (Setup->Range > 1)
                    Underrange = TripCurr[n] < 0.3 * RangeFullScale;
                else
                    Underrange = false;
            } else {
                TripCurr[n] = 0;
            }
            OnSumSq = 0;
            if (TripCurr[n] > 0)
                Decay[n] = (PickupRms / TripCurr[n] - 1) * -100;
            // Each operation's decay uses its own largest block.
            if (MaxOps > 1) {
                Rms20 = 0;
                PickupRms = 0;
                Sum20 = 0;
                Count20 = 0;
            }
        }
    } else {
        // Reclose phase.
        if (CurrentOn) {
            // This sample started the next operation.
            Open = false;
            if (n < 5)
                View->SetOpCount(n + 1);
            OnSumSq += static_cast<double>(x * x);
        }
        ReclTime[n] += P;
    }
    // Record the sample; the last entry takes every sample beyond the store.
    auto& store = Store->Samples;
    int& index = Store->SampleIndex;
    if (index < 0)
        index = 0;
    if (index > StoreLast)
        index = StoreLast;
    store[index] = static_cast<int16_t>(x);
    if (index < StoreLast)
        ++index;
}

void TKyrUpdate::CheckLimits()
{
    const int n = View->GetOpCount();
    if (n < 1 || n > 5)
        return;
    if (Setup->MaxOnTime > 0 && !Open && TripTime[n] > Setup->MaxOnTime) {
        // Close the operation as a time-out with current on.
        const double R = Store->SampleRate;
        TripCurr[n] = std::sqrt(OnSumSq / (R * TripTime[n])) * Store->AmpsPerCount;
        View->SetOpText(n, ocTripCurr, FormatCurrent(TripCurr[n]));
        // The recloser never tripped: this is a time-out whatever the operation count,
        // so the result is taken while the operation still counts as closed.
        TestTimeout();
        Open = true;
    } else if (Setup->MaxOffTime > 0 && Open && ReclTime[n] > Setup->MaxOffTime) {
        TestTimeout();
    }
}

void TKyrUpdate::TestTimeout()
{
    Trace("Test Timeout ");
    if (Setup->TestType == 0 && View->GetOpCount() == MaxOps && Open)
        Result = trLockout;
    else
        Result = trTimeout;
    TestEnd();
}

void TKyrUpdate::ExcessShot()
{
    Trace("ExcessShot ");
    View->SetMaxOps(MaxOps + 1);
    Result = trExcessShot;
    TestEnd();
}

void TKyrUpdate::MinimumPickup()
{
    Trace("MinimumPickup ");
    Rms20 = 0;
    View->SetMinPickUpText(FormatCurrent(PickupRms));
    Result = trMinimumPickup;
    TestEnd();
}

// ---------------------------------------------------------------------------------
// Displays

void TKyrUpdate::UpdateDisplay()
{
    View->SetStatusPanel(0, Format("%7.4f", TotalSamples / Store->SampleRate));
    View->SetCurrentText(FormatCurrent(MeterAmps));
    if (Running && Setup->TestType == 1)
        View->SetMinPickUpText(FormatCurrent(PickupRms));
    // Only the operation in its trip phase of a running test follows the meter;
    // once the test is over every row shows its result.
    const int count = std::min(View->GetOpCount(), 5);
    for (int i = 1; i <= count; ++i) {
        const bool live = Running && i == count && !Open;
        View->SetOpText(i, ocTripCurr, FormatCurrent(live ? MeterAmps : TripCurr[i]));
        View->SetOpText(i, ocDecay, FormatDecay(Decay[i]));
        View->SetOpText(i, ocTripTime, FormatTime(TripTime[i]));
        View->SetOpText(i, ocRecloseTime, FormatTime(ReclTime[i]));
    }
}

void TKyrUpdate::ShowStatus()
{
    QString text;
    TKyrColor color;
    if (Result == trOverrange) {
        text = QStringLiteral("Overrange Detected");
        color = TKyrColor::Red;
    } else if (Result == trExcessShot) {
        text = QStringLiteral("Excess Shot");
        color = TKyrColor::Red;
    } else if (Result == trAborted) {
        text = QStringLiteral("Test Aborted");
        color = TKyrColor::Red;
    } else if (Result == trTimeout) {
        text = QStringLiteral("Timeout");
        color = TKyrColor::Red;
    } else if (Result == trLockout) {
        text = QStringLiteral("Lockout");
        color = TKyrColor::Lime;
    } else if (Result == trMinimumPickup) {
        text = QStringLiteral("Minimum Pickup");
        color = TKyrColor::Lime;
    } else if (Cal->CalError) {
        text = QStringLiteral("CALIBRATION ERROR");
        color = TKyrColor::Red;
    } else if (Armed && DemoMode) {
        text = QStringLiteral("Press RUN to start DEMO");
        color = TKyrColor::BtnFace;
    } else if (Armed) {
        text = QStringLiteral("Armed - Initiate test current");
        color = TKyrColor::BtnFace;
    } else if (Underrange) {
        text = QStringLiteral("Underrange detected");
        color = TKyrColor::Yellow;
    } else {
        text = QStringLiteral("Test Over");
        color = TKyrColor::BtnFace;
    }
    View->SetStatusPanel(1, text);

    // The signal source; a missing one colours the bar red and offers RESET.
    if (DemoMode) {
        View->SetStatusPanel(2, Store->FileName);
    } else if (Setup->SourceName == QLatin1String("USB")) {
        View->SetStatusPanel(2, QStringLiteral("Error on USB port"));
        color = TKyrColor::Red;
        View->SetRunStopReset(QStringLiteral("RESET"), TKyrColor::Green);
    } else if (Link->GetPortFound()) {
        View->SetStatusPanel(2, Cal->SerNum.trimmed() + QStringLiteral(" on ") + Setup->SourceName);
    } else {
        View->SetStatusPanel(2, QStringLiteral("Error on ") + Setup->SourceName);
        color = TKyrColor::Red;
        View->SetRunStopReset(QStringLiteral("RESET"), TKyrColor::Green);
    }
    View->SetStatusColor(color);
}
