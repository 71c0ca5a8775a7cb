// The recloser records as the core's tests see them: every call of IKyrRecords counted,
// the table check doing whatever the test gives it. No window is made.
#pragma once

#include "KyrRecordsPort.h"

#include <functional>

class FakeRecords : public IKyrRecords {
public:
    int ReportCreated = 0, ReportFreed = 0, LateCreated = 0, LateFreed = 0;
    int ReclDataShown = 0, ReportShown = 0, DatabaseShown = 0;
    int ResultsRecreated = 0, ResultsHidden = 0;
    IKyrTestSet* TestSet = nullptr;  // as given to CreateLateWindows
    std::function<void()> OnCheckTables;

    void CreateReportWindow() override { ++ReportCreated; }
    void FreeReportWindow() override { ++ReportFreed; }
    void CreateLateWindows(IKyrTestSet& testSet) override
    {
        ++LateCreated;
        TestSet = &testSet;
    }
    void FreeLateWindows() override
    {
        ++LateFreed;
        TestSet = nullptr;
    }
    void ShowReclData() override { ++ReclDataShown; }
    void ShowReport() override { ++ReportShown; }
    void ShowDatabase() override { ++DatabaseShown; }
    void RecreateResultsWindow() override { ++ResultsRecreated; }
    void HideResultsWindow() override { ++ResultsHidden; }
    void CheckTables() override
    {
        if (OnCheckTables)
            OnCheckTables();
    }
};

// Installs a records' side for a test's lifetime and puts back what was installed.
class ScopedRecords {
public:
    explicit ScopedRecords(IKyrRecords* records) : previous_(&KyrRecords()) { InstallKyrRecords(records); }
    ~ScopedRecords() { InstallKyrRecords(previous_); }
    ScopedRecords(const ScopedRecords&) = delete;
    ScopedRecords& operator=(const ScopedRecords&) = delete;

private:
    IKyrRecords* previous_;
};
