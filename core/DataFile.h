// The results data file that the outside curve program reads: 21 lines of numbers, the
// results of up to five operations and the pick-up current. Only values and texts here;
// the main window's WriteDataFile picks the name and writes the lines.
#pragma once

#include <QString>
#include <QStringList>

// The results of the last test as the results data file holds them (operations 1..5
// at index 0..4).
struct TResultsData {
    double TripCurr[5] = {};
    double TripTime[5] = {};
    double ReclTime[5] = {};
    double Decay[5] = {};
    double PickupRms = 0;
};
// The 21 lines of the results data file.
QStringList ResultsDataLines(const TResultsData& d);
// A name the outside curve program accepts: ".KDF" or ".DAT" anywhere, any case.
bool IsDataFileName(const QString& fileName);
