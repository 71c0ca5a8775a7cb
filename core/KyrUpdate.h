// The test engine: one object, TestEngine, whose timer tick is the program's whole
// measurement loop. Each tick takes the samples that arrived since the last one (or
// the next stretch of a demo waveform), meters them, detects current on and off with
// debounce, times each recloser operation, records the waveform and refreshes the
// displays. Every time it reports is a count of samples times the sample period; the
// clock is never read.
#pragma once

#include "KyrView.h"

#include <QString>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

class QTimer;
struct TCalData;
struct TSampleStore;
struct TSetupData;

// The test's result code, TKyrUpdate::Result.
enum : uint8_t {
    trNone = 0,
    trMinimumPickup = 1,
    trLockout = 2,
    trExcessShot = 3,
    trTimeout = 4,
    trAborted = 5,
    trOverrange = 6,
};

class TKyrUpdate {
public:
    // What the engine shows (the main window or a test's fake), the instrument link,
    // the calibration and setup values and the sample store it records into (the
    // windows' records in the program, plain records in the tests). All must outlive
    // the engine.
    TKyrUpdate(IKyrView* View, IKyrLink* Link, TCalData* Cal, TSetupData* Setup, TSampleStore* Store);
    ~TKyrUpdate();
    TKyrUpdate(const TKyrUpdate&) = delete;
    TKyrUpdate& operator=(const TKyrUpdate&) = delete;

    static constexpr int DemoSize = 145001;   // DemoSamples entries 0..145000
    static constexpr int DemoPlayMax = 60000; // playback takes entries below this
    static constexpr int OverrangeCounts = 2000;

    int16_t RawSample = 0;
    double MeterAmps = 0;
    double MeterSumSq = 0;
    int16_t Sample = 0;
    bool CurrentOn = false;
    int Count20 = 0;
    // 64 bits: twenty squares of demo-file counts above about 10362 overflow 32 bits.
    int64_t Sum20 = 0;
    bool AboveRef = false;
    double Rms20 = 0;
    double MpuPeak = 0;
    int MpuCountdown = 0;
    int OffCount = 0;
    int OnCount = 0;
    int Peak = 0;
    int SamplesThisTick = 0;
    int MeterCount = 0;
    bool Open = false;
    int WorkThreshold = 0;
    int TotalSamples = 0;
    double OnSumSq = 0;
    bool Underrange = false;
    double DisplayClock = 0;
    bool UpdateReady = false;
    bool Armed = false;
    std::array<double, 6> Decay{};    // operations 1..5, percent
    QString CurrentFormat;
    QString TimeFormat;
    std::vector<int16_t> DemoSamples; // DemoSize entries, filled by TfmKyr.SetDemo
    int DemoIndex = 0;
    double PickupRms = 0;
    std::array<double, 6> TripTime{}; // operations 1..5, seconds
    std::array<double, 6> ReclTime{}; // operations 1..5, seconds
    int RingSize = 0;
    std::vector<int16_t> Ring;
    int RingIndex = 0;
    int EmptyTicks = 0;
    bool Running = false;
    uint8_t Result = trNone;
    std::array<double, 6> TripCurr{}; // operations 1..5, amperes
    uint8_t UpdateErrorCount = 0;
    QTimer* Timer = nullptr;          // owned; its timeout runs TimerTick

    IKyrView* View;
    IKyrLink* Link;
    TCalData* Cal;
    TSetupData* Setup;
    TSampleStore* Store;

    // The timer's tick: the whole measurement loop.
    void TimerTick();
    void Reset();
    void TestArm();
    void TestStart();
    void TestEnd();
    void TestAbort();
    void ShowStatus();
    void UpdateDisplay();

    // The per-sample steps, in the order the tick runs them.
    void MeterSample();
    void TrackPickupRms();
    void DetectCurrent();
    void TimeOperation();
    void PushPreTrigger();
    void LoadPreTrigger();
    // After the samples of a tick, while Result is 0.
    void CheckLimits();
    void TestTimeout();
    void ExcessShot();
    void MinimumPickup();

    // One sample through the steps of the tick: RawSample and Sample := x, then
    // MeterSample, TrackPickupRms, DetectCurrent and, while running, TimeOperation.
    void ProcessSample(int16_t x);

private:
    QString FormatCurrent(double amps) const;
    QString FormatTime(double secs) const;
    static QString FormatDecay(double percent);
    int TimerInterval() const;
    void SetTimerInterval();
    std::minstd_rand Noise;
};

// Demo playback is running (set by TfmKyr.Start, cleared by Reset and TestEnd).
extern bool DemoPlaying;
extern TKyrUpdate* TestEngine;
