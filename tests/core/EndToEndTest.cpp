// One waveform through both roads: played as a demo file, and streamed by the simulated
// instrument on a pseudo-terminal through the real serial component (search,
// calibration read, stream, test). Both must time and measure it the same.
#include "ProgramFixture.h"

#include "Cal.h"
#include "Comm.h"
#include "Forms.h"
#include "KyrMain.h"
#include "KyrUpdate.h"
#include "Setup.h"
#include "Waveform.h"
#include "InstrumentSim.h"

#include <QFile>
#include <QTimer>
#include <cmath>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

struct Outcome {
    int result = 0;
    int ops = 0;
    double trip[6] = {}, recl[6] = {}, curr[6] = {};
};

Outcome Take()
{
    Outcome o;
    o.result = TestEngine->Result;
    o.ops = fmKyr->OpCount;
    for (int i = 1; i <= 5; ++i) {
        o.trip[i] = TestEngine->TripTime[static_cast<size_t>(i)];
        o.recl[i] = TestEngine->ReclTime[static_cast<size_t>(i)];
        o.curr[i] = TestEngine->TripCurr[static_cast<size_t>(i)];
    }
    return o;
}

class EndToEndTest : public ProgramFixture {};

TEST_F(EndToEndTest, DemoFileAndInstrumentGiveTheSameResults)
{
    // The demo's four decaying trips, as the instrument's converter gives them (steps
    // of 4 counts), padded with silence to a whole waveform file.
    std::vector<kvsim::Segment> segs;
    for (const WaveSegment& s : NormSegments)
        segs.push_back({s.Amplitude, s.OnTime, s.Phase, s.EndRatio, s.OffTime});
    std::vector<int> counts = kvsim::SegmentsToCounts(segs);
    for (int& c : counts)
        c = kvsim::QuantizeCount(c);
    counts.resize(WaveFileSamples, 0);
    std::vector<int16_t> file(counts.begin(), counts.end());
    ASSERT_TRUE(QDir().mkpath(dataFolder));
    ASSERT_TRUE(kvsim::WriteKwf(DataFile(QStringLiteral("KestrovanNorm.kwf")).toStdString(), file));

    // The demo road: no instrument, Cancel, RUN.
    StartProgram();
    ASSERT_TRUE(DemoMode);
    ASSERT_TRUE(PlayDemo());
    const Outcome demo = Take();
    ASSERT_EQ(demo.result, trLockout);
    ASSERT_EQ(demo.ops, 4);
    StopProgram();

    // The hardware road: the instrument holds the same calibration as the file the demo
    // used and is listed through the port list's extra devices.
    QFile cal(DataFile(QStringLiteral("Kestrovan.kcf")));
    ASSERT_TRUE(cal.open(QIODevice::ReadOnly));
    const QByteArray block = cal.read(128);
    kvsim::Instrument::Options opt;
    opt.Noise = 0;
    kvsim::Instrument sim(opt);
    std::string error;
    ASSERT_TRUE(sim.Open(&error)) << error;
    sim.SetCalBlock(block.toStdString());
    sim.SetWaveform(counts);
    const QByteArray oldPorts = qgetenv("KESTROVAN_SERIAL_PORTS");
    qputenv("KESTROVAN_SERIAL_PORTS", QByteArray::fromStdString(sim.DevicePath()));
    machinePorts = true;
    answers->clear();
    StartProgram();
    qputenv("KESTROVAN_SERIAL_PORTS", oldPorts);
    EXPECT_FALSE(answers->saw(QStringLiteral("Hardware Not Found. Try again?")));
    ASSERT_TRUE(fmComm->PortFound);
    EXPECT_FALSE(DemoMode);
    EXPECT_FALSE(fmCal->CalError);
    EXPECT_EQ(fmSetup->SourceName, QString::fromStdString(sim.DevicePath()));
    EXPECT_TRUE(fmComm->Streaming);
    EXPECT_TRUE(WaitFor([&] { return sim.Streaming(); }, 20000));
    EXPECT_EQ(sim.Range(), fmSetup->Range);
    EXPECT_EQ(fmKyr->BitBtnRunStopReset->text(), QStringLiteral("READY"));
    EXPECT_EQ(fmKyr->StatusPanelText(1), QStringLiteral("Armed - Initiate test current"));
    EXPECT_TRUE(fmKyr->StatusPanelText(2).endsWith(QStringLiteral(" on ") + fmSetup->SourceName));

    // A hardware tick takes what arrived since the last one: a tick made late by a busy
    // machine takes more. Note the size of the tick that decided the result (this slot
    // runs right after the engine's own).
    QObject tickWatch;
    auto seen = TestEngine->TotalSamples;
    decltype(seen) decidingTick = 0;
    QObject::connect(TestEngine->Timer, &QTimer::timeout, &tickWatch, [&] {
        if (TestEngine->Result != 0 && decidingTick == 0)
            decidingTick = TestEngine->TotalSamples - seen;
        seen = TestEngine->TotalSamples;
    });

    // Let the engine see some idle stream, then the current.
    ASSERT_TRUE(WaitFor([] { return TestEngine->TotalSamples > 1200; }, 20000));
    sim.Play();
    ASSERT_TRUE(WaitFor([] { return TestEngine->Result != 0 && !TestEngine->Running; }, 60000));
    const Outcome hw = Take();
    EXPECT_TRUE(fmKyr->grab().save(ArtifactPath(QStringLiteral("main_window_after_hardware_test.png"))));

    // Pairs the instrument could not send because nobody read for seconds are missing
    // from the hardware road's counts: say so first, the times below then differ.
    EXPECT_EQ(sim.DroppedBytes(), 0) << "the program stopped reading the stream for seconds";
    EXPECT_EQ(hw.result, trLockout);
    ASSERT_EQ(hw.ops, demo.ops);
    // The same sample counts on both roads. The demo's sample period comes from the
    // file's single-precision interval, the stream's from 2400 per second, so the
    // seconds agree to the last few binary digits.
    auto same = [](double a, double b) { return std::fabs(a - b) <= 1e-6 * std::max(std::fabs(a), 1.0); };
    for (int i = 1; i <= 4; ++i) {
        EXPECT_PRED2(same, hw.trip[i], demo.trip[i]) << "trip " << i;
        EXPECT_PRED2(same, hw.curr[i], demo.curr[i]) << "current " << i;
        if (i < 4) {
            EXPECT_PRED2(same, hw.recl[i], demo.recl[i]) << "reclose " << i;
        }
    }
    EXPECT_EQ(hw.trip[5], 0.0);
    // The lockout's last reclose time is decided at the end of a tick: it may differ by
    // one tick, the demo's 100 ms or the deciding hardware tick, whichever is longer.
    ASSERT_GT(decidingTick, 0);
    const double tick = std::max(0.1, static_cast<double>(decidingTick) / 2400.0);
    EXPECT_NEAR(hw.recl[4], demo.recl[4], tick + 1e-9);
    EXPECT_EQ(fmComm->ErrorCount, 0);
    StopProgram();
    sim.Close();
}

} // namespace
