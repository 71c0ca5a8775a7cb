// The program-wide values that every unit of the test set reads: the source of the
// samples, the operation count, the data folder, the ranges and the command line.
// They belong to no window, so the engine, the stores and the records include this
// unit instead of the main window's.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// ---- Program-wide values ----
// Samples come from a demo waveform file instead of the instrument.
extern bool DemoMode;
// Operations allowed in the running test (4 at start, 1 in a minimum pick-up test).
extern int MaxOps;
// The data folder, made current at start; every relative file name resolves there.
extern QString DataFolder;
// The program file's name without its folder.
extern QString ProgName;
// Full-scale current of each range (1..8; slot 0 unused) for a 1000 A / 100 mV shunt.
extern const double RangeTable[9];
// Full-scale current of the selected range, amperes.
extern double RangeFullScale;
// Each range's full scale as the range box shows it, and its current format.
extern QString RangeText[9];
extern QString RangeFormat[9];
// The main window has been painted once; the first initialisation has completed.
extern bool Painted;
extern bool ProgInitDone;

// The command line's parameters (the program file's name not included).
extern QStringList ParamList;
// The current folder the program was started in, before the main window made the data
// folder current: a relative file name on the command line names a file there.
extern QString StartFolder;
// A command-line file name as the user meant it: a relative one against StartFolder.
QString CommandLineFileName(const QString& name);
int ParamCount();
// ParamStr(0) is the program file; ParamStr(i) the i-th parameter, empty beyond the last.
QString ParamStr(int i);

// The program runs as the helper of the outside curve program: "KYRRUN.EXE", or on this
// system also "KYRRUN", in any letter case.
bool IsKyrRunName(const QString& progName);

