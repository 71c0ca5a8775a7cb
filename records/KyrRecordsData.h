// The records' data hub. TKyrRecordsData is what the records' windows share, owned by
// the records (TKyrRecords) and handed to each window when it is made: the five tables'
// objects, the curve times the data form derives (the results window judges by them,
// the curve window draws them) and the report query the browser shows and the report
// window prints. IReclDataSource is what a window asks of the others: the tables, the
// recloser ID, what the data form has prepared for a test (TReclTestData) and the shows.
// No window reaches another but through these; a test hands a fake.
#pragma once

#include "DbTables.h"
#include "KyrDataRules.h"
#include "KyrTables.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <memory>

class TKyrRecordsData {
public:
    TKyrRecordsData() = default;
    TKyrRecordsData(const TKyrRecordsData&) = delete;
    TKyrRecordsData& operator=(const TKyrRecordsData&) = delete;

    // The five tables' objects (tblRes, qRes ...), made with the recloser data form (by
    // the records before it, or by the form when it is made alone) and freed after the
    // records' late windows.
    std::unique_ptr<TReclTables> Tables;

    // Square roots of the ten trip times (seconds) of each kind; written only by
    // TfmReclData::UpdateTimes.
    double CurveSqrtTimes[CurveKindCount][10] = {};
    // Square roots of the trip times at the ten multiples: [0] the fast curve, [1] the
    // slow curve of the pair shown. Written when the curve window is shown.
    double PlotSqrtTimes[2][10] = {};

    // The rows that go into the report, live, so the browser can change them. Made by
    // the browser and freed with it; none while there is no browser.
    QPointer<TQuery> qResReport;
};

// What the recloser data form has prepared for a test, as its controls and fields hold
// it now. Texts as shown; the curve texts per kind (0 Fast, 1 Delay, 2 GndFast,
// 3 GndSlow). Without the form every text is empty and nothing is shown or verified.
struct TReclTestData {
    bool Shown = false;  // the data form is visible
    QString ReclID;
    QString TechID;
    QString CustID;
    QString ReclType;
    QString ReclCoil;
    QString ReclGndCT;
    QString Phase;
    QString TestType;
    // The operation counts and curves as the boxes show them.
    QString FastOpsText;
    QString DelayOpsText;
    QString DelayCurve;
    QString GndFastOpsText;
    QString GndFastCurve;
    QString GndDelayOpsText;
    QString GndSlowCurve;
    // The minimum pick-up currents and the reclose time.
    QString PhaseMPU;
    QString GndMPU;
    QString ReclTime;
    // Each curve's reference current and tolerances.
    QString CurveRef[CurveKindCount];
    QString CurveTolMin[CurveKindCount];
    QString CurveTolMax[CurveKindCount];
    // The form's derived values.
    int CurrMultiple = 0;
    int FastOps = 0;
    int GndFastOps = 0;
    int TotalOps = 0;
    bool CurveVerified = false;
};

// The records' windows as one of them sees the others. TKyrRecords answers it from the
// windows it made; a window made without one leaves these undone.
class IReclDataSource {
public:
    virtual ~IReclDataSource() = default;
    // The tables' objects; none until the records' late windows are made.
    virtual TReclTables* ReclTables() const = 0;
    // The recloser ID the data form shows; empty without the form.
    virtual QString ReclID() const = 0;
    // What the data form has prepared (TReclTestData); all empty without the form.
    virtual TReclTestData PreparedTest() const = 0;
    // The data form derives CurveSqrtTimes again from its curve pages (it may throw
    // the conversion's exception).
    virtual void RefreshCurveTimes() = 0;
    // The browser's report SQL text, as its memo shows it; empty without the browser.
    virtual QStringList BrowserReportSQL() const = 0;
    // The data form shown where it is (the results window's request).
    virtual void ShowDataForm() = 0;
    // The browser and the report window, shown in front.
    virtual void ShowDatabase() = 0;
    virtual void ShowReport() = 0;
    // The curve window in front, drawing PlotTimes; nothing without the curve window.
    virtual void ShowCurves(const double (&PlotTimes)[2][10]) = 0;
};
