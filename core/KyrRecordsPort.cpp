#include "KyrRecordsPort.h"

namespace {
// No records: no windows to make, show or free, no tables to check.
class TNoKyrRecords final : public IKyrRecords {
public:
    void CreateReportWindow() override {}
    void FreeReportWindow() override {}
    void CreateLateWindows(IKyrTestSet&) override {}
    void FreeLateWindows() override {}
    void ShowReclData() override {}
    void ShowReport() override {}
    void ShowDatabase() override {}
    void RecreateResultsWindow() override {}
    void HideResultsWindow() override {}
    void CheckTables() override {}
};

// Constant-initialised, so it stands in before any unit's start-up code runs.
constinit TNoKyrRecords g_none;
IKyrRecords* g_installed = &g_none;
}  // namespace

void InstallKyrRecords(IKyrRecords* Records) { g_installed = Records ? Records : &g_none; }

IKyrRecords& KyrRecords() { return *g_installed; }
