// The program block.
#include "Kestrovan10.h"
#include "KyrCurve.h"
#include "KyrData.h"
#include "KyrDatabase.h"
#include "KyrGlobals.h"
#include "KyrHooks.h"
#include "KyrMain.h"
#include "KyrReport.h"
#include "KyrResults.h"
#include "KyrTables.h"

#include <QComboBox>
#include <memory>
#include <utility>

int main(int argc, char** argv)
{
    // The start-up table check runs on the recloser records' table objects; core calls
    // it at the end of every initialisation without linking the records.
    std::unique_ptr<TReclTables> tables;
    StartupTableCheck = [&tables] {
        if (!tables)
            tables = std::make_unique<TReclTables>();
        tables->CheckDatabase();
    };
    // The report window is created right after the welcome window; the main window's
    // commands show it and the database browser.
    auto showWindow = [](QWidget* w) {
        if (!w)
            return;
        w->show();
        w->raise();
        w->activateWindow();
    };
    ReportWindow = {[] { fmKyrReport = new TfmKyrReport; }, [showWindow] { showWindow(fmKyrReport); },
                    [] { delete std::exchange(fmKyrReport, nullptr); }};
    DatabaseWindow.Show = [showWindow] { showWindow(fmKyrDatabase); };
    // The database browser is the first of the records' windows after the main window.
    LateWindows.push_back(
        {[] { fmKyrDatabase = new TfmKyrDatabase; }, [] { delete std::exchange(fmKyrDatabase, nullptr); }});
    // The records' windows, after the main window: recloser data, results, then the curve
    // window; "Check TCC" creates the results window again through its hook.
    LateWindows.push_back({[] { fmReclData = new TfmReclData; }, [] { delete std::exchange(fmReclData, nullptr); }});
    LateWindows.push_back({[] { fmKyrResults = new TfmKyrResults; }, [] { delete std::exchange(fmKyrResults, nullptr); }});
    RecreateResultsWindowHook = RecreateResultsWindow;
    LateWindows.push_back({[] { fmKyrCurve = new TfmKyrCurve; }, [] { delete std::exchange(fmKyrCurve, nullptr); }});
    // The browser and the report reach the recloser data form's tables and recloser ID.
    ReclDataID = [] {
        return fmReclData && fmReclData->cbReclID ? fmReclData->cbReclID->currentText() : QString();
    };
    LateWindows.push_back({[] { ReclData = fmReclData; }, [] { ReclData = nullptr; }});
    // The results window's "View Results" and "Report".
    TfmKyrResults::ShowDatabaseHook = DatabaseWindow.Show;
    TfmKyrResults::ShowReportHook = ReportWindow.Show;
    const int rc = Kestrovan10Main(argc, argv);
    StartupTableCheck = nullptr;
    return rc;
}
