// Main window unit: the program-wide state the other units read.
#pragma once

#include <QString>

// Samples come from a demo waveform file instead of the instrument.
extern bool DemoMode;
// Operations allowed in the running test (4 at start, 1 in a minimum pick-up test).
extern int MaxOps;
// Full-scale current of the selected range, amperes.
extern double RangeFullScale;
// The data folder, made current at start; every relative file name resolves there.
extern QString DataFolder;
// The program file's name without its folder.
extern QString ProgName;

class TfmKyr;
extern TfmKyr* fmKyr;
