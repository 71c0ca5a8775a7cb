// The test settings (SetupData) as a plain record: what the test engine and the main
// window read. The setup window holds them (fmSetup->TestType) and keeps them in the
// setup file; the engine's tests fill one of their own.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

struct TSetupData {
    int16_t Range = 0;            // current range 1..8 (line 1)
    double MaxOnTime = 0;         // seconds of current on that end a running test (line 2)
    double MaxOffTime = 0;        // seconds of current off that end a running test (line 3)
    QString DataFileName;         // results data file (line 4)
    QString SourceName;           // serial port of the instrument (line 5)
    int MaxOps = 0;               // operations to lockout of a normal test, 1..5 (line 6)
    uint8_t TestType = 0;         // 0 normal (operations) test, 1 minimum pick-up test (line 7)
    double ShuntAmperes = 0;      // shunt rating, amperes (line 8)
    double ShuntMillivolts = 0;   // shunt output at that current, millivolts (line 9)

    // The file's nine lines for the current fields, as TfmSetup::WriteSetupFile stores them.
    QStringList SetupLines() const;
};
