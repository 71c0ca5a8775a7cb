// Shared set-up of the test engine's tests: a recording view in place of the main
// window, an idle link in place of the instrument's, the calibration, setup and sample
// store as plain records with known values, and synthetic waveforms fed straight into
// the per-sample steps. No window and no serial thread.
#pragma once

#include "CalData.h"
#include "KyrGlobals.h"
#include "KyrUpdate.h"
#include "KyrView.h"
#include "SampleStore.h"
#include "SetupData.h"

#include <deque>

#include <QStringList>
#include <algorithm>
#include <array>
#include <memory>
#include <ostream>
#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

// Texts in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline std::ostream& operator<<(std::ostream& os, TKyrColor c) { return os << "colour " << static_cast<int>(c); }

// Records everything the engine writes.
class FakeView : public IKyrView {
public:
    QString status[3];
    TKyrColor statusColor = TKyrColor::BtnFace;
    QString armedCaption;
    TKyrColor armedColor = TKyrColor::BtnFace;
    QString runCaption;
    TKyrColor runColor = TKyrColor::BtnFace;
    bool checkTCC = false, range = false, testTypeSel = false, maxOpsBox = false;
    int progress = -1, meter = -1, progressWrites = 0, meterWrites = 0;
    bool commError = false;
    int commErrorWrites = 0;
    QString current, minPickUp;
    int currentWrites = 0;
    QString op[6][4];
    int opWrites = 0;
    int opCount = 0;
    bool dataSaved = true;
    std::vector<int> maxOpsCalls;
    int commShown = 0;

    void SetStatusPanel(int p, const QString& t) override { status[p] = t; }
    void SetStatusColor(TKyrColor c) override { statusColor = c; }
    void SetArmedRunning(const QString& t, TKyrColor c) override { armedCaption = t; armedColor = c; }
    void SetRunStopReset(const QString& t, TKyrColor c) override { runCaption = t; runColor = c; }
    void SetCheckTCCEnabled(bool e) override { checkTCC = e; }
    void SetRangeEnabled(bool e) override { range = e; }
    void SetTestTypeSelEnabled(bool e) override { testTypeSel = e; }
    void SetMaxOpsBoxEnabled(bool e) override { maxOpsBox = e; }
    void SetProgress(int v) override { progress = v; ++progressWrites; }
    void SetMeterValue(int v) override { meter = v; ++meterWrites; }
    void SetCommErrorVisible(bool v) override { commError = v; ++commErrorWrites; }
    void SetCurrentText(const QString& t) override
    {
        current = t;
        ++currentWrites;
    }
    void SetMinPickUpText(const QString& t) override { minPickUp = t; }
    void SetOpText(int i, TOpColumn c, const QString& t) override
    {
        ASSERT_TRUE(i >= 1 && i <= 5) << "row " << i;
        op[i][c] = t;
        ++opWrites;
    }
    int GetOpCount() const override { return opCount; }
    void SetOpCount(int n) override { opCount = n; }
    void SetDataSaved(bool s) override { dataSaved = s; }
    void SetMaxOps(int n) override { maxOpsCalls.push_back(n); }
    void ShowCommStatus() override { ++commShown; }

    // Row i as "trip current | decay | trip time | reclose time".
    QString Row(int i) const
    {
        return QStringList{op[i][0], op[i][1], op[i][2], op[i][3]}.join(QStringLiteral(" | "));
    }
};

// The instrument link as plain state: flags, a byte count, a queue of samples, and a
// count of the engine's calls. Idle (no port, not streaming) until a test says otherwise.
class FakeLink : public IKyrLink {
public:
    bool portFound = false;
    bool streaming = false;
    int rxCount = 0;
    int errorCount = 0;
    std::deque<int> samples;
    int errorClears = 0;
    int stops = 0;

    bool GetPortFound() const override { return portFound; }
    void SetPortFound(bool f) override { portFound = f; }
    bool GetStreaming() const override { return streaming; }
    int GetRxCount() const override { return rxCount; }
    int GetErrorCount() const override { return errorCount; }
    void ClearErrorCounts() override
    {
        errorCount = 0;
        ++errorClears;
    }
    int GetSample() override
    {
        if (samples.empty())
            return 0;
        const int x = samples.front();
        samples.pop_front();
        rxCount = std::max(0, rxCount - 2);
        return x;
    }
    void StopComm() override
    {
        streaming = false;
        ++stops;
    }
};

// A synthetic current waveform in counts.
struct Wave {
    std::vector<int16_t> s;
    Wave& zeros(int n) { return level(n, 0); }
    Wave& level(int n, int v)
    {
        s.insert(s.end(), n, static_cast<int16_t>(v));
        return *this;
    }
    // n samples alternating +a, -a: a square wave whose RMS is exactly a.
    Wave& on(int n, int a)
    {
        for (int i = 0; i < n; ++i)
            s.push_back(static_cast<int16_t>(i % 2 ? -a : a));
        return *this;
    }
    Wave& raw(std::initializer_list<int> v)
    {
        for (int x : v)
            s.push_back(static_cast<int16_t>(x));
        return *this;
    }
    int size() const { return static_cast<int>(s.size()); }
};

// The calibration defaults (on threshold 40, MPU threshold 100, on delay 5, off
// threshold 20, off delay 15, 0.1 s metering = 240 samples), 2400 samples per second,
// 0.5 A per count (exact in single precision), a 500 A range (range 4), "%5.1f A"
// and "%8.4f secs", demo mode (so the status colour comes from the result alone).
class EngineTest : public ::testing::Test {
protected:
    FakeView view;
    FakeLink fakeLink;
    // The link the engine is made with; a derived fixture may set another before SetUp.
    IKyrLink* link = &fakeLink;
    TKyrUpdate* engine = nullptr;
    std::unique_ptr<TCalData> cal;
    std::unique_ptr<TSetupData> setup;
    std::unique_ptr<TSampleStore> store;

    void SetUp() override;
    void TearDown() override;

    // Engine reset as TfmKyr.ResetData does it: Reset, no operations, data saved.
    void ResetEngine();
    // Feeds the waveform in ticks of perTick samples, as the tick does: the samples,
    // the display refresh, then the limits while no result is set. One more display
    // refresh at the end stands for the next tick's.
    void Play(const Wave& w, int perTick = 240, bool display = true);
    // Feeds samples one by one, with no tick work around them.
    void Feed(const Wave& w);

    static constexpr double R = 2400;
    static float P() { return 1.0f / 2400; }
};
