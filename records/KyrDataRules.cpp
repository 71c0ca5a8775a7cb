#include "KyrDataRules.h"

#include "KyrGlobals.h"
#include "SysUtils.h"

#include <algorithm>

const char* const CurveKindNames[CurveKindCount] = {"Fast", "Delay", "GndFast", "GndSlow"};
const char* const CurveFieldNames[CurveFieldCount] = {"MPU", "Ref", "2x", "2x5", "3x", "4x", "5x",
                                                      "6x", "7x", "8x", "10x", "15x", "TolMin", "TolMax"};
const double CurveMultiples[10] = {2, 2.5, 3, 4, 5, 6, 7, 8, 10, 15};
const double PlotMultiples[10] = {2, 2.5, 3, 4, 5, 6, 7, 8, 10, 15};

QStringList CurveList;
QString CurveKey;
QString CurveRecordBuffer = QString(CurveRecordLength, QLatin1Char(' '));

void StrToField(const QString& s, QString& dest, int pos, int width)
{
    const int n = std::min(static_cast<int>(s.size()), width + 1);
    for (int i = 0; i < n && pos + i < dest.size(); ++i)
        dest[pos + i] = s.at(i);
}

QString MakeCurveKey(const QString& type, const QString& coil, const QString& curve)
{
    QString key(CurveKeyLength, QLatin1Char('_'));
    StrToField(type, key, 0, 4);
    StrToField(coil, key, 5, 6);
    StrToField(curve, key, 12, 2);
    return key;
}

QString CurveValueText(double v)
{
    QString s = Format("%06.3f", static_cast<double>(static_cast<float>(v)));
    // Cutting decimals only loses precision; cutting whole digits would store another
    // number (10000000 would read back as 1000000).
    int sep = static_cast<int>(s.indexOf(DecimalSeparator));
    if (sep < 0)
        sep = static_cast<int>(s.size());
    if (sep > 7)
        return QString();
    s = s.left(7);
    while (s.size() < 7)
        s += QLatin1Char(' ');
    return s;
}

QString CurveValueShown(const QString& stored)
{
    double v = 0;
    if (!TryStrToFloatEitherSeparator(stored, v))
        return stored;
    QString s = stored;
    s.replace(QLatin1Char('.'), DecimalSeparator);
    s.replace(QLatin1Char(','), DecimalSeparator);
    return s;
}

int FindCurveLine(const QStringList& list, const QString& key)
{
    const QString k = key.left(CurveKeyLength);
    int result = -1;
    for (int i = 0; i < list.size(); ++i)
        if (list.at(i).startsWith(k, Qt::CaseSensitive))
            result = i;
    return result;
}

void SortCurveList(QStringList& list)
{
    std::stable_sort(list.begin(), list.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
}

// ---------------------------------------------------------------- operation rules

TOpCounts ApplyOpsRules(int fast, int delay, int gndFast, int gndDelay, TOpsSender sender)
{
    // Every count is held to what the lists offer.
    auto hold = [](int v) { return std::clamp(v, 0, 4); };
    TOpCounts c;
    c.FastOps = hold(fast);
    c.DelayOps = hold(delay);
    c.GndFastOps = hold(gndFast);
    c.GndDelayOps = hold(gndDelay);

    c.TotalOps = c.FastOps + c.DelayOps;
    if (c.TotalOps > 4) {
        if (sender == osFast)
            c.DelayOps = 4 - c.FastOps;
        else
            c.FastOps = 4 - c.DelayOps;
    }
    if (c.TotalOps < 1) {
        c.FastOps = 1;
        c.DelayOps = 0;
    }
    c.TotalOps = c.FastOps + c.DelayOps;

    if (c.GndFastOps + c.GndDelayOps != c.TotalOps) {
        if (sender == osGndFast) {
            c.GndDelayOps = c.TotalOps - c.GndFastOps;
            if (c.GndDelayOps < 0) {  // more ground fast operations than the total
                c.GndDelayOps = 0;
                c.GndFastOps = c.TotalOps;
            }
        } else {
            c.GndFastOps = c.TotalOps - c.GndDelayOps;
            if (c.GndFastOps < 0) {
                c.GndFastOps = 0;
                c.GndDelayOps = c.TotalOps;
            }
        }
    }
    return c;
}

int CurrMultipleOf(const QString& testType)
{
    const QString t = testType.trimmed();
    if (t == QLatin1String("MPU") || t == QLatin1String("2X"))
        return 2;
    if (t == QLatin1String("3X"))
        return 3;
    if (t == QLatin1String("4X"))
        return 4;
    if (t == QLatin1String("5X"))
        return 5;
    if (t == QLatin1String("6X"))
        return 6;
    if (t == QLatin1String("8X"))
        return 8;
    if (t == QLatin1String("10X"))
        return 10;
    return 1;
}

// ---------------------------------------------------------------- test launch

TTestLaunch DeriveTestLaunch(const QString& phaseMPU, int currMultiple, const QString& testType,
                             const QString& phase, int totalOps, int phaseCount)
{
    TTestLaunch t;
    // The phase pick-up current also serves ground tests for the estimate.
    double mpu = 0;
    if (TryStrToFloatEitherSeparator(phaseMPU, mpu))
        t.EstimatedCurrent = mpu * currMultiple * 1.2 / 2;
    else
        t.EstimatedCurrent = 50;
    t.Range = 8;
    for (int r = 1; r <= 8; ++r) {
        if (RangeTable[r] > t.EstimatedCurrent) {
            t.Range = r;
            break;
        }
    }
    if (testType == QLatin1String("MPU")) {
        t.TestType = 1;
        t.MaxOnTime = 20;
        return t;
    }
    t.SetsMaxOps = true;
    t.MaxOps = totalOps;
    t.TestType = 0;
    if (phase.startsWith(QLatin1Char('G')))
        t.MaxOnTime = currMultiple > 4 ? 10 : 50;
    else
        t.MaxOnTime = currMultiple > 4 ? 5 : 20;
    t.SetsMaxOffTime = true;
    t.MaxOffTime = phaseCount > 1 ? 30 : 5;
    return t;
}

// ---------------------------------------------------------------- comma text

QStringList CommaTextToList(const QString& text)
{
    QStringList out;
    const int n = static_cast<int>(text.size());
    int i = 0;
    auto isSep = [](QChar c) { return c == QLatin1Char(',') || (c.unicode() >= 1 && c.unicode() <= 0x20); };
    // Leading blanks are skipped.
    while (i < n && text.at(i).unicode() >= 1 && text.at(i).unicode() <= 0x20)
        ++i;
    while (i < n) {
        QString item;
        if (text.at(i) == QLatin1Char('"')) {
            ++i;
            while (i < n) {
                if (text.at(i) == QLatin1Char('"')) {
                    if (i + 1 < n && text.at(i + 1) == QLatin1Char('"')) {
                        item += QLatin1Char('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text.at(i++);
            }
        } else {
            while (i < n && !isSep(text.at(i)))
                item += text.at(i++);
        }
        out << item;
        // Blanks, then at most one comma, then blanks end the item.
        while (i < n && text.at(i).unicode() >= 1 && text.at(i).unicode() <= 0x20)
            ++i;
        if (i < n && text.at(i) == QLatin1Char(',')) {
            ++i;
            if (i == n)
                out << QString();  // "a," ends with an empty item
            while (i < n && text.at(i).unicode() >= 1 && text.at(i).unicode() <= 0x20)
                ++i;
        }
    }
    return out;
}

QString ListToCommaText(const QStringList& items)
{
    QStringList parts;
    for (const QString& s : items) {
        bool quote = s.isEmpty();
        for (QChar c : s)
            if (c == QLatin1Char(',') || c == QLatin1Char('"') || c.unicode() <= 0x20)
                quote = true;
        if (quote) {
            QString q = s;
            q.replace(QLatin1String("\""), QLatin1String("\"\""));
            parts << QLatin1Char('"') + q + QLatin1Char('"');
        } else {
            parts << s;
        }
    }
    return parts.join(QLatin1Char(','));
}

const char* const FixedTypeList =
    "3H,4H,6H,D,DV,E1,E2,H,KF,L,ME,MLE,MVE,PWE,PV4H,PWH,PWVE,PWVH,R,RV,RVE,RX,RXE,SW,SWE,SWV,SWVE,"
    "V4E,V4H,V4L,V6H,VSA,VSAT,VSML,VSMT,VSO,VW,VWE,VWS,VWVE,W,WE,WV,WVE";

bool TypeHasGroundPages(const QString& type)
{
    if (type.isEmpty())
        return false;
    QChar c = type.at(0);
    if (c == QLatin1Char('V'))
        c = type.size() > 1 ? type.at(1) : QChar();
    return c == QLatin1Char('R') || c == QLatin1Char('W');
}
