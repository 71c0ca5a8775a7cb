// The per-sample steps on synthetic waveforms, fed straight into the engine: the
// debounce of the on and off decisions, the timing, current and decay of each
// operation, and the ways a test ends.
//
// All cases use the fixture's values: on threshold 40, on delay 5, off threshold 20,
// off delay 15, R = 2400 samples/s, P = 1/2400 s (single), A = 0.5 A per count, meter
// windows of 240 - 1 = 239 samples, a 500 A range, ticks of 240 samples.
//
// Rules the derivations use, for square current of amplitude a (every sample above
// the on threshold) after at least ten samples of zero:
// - the on decision comes at the 5th current sample; the off decision at the 15th
//   sample below the off level after the current stops;
// - operation 1 counts from its on-decision sample up to the sample before the off
//   decision: M - 4 + 14 = M + 10 samples for M current samples, less the correction
//   c = (15 - 5) / 2400 s, so its trip time is M samples; its trip-phase sum holds the
//   4 pre-trigger samples, so it is M a^2;
// - a later operation starts counting after its on-decision sample (that sample
//   closes the reclose time): M - 5 + 14 - 10 = M - 1 samples, and its sum holds the
//   on-decision sample and the M - 5 after it: (M - 4) a^2;
// - the reclose time is c, then the G - 15 remaining off samples and the 5 samples up
//   to the next on decision: G samples for a gap of G zeros;
// - trip current = sqrt(sum / (R * trip + 1)) * A at an operation's end;
// - the largest 20-sample block of an operation of amplitude a is a * A, so decay =
//   (a A / current - 1) * -100.
#include "EngineFixture.h"

#include "Debug.h"
#include "Setup.h"
#include "TestSupport.h"

#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <cmath>
#include <functional>
#include <string>

namespace {

// lead zeros, then n current periods of M samples at amplitude a separated by gaps of
// G zeros, then zeros up to a total length.
Wave Operations(int lead, int n, int M, int G, int a, int total)
{
    Wave w;
    w.zeros(lead);
    for (int i = 0; i < n; ++i) {
        if (i)
            w.zeros(G);
        w.on(M, a);
    }
    if (w.size() < total)
        w.zeros(total - w.size());
    return w;
}

std::vector<int> Transitions(TKyrUpdate& e, const Wave& w)
{
    std::vector<int> at;
    bool on = e.CurrentOn;
    for (int i = 0; i < w.size(); ++i) {
        e.ProcessSample(w.s[i]);
        if (e.CurrentOn != on) {
            at.push_back(i);
            on = e.CurrentOn;
        }
    }
    return at;
}

} // namespace

// ---------------------------------------------------------------------------------
// Debounce: sample indices at which the current is decided on and off.

struct DebounceCase {
    const char* name;
    std::function<Wave()> wave;
    std::vector<int> transitions; // on, off, on, off ...
    friend void PrintTo(const DebounceCase& c, std::ostream* os) { *os << c.name; }
};

class EngineDebounce : public EngineTest, public ::testing::WithParamInterface<DebounceCase> {};

TEST_P(EngineDebounce, DecidesOnAndOffAtTheDerivedSample)
{
    const DebounceCase& c = GetParam();
    EXPECT_EQ(Transitions(*engine, c.wave()), c.transitions);
}

INSTANTIATE_TEST_SUITE_P(Cases, EngineDebounce, ::testing::Values(
    // 50 samples of exactly +-40 are not above the threshold; 5 of +-41 (indices
    // 70..74) decide on at 74. Peak 41: 41 div 8 = 5 < 20, so the off level is 20 and
    // the 15th zero (75..89) decides off at 89.
    DebounceCase{"exactly_at_on_threshold_is_not_above",
        [] { return Wave().zeros(20).on(50, 40).on(5, 41).zeros(20); }, {74, 89}},
    // 41,41,41,41,0,0,41,41,41 from index 20 counts 1,2,3,4,3,2,3,4,5: on at 28 (a
    // count cleared by a low sample would never get there). Off at 29 + 14 = 43.
    DebounceCase{"low_sample_counts_down_by_one",
        [] { return Wave().zeros(20).raw({41, 41, 41, 41, 0, 0, 41, 41, 41}).zeros(20); }, {28, 43}},
    // 41,0,0,0 then five 41s counts 1,0,0,0,1,2,3,4,5: on at 28 (a count that went
    // below zero would still be at 3).
    DebounceCase{"count_never_below_zero",
        [] { return Wave().zeros(20).raw({41, 0, 0, 0, 41, 41, 41, 41, 41}).zeros(20); }, {28, 43}},
    // Peak 1000: the off level is 1000 div 8 = 125. Current 20..119 (on at 24); 14
    // samples of 124 (120..133) count 14 down, one of 125 (134) is not below and
    // restarts, 15 more of 124 (135..149) decide off at 149.
    DebounceCase{"an_eighth_of_the_peak_and_a_restart",
        [] { return Wave().zeros(20).on(100, 1000).level(14, 124).level(1, 125).level(15, 124).zeros(5); },
        {24, 149}},
    // Peak 100: 100 div 8 = 12 is below the off threshold 20, so 19 counts as low:
    // 15 samples of 19 (120..134) decide off at 134.
    DebounceCase{"off_level_never_below_off_threshold",
        [] { return Wave().zeros(20).on(100, 100).level(15, 19).zeros(5); }, {24, 134}},
    // The peak starts again with each on-period: after a 1000-count period (on 24, off
    // 70 + 14 = 84) a 100-count one (70..139 holds 20 zeros then current from 90: on
    // at 94) is held on by 30 counts (140..169, at least 20), and the zeros from 170
    // decide off at 184. A peak kept from the first period (level 125) would end it at
    // 154.
    DebounceCase{"peak_starts_again_each_period",
        [] { return Wave().zeros(20).on(50, 1000).zeros(20).on(50, 100).level(30, 30).zeros(16); },
        {24, 84, 94, 184}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------
// Whole tests: per-operation results, result code and texts.

struct OpResult {
    double tripCurr, decay, tripTime, reclTime;
    const char* texts; // the row as "trip current | decay | trip time | reclose time"
};

struct TimingCase {
    const char* name;
    std::function<Wave()> wave;
    int maxOps;
    double maxOnTime, maxOffTime;
    int onDelay, offDelay;
    uint8_t result;
    const char* status;
    TKyrColor color;
    std::vector<OpResult> ops; // rows 1..OpCount
    std::vector<int> maxOpsCalls;
    friend void PrintTo(const TimingCase& c, std::ostream* os) { *os << c.name; }
};

class EngineTiming : public EngineTest, public ::testing::WithParamInterface<TimingCase> {};

TEST_P(EngineTiming, ResultsCodeAndTexts)
{
    const TimingCase& c = GetParam();
    MaxOps = c.maxOps;
    setup->MaxOnTime = c.maxOnTime;
    setup->MaxOffTime = c.maxOffTime;
    cal->OnDelay = c.onDelay;
    cal->OffDelay = c.offDelay;
    ResetEngine();

    Play(c.wave());

    EXPECT_EQ(engine->Result, c.result);
    EXPECT_FALSE(engine->Running);
    EXPECT_EQ(view.status[1], QString::fromLatin1(c.status));
    EXPECT_EQ(view.statusColor, c.color);
    EXPECT_EQ(view.runCaption, QStringLiteral("RESET"));
    EXPECT_FALSE(view.dataSaved);
    EXPECT_TRUE(view.checkTCC);
    EXPECT_EQ(view.maxOpsCalls, c.maxOpsCalls);
    ASSERT_EQ(view.opCount, static_cast<int>(c.ops.size()));
    for (int i = 1; i <= view.opCount; ++i) {
        const OpResult& o = c.ops[i - 1];
        SCOPED_TRACE("operation " + std::to_string(i));
        EXPECT_NEAR(engine->TripCurr[i], o.tripCurr, 1e-3);
        EXPECT_NEAR(engine->Decay[i], o.decay, 1e-3);
        EXPECT_NEAR(engine->TripTime[i], o.tripTime, 1e-6);
        EXPECT_NEAR(engine->ReclTime[i], o.reclTime, 1e-6);
        EXPECT_EQ(view.Row(i), QString::fromLatin1(o.texts));
    }
}

namespace {
// Operation 1 of M = 240 at +-400: sum 240 * 400^2, trip 240 samples = 0.1 s,
// current 200 sqrt(240/241) = 199.585 A, largest block 200 A, decay -0.208 %.
constexpr double Curr1 = 199.58463091196566;
constexpr double Decay1 = -0.20811677038277132;
// A later operation of M = 240: sum 236 * 400^2, trip 239 samples = 0.099583 s,
// current 200 sqrt(236/240) = 198.326 A, decay -0.844 %.
constexpr double CurrN = 198.32633040858022;
constexpr double DecayN = -0.8438968179221407;
constexpr double Samples(int n) { return n / 2400.0; }
} // namespace

INSTANTIATE_TEST_SUITE_P(Cases, EngineTiming, ::testing::Values(
    // 107 zeros, two operations of 240 samples 1200 apart. Operation 1: current
    // 107..346, off decision 361; reclose 1200 samples = 0.5 s. Operation 2: current
    // 1547..1786, off decision 1801. Its reclose time after tick end s is
    // 10 + (s - 1801) samples; it first exceeds 1.0 s (2400) at the tick ending at
    // 4319: 2528 samples = 1.053333 s. Operation count 2 = MaxOps and open: Lockout.
    TimingCase{"lockout_after_last_allowed_operation",
        [] { return Operations(107, 2, 240, 1200, 400, 4800); }, 2, 5.0, 1.0, 5, 15,
        trLockout, "Lockout", TKyrColor::Lime,
        {{Curr1, Decay1, Samples(240), Samples(1200), "199.6 A | -0.2% |   0.1000 secs |   0.5000 secs"},
         {CurrN, DecayN, Samples(239), Samples(2528), "198.3 A | -0.8% |   0.0996 secs |   1.0533 secs"}},
        {}},
    // The same waveform with three operations allowed: the same numbers, but the
    // reclose time-out after operation 2 of 3 is a Timeout.
    TimingCase{"timeout_when_operations_remain",
        [] { return Operations(107, 2, 240, 1200, 400, 4800); }, 3, 5.0, 1.0, 5, 15,
        trTimeout, "Timeout", TKyrColor::Red,
        {{Curr1, Decay1, Samples(240), Samples(1200), "199.6 A | -0.2% |   0.1000 secs |   0.5000 secs"},
         {CurrN, DecayN, Samples(239), Samples(2528), "198.3 A | -0.8% |   0.0996 secs |   1.0533 secs"}},
        {}},
    // Three operations with two allowed: the end of operation 3 (3 > MaxOps) is an
    // Excess Shot; row 3 is shown (SetMaxOps 3) with its values, and its reclose time
    // holds only the correction c = 10 samples = 0.004167 s.
    TimingCase{"excess_shot_at_end_of_extra_operation",
        [] { return Operations(107, 3, 240, 1200, 400, 4800); }, 2, 5.0, 1.0, 5, 15,
        trExcessShot, "Excess Shot", TKyrColor::Red,
        {{Curr1, Decay1, Samples(240), Samples(1200), "199.6 A | -0.2% |   0.1000 secs |   0.5000 secs"},
         {CurrN, DecayN, Samples(239), Samples(1200), "198.3 A | -0.8% |   0.0996 secs |   0.5000 secs"},
         {CurrN, DecayN, Samples(239), Samples(10), "198.3 A | -0.8% |   0.0996 secs |   0.0042 secs"}},
        {3}},
    // Five allowed, six current periods: the sixth continues operation 5. Its trip
    // time adds the new phase: 239 + 249 - 10 = 478 samples = 0.199167 s; its current
    // comes from the new phase's sum alone, 236 * 400^2 over 478 + 1:
    // 200 sqrt(236/479) = 140.384 A, decay (200/140.384 - 1) * -100 = -42.466 %; its
    // reclose time restarts at c. Off decision of the sixth period at 7561, the same
    // phase of the ticks as 1801 (7200 later): time-out at 2528 samples, Lockout.
    TimingCase{"sixth_current_continues_fifth_operation",
        [] { return Operations(107, 6, 240, 1200, 400, 10320); }, 5, 5.0, 1.0, 5, 15,
        trLockout, "Lockout", TKyrColor::Lime,
        {{Curr1, Decay1, Samples(240), Samples(1200), "199.6 A | -0.2% |   0.1000 secs |   0.5000 secs"},
         {CurrN, DecayN, Samples(239), Samples(1200), "198.3 A | -0.8% |   0.0996 secs |   0.5000 secs"},
         {CurrN, DecayN, Samples(239), Samples(1200), "198.3 A | -0.8% |   0.0996 secs |   0.5000 secs"},
         {CurrN, DecayN, Samples(239), Samples(1200), "198.3 A | -0.8% |   0.0996 secs |   0.5000 secs"},
         {140.3842029071906, -42.46617201810234, Samples(478), Samples(2528),
          "140.4 A | -42.5% |   0.1992 secs |   1.0533 secs"}},
        {}},
    // A decaying current: 240 samples at +-800, then 240 at +-400. Sum
    // 240 * 800^2 + 240 * 400^2 = 192e6, trip 480 samples = 0.2 s, current
    // sqrt(192e6 / 481) * 0.5 = 315.899 A; the largest block is 800 * 0.5 = 400 A, so
    // decay = (400 / 315.899 - 1) * -100 = -26.623 %. Off decision 601: time-out at the
    // tick ending 3119, 10 + 2518 samples. One operation allowed: Lockout.
    TimingCase{"decaying_current",
        [] { return Wave().zeros(107).on(240, 800).on(240, 400).zeros(3300); }, 1, 5.0, 1.0, 5, 15,
        trLockout, "Lockout", TKyrColor::Lime,
        {{315.89887589559385, -26.622799421483844, Samples(480), Samples(2528),
          "315.9 A | -26.6% |   0.2000 secs |   1.0533 secs"}},
        {}},
    // On delay 20 above off delay 15: c = -5 samples. Operation 1: trigger at the 20th
    // current sample (126), counts 126..360 = 235 samples, lengthened by 5 to 240;
    // reclose time set to 0, then 362..1566 (the next on decision) = 1205 samples =
    // 0.502083 s. Its sum holds 19 pre-trigger samples + 221 = 240 * 400^2. Operation
    // 2: counts 1567..1800 = 234 + 5 = 239 samples; sum 221 * 400^2, current
    // 200 sqrt(221/240) = 191.920 A, decay -4.210 %. Reclose 2 from 0: exceeds 1.0 s at
    // the tick ending 4319 with 2518 samples = 1.049167 s.
    TimingCase{"on_delay_above_off_delay",
        [] { return Operations(107, 2, 240, 1200, 400, 4800); }, 2, 5.0, 1.0, 20, 15,
        trLockout, "Lockout", TKyrColor::Lime,
        {{Curr1, Decay1, Samples(240), Samples(1205), "199.6 A | -0.2% |   0.1000 secs |   0.5021 secs"},
         {191.92012227313043, -4.210021143781217, Samples(239), Samples(2518),
          "191.9 A | -4.2% |   0.0996 secs |   1.0492 secs"}},
        {}},
    // Equal delays 15 and 15: c = 0, so the reclose time starts at 0; operation 1
    // counts 240 - 14 + 14 = 240 samples; reclose 1200 - 15 + 15 = 1200. Operation 2
    // counts 239, sum (240 - 14) * 400^2: 200 sqrt(226/240) = 194.079 A, decay
    // -3.051 %; reclose 2 ends at 2518 samples.
    TimingCase{"equal_delays",
        [] { return Operations(107, 2, 240, 1200, 400, 4800); }, 2, 5.0, 1.0, 15, 15,
        trLockout, "Lockout", TKyrColor::Lime,
        {{Curr1, Decay1, Samples(240), Samples(1200), "199.6 A | -0.2% |   0.1000 secs |   0.5000 secs"},
         {194.07902170679517, -3.050807985908932, Samples(239), Samples(2518),
          "194.1 A | -3.1% |   0.0996 secs |   1.0492 secs"}},
        {}},
    // A recloser that never trips on its only allowed operation: current from 103,
    // on decision 107. At the tick ending 1439 the trip time is 1333 samples =
    // 0.555417 s, above 0.5 s (at 1199 it was 1093). Closed with current on: sum
    // (4 + 1333) * 400^2 over R * trip = 1333, no + 1: 200 sqrt(1337/1333) = 200.300 A.
    // Operation count 1 = MaxOps, yet the recloser never opened: Timeout, not Lockout.
    TimingCase{"on_time_timeout_on_last_operation_is_timeout",
        [] { return Wave().zeros(103).on(3000, 400); }, 1, 0.5, 1.0, 5, 15,
        trTimeout, "Timeout", TKyrColor::Red,
        {{200.29985024333362, 0, Samples(1333), 0, "200.3 A | 0.0% |   0.5554 secs |   0.0000 secs"}},
        {}},
    // A sample of 2001 counts at 207 (the 101st of the current) ends the test at once:
    // the trip time holds 111..206 = 96 samples = 0.04 s and no trip current. The
    // current goes on, so the meter reads 200 A afterwards; the ended test's row shows
    // its result (0), not the meter.
    TimingCase{"overrange_in_trip_phase",
        [] { return Wave().zeros(107).on(100, 400).raw({2001}).on(600, 400); }, 2, 5.0, 1.0, 5, 15,
        trOverrange, "Overrange Detected", TKyrColor::Red,
        {{0, 0, Samples(96), 0, "  0.0 A | 0.0% |   0.0400 secs |   0.0000 secs"}},
        {}},
    // 2000 counts exactly is no overrange and is metered like any sample: M = 240 with
    // one sample of 2000, sum 239 * 400^2 + 2000^2 = 42.24e6, current
    // sqrt(42.24e6 / 241) * 0.5 = 209.326 A. The block 192..211 holds it:
    // sqrt((19 * 400^2 + 2000^2) / 20) * 0.5 = 296.648 A, decay -41.716 %. The peak of
    // 2000 raises the off level to 250, still below 400. Off decision 361: Lockout.
    TimingCase{"full_2000_counts_is_no_overrange",
        [] { return Wave().zeros(107).on(100, 400).raw({2000}).on(139, 400).zeros(4000); }, 1, 5.0, 1.0, 5, 15,
        trLockout, "Lockout", TKyrColor::Lime,
        {{209.32612685924352, -41.7156777965421, Samples(240), Samples(2528),
          "209.3 A | -41.7% |   0.1000 secs |   1.0533 secs"}},
        {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------
// STOP (TestAbort) after a number of ticks.

struct StopCase {
    const char* name;
    std::function<Wave()> wave; // the samples before STOP
    int testType, maxOps;
    uint8_t result;
    const char* status;
    int opCount;
    std::vector<OpResult> ops;
    const char* minPickUp;
    friend void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }
};

class EngineStop : public EngineTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(EngineStop, ResultAndRows)
{
    const StopCase& c = GetParam();
    setup->TestType = static_cast<uint8_t>(c.testType);
    setup->MaxOnTime = 10;
    setup->MaxOffTime = 5;
    MaxOps = c.maxOps;
    ResetEngine();
    // No display while the test runs: what the rows and the pick-up current show
    // after STOP comes from the abort itself and the next refresh.
    Play(c.wave(), 240, false);
    ASSERT_TRUE(engine->Running);
    const double meter = engine->MeterAmps;

    engine->TestAbort();
    engine->UpdateDisplay();

    EXPECT_EQ(engine->Result, c.result);
    EXPECT_EQ(view.status[1], QString::fromLatin1(c.status));
    EXPECT_EQ(view.opCount, c.opCount);
    EXPECT_EQ(view.minPickUp, QString::fromLatin1(c.minPickUp));
    for (int i = 1; i <= c.opCount; ++i) {
        const OpResult& o = c.ops[i - 1];
        SCOPED_TRACE("operation " + std::to_string(i));
        EXPECT_NEAR(engine->TripCurr[i], o.tripCurr, 1e-3);
        EXPECT_NEAR(engine->Decay[i], o.decay, 1e-3);
        EXPECT_NEAR(engine->TripTime[i], o.tripTime, 1e-6);
        EXPECT_NEAR(engine->ReclTime[i], o.reclTime, 1e-6);
        EXPECT_EQ(view.Row(i), QString::fromLatin1(o.texts));
    }
    // The meter still reads what it read at STOP.
    EXPECT_EQ(engine->MeterAmps, meter);
}

INSTANTIATE_TEST_SUITE_P(Cases, EngineStop, ::testing::Values(
    // STOP in the trip phase after 3 ticks (samples 0..719): the trip time holds
    // 107..719 = 613 samples = 0.255417 s; closed with sum (4 + 613) * 400^2 over
    // R * trip: 200 sqrt(617/613) = 200.651 A. Test Aborted, one row.
    StopCase{"trip_phase", [] { return Wave().zeros(103).on(617, 400); }, 0, 2, trAborted, "Test Aborted", 1,
        {{200.65146752328923, 0, Samples(613), 0, "200.7 A | 0.0% |   0.2554 secs |   0.0000 secs"}}, ""},
    // STOP in the reclose phase after operation 1 of 2, after 2 ticks: reclose time
    // c + 362..479 = 128 samples = 0.053333 s. The count rises to 2 and row 2 shows
    // zeros, although the meter's last window (239..477, 108 current samples) reads
    // 400 sqrt(108/239) * 0.5 = 134.4 A.
    StopCase{"reclose_phase_before_last_operation", [] { return Operations(107, 1, 240, 0, 400, 480); }, 0, 2,
        trAborted, "Test Aborted", 2,
        {{Curr1, Decay1, Samples(240), Samples(128), "199.6 A | -0.2% |   0.1000 secs |   0.0533 secs"},
         {0, 0, 0, 0, "  0.0 A | 0.0% |   0.0000 secs |   0.0000 secs"}}, ""},
    // The same STOP with one operation allowed: open after the last allowed operation
    // is a Lockout.
    StopCase{"reclose_phase_after_last_operation", [] { return Operations(107, 1, 240, 0, 400, 480); }, 0, 1,
        trLockout, "Lockout", 2,
        {{Curr1, Decay1, Samples(240), Samples(128), "199.6 A | -0.2% |   0.1000 secs |   0.0533 secs"},
         {0, 0, 0, 0, "  0.0 A | 0.0% |   0.0000 secs |   0.0000 secs"}}, ""},
    // Five operations of five: the fifth's off decision is at 107 + 4 * 1440 + 254 =
    // 6121; STOP after 26 ticks (6239) gives Lockout and the count stays at 5.
    StopCase{"reclose_phase_after_fifth_operation", [] { return Operations(107, 5, 240, 1200, 400, 6240); }, 0, 5,
        trLockout, "Lockout", 5,
        {{Curr1, Decay1, Samples(240), Samples(1200), "199.6 A | -0.2% |   0.1000 secs |   0.5000 secs"},
         {CurrN, DecayN, Samples(239), Samples(1200), "198.3 A | -0.8% |   0.0996 secs |   0.5000 secs"},
         {CurrN, DecayN, Samples(239), Samples(1200), "198.3 A | -0.8% |   0.0996 secs |   0.5000 secs"},
         {CurrN, DecayN, Samples(239), Samples(1200), "198.3 A | -0.8% |   0.0996 secs |   0.5000 secs"},
         {CurrN, DecayN, Samples(239), Samples(10 + 6239 - 6121),
          "198.3 A | -0.8% |   0.0996 secs |   0.0533 secs"}}, ""},
    // Minimum pick-up test (threshold 100) STOPped after 6 ticks: the trip phase holds
    // 1333 samples = 0.555 s > 0.5 s, so the result is Minimum Pickup, and the pick-up
    // current shows the largest block, 200 A, without waiting for a display refresh.
    StopCase{"minimum_pickup_after_half_a_second", [] { return Wave().zeros(103).on(1337, 400); }, 1, 1,
        trMinimumPickup, "Minimum Pickup", 1,
        {{200.29985024333362, 0, Samples(1333), 0, "200.3 A | 0.0% |   0.5554 secs |   0.0000 secs"}}, "200.0 A"},
    // Before half a second (4 ticks: 853 samples = 0.355 s) it is an abort: open is
    // clear, so not a Lockout either. sum (4 + 853) * 400^2: 200 sqrt(857/853).
    StopCase{"minimum_pickup_before_half_a_second", [] { return Wave().zeros(103).on(857, 400); }, 1, 1,
        trAborted, "Test Aborted", 1,
        {{200 * std::sqrt(857.0 / 853), 0, Samples(853), 0, "200.5 A | 0.0% |   0.3554 secs |   0.0000 secs"}}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------
// Minimum pick-up test ends.

struct PickupCase {
    const char* name;
    std::function<Wave()> wave;
    double tripTime, reclTime;
    const char* row;
    const char* minPickUp;
    friend void PrintTo(const PickupCase& c, std::ostream* os) { *os << c.name; }
};

class EngineMinimumPickup : public EngineTest, public ::testing::WithParamInterface<PickupCase> {};

TEST_P(EngineMinimumPickup, EndsAsMinimumPickup)
{
    const PickupCase& c = GetParam();
    setup->TestType = 1;
    setup->MaxOnTime = 10;
    setup->MaxOffTime = 5;
    MaxOps = 1;
    ResetEngine();
    Play(c.wave());

    EXPECT_EQ(engine->Result, trMinimumPickup);
    EXPECT_EQ(view.status[1], QStringLiteral("Minimum Pickup"));
    EXPECT_EQ(view.statusColor, TKyrColor::Lime);
    EXPECT_EQ(view.opCount, 1);
    EXPECT_NEAR(engine->TripTime[1], c.tripTime, 1e-6);
    EXPECT_NEAR(engine->ReclTime[1], c.reclTime, 1e-6);
    EXPECT_EQ(view.Row(1), QString::fromLatin1(c.row));
    EXPECT_EQ(view.minPickUp, QString::fromLatin1(c.minPickUp));
}

// Meter windows complete at samples 238 + 239 j. Current from 103 (on decision 107):
// while the trip time is below 0.5 s (up to the window at 1194, trip 107..1193 = 1087
// samples) each window clears the peak; the window at 1433 (the metering comes before
// the timing of its sample: trip 107..1432 = 1326 samples = 0.5525 s) sets a new
// maximum, 200 A, and the count of 50. From then on a window without a new maximum (the peak 200 A being above
// 100 * 0.5 = 50 A) counts down, and one with a new maximum restarts at 50.
INSTANTIATE_TEST_SUITE_P(Cases, EngineMinimumPickup, ::testing::Values(
    // 1440 samples of current (0.6 s), then zeros; off decision at 1542 + 15 = 1557.
    // The windows after it count 49..45; at the window of 2867 the reclose time
    // (through 2866: 10 + 1309 = 1319 samples = 0.549583 s) is at least 0.5 s: the
    // count drops to 0. Trip 1440 samples = 0.6 s, current 200 sqrt(1440/1441) =
    // 199.931 A, decay -0.035 %.
    PickupCase{"open_half_a_second", [] { return Wave().zeros(103).on(1440, 400).zeros(3000); },
        Samples(1440), Samples(1319), "199.9 A | -0.0% |   0.6000 secs |   0.5496 secs", "200.0 A"},
    // Steady current: 50 windows after 1433 the count reaches 0, at 1433 + 50 * 239 =
    // 13383, with the trip time through 13382: 13276 samples = 5.531667 s. The
    // operation is not closed: its trip current stays 0.
    PickupCase{"fifty_windows_without_new_maximum", [] { return Wave().zeros(103).on(14000, 400); },
        Samples(13276), 0, "  0.0 A | 0.0% |   5.5317 secs |   0.0000 secs", "200.0 A"},
    // The 30th window after 1433 (8365..8603) carries +-440: a new maximum of 220 A
    // restarts the count, which ends 50 windows later at 1433 + 80 * 239 = 20553:
    // trip 20446 samples = 8.519167 s; pick-up current 440 * 0.5 = 220 A.
    PickupCase{"new_maximum_restarts_count",
        [] { return Wave().zeros(103).on(8262, 400).on(239, 440).on(12500, 400); },
        Samples(20446), 0, "  0.0 A | 0.0% |   8.5192 secs |   0.0000 secs", "220.0 A"}),
    [](const auto& info) { return std::string(info.param.name); });

// A minimum pick-up test whose current flowed for less than 0.5 s never ends as
// Minimum Pickup: not by the open rule (10 s open here) and not by the count.
TEST_F(EngineTest, MinimumPickupNeedsHalfASecondOfCurrent)
{
    setup->TestType = 1;
    setup->MaxOnTime = 0;
    setup->MaxOffTime = 0;
    MaxOps = 1;
    ResetEngine();
    // 960 samples of current: trip time 960 samples = 0.4 s.
    Play(Wave().zeros(103).on(960, 400).zeros(24000));
    EXPECT_NEAR(engine->TripTime[1], Samples(960), 1e-6);
    EXPECT_EQ(engine->Result, trNone);
    EXPECT_TRUE(engine->Running);
    EXPECT_EQ(engine->MpuCountdown, 50);
}

// ---------------------------------------------------------------------------------
// Mended faults of the per-sample steps.

// Twenty squares of a demo file's 12000 counts are 2.88e9, beyond 32 bits: the block's
// RMS is still 12000 * 0.5 = 6000 A.
TEST_F(EngineTest, BlockSumOfLargeCountsDoesNotOverflow)
{
    cal->AvgSamples = 0; // no metering, so no overrange ends the test
    ResetEngine();
    // On decision at 24; the block 25..44 is the first full one.
    Feed(Wave().zeros(20).on(25, 12000));
    EXPECT_EQ(engine->Count20, 0);
    EXPECT_DOUBLE_EQ(engine->Rms20, 6000);
    EXPECT_DOUBLE_EQ(engine->PickupRms, 6000);
}

struct MeterCase {
    int avgSamples;
    double meterAmps; // after the samples
    uint8_t result;
    friend void PrintTo(const MeterCase& c, std::ostream* os) { *os << "AvgSamples " << c.avgSamples; }
};

class EngineMeterWindow : public EngineTest, public ::testing::WithParamInterface<MeterCase> {};

// 20 samples at +-400 and then one of 2001 counts.
TEST_P(EngineMeterWindow, WindowSizeAndOverrange)
{
    cal->AvgSamples = GetParam().avgSamples;
    ResetEngine();
    Feed(Wave().on(20, 400).raw({2001}));
    EXPECT_DOUBLE_EQ(engine->MeterAmps, GetParam().meterAmps);
    EXPECT_EQ(engine->Result, GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Cases, EngineMeterWindow, ::testing::Values(
    // No calibration decoded: no meter, no overrange check.
    MeterCase{0, 0, trNone},
    // One sample per averaging time would make windows of none (0 / 0): no meter, as 0.
    MeterCase{1, 0, trNone},
    // Windows of one sample: the 20th (400 counts) reads 200 A; the 2001 is counted in
    // a window but not summed, and ends the armed engine as Overrange: 0 / 1 = 0 A.
    MeterCase{2, 0, trOverrange},
    // Windows of 9 samples: two full windows of 400 (200 A), then 2 samples of the
    // third; the overrange sample does not complete a window.
    MeterCase{10, 200, trOverrange}));

// An overrange while the engine is idle sets the code without a status change.
TEST_F(EngineTest, OverrangeWhileIdleChangesNoStatus)
{
    engine->TestEnd(); // armed -> ended, no result
    ASSERT_FALSE(engine->Armed);
    const QString status = view.status[1];
    Feed(Wave().raw({0, -2001}));
    EXPECT_EQ(engine->Result, trOverrange);
    EXPECT_EQ(view.status[1], status);
}

// ---------------------------------------------------------------------------------
// Edges of the rules above that the whole-test cases do not reach.

// The countdown counts only windows whose maximum is above the pick-up threshold in
// amperes, 100 * 0.5 = 50 A. Five samples of 110 start the current at 107; a steady
// level L follows (at least max(20, 110 div 8) = 20, so the current stays on). Every
// full window then reads L * 0.5 A exactly; from the window at 1433 there is no new
// maximum. At L = 102 (51 A) the count runs out at 1433 + 50 * 239 = 13383, trip
// 107..13382 = 13276 samples; the blocks of 102 give a pick-up current of 51 A. At
// L = 100 (exactly 50 A) and 90 (45 A) the count never starts.
struct CountdownCase {
    int level;
    uint8_t result;
    double tripTime;  // when it ends
    const char* minPickUp;
    friend void PrintTo(const CountdownCase& c, std::ostream* os) { *os << "level " << c.level; }
};

class EngineMinimumPickupCountdown : public EngineTest, public ::testing::WithParamInterface<CountdownCase> {};

TEST_P(EngineMinimumPickupCountdown, CountsOnlyAboveThePickupThreshold)
{
    const CountdownCase& c = GetParam();
    setup->TestType = 1;
    setup->MaxOnTime = 0;
    setup->MaxOffTime = 0;
    MaxOps = 1;
    ResetEngine();
    Play(Wave().zeros(103).level(5, 110).level(14000, c.level));
    EXPECT_EQ(engine->Result, c.result);
    if (c.result == trMinimumPickup) {
        EXPECT_FALSE(engine->Running);
        EXPECT_NEAR(engine->TripTime[1], c.tripTime, 1e-6);
        EXPECT_EQ(view.minPickUp, QString::fromLatin1(c.minPickUp));
        EXPECT_EQ(view.status[1], QStringLiteral("Minimum Pickup"));
    } else {
        EXPECT_TRUE(engine->Running);
        EXPECT_EQ(engine->MpuCountdown, 50);
        EXPECT_DOUBLE_EQ(engine->MpuPeak, c.level * 0.5);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, EngineMinimumPickupCountdown, ::testing::Values(
    CountdownCase{102, trMinimumPickup, Samples(13276), " 51.0 A"},
    CountdownCase{100, trNone, 0, ""},
    CountdownCase{90, trNone, 0, ""}));

// Each operation's decay uses its own largest block only when more than one operation
// is allowed. Operation 1 at +-400 (largest block 200 A), operation 2 at +-200 (100 A):
// operation 2's current is 100 sqrt(236/240) A (the later-operation rule above).
// - MaxOps 2: the blocks restart after operation 1, decay 2 = (100 / that - 1) * -100
//   = -0.844 %, and the end of operation 2 clears the pick-up current again;
// - MaxOps 1: the 200 A of operation 1 stays, decay 2 = (200 / that - 1) * -100
//   = -101.688 %; operation 2 is the excess shot, and the pick-up current (the data
//   file's last line) is still 200 A.
struct PickupPerOpCase {
    int maxOps;
    uint8_t result;
    double decay2, pickupRms;
    friend void PrintTo(const PickupPerOpCase& c, std::ostream* os) { *os << "MaxOps " << c.maxOps; }
};

class EnginePickupPerOperation : public EngineTest, public ::testing::WithParamInterface<PickupPerOpCase> {};

TEST_P(EnginePickupPerOperation, DecayUsesTheOperationsOwnBlocks)
{
    const PickupPerOpCase& c = GetParam();
    MaxOps = c.maxOps;
    ResetEngine();
    // Operation 2's off decision comes at 1801 (level max(20, 200 div 8) = 25).
    Feed(Wave().zeros(107).on(240, 400).zeros(1200).on(240, 200).zeros(20));
    const double curr2 = 100 * std::sqrt(236.0 / 240);
    EXPECT_EQ(engine->Result, c.result);
    ASSERT_EQ(view.opCount, 2);
    EXPECT_NEAR(engine->TripCurr[1], Curr1, 1e-3);
    EXPECT_NEAR(engine->Decay[1], Decay1, 1e-3);
    EXPECT_NEAR(engine->TripCurr[2], curr2, 1e-3);
    EXPECT_NEAR(engine->Decay[2], c.decay2, 1e-3);
    EXPECT_DOUBLE_EQ(engine->PickupRms, c.pickupRms);
}

INSTANTIATE_TEST_SUITE_P(Cases, EnginePickupPerOperation, ::testing::Values(
    PickupPerOpCase{2, trNone, (100 / (100 * std::sqrt(236.0 / 240)) - 1) * -100, 0},
    PickupPerOpCase{1, trExcessShot, (200 / (100 * std::sqrt(236.0 / 240)) - 1) * -100, 200}));

// From range 2 a trip current of exactly 30 % of full scale is not underrange; a full
// scale one step larger makes it so. Operation 1 of 240 samples at +-a gives about
// a / 2 * sqrt(240/241) A (99.79 A at a = 200); the full scale is then chosen so that
// 0.3 times it is that current exactly (not every double has such a full scale, so
// the amplitude goes up by one until one does).
TEST_F(EngineTest, UnderrangeIsStrictlyBelowThirtyPercent)
{
    setup->Range = 2;
    Wave w;
    double t = 0, fs = 0;
    for (int a = 200; a < 220 && fs == 0; ++a) {
        w = Wave().zeros(107).on(240, a).zeros(30);
        ResetEngine();
        Feed(w);
        t = engine->TripCurr[1];
        ASSERT_NEAR(t, a * 0.5 * std::sqrt(240.0 / 241), 1e-4);
        double f = t / 0.3;
        for (int i = 0; i < 4; ++i)
            f = std::nextafter(f, 0.0);
        for (int i = 0; i < 9 && fs == 0; ++i, f = std::nextafter(f, 1e9))
            if (0.3 * f == t)
                fs = f;
    }
    ASSERT_NE(fs, 0) << "no full scale whose 30 % is the trip current exactly";
    double above = fs;
    while (0.3 * above <= t)
        above = std::nextafter(above, 1e9);

    struct {
        double fullScale;
        bool underrange;
    } const cases[] = {{fs, false}, {above, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "full scale " << c.fullScale);
        RangeFullScale = c.fullScale;
        ResetEngine();
        Feed(w);
        ASSERT_EQ(engine->TripCurr[1], t);
        EXPECT_EQ(engine->Underrange, c.underrange);
    }
}

// The recording stops advancing at the store's last entry (145000), which then takes
// every further sample. 20 zeros, then distinct values 500..999 (always above an eighth
// of their peak, so the current stays on): the on decision at 24 puts the ring's 15..24
// at entries 0..9, so entry p holds sample p + 15 up to entry 144999; samples
// 145015..145029 all land in entry 145000, the last of them staying.
TEST_F(EngineTest, RecordingEndsInTheStoresLastEntry)
{
    Wave w = Wave().zeros(20);
    for (int i = 0; i < 145010; ++i)
        w.s.push_back(static_cast<int16_t>(500 + (i * 7) % 500));
    Feed(w);
    ASSERT_TRUE(engine->Running);
    EXPECT_EQ(store->SampleIndex, 145000);
    EXPECT_EQ(store->Samples[0], w.s[15]);
    EXPECT_EQ(store->Samples[9], w.s[24]);
    EXPECT_EQ(store->Samples[144999], w.s[145014]);
    ASSERT_NE(w.s[145015], w.s.back());
    EXPECT_EQ(store->Samples[145000], w.s.back());
}

// The trace of a test, from the arming by Reset to its end: each ending routine names
// itself before the end. Lines read "n: text at: seconds"; the texts end in a blank.
struct TraceCase {
    const char* name;
    std::function<Wave()> wave;
    int testType, maxOps;
    double maxOnTime;
    bool stop;
    std::vector<const char*> lines;
    friend void PrintTo(const TraceCase& c, std::ostream* os) { *os << c.name; }
};

class EngineTrace : public EngineTest, public ::testing::WithParamInterface<TraceCase> {};

TEST_P(EngineTrace, EndingRoutinesTraceThemselves)
{
    const TraceCase& c = GetParam();
    setup->TestType = static_cast<uint8_t>(c.testType);
    setup->MaxOnTime = c.maxOnTime;
    setup->MaxOffTime = 5;
    MaxOps = c.maxOps;
    fmDebug = new TfmDebug();
    ResetEngine();
    Play(c.wave(), 240, false);
    if (c.stop)
        engine->TestAbort();
    const QStringList trace = fmDebug->TraceText().split(QLatin1Char('\n'));
    delete fmDebug;
    fmDebug = nullptr;

    std::vector<std::string> texts;
    static const QRegularExpression line(QStringLiteral("^\\d+: (.*) at: \\S+$"));
    for (const QString& l : trace) {
        const QRegularExpressionMatch m = line.match(l);
        ASSERT_TRUE(m.hasMatch()) << l.toStdString();
        texts.push_back(m.captured(1).toStdString());
    }
    EXPECT_EQ(texts, std::vector<std::string>(c.lines.begin(), c.lines.end()));
}

INSTANTIATE_TEST_SUITE_P(Cases, EngineTrace, ::testing::Values(
    TraceCase{"excess_shot", [] { return Operations(107, 2, 240, 1200, 400, 2000); }, 0, 1, 5, false,
        {"Test Arm ", "Test Start ", "ExcessShot ", "Test End "}},
    TraceCase{"time_out", [] { return Wave().zeros(103).on(1440, 400); }, 0, 1, 0.5, false,
        {"Test Arm ", "Test Start ", "Test Timeout ", "Test End "}},
    TraceCase{"minimum_pickup", [] { return Wave().zeros(103).on(1440, 400).zeros(1500); }, 1, 1, 5, false,
        {"Test Arm ", "Test Start ", "MinimumPickup ", "Test End "}},
    TraceCase{"stop", [] { return Wave().zeros(103).on(480, 400); }, 0, 2, 5, true,
        {"Test Arm ", "Test Start ", "Test Abort ", "Test End "}}),
    [](const auto& info) { return std::string(info.param.name); });

// Time limits of 0 read from the setup file switch both time-outs off: 12 s of current
// and then 12 s without it, each well past the default 5 s, end nothing.
TEST_F(EngineTest, TimeLimitsOfZeroFromTheSetupFileTimeNothingOut)
{
    TempCurrentDir dir;
    ScriptedMessages m;
    TfmSetup fromFile;
    fromFile.SetupFileName = dir.file("Kestrovan.ksf");
    {
        QFile f(fromFile.SetupFileName);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("4\r\n0.00\r\n0.00\r\nd.kdf\r\nCOM\r\n2\r\n0\r\n  1000\r\n   100\r\n");
    }
    fromFile.ReadSetupFile();
    EXPECT_TRUE(m.requests.empty());
    *setup = fromFile;
    MaxOps = 2;
    ResetEngine();
    Play(Wave().zeros(103).on(12 * 2400, 400).zeros(12 * 2400));
    EXPECT_EQ(engine->Result, trNone);
    EXPECT_TRUE(engine->Running);
    EXPECT_NEAR(engine->TripTime[1], 12.0, 0.01);
}
