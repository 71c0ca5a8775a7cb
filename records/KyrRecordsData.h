// The data the records' windows share, owned by the records (TKyrRecords) and handed to
// each window when it is made: the curve times the data form derives, which the results
// window judges by and the curve window draws, and the report query the browser shows
// and the report window prints.
#pragma once

#include "DbTables.h"
#include "KyrDataRules.h"

#include <QPointer>

class TKyrRecordsData {
public:
    TKyrRecordsData() = default;
    TKyrRecordsData(const TKyrRecordsData&) = delete;
    TKyrRecordsData& operator=(const TKyrRecordsData&) = delete;

    // Square roots of the ten trip times (seconds) of each kind; written only by
    // TfmReclData::UpdateTimes.
    double CurveSqrtTimes[CurveKindCount][10] = {};
    // Square roots of the trip times at the ten multiples: [0] the fast curve, [1] the
    // slow curve of the pair shown. Written by the recloser data form's View Curves.
    double PlotSqrtTimes[2][10] = {};

    // The rows that go into the report, live, so the browser can change them. Made by
    // the browser and freed with it; none while there is no browser.
    QPointer<TQuery> qResReport;
};
