// The program-wide store of current samples as a plain record: the test engine records
// the running test into it, demo mode reads a waveform file into it, the viewer draws
// it. The waveform window holds it (fmWaveform->Samples); the engine's tests use one of
// their own.
#pragma once

#include "WaveFile.h"

#include <QString>
#include <cstdint>

// Entries of the store: indices 0 to 145000.
constexpr int WaveStoreSize = 145001;

struct TSampleStore {
    double SampleRate = 0;       // samples per second
    float SecPerSample = 0;      // 1 / SampleRate
    float AmpsPerCount = 0;      // amperes per sample count
    QString SerNum;              // identification written into a saved file
    int16_t Samples[WaveStoreSize] = {};  // the samples, in counts
    int SampleIndex = 0;         // next write position of the test engine
    WaveFileHeader Header;       // header of the last file read
    int SampleCount = 0;         // that header's count after clamping
    QString FileName;            // the current waveform file
};
