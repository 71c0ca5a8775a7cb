#include "ResultsJudge.h"

#include "KyrDataRules.h"
#include "Lagrange.h"
#include "SysUtils.h"

#include <cmath>
#include <initializer_list>
#include <optional>

namespace {

// Curve kinds, the index of the curve tables.
enum { ckFast = 0, ckDelay = 1, ckGndFast = 2, ckGndSlow = 3 };

// A failure inside a row: an edit that is missing or a text that does not convert.
struct RowFailure {
    QString text;
};

bool IsBlank(QChar c) { return c.unicode() <= 0x20; }

// Blanks (control characters and spaces) trimmed at both ends.
QString TrimBlanks(const QString& s)
{
    int b = 0, e = s.size();
    while (b < e && IsBlank(s.at(b)))
        ++b;
    while (e > b && IsBlank(s.at(e - 1)))
        --e;
    return s.mid(b, e - b);
}

// The single-precision value of a data form's number text, or nothing when it does not
// convert or is beyond the single range. The curve texts may hold either separator (a
// file from another system, a user's typing).
std::optional<float> SingleOf(const QString& text)
{
    double v = 0;
    if (!TryStrToFloatEitherSeparator(text, v))
        return std::nullopt;
    const float f = static_cast<float>(v);
    if (!std::isfinite(f))
        return std::nullopt;
    return f;
}

// The curve tables hold the square roots of the trip times: a time that was negative
// or not a number leaves no root to interpolate.
bool CurveUsable(const double* sqrtTimes)
{
    for (int i = 0; i < 10; ++i)
        if (!std::isfinite(sqrtTimes[i]) || sqrtTimes[i] < 0)
            return false;
    return true;
}

// A limit, optimum or multiple beyond the single range is no value to judge by: the row
// fails as for a text that does not convert.
void RequireFinite(std::initializer_list<float> values)
{
    for (const float v : values)
        if (!std::isfinite(v))
            throw RowFailure{};
}

class Judge {
public:
    explicit Judge(const TResultsInput& in) : in_(in) {}
    TResultsOutcome Run();

private:
    const TResultsInput& in_;
    TResultsOutcome out_;

    void Text(const QString& name, const QString& text) { push(TResultsEffect::SetText, name, text); }
    void Color(const QString& name, TColor c) { push(TResultsEffect::SetColor, name, {}, {}, c); }
    void Font(const QString& name, TColor c) { push(TResultsEffect::SetFontColor, name, {}, {}, c); }
    void Dialog(const QString& text) { push(TResultsEffect::MsgDialog, {}, text); }
    void Box(const QString& text, const QString& caption) { push(TResultsEffect::MsgBox, {}, text, caption); }
    void Beep() { push(TResultsEffect::Beep); }
    void Analyzed() { push(TResultsEffect::Analyzed); }
    void push(TResultsEffect::Kind k, const QString& name = {}, const QString& text = {},
              const QString& caption = {}, TColor c = clBlack)
    {
        out_.Effects.push_back(TResultsEffect{k, name, text, caption, c});
    }
    static QString Ed(const char* field, int n) { return QStringLiteral("eb%1%2").arg(QLatin1String(field)).arg(n); }

    bool Ground() const { return in_.cbPhase.startsWith(QLatin1Char('G')); }
    void MinimumPickup();
    void OperationTest();
    // The reading of every row first, then the sections of one row in the order they
    // run; a section that fails the row throws RowFailure.
    void ReadMeasured();
    void CurrentLimits(int n, float ref);
    void ReclTime(int n, float reclTime);
    // False when the judging ended at a current outside the curves.
    bool CurrentOnCurves(int n, float ref, float& mult);
    void MissingExtraOps(int n);
    void TripTimeBand(int n, bool ground, float mult);
    // Why a row's measured text did not convert (rows 1..4); empty when it did.
    QString currError_[5], tripError_[5], reclError_[5];
    // Ends the judging at a row whose current is outside the curves.
    void EndAtCurrent();
};

TResultsOutcome Judge::Run()
{
    if (!in_.ReclDataVisible) {
        Dialog(QStringLiteral("Must set up test parameters first"));
        push(TResultsEffect::ShowReclData);
        return out_;
    }
    if (!in_.CurveVerified) {
        Dialog(QStringLiteral("Curve Data must be entered and saved"));
        push(TResultsEffect::ShowReclData);
        return out_;
    }
    out_.ResultFlags.clear();
    out_.Started = true;
    if (in_.cbTestType == QLatin1String("MPU"))
        MinimumPickup();
    else
        OperationTest();
    return out_;
}

void Judge::MinimumPickup()
{
    QString test = in_.ebTestMPU;
    if (!in_.KeyboardInput) {
        test = in_.MainMinPickUp;
        Text(QStringLiteral("ebTestMPU"), test);
    }
    float ref = 0, min = 0, max = 0;
    try {
        out_.MeasMPU = LeadingNumber(test);
        out_.MPURead = true;
        const QString refText = Ground() ? in_.ebGndMPU : in_.ebPhaseMPU;
        ref = static_cast<float>(StrToFloatEitherSeparator(refText));
        min = static_cast<float>(0.9L * ref);
        max = static_cast<float>(1.1L * ref);
        // A reference, or a limit of it, beyond the single range does not convert either.
        if (!std::isfinite(ref) || !std::isfinite(min) || !std::isfinite(max))
            throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(refText));
    } catch (const EConvertError& e) {
        push(TResultsEffect::ConvertError, {}, e.Message);
        return;
    }
    Text(QStringLiteral("ebMinMPU"), Format("%7.2f", min));
    Text(QStringLiteral("ebMaxMPU"), Format("%7.2f", max));
    Text(QStringLiteral("ebOptMPU"), Format("%7.2f", ref));
    const QString res = QStringLiteral("ebResMPU");
    Color(res, clRed);
    Font(QStringLiteral("ebTestMPU"), clRed);
    if (out_.MeasMPU > max) {
        Text(res, QStringLiteral("HIGH"));
        Beep();
        out_.ResultFlags = QStringLiteral("MPU High");
    } else if (out_.MeasMPU < min) {
        Text(res, QStringLiteral("LOW"));
        Beep();
        out_.ResultFlags = QStringLiteral("MPU Low");
    } else {
        Text(res, QStringLiteral("OK"));
        out_.ResultFlags = QStringLiteral("MPU OK");
        Color(res, clLime);
        Font(QStringLiteral("ebTestMPU"), clBlack);
    }
    Analyzed();
    Text(QStringLiteral("ebResults"), out_.ResultFlags);
}

void Judge::EndAtCurrent()
{
    Analyzed();
    Text(QStringLiteral("ebResults"), out_.ResultFlags);
}

void Judge::OperationTest()
{
    out_.ResultFlags.clear();
    ReadMeasured();

    const bool ground = Ground();
    for (int n = 1; n <= 4; ++n) {
        const std::optional<float> reclTime = SingleOf(in_.ebReclTime);
        if (!reclTime) {
            Dialog(QStringLiteral("Must have reclose time data"));
            return;
        }
        int refKind;
        if (ground)
            refKind = in_.cbGndFastOps == QLatin1String("0") ? ckGndSlow : ckGndFast;
        else
            refKind = in_.cbReclFastOps == QLatin1String("0") ? ckDelay : ckFast;
        // A reference of zero or below gives no multiple to judge by.
        const std::optional<float> refValue = SingleOf(in_.ebCurveRef[refKind]);
        if (!refValue || !(*refValue > 0)) {
            Dialog(QStringLiteral("Must select recloser coil size"));
            return;
        }
        const float ref = *refValue;

        try {
            CurrentLimits(n, ref);
            ReclTime(n, *reclTime);
            float mult = 0;
            if (!CurrentOnCurves(n, ref, mult))
                return;
            MissingExtraOps(n);
            TripTimeBand(n, ground, mult);
        } catch (const RowFailure& f) {
            out_.ResultFlags = QStringLiteral("ERROR");
            Box(f.text.isEmpty() ? QStringLiteral("Component not found") : f.text, QStringLiteral("Error"));
        }
    }
    if (out_.ResultFlags.isEmpty())
        out_.ResultFlags = QStringLiteral("OK");
    Text(QStringLiteral("ebResults"), out_.ResultFlags);
    Analyzed();
    push(TResultsEffect::FocusAnalyze);
}

void Judge::ReadMeasured()
{
    // Every row's measured values are read before any row is judged, so a judging that
    // stops early still leaves the whole test for the save. A text that does not
    // convert fails its row when the row reaches it.
    for (int n = 1; n <= 4; ++n) {
        auto read = [](auto reader, const QString& text, double& value, QString& error) {
            try {
                value = reader(text);
            } catch (const EConvertError& e) {
                value = 0;
                error = e.Message;
            }
        };
        read(LeadingCurrent, in_.ebTestCurr[n], out_.MeasCurr[n], currError_[n]);
        read(LeadingNumber, in_.ebTestRecl[n], out_.MeasRecl[n], reclError_[n]);
        read(LeadingNumber, in_.ebTestTrip[n], out_.MeasTrip[n], tripError_[n]);
    }
    out_.MeasRead = true;
}

void Judge::CurrentLimits(int n, float ref)
{
    // Current limits.
    const long double m = in_.CurrMultiple;
    const float minCurr = static_cast<float>(m * ref * 0.8L);
    const float maxCurr = static_cast<float>(m * ref * 1.2L);
    const float optCurr = static_cast<float>(m * ref);
    RequireFinite({minCurr, maxCurr, optCurr});
    Text(Ed("MinCurr", n), Format("%6.2f", minCurr));
    Text(Ed("MaxCurr", n), Format("%6.2f", maxCurr));
    Text(Ed("OptCurr", n), Format("%6.2f", optCurr));
    if (!currError_[n].isEmpty())
        throw RowFailure{};
    const double meas = out_.MeasCurr[n];
    const QString resCurr = Ed("ResCurr", n), testCurr = Ed("TestCurr", n);
    if (n > in_.MaxOps) {
        Text(resCurr, QStringLiteral("N/A"));
    } else {
        Color(resCurr, clRed);
        Font(testCurr, clRed);
        if (meas > maxCurr) {
            Text(resCurr, QStringLiteral("HIGH"));
            out_.ResultFlags += FormatInt("TestCurr %d High,", n);
            Beep();
        } else if (meas < minCurr) {
            Text(resCurr, QStringLiteral("LOW"));
            out_.ResultFlags += FormatInt("TestCurr %d Low,", n);
            Beep();
        } else {
            Color(resCurr, clLime);
            Text(resCurr, QStringLiteral("OK"));
            Font(testCurr, clBlack);
        }
    }
}

void Judge::ReclTime(int n, float reclTime)
{
    // Reclose time.
    if (!reclError_[n].isEmpty())
        throw RowFailure{};
    const double recl = out_.MeasRecl[n];
    const float minRecl = static_cast<float>(0.9L * reclTime);
    const float maxRecl = static_cast<float>(1.1L * reclTime);
    RequireFinite({minRecl, maxRecl});
    Text(Ed("MinRecl", n), Format("%6.3f", minRecl));
    Text(Ed("MaxRecl", n), Format("%6.3f", maxRecl));
    Text(Ed("OptRecl", n), Format("%6.3f", reclTime));
    const QString resRecl = Ed("ResRecl", n), testRecl = Ed("TestRecl", n);
    // The last allowed operation has no reclose interval.
    if (n >= in_.MaxOps) {
        Text(resRecl, QStringLiteral("N/A"));
    } else {
        Color(resRecl, clYellow);
        Font(testRecl, clBlue);
        if (recl > maxRecl) {
            Text(resRecl, QStringLiteral("HIGH"));
        } else if (recl < minRecl) {
            Text(resRecl, QStringLiteral("LOW"));
        } else {
            Color(resRecl, clLime);
            Text(resRecl, QStringLiteral("OK"));
            Font(testRecl, clBlack);
        }
    }
}

bool Judge::CurrentOnCurves(int n, float ref, float& mult)
{
    // The current multiple must lie on the curves.
    if (!tripError_[n].isEmpty())
        throw RowFailure{};
    mult = static_cast<float>(out_.MeasCurr[n] / ref);
    RequireFinite({mult});
    if (mult < 1.9L && n <= in_.TotalOps) {
        Box(QStringLiteral("Test Current < 1.9x Ref Current"), QStringLiteral("Test current too low"));
        out_.ResultFlags += FormatInt("Op %d CurrLow,", n);
        Beep();
        EndAtCurrent();
        return false;
    }
    if (mult > 12 && n <= in_.TotalOps) {
        Box(QStringLiteral("Test Current > 12x Ref Current"), QStringLiteral("Test current too high"));
        out_.ResultFlags += FormatInt("Op %d CurrHigh,", n);
        Beep();
        EndAtCurrent();
        return false;
    }
    return true;
}

void Judge::MissingExtraOps(int n)
{
    // Missing and extra operations.
    const double trip = out_.MeasTrip[n];
    if (trip == 0 && n <= in_.TotalOps) {
        Box(QStringLiteral("Test did not complete all operations"), QStringLiteral("Missing Operation"));
        out_.ResultFlags += QStringLiteral("MissingOp,");
        Beep();
        Analyzed();
    } else if (trip > 0 && n > in_.TotalOps) {
        Box(QStringLiteral("An excess operation occurred"), QStringLiteral("Extra Operation"));
        out_.ResultFlags += QStringLiteral("ExcessOp,");
        Beep();
        Analyzed();
    }
}

void Judge::TripTimeBand(int n, bool ground, float mult)
{
    // Trip-time band from the operation's curve.
    const double trip = out_.MeasTrip[n];
    int curve;
    if (ground)
        curve = n <= in_.GndFastOps ? ckGndFast : ckGndSlow;
    else
        curve = n <= in_.FastOps ? ckFast : ckDelay;
    const std::optional<float> tolMin = SingleOf(in_.ebCurveTolMin[curve]);
    const std::optional<float> tolMax = SingleOf(in_.ebCurveTolMax[curve]);
    if (!tolMin || !tolMax)
        throw RowFailure{};
    const double* sqrtTimes = in_.CurveSqrtTimes[curve];
    if (!CurveUsable(sqrtTimes))
        throw RowFailure{QStringLiteral("Curve Data must be entered and saved")};
    const TTripBand band = TripBand(sqrtTimes, curve == ckDelay || curve == ckGndSlow, mult, *tolMin, *tolMax);
    const float min = band.Min, max = band.Max, opt = band.Opt;
    RequireFinite({min, max, opt});
    Text(Ed("MinTrip", n), Format("%6.4f", min));
    Text(Ed("MaxTrip", n), Format("%6.4f", max));
    Text(Ed("OptTrip", n), opt == max ? QStringLiteral("N/A") : Format("%6.4f", opt));

    const QString resTrip = Ed("ResTrip", n), testTrip = Ed("TestTrip", n);
    if (n > in_.MaxOps) {
        Text(resTrip, QStringLiteral("N/A"));
    } else {
        Color(resTrip, clRed);
        Font(testTrip, clRed);
        if (trip > max) {
            Text(resTrip, QStringLiteral("HIGH"));
            Beep();
            out_.ResultFlags += FormatInt("Op %d TripTimeHigh,", n);
        } else if (trip < min) {
            Text(resTrip, QStringLiteral("LOW"));
            Beep();
            out_.ResultFlags += FormatInt("Op %d TripTimeLow,", n);
        } else {
            Color(resTrip, clLime);
            Text(resTrip, QStringLiteral("OK"));
            Font(testTrip, clBlack);
        }
    }
}

} // namespace

TTripBand TripBand(const double* sqrtTimes, bool slowCurve, float mult, float tolMin, float tolMax)
{
    auto T = [sqrtTimes](long double x) {
        const long double r = LagrangeInterpolate(static_cast<double>(x), 4, PlotMultiples, sqrtTimes, 10);
        return static_cast<float>(r * r);
    };
    TTripBand b;
    b.Tnom = T(mult);
    const float thi = T(1.1L * mult);
    const float tlo = slowCurve ? T(0.9L * mult) : b.Tnom;
    b.Min = static_cast<float>((1 - tolMin / 100.0L) * b.Tnom);
    if (thi < b.Min)
        b.Min = thi;
    b.Max = static_cast<float>((1 + tolMax / 100.0L) * b.Tnom);
    if (tlo > b.Max)
        b.Max = tlo;
    b.Max = static_cast<float>(0.985L * b.Max);
    b.Opt = b.Tnom;
    if (tlo == b.Tnom)
        b.Opt = b.Max;
    return b;
}

int TResultsOutcome::Beeps() const
{
    int count = 0;
    for (const TResultsEffect& e : Effects)
        count += e.kind == TResultsEffect::Beep;
    return count;
}

double LeadingNumber(const QString& text)
{
    QString t = TrimBlanks(text);
    const int blank = t.indexOf(QLatin1Char(' '));
    if (blank >= 0)
        t = t.left(blank);
    if (t.isEmpty())
        return 0;
    return StrToFloat(t);
}

double LeadingCurrent(const QString& text)
{
    const QString t = TrimBlanks(text);
    double v = LeadingNumber(t);
    const int blank = t.indexOf(QLatin1Char(' '));
    if (blank >= 0 && blank + 1 < t.size()) {
        const QChar c = t.at(blank + 1);
        if (c == QLatin1Char('K') || c == QLatin1Char('k'))
            v *= 1000;
    }
    return v;
}

TResultsOutcome JudgeResults(const TResultsInput& in) { return Judge(in).Run(); }

// ---- The results record -------------------------------------------------------------------

QString OperationSequence(const TResultsSaveInput& in)
{
    if (in.cbPhase.startsWith(QLatin1Char('G')))
        return in.cbGndFastOps + QLatin1Char('(') + in.cbGndFastCurve + QStringLiteral(")-") + in.cbGndDelayOps +
               QLatin1Char('(') + in.cbGndSlowCurve + QLatin1Char(')');
    return in.cbReclFastOps + QStringLiteral("A-") + in.cbReclDelayOps + in.cbReclDelayCurve;
}

TResultsRecord MakeResultsRecord(const TResultsSaveInput& in)
{
    TResultsRecord r;
    r.RECLID = in.cbReclID;
    r.TESTDATE = in.Now;
    r.TESTTIME = TimeToStr(in.Now.time());
    r.TECHID = in.cbTechID;
    r.CUSTID = in.cbCustID;
    r.RECLTYPE = in.cbReclType;
    const bool ground = in.cbPhase.startsWith(QLatin1Char('G'));
    r.COIL_CT = ground ? in.cbReclGndCT : in.cbReclCoil;
    r.PHASE = in.cbPhase;
    r.OPSEQ = OperationSequence(in);
    r.TESTRESULT = in.IncludeInReport ? in.ebResults : QLatin1Char('*') + in.ebResults;
    r.TESTTYPE = in.cbTestType;
    if (TrimBlanks(in.cbTestType) == QLatin1String("MPU")) {
        r.CurrSet[1] = r.MinSet[1] = r.MaxSet[1] = r.OptSet[1] = true;
        r.CURR[1] = in.MeasMPU;
        r.MIN[1] = StrToFloat(in.ebMinMPU);
        r.MAX[1] = StrToFloat(in.ebMaxMPU);
        r.OPT[1] = StrToFloat(in.ebOptMPU);
    } else {
        auto shown = [](const QString& text) { return StrToFloat(text.isEmpty() ? QStringLiteral("0") : text); };
        for (int n = 1; n <= 4; ++n) {
            r.CurrSet[n] = r.TimeSet[n] = r.MinSet[n] = r.MaxSet[n] = r.OptSet[n] = true;
            r.CURR[n] = in.MeasCurr[n];
            r.TIME[n] = in.MeasTrip[n];
            r.MIN[n] = shown(in.ebMinTrip[n]);
            r.MAX[n] = shown(in.ebMaxTrip[n]);
            const QString& opt = in.ebOptTrip[n];
            r.OPT[n] = opt == QLatin1String("N/A") || opt.isEmpty() ? 0 : StrToFloat(opt);
            if (n <= 3) {
                r.ReclSet[n] = true;
                r.RECL[n] = in.MeasRecl[n];
            }
        }
    }
    if (!in.ebOpCounter.isEmpty()) {
        r.OpCounterSet = true;
        r.OPCOUNTER = StrToInt(in.ebOpCounter);
    }
    r.COMMENTS = in.ebComments;
    return r;
}

QStringList ResultsRecordValues(const TResultsRecord& r, const QStringList& fieldNames)
{
    QStringList names, values;
    auto text = [&](const QString& name, const QString& value) {
        names << name;
        values << value;
    };
    auto number = [&](const QString& name, bool set, double v) { text(name, set ? FloatToStr(v) : QString()); };
    text(QStringLiteral("RECLID"), r.RECLID);
    text(QStringLiteral("TESTDATE"), DateToStr(r.TESTDATE.date()));
    text(QStringLiteral("TESTTIME"), r.TESTTIME);
    text(QStringLiteral("TECHID"), r.TECHID);
    text(QStringLiteral("CUSTID"), r.CUSTID);
    text(QStringLiteral("RECLTYPE"), r.RECLTYPE);
    text(QStringLiteral("COIL_CT"), r.COIL_CT);
    text(QStringLiteral("PHASE"), r.PHASE);
    text(QStringLiteral("OPSEQ"), r.OPSEQ);
    text(QStringLiteral("TESTRESULT"), r.TESTRESULT);
    text(QStringLiteral("TESTTYPE"), r.TESTTYPE);
    for (int n = 1; n <= 4; ++n)
        number(QStringLiteral("CURR%1").arg(n), r.CurrSet[n], r.CURR[n]);
    for (int n = 1; n <= 4; ++n)
        number(QStringLiteral("TIME%1").arg(n), r.TimeSet[n], r.TIME[n]);
    for (int n = 1; n <= 4; ++n)
        number(QStringLiteral("MIN%1").arg(n), r.MinSet[n], r.MIN[n]);
    for (int n = 1; n <= 4; ++n)
        number(QStringLiteral("MAX%1").arg(n), r.MaxSet[n], r.MAX[n]);
    for (int n = 1; n <= 4; ++n)
        number(QStringLiteral("OPT%1").arg(n), r.OptSet[n], r.OPT[n]);
    for (int n = 1; n <= 3; ++n)
        number(QStringLiteral("RECL%1").arg(n), r.ReclSet[n], r.RECL[n]);
    text(QStringLiteral("OPCOUNTER"), r.OpCounterSet ? IntToStr(r.OPCOUNTER) : QString());
    text(QStringLiteral("COMMENTS"), r.COMMENTS);

    // Placed by name, so the row fits the installed file whatever its field order.
    QStringList row;
    for (int i = 0; i < fieldNames.size(); ++i)
        row << QString();
    for (int i = 0; i < names.size(); ++i) {
        int at = -1;
        for (int j = 0; j < fieldNames.size() && at < 0; ++j)
            if (fieldNames[j].compare(names[i], Qt::CaseInsensitive) == 0)
                at = j;
        if (at < 0)
            throw Exception(QStringLiteral("Field '%1' not found").arg(names[i]));
        row[at] = values[i];
    }
    return row;
}
