// The records' hub without the records' windows: the tables a test made, the recloser ID
// and the prepared test it names, and the shows it counts. The browser's report SQL is
// read from the browser the test made, if any.
#pragma once

#include "KyrDatabase.h"
#include "KyrRecordsData.h"

#include <functional>

class FakeReclSource : public IReclDataSource {
public:
    FakeReclSource(TReclTables* tables, std::function<QString()> id) : tables_(tables), id_(std::move(id)) {}
    TReclTables* ReclTables() const override { return tables_; }
    QString ReclID() const override { return id_(); }
    TReclTestData PreparedTest() const override
    {
        TReclTestData d = PreparedFrom ? PreparedFrom() : Prepared;
        if (!PreparedFrom)
            d.ReclID = id_();
        return d;
    }
    void RefreshCurveTimes() override
    {
        ++CurveTimesRefreshed;
        if (OnRefreshCurveTimes)
            OnRefreshCurveTimes();
    }
    QStringList BrowserReportSQL() const override
    {
        return fmKyrDatabase ? TfmKyrDatabase::MemoLines(fmKyrDatabase->Memo2) : QStringList();
    }
    void ShowDataForm() override { ++DataFormShown; }
    void ShowDatabase() override { ++DatabaseShown; }
    void ShowReport() override { ++ReportShown; }
    void ShowCurves(const double (&PlotTimes)[2][10]) override
    {
        if (OnShowCurves)
            OnShowCurves(PlotTimes);
    }

    // What the data form would have prepared (its ReclID is the one above), or where the
    // test reads it from (a real data form).
    TReclTestData Prepared;
    std::function<TReclTestData()> PreparedFrom;
    std::function<void()> OnRefreshCurveTimes;
    std::function<void(const double (&)[2][10])> OnShowCurves;
    int CurveTimesRefreshed = 0, DataFormShown = 0, DatabaseShown = 0, ReportShown = 0;

private:
    TReclTables* tables_;
    std::function<QString()> id_;
};
