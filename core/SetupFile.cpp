#include "SetupFile.h"

#include "SysUtils.h"
#include "Trace.h"

#include <cmath>

namespace {

const QString kDefaultDataFileName = QStringLiteral("Kestrovan.kdf");
const QString kDefaultSourceName = QStringLiteral("COM");

// Blanks and control characters off both ends, as the file's lines are read.
QString TrimLine(const QString& s)
{
    int b = 0;
    int e = static_cast<int>(s.size());
    while (b < e && s.at(b).unicode() <= 0x20)
        ++b;
    while (e > b && s.at(e - 1).unicode() <= 0x20)
        --e;
    return s.mid(b, e - b);
}

constexpr double kMinTime = 0.01;
constexpr double kMaxTime = 9999.99;

// Reads the nine lines, noting each line that is missing or holds no usable value.
class SetupLineReader {
public:
    SetupLineReader(const QStringList& lines, const QString& path) : lines_(lines), path_(path) {}

    bool Text(int line, QString& out)
    {
        if (line > lines_.size())
            return Bad(line, QStringLiteral("missing"));
        out = TrimLine(lines_.at(line - 1));
        // A NUL ends the text for the file system and the number conversions: what
        // follows it would be lost without a word.
        if (out.contains(QChar(0)))
            return Bad(line, QStringLiteral("holds a NUL character"));
        return true;
    }
    bool Int(int line, int& out)
    {
        QString t;
        if (!Text(line, t))
            return false;
        if (!TryStrToInt(t, out))
            return Bad(line, QStringLiteral("'%1' is not a valid integer value").arg(t));
        return true;
    }
    bool Float(int line, double& out)
    {
        QString t;
        if (!Text(line, t))
            return false;
        // Written with the system's separator, read with either: a file made under
        // another locale keeps its values.
        if (!TryStrToFloatEitherSeparator(t, out))
            return Bad(line, QStringLiteral("'%1' is not a valid floating point value").arg(t));
        return true;
    }
    bool Bad(int line, const QString& why)
    {
        Trace(QStringLiteral("Error reading file: ") + path_ + QStringLiteral(" line ") + QString::number(line) +
              QStringLiteral(": ") + why);
        anyBad_ = true;
        return false;
    }
    bool AnyBad() const { return anyBad_; }

private:
    QStringList lines_;
    QString path_;
    bool anyBad_ = false;
};

double ReadShunt(SetupLineReader& r, int line, double fallback)
{
    double d = 0;
    if (!r.Float(line, d))
        return fallback;
    if (!ShuntValueUsable(d)) {
        r.Bad(line, QStringLiteral("shunt rating rounds to 0 or below"));
        return fallback;
    }
    return d;
}

double ReadTime(SetupLineReader& r, int line, double fallback)
{
    double d = 0;
    if (!r.Float(line, d))
        return fallback;
    if (!TimeUsable(d)) {
        r.Bad(line, QStringLiteral("time out of range"));
        return fallback;
    }
    return d == 0 ? 0.0 : d;  // "-0.00" is 0, written back without the sign
}

// An integer line with its range; out of range takes the default like an unreadable line.
int ReadRanged(SetupLineReader& r, int line, int lo, int hi, int fallback)
{
    int i = 0;
    if (!r.Int(line, i))
        return fallback;
    if (i < lo || i > hi) {
        r.Bad(line, QStringLiteral("%1 is out of range").arg(i));
        return fallback;
    }
    return i;
}

}  // namespace

bool ShuntValueUsable(double v) { return std::round(v) >= 1 && std::round(v) <= 999999; }
bool TimeUsable(double v) { return v == 0 || (v >= kMinTime - 0.005 && v <= kMaxTime); }

QStringList TSetupData::SetupLines() const
{
    return {FormatInt("%d", Range),
            Format("%4.2f", MaxOnTime),
            Format("%4.2f", MaxOffTime),
            DataFileName,
            SourceName,
            FormatInt("%d", MaxOps),
            FormatInt("%d", TestType),
            Format("%6.0f", ShuntAmperes),
            Format("%6.0f", ShuntMillivolts)};
}

void SetupDefaultValues(TSetupData& d)
{
    d.Range = SetupDefaultRange;
    d.MaxOnTime = SetupDefaultMaxOnTime;
    d.MaxOffTime = SetupDefaultMaxOffTime;
    if (d.DataFileName.isEmpty())
        d.DataFileName = kDefaultDataFileName;
    d.SourceName = kDefaultSourceName;
    d.MaxOps = SetupDefaultMaxOps;
    d.TestType = SetupDefaultTestType;
    d.ShuntAmperes = SetupDefaultShuntAmperes;
    d.ShuntMillivolts = SetupDefaultShuntMillivolts;
}

bool ReadSetupLines(const QString& fileName, TSetupData& d)
{
    QStringList lines;
    bool opened = true;
    try {
        lines = LoadTextFile(fileName, 1024 * 1024);  // a setup file is a few lines
    } catch (const EInOutError& e) {
        opened = false;
        Trace(QStringLiteral("Error reading file: ") + fileName + QStringLiteral(": ") + e.Message);
    }
    SetupLineReader r(lines, fileName);
    if (!opened)
        r.Bad(1, QStringLiteral("not readable"));

    // Each field takes its default when its line cannot be used, so one bad line never
    // leaves the program without a range, a source or a test time.
    QString t;
    int i = 0;
    // A range or an operation count outside its limits reads as the default without a
    // message (a stored range of 0 or 9 has always meant "the usual one").
    d.Range = (r.Int(1, i) && i >= 1 && i <= 8) ? static_cast<int16_t>(i) : SetupDefaultRange;
    d.MaxOnTime = ReadTime(r, 2, SetupDefaultMaxOnTime);
    d.MaxOffTime = ReadTime(r, 3, SetupDefaultMaxOffTime);
    if (r.Text(4, t))
        d.DataFileName = t;
    else if (d.DataFileName.isEmpty())
        d.DataFileName = kDefaultDataFileName;
    d.SourceName = r.Text(5, t) ? t : kDefaultSourceName;
    // The main window has five result rows: a count outside them reads as the default, like the range.
    d.MaxOps = (r.Int(6, i) && i >= 1 && i <= 5) ? i : SetupDefaultMaxOps;
    // 0 normal, 1 minimum pick-up: anything else is no test type.
    d.TestType = static_cast<uint8_t>(ReadRanged(r, 7, 0, 1, SetupDefaultTestType));
    d.ShuntAmperes = ReadShunt(r, 8, SetupDefaultShuntAmperes);
    d.ShuntMillivolts = ReadShunt(r, 9, SetupDefaultShuntMillivolts);
    return !r.AnyBad();
}

bool WriteSetupLines(const QString& fileName, const TSetupData& d)
{
    // Written beside the target and renamed over it: a failure never leaves half a file.
    return SaveTextFile(fileName, d.SetupLines());
}
