#include "CalRecord.h"

#include "SysUtils.h"

#include <QFile>
#include <algorithm>

const char* const CalFileName = "Kestrovan.kcf";

namespace {

struct FieldPos {
    int offset;
    int width;  // bytes including CR LF
};
// The 16 fields: eight factors, five counts, the average time, serial number, date.
constexpr FieldPos kFields[16] = {{0, 10},  {10, 10}, {20, 10}, {30, 10}, {40, 10}, {50, 10},
                                  {60, 10}, {70, 10}, {80, 4},  {84, 5},  {89, 4},  {93, 4},
                                  {97, 4},  {101, 8}, {109, 12}, {121, 7}};

// Blanks and control characters off both ends.
QString TrimCtl(const QString& s)
{
    int b = 0, e = s.size();
    while (b < e && s.at(b).unicode() <= 0x20)
        ++b;
    while (e > b && s.at(e - 1).unicode() <= 0x20)
        --e;
    return s.mid(b, e - b);
}

// A count or delay of the block: negative values, and delays of 0, would break the
// engine's debounce and its pre-trigger ring.
int CountField(const char* block, int n, int digits, bool isDelay)
{
    int v = StrToInt(CalFieldText(block, n).left(digits));
    if (v < 0 || (isDelay && v == 0))
        throw EConvertError(QStringLiteral("'%1' is not a valid calibration value").arg(v));
    return v;
}

// A factor or the average time of the block: refused as a conversion error would be
// when the engine cannot use it.
double FactorField(const char* block, int n)
{
    const double f = StrToFloatC(CalFieldText(block, n).left(8));
    if (!CalFactorUsable(f))
        throw EConvertError(QStringLiteral("'%1' is not a valid calibration factor").arg(CalFieldText(block, n)));
    return f;
}

double AvgTimeField(const char* block)
{
    const double t = StrToFloatC(CalFieldText(block, 14).left(6));
    if (!CalAvgTimeUsable(t))
        throw EConvertError(QStringLiteral("'%1' is not a valid average time").arg(CalFieldText(block, 14)));
    return t;
}

}  // namespace

bool CalFactorUsable(double f) { return f > 0 && f < CalFactorMax; }
bool CalAvgTimeUsable(double t) { return t >= CalAvgTimeMin && t <= CalAvgTimeMax; }

void CalDefaultValues(TCalData& cal)
{
    for (int r = 1; r <= 8; ++r)
        cal.Factor[r] = 0.001225f;
    cal.OnThresh = 40;
    cal.MPUThresh = 100;
    cal.OnDelay = 5;
    cal.OffThresh = 20;
    cal.OffDelay = 15;
    cal.AvgTime = 0.1;
    cal.SerNum = QStringLiteral("**DEFAULT*");
    cal.CalibrationDate = Today();
}

bool CalBlockWhole(const QByteArray& bytes)
{
    return bytes.size() >= CalRecordSize && !bytes.left(CalRecordSize).contains('\0');
}

bool ReadCalBlock(const QString& fileName, QByteArray& bytes)
{
    // Only the block is read, and only from a regular file: a fifo or a device at the
    // name is the file that cannot be opened.
    // A failed read leaves the caller's bytes as they were.
    QString error;
    QByteArray read;
    if (!ReadRegularFile(fileName, CalRecordSize, read, error, false))
        return false;
    bytes = read;
    return true;
}

QString CalFieldText(const char* block, int n)
{
    const FieldPos& f = kFields[n - 1];
    return TrimCtl(QString::fromLatin1(block + f.offset, f.width));
}

int CalBlockDate(const char* block) { return StrToInt(CalFieldText(block, 16).leftJustified(5)); }

bool DecodeCalBlock(const char* block, TCalData& cal, double* sampleRate)
{
    try {
        for (int r = 1; r <= 8; ++r)
            cal.Factor[r] = static_cast<float>(FactorField(block, r));
        cal.OnThresh = CountField(block, 9, 2, false);
        cal.MPUThresh = CountField(block, 10, 3, false);
        cal.OnDelay = CountField(block, 11, 2, true);
        cal.OffThresh = CountField(block, 12, 2, false);
        cal.OffDelay = CountField(block, 13, 2, true);
        cal.AvgTime = AvgTimeField(block);

        double rate = 2400;
        if (sampleRate) {
            if (!(*sampleRate > 0))
                *sampleRate = 2400;
            rate = *sampleRate;
        }
        // A waveform file's rate may be anything: keep the count within an int.
        cal.AvgSamples = static_cast<int>(std::clamp<long long>(Round(rate * cal.AvgTime), 0, 1000000000));

        cal.SerNum = CalFieldText(block, 15).leftJustified(10, QLatin1Char(' '), true);
        cal.CalibrationDate = CalBlockDate(block);
        cal.CalError = false;
        return true;
    } catch (const EConvertError&) {
        return false;
    }
}

bool EncodeCalBlock(const TCalData& cal, QByteArray& block)
{
    QByteArray b;
    bool fits = true;
    auto put = [&](const QByteArray& text, int n) {
        if (text.size() != kFields[n - 1].width - 2)
            fits = false;
        b += text;
        b += "\r\n";
    };
    for (int r = 1; r <= 8; ++r) {
        if (!CalFactorUsable(cal.Factor[r]))
            fits = false;
        put(FormatC("%8.6f", cal.Factor[r]).toLatin1(), r);
    }
    const int counts[5] = {cal.OnThresh, cal.MPUThresh, cal.OnDelay, cal.OffThresh, cal.OffDelay};
    const char* formats[5] = {"%2d", "%3d", "%2d", "%2d", "%2d"};
    for (int i = 0; i < 5; ++i) {
        const bool isDelay = i == 2 || i == 4;
        if (counts[i] < 0 || (isDelay && counts[i] == 0))
            fits = false;
        put(FormatInt(formats[i], counts[i]).toLatin1(), 9 + i);
    }
    if (!CalAvgTimeUsable(cal.AvgTime))
        fits = false;
    put(FormatC("%6.3f", cal.AvgTime).toLatin1(), 14);
    put(cal.SerNum.leftJustified(10, QLatin1Char(' '), true).toLatin1(), 15);
    put(QByteArray::number(cal.CalibrationDate), 16);  // five digits exactly
    if (!fits || b.size() != CalRecordSize)
        return false;
    block = b;
    return true;
}

bool WriteCalBlock(const QString& fileName, const TCalData& cal)
{
    QByteArray block;
    // Written beside the old file with the old file's rights less the write bits and
    // renamed over it: the old file stays whole until then, and the new one is never
    // writable, not even for a moment.
    return EncodeCalBlock(cal, block) && SaveBinaryFile(fileName, block, true);
}
