// The program block.
#include "Kestrovan10.h"
#include "KyrDatabase.h"
#include "KyrGlobals.h"
#include "KyrHooks.h"
#include "KyrReport.h"
#include "KyrTables.h"

#include <memory>

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
    // The report window and the database browser, shown by the main window's commands.
    auto showWindow = [](QWidget* w) {
        if (!w)
            return;
        w->show();
        w->raise();
        w->activateWindow();
    };
    ReportWindow = {[] { fmKyrReport = new TfmKyrReport; }, [showWindow] { showWindow(fmKyrReport); },
                    [] { delete fmKyrReport; }};
    DatabaseWindow = {[&tables] {
                          if (!tables)
                              tables = std::make_unique<TReclTables>();
                          ReclData = tables.get();
                          fmKyrDatabase = new TfmKyrDatabase;
                      },
                      [showWindow] { showWindow(fmKyrDatabase); }, [] { delete fmKyrDatabase; }};
    const int rc = Kestrovan10Main(argc, argv);
    StartupTableCheck = nullptr;
    return rc;
}
