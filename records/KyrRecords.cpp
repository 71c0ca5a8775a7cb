#include "KyrRecords.h"

#include "KyrCurve.h"
#include "KyrData.h"
#include "KyrReport.h"
#include "KyrResults.h"

#include <QComboBox>
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
    fmReclData = new TfmReclData(&data_);
    fmReclData->TestSet = testSet_;
    fmKyrResults = new TfmKyrResults(&data_);
    fmKyrResults->TestSet = testSet_;
    fmKyrCurve = new TfmKyrCurve(&data_);
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
    testSet_ = nullptr;
}

void TKyrRecords::ShowReclData() { ShowWindow(fmReclData); }

void TKyrRecords::ShowReport() { ShowWindow(fmKyrReport); }

void TKyrRecords::ShowDatabase() { ShowWindow(fmKyrDatabase); }

void TKyrRecords::RecreateResultsWindow()
{
    delete fmKyrResults;
    fmKyrResults = new TfmKyrResults(&data_);
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

TReclTables* TKyrRecords::ReclTables() const { return lateWindows_ ? fmReclData : nullptr; }

QString TKyrRecords::ReclID() const
{
    return fmReclData && fmReclData->cbReclID ? fmReclData->cbReclID->currentText() : QString();
}
