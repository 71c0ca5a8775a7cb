// The recloser data form's rules that need no window: the curve file's lines and keys,
// the operation-count rules, the current multiple, the test launch's range and time
// limits, and the framework's comma text.
#pragma once

#include "KyrRecordsPort.h"

#include <QString>
#include <QStringList>

// ---------------------------------------------------------------- curve data

// Curve kinds, the index every curve routine takes.
enum TCurveKind { Fast = 0, Delay = 1, GndFast = 2, GndSlow = 3 };
constexpr int CurveKindCount = 4;
// Kind names as they appear in the edits' names ("eb" + kind + "Curve" + field).
extern const char* const CurveKindNames[CurveKindCount];
// Field names in record order: MPU, Ref, 2x .. 15x, TolMin, TolMax.
constexpr int CurveFieldCount = 14;
extern const char* const CurveFieldNames[CurveFieldCount];

// One line of the curve file: 15 key characters (type 5, coil 7, curve 3, padded with
// "_") and fourteen 7-character values.
constexpr int CurveRecordLength = 113;
constexpr int CurveKeyLength = 15;

// The multiples of the reference current that belong to the ten time fields.
extern const double CurveMultiples[10];
extern const double PlotMultiples[10];

// All lines of "Kestrovan.rcf", kept sorted without regard to case.
extern QStringList CurveList;
// The key of the last lookup and the record being shown or saved.
extern QString CurveKey;
extern QString CurveRecordBuffer;

// Copies the first min(length of s, width + 1) characters of s into dest at pos, and
// writes nothing else.
void StrToField(const QString& s, QString& dest, int pos, int width);
// The lookup key of a type, a coil (or ground CT) and a curve name.
QString MakeCurveKey(const QString& type, const QString& coil, const QString& curve);
// A value as the curve file stores it: "%06.3f" of the single-precision number, then a
// blank up to seven characters. Empty when the text would not fit seven characters.
QString CurveValueText(double v);
// A stored value as a page shows it: the file may come from a system with the other
// decimal separator, so either becomes the system's and nothing else changes. A text
// that is no number is shown as it is.
QString CurveValueShown(const QString& stored);
// Index in the list of the last line that starts with the key (case-sensitive), or -1.
int FindCurveLine(const QStringList& list, const QString& key);
// Sorts the list without regard to case (locale-aware), keeping equal lines in order.
void SortCurveList(QStringList& list);

// ---------------------------------------------------------------- operation rules

// The four operation counts: phase fast, phase slow, ground fast, ground slow.
struct TOpCounts {
    int FastOps = 0, DelayOps = 0, GndFastOps = 0, GndDelayOps = 0;
    int TotalOps = 0;
};
// Which box the user changed, for the count rules.
enum TOpsSender { osNone, osFast, osDelay, osGndFast, osGndDelay };
// The rules applied to counts as read from the boxes: every count held in 0..4, the
// phase total in 1..4 (the changed box keeps its count) and the ground counts adding
// up to the phase total.
TOpCounts ApplyOpsRules(int fast, int delay, int gndFast, int gndDelay, TOpsSender sender);
// The test current multiple of a test type text ("MPU" and "2X" give 2, "3X" 3 ... "10X"
// 10; any other text 1). Blanks around the text are ignored; the case counts.
int CurrMultipleOf(const QString& testType);

// ---------------------------------------------------------------- test launch

// What Run Test puts into the setup: TTestLaunch (KyrRecordsPort.h), which the test
// set is programmed with.
// The range, test type and time limits for a phase minimum pick-up text, the current
// multiple, the test type and phase texts, the operations to lockout and the phase count.
TTestLaunch DeriveTestLaunch(const QString& phaseMPU, int currMultiple, const QString& testType,
                             const QString& phase, int totalOps, int phaseCount);

// ---------------------------------------------------------------- comma text

// The framework's comma text: items separated by commas or blanks; an item in double
// quotes may hold both, two double quotes inside it standing for one. "a,,b" gives
// "a", "", "b".
QStringList CommaTextToList(const QString& text);
QString ListToCommaText(const QStringList& items);

// The fixed list a double-click on the type box puts in place.
extern const char* const FixedTypeList;
// The ground pages belong to a type whose first character (its second after a "V") is
// an upper-case "R" or "W".
bool TypeHasGroundPages(const QString& type);
