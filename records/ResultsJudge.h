// The judging of one finished test against the recloser's time-current curves, and the
// results record it leaves for the KyrRes table.
//
// The judging (JudgeResults) is a function of the texts and numbers the results window
// reads, giving back every text, colour, flag, message and beep in the order they
// happen; the window gathers the inputs and applies the effects. Nothing here knows a
// window.
#pragma once

#include "Colors.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

// ---- The judging ------------------------------------------------------------------------

// What the judging reads. Texts are the controls' texts as shown; rows 1..4 of the
// results window at index 1..4 (slot 0 unused).
struct TResultsInput {
    // The recloser data form.
    bool ReclDataVisible = false;
    bool CurveVerified = false;
    QString cbTestType;
    QString cbPhase;
    QString ebPhaseMPU;
    QString ebGndMPU;
    QString ebReclTime;
    QString cbReclFastOps;
    QString cbGndFastOps;
    // Per curve kind (0 Fast, 1 Delay, 2 GndFast, 3 GndSlow): eb<Kind>CurveRef, TolMin, TolMax.
    QString ebCurveRef[4];
    QString ebCurveTolMin[4];
    QString ebCurveTolMax[4];
    int CurrMultiple = 0;
    int FastOps = 0;
    int GndFastOps = 0;
    int TotalOps = 0;
    // Square roots of the ten trip times of each curve, after the form's UpdateTimes.
    double CurveSqrtTimes[4][10] = {};
    // Operations allowed in the test.
    int MaxOps = 4;
    // The results window.
    bool KeyboardInput = false;
    QString MainMinPickUp;  // the main window's MinPickUpCurrent
    QString ebTestMPU;
    QString ebTestCurr[5];
    QString ebTestTrip[5];
    QString ebTestRecl[5];
};

struct TResultsEffect {
    enum Kind {
        SetText,       // Name's text := Text
        SetColor,      // Name's background := Color
        SetFontColor,  // Name's text colour := Color
        MsgDialog,     // warning message dialog with an OK button: Text
        MsgBox,        // message box with an OK button: Text, Caption
        Beep,          // the default beep
        ConvertError,  // the framework's conversion error: Text; the judging ends
        ShowReclData,  // the recloser data form is shown
        Analyzed,      // ResultsAnalyzed := True
        FocusAnalyze   // the focus goes to the Analyze button
    };
    Kind kind;
    QString Name;
    QString Text;
    QString Caption;
    TColor Color = clBlack;
};

struct TResultsOutcome {
    std::vector<TResultsEffect> Effects;
    // The flags were cleared and gathered (the judging passed its first two checks).
    bool Started = false;
    QString ResultFlags;
    // The measured values read (all four rows are read before any is judged); false when
    // the judging ended before reading them, so the window keeps what it had.
    bool MeasRead = false;
    double MeasCurr[6] = {};
    double MeasTrip[6] = {};
    double MeasRecl[6] = {};
    bool MPURead = false;
    double MeasMPU = 0;
    int Beeps() const;
};

// The leading number of an edit's text: trimmed, cut before its first blank; an empty
// text gives 0. Raises EConvertError when the rest does not convert.
double LeadingNumber(const QString& text);
// A trip current: the leading number, times 1000 when the character after the first
// blank of the trimmed text is "K" or "k" ("1.25 kA" is 1250 A).
double LeadingCurrent(const QString& text);

TResultsOutcome JudgeResults(const TResultsInput& in);

// The trip-time band at a current multiple on a curve given by the square roots of its
// ten trip times: the slow curves (Delay, GndSlow) widen it with the times at 0.9 and
// 1.1 times the multiple, the fast ones only below; a fast curve's optimum is its Max.
struct TTripBand {
    float Tnom = 0, Min = 0, Max = 0, Opt = 0;
};
TTripBand TripBand(const double* sqrtTimes, bool slowCurve, float mult, float tolMin, float tolMax);

// ---- The results record -------------------------------------------------------------------

// The field values of one row of KyrRes, in the table's order. A number that is not
// set stays empty in the row.
struct TResultsRecord {
    QString RECLID;
    QDateTime TESTDATE;
    QString TESTTIME;
    QString TECHID;
    QString CUSTID;
    QString RECLTYPE;
    QString COIL_CT;
    QString PHASE;
    QString OPSEQ;
    QString TESTRESULT;
    QString TESTTYPE;
    // CURR1..4, TIME1..4, MIN1..4, MAX1..4, OPT1..4 (index 1..4), RECL1..3 (index 1..3).
    bool CurrSet[5] = {}, TimeSet[5] = {}, MinSet[5] = {}, MaxSet[5] = {}, OptSet[5] = {}, ReclSet[4] = {};
    double CURR[5] = {}, TIME[5] = {}, MIN[5] = {}, MAX[5] = {}, OPT[5] = {}, RECL[4] = {};
    bool OpCounterSet = false;
    int OPCOUNTER = 0;
    QString COMMENTS;
};

// What the save reads from the recloser data form and the results window.
struct TResultsSaveInput {
    QString cbReclID, cbTechID, cbCustID, cbReclType, cbReclCoil, cbReclGndCT, cbPhase;
    QString cbReclFastOps, cbReclDelayOps, cbReclDelayCurve;
    QString cbGndFastOps, cbGndFastCurve, cbGndDelayOps, cbGndSlowCurve;
    QString cbTestType;
    QString ebResults;
    bool IncludeInReport = true;
    double MeasCurr[6] = {}, MeasTrip[6] = {}, MeasRecl[6] = {};
    double MeasMPU = 0;
    QString ebMinMPU, ebMaxMPU, ebOptMPU;
    QString ebMinTrip[5], ebMaxTrip[5], ebOptTrip[5];
    QString ebOpCounter;
    QString ebComments;
    QDateTime Now;
};

// The operation sequence: "1A-3B" for a phase test, "2(A)-2(C)" for a ground test.
QString OperationSequence(const TResultsSaveInput& in);
// Every field of the row, checked before anything is stored; raises EConvertError on
// the first text that does not convert.
TResultsRecord MakeResultsRecord(const TResultsSaveInput& in);
// The row as texts in the order of the table's fields (numbers with the decimal
// separator, the date in the short date format, an unset field empty). Raises an
// exception when the table lacks one of the record's fields.
QStringList ResultsRecordValues(const TResultsRecord& r, const QStringList& fieldNames);
