#include "KyrRecords.h"

#include "KyrCurve.h"
#include "KyrData.h"
#include "KyrReport.h"
#include "KyrResults.h"

#include <utility>

namespace {
void ShowWindow(QWidget* w)
{
    if (!w)
        return;
    w->show();
    w->raise();
    w->activateWindow();
}
} // namespace

TKyrRecords::~TKyrRecords() = default;

void TKyrRecords::CreateReportWindow() { fmKyrReport = new TfmKyrReport(this, &data_); }

void TKyrRecords::FreeReportWindow() { delete std::exchange(fmKyrReport, nullptr); }

void TKyrRecords::CreateLateWindows(IKyrTestSet& TestSet)
{
    testSet_ = &TestSet;
    // The browser first, then the recloser data, results and curve windows.
    fmKyrDatabase = new TfmKyrDatabase(this, &data_);
    data_.Tables = std::make_unique<TReclTables>();
    fmReclData = new TfmReclData(this, &data_);
    fmReclData->TestSet = testSet_;
    fmKyrResults = new TfmKyrResults(this, &data_);
    fmKyrResults->TestSet = testSet_;
    fmKyrCurve = new TfmKyrCurve(this, &data_);
    lateWindows_ = true;
}

void TKyrRecords::FreeLateWindows()
{
    // Last made first.
    lateWindows_ = false;
    delete std::exchange(fmKyrCurve, nullptr);
    delete std::exchange(fmKyrResults, nullptr);
    delete std::exchange(fmReclData, nullptr);
    delete std::exchange(fmKyrDatabase, nullptr);
    data_.Tables.reset();
    testSet_ = nullptr;
}

void TKyrRecords::ShowReclData() { ShowWindow(fmReclData); }

void TKyrRecords::ShowReport() { ShowWindow(fmKyrReport); }

void TKyrRecords::ShowDatabase() { ShowWindow(fmKyrDatabase); }

void TKyrRecords::RecreateResultsWindow()
{
    delete fmKyrResults;
    fmKyrResults = new TfmKyrResults(this, &data_);
    fmKyrResults->TestSet = testSet_;
    fmKyrResults->show();
}

void TKyrRecords::HideResultsWindow()
{
    if (fmKyrResults && fmKyrResults->isVisible())
        fmKyrResults->hide();
}

void TKyrRecords::CheckTables()
{
    // The check runs on table objects of its own, made at the first check.
    if (!checkTables_)
        checkTables_ = std::make_unique<TReclTables>();
    checkTables_->CheckDatabase();
}

TReclTables* TKyrRecords::ReclTables() const { return lateWindows_ ? data_.Tables.get() : nullptr; }

QString TKyrRecords::ReclID() const { return fmReclData ? fmReclData->PreparedTest().ReclID : QString(); }

TReclTestData TKyrRecords::PreparedTest() const { return fmReclData ? fmReclData->PreparedTest() : TReclTestData(); }

void TKyrRecords::RefreshCurveTimes()
{
    if (fmReclData)
        fmReclData->UpdateTimes();
}

QStringList TKyrRecords::BrowserReportSQL() const
{
    return fmKyrDatabase ? TfmKyrDatabase::MemoLines(fmKyrDatabase->Memo2) : QStringList();
}

void TKyrRecords::ShowDataForm()
{
    if (fmReclData)
        fmReclData->show();
}

void TKyrRecords::ShowCurves(const double (&PlotTimes)[2][10])
{
    if (fmKyrCurve)
        fmKyrCurve->ShowPlot(PlotTimes);
}
