// The recloser records' windows as the test set sees them: IKyrRecords, the one place
// that makes, shows and frees the browser, the recloser data form, the results window,
// the curve window and the report window. app/ installs one with InstallKyrRecords.
// It is also the records' hub (IReclDataSource) every window it makes is handed with the
// records' data (TKyrRecordsData) they share: a window reaches the others only through it.
#pragma once

#include "KyrDatabase.h"
#include "KyrRecordsData.h"
#include "KyrRecordsPort.h"

#include <memory>

class TKyrRecords : public IKyrRecords, public IReclDataSource {
public:
    ~TKyrRecords() override;

    void CreateReportWindow() override;
    void FreeReportWindow() override;
    void CreateLateWindows(IKyrTestSet& TestSet) override;
    void FreeLateWindows() override;
    void ShowReclData() override;
    void ShowReport() override;
    void ShowDatabase() override;
    void RecreateResultsWindow() override;
    void HideResultsWindow() override;
    void CheckTables() override;

    TReclTables* ReclTables() const override;
    QString ReclID() const override;
    TReclTestData PreparedTest() const override;
    void RefreshCurveTimes() override;
    QStringList BrowserReportSQL() const override;
    void ShowDataForm() override;
    void ShowCurves(const double (&PlotTimes)[2][10]) override;

private:
    TKyrRecordsData data_;  // lives as long as the records, past every window
    IKyrTestSet* testSet_ = nullptr;
    bool lateWindows_ = false;  // the data form is the tables' source only once all are made
    std::unique_ptr<TReclTables> checkTables_;  // the start-up check's own table objects
};
