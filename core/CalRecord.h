// The calibration block: the 128 bytes the instrument keeps in its memory and the
// program keeps in "Kestrovan.kcf", as values of a TCalData. Only bytes, texts and
// values here; the "Calibration Menu" window (Cal.h) fetches, shows and asks.
#pragma once

#include "CalData.h"

#include <QByteArray>
#include <QString>

// Size of the calibration block and the buffer it is received into (block + NUL).
constexpr int CalRecordSize = 128;
constexpr int CalBufferSize = 129;
// The calibration file in the data folder.
extern const char* const CalFileName;

// What the engine can use. A factor multiplies the full scale into amperes per count:
// above 0, and below 10 as its field holds. The average time is the meter's window and
// the engine's tick: at least the field's resolution of 1 ms, and at most 10 s, so that
// one tick's samples (2400 a second, two bytes each) fill under half of the receive
// ring, which holds about 20.8 s; a tick delayed by as long again still loses nothing.
constexpr double CalFactorMax = 10;
constexpr double CalAvgTimeMin = 0.001;
constexpr double CalAvgTimeMax = 10;
bool CalFactorUsable(double f);
bool CalAvgTimeUsable(double t);

// The default calibration values (factors, thresholds, delays, times, serial number,
// date today); the flag and the derived sample count are left as they are.
void CalDefaultValues(TCalData& cal);

// True when the bytes hold a whole block: not shorter than the block and no NUL in it.
bool CalBlockWhole(const QByteArray& bytes);
// The first CalRecordSize bytes of the file (fewer when it is shorter); false when it
// cannot be opened.
bool ReadCalBlock(const QString& fileName, QByteArray& bytes);

// Field `n` (1..16) of a block as the window shows it: blanks and control characters
// off both ends.
QString CalFieldText(const char* block, int n);
// The calibration date of a block as a day number; throws EConvertError when the
// field holds no number.
int CalBlockDate(const char* block);

// Decodes the block's values into cal in the fields' order, with the samples per
// average time at this sample rate (a rate that is not above 0 is made 2400 first; none
// given: 2400), and clears CalError. False at the first field the engine cannot use:
// the fields before it keep their new values, CalError and the later fields stay.
bool DecodeCalBlock(const char* block, TCalData& cal, double* sampleRate);

// The 16 fields of cal as the block's bytes. False (block untouched) when a value does
// not fit its field's width, which would shift every later field.
bool EncodeCalBlock(const TCalData& cal, QByteArray& block);
// The block of cal written whole into the file, read-only; false when it does not fit
// its fields or cannot be written.
bool WriteCalBlock(const QString& fileName, const TCalData& cal);
