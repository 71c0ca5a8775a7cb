// The calibration values (CalData) as a plain record: what the test engine and the main
// window read. The calibration window holds them (fmCal->OnDelay) and decodes them from
// the instrument's block; the engine's tests fill one of their own.
#pragma once

#include <QString>

struct TCalData {
    // Factor is indexed by range 1..8 (slot 0 unused).
    float Factor[9] = {};
    int OnThresh = 0;       // counts, current-on threshold of a normal test
    int MPUThresh = 0;      // counts, current-on threshold of a minimum pick-up test
    int OnDelay = 0;        // samples, on debounce
    int OffThresh = 0;      // counts, lowest current-off threshold
    int OffDelay = 0;       // samples, consecutive low samples that end an operation
    double AvgTime = 0;     // seconds, meter averaging time and engine tick
    QString SerNum;         // 10 characters, blank padded
    int CalibrationDate = 0;  // day number (days since 1899-12-30)
    bool CalError = false;  // no valid calibration
    int AvgSamples = 0;     // samples per averaging time, derived by a decode
};
