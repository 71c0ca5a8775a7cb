// Program control with the simulated instrument: the search's retry, Cancel, and a
// second initialisation with the instrument found before.
#include "ProgramFixture.h"

#include "Cal.h"
#include "Comm.h"
#include "KyrMain.h"
#include "KyrUpdate.h"
#include "Setup.h"
#include "InstrumentSim.h"
#include "Waveform.h"

#include <QLineEdit>

#include <QPushButton>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

namespace {

class ProgramHardwareTest : public ProgramFixture {
protected:
    void OpenSim()
    {
        kvsim::Instrument::Options o;
        o.Noise = 0;
        sim = std::make_unique<kvsim::Instrument>(o);
        std::string error;
        ASSERT_TRUE(sim->Open(&error)) << error;
        serialPorts = {QString::fromStdString(sim->DevicePath())};
    }
    void TearDown() override
    {
        ProgramFixture::TearDown();
        if (sim)
            sim->Close();
    }
    int CountReceived(uint8_t b) const
    {
        const auto r = sim->Received();
        return static_cast<int>(std::count(r.begin(), r.end(), b));
    }
    std::unique_ptr<kvsim::Instrument> sim;
};

TEST_F(ProgramHardwareTest, RetryProbesAgainAndFindsTheInstrument)
{
    OpenSim();
    sim->SetProbeReply(false);
    // The user retries once; while told to switch the instrument on, it starts answering.
    answers->on(QStringLiteral("Hardware Not Found. Try again?"), {IDRETRY, IDCANCEL});
    answers->onRequest = [this](const MessageRequest& r) {
        if (r.text == QLatin1String("Turn Kestrovan on and replace USB cable"))
            sim->SetProbeReply(true);
    };
    StartProgram();
    EXPECT_EQ(answers->count(QStringLiteral("Hardware Not Found. Try again?")), 1);
    EXPECT_TRUE(answers->saw(QStringLiteral("Turn Kestrovan off and remove USB cable")));
    EXPECT_GE(CountReceived(kvsim::CmdProbe), 2);  // the second pass probed again
    ASSERT_TRUE(fmComm->PortFound);
    EXPECT_FALSE(DemoMode);
    EXPECT_EQ(fmSetup->SourceName, serialPorts.first());
    EXPECT_TRUE(WaitFor([this] { return sim->Streaming(); }, 20000));
    EXPECT_EQ(fmKyr->BitBtnRunStopReset->text(), QStringLiteral("READY"));
}

TEST_F(ProgramHardwareTest, CancelClosesThePortSoNoRangeGoesToIt)
{
    OpenSim();
    sim->SetProbeReply(false);
    StartProgram();  // the default answer: Cancel
    EXPECT_TRUE(answers->saw(QStringLiteral("Hardware Not Found. Try again?")));
    EXPECT_TRUE(DemoMode);
    EXPECT_FALSE(fmComm->PortFound);
    EXPECT_GE(CountReceived(kvsim::CmdProbe), 1);
    // The range bytes ('8' - range) and the stream start never reach the silent device.
    for (int r = 1; r <= 8; ++r)
        EXPECT_EQ(CountReceived(static_cast<uint8_t>('8' - r)), 0) << r;
    EXPECT_EQ(CountReceived(kvsim::CmdStartStream), 0);
    EXPECT_FALSE(sim->Streaming());
    // A range key in demo mode sends nothing either.
    fmKyr->FormKeyPress(QLatin1Char('+'));
    EXPECT_EQ(CountReceived(static_cast<uint8_t>('8' - fmSetup->Range)), 0);
}

TEST_F(ProgramHardwareTest, SecondInitialisationKeepsTheInstrumentFoundBefore)
{
    OpenSim();
    StartProgram();
    ASSERT_TRUE(fmComm->PortFound);
    ASSERT_FALSE(fmCal->CalError);
    // Again with a good calibration: no probe, no calibration read, no reset.
    sim->ClearReceived();
    fmKyr->ProgInit();
    EXPECT_EQ(CountReceived(kvsim::CmdProbe), 0);
    EXPECT_EQ(CountReceived(kvsim::CmdReadCal), 0);
    EXPECT_EQ(sim->Resets(), 0);
    EXPECT_TRUE(WaitFor([this] { return sim->Streaming(); }, 20000));
    // RESET with an instrument applies the test type again without a search.
    sim->ClearReceived();
    fmKyr->SetRunStopReset(QStringLiteral("RESET"), TKyrColor::Green);
    fmKyr->BitBtnRunStopReset->click();
    EXPECT_EQ(CountReceived(kvsim::CmdProbe), 0);
    EXPECT_EQ(fmKyr->BitBtnRunStopReset->text(), QStringLiteral("READY"));
    // The last read failed: the reset byte first, then the block is read again.
    fmCal->CalError = true;
    sim->ClearReceived();
    fmKyr->ProgInit();
    EXPECT_EQ(sim->Resets(), 1);
    EXPECT_EQ(CountReceived(kvsim::CmdProbe), 0);
    EXPECT_GE(CountReceived(kvsim::CmdReadCal), 1);
    const auto rx = sim->Received();
    const auto reset = std::find(rx.begin(), rx.end(), kvsim::CmdReset);
    ASSERT_NE(reset, rx.end());
    EXPECT_NE(std::find(reset, rx.end(), kvsim::CmdReadCal), rx.end());  // read after the reset
    EXPECT_FALSE(fmCal->CalError);
    EXPECT_TRUE(TraceText().contains(QStringLiteral("Reset PIC ")));
    // The reset did not cost the link: the instrument streams again.
    EXPECT_TRUE(fmComm->PortFound);
    EXPECT_TRUE(WaitFor([this] { return sim->Streaming(); }, 20000));
}

// The link lost in the middle of a test (the line hung up, or the instrument silent):
// the results timed so far are unsaved, and RESET asks before its search can take them.
TEST_F(ProgramHardwareTest, ALostLinkKeepsUnsavedResultsUntilResetIsAnswered)
{
    std::vector<kvsim::Segment> segs;
    for (const WaveSegment& w : NormSegments)
        segs.push_back({w.Amplitude, w.OnTime, w.Phase, w.EndRatio, w.OffTime});
    const std::vector<int> counts = kvsim::SegmentsToCounts(segs);
    for (const bool hangUp : {true, false}) {
        SCOPED_TRACE(hangUp ? "hang-up" : "silence");
        OpenSim();
        sim->SetWaveform(counts);
        StartProgram();
        ASSERT_TRUE(fmComm->PortFound);
        ASSERT_TRUE(WaitFor([this] { return sim->Streaming(); }, 20000));
        sim->Play();
        // Lost after the first operation was timed.
        ASSERT_TRUE(WaitFor([] { return TestEngine->TripTime[1] > 0 && TestEngine->ReclTime[1] > 0; }, 60000));
        if (hangUp)
            sim->HangUp();
        else
            sim->SetSilent(true);
        ASSERT_TRUE(WaitFor([] { return !fmComm->PortFound; }, 60000));
        ASSERT_TRUE(WaitFor([] { return !TestEngine->Running; }, 20000));
        ASSERT_EQ(fmKyr->BitBtnRunStopReset->text(), QStringLiteral("RESET"));
        ASSERT_FALSE(fmKyr->DataSaved);
        const QString trip1 = fmKyr->TripTime[1]->text();
        const double tripTime1 = TestEngine->TripTime[1];
        ASSERT_GT(tripTime1, 0);

        // No: nothing is searched and nothing goes.
        answers.reset();  // its rules answered the last round's questions
        answers = std::make_unique<AnswerByText>();
        answers->on(QStringLiteral("OK to discard data?"), {IDNO, IDYES});
        fmKyr->BitBtnRunStopReset->click();
        const MessageRequest* ask = answers->find(QStringLiteral("OK to discard data?"));
        ASSERT_NE(ask, nullptr);
        EXPECT_EQ(ask->caption, QStringLiteral("Test Reset"));
        EXPECT_FALSE(answers->saw(QStringLiteral("Hardware Not Found. Try again?")));
        EXPECT_FALSE(fmKyr->DataSaved);
        EXPECT_EQ(fmKyr->TripTime[1]->text(), trip1);
        EXPECT_EQ(TestEngine->TripTime[1], tripTime1);
        EXPECT_EQ(fmKyr->BitBtnRunStopReset->text(), QStringLiteral("RESET"));

        // Yes: the search (Cancel gives the demo) and a clean test.
        answers->clear();
        fmKyr->BitBtnRunStopReset->click();
        EXPECT_EQ(answers->count(QStringLiteral("OK to discard data?")), 1);
        EXPECT_TRUE(answers->saw(QStringLiteral("Hardware Not Found. Try again?")));
        EXPECT_TRUE(fmKyr->DataSaved);
        EXPECT_EQ(TestEngine->TripTime[1], 0.0);
        StopProgram();
        sim->Close();
        sim.reset();
    }
}

} // namespace
