// The program block.
#include "Kestrovan10.h"
#include "KyrCurve.h"
#include "KyrData.h"
#include "KyrGlobals.h"
#include "KyrMain.h"
#include "KyrResults.h"
#include "KyrTables.h"

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
    // The records' windows, after the main window: recloser data, results, then the curve
    // window; "Check TCC" creates the results window again through its hook.
    LateWindows.push_back({[] { fmReclData = new TfmReclData; }, [] { delete std::exchange(fmReclData, nullptr); }});
    LateWindows.push_back({[] { fmKyrResults = new TfmKyrResults; }, [] { delete std::exchange(fmKyrResults, nullptr); }});
    RecreateResultsWindowHook = RecreateResultsWindow;
    LateWindows.push_back({[] { fmKyrCurve = new TfmKyrCurve; }, [] { delete std::exchange(fmKyrCurve, nullptr); }});
    const int rc = Kestrovan10Main(argc, argv);
    StartupTableCheck = nullptr;
    return rc;
}
