// The test set and the recloser records (a library above the core) meet here, in the
// style of IKyrView and IKyrLink: IKyrRecords is what the test set asks of the records'
// windows, IKyrTestSet what the records ask of the test set. The records install their
// IKyrRecords once (app/); the program block hands its IKyrTestSet to the records when
// it makes their windows.
#pragma once

#include <QString>
#include <optional>

// Run Test's derived values: the range, the test type and the time limits the test set
// is programmed with.
struct TTestLaunch {
    int Range = 0;          // 1..8
    int TestType = 0;       // 0 normal, 1 minimum pick-up
    bool SetsMaxOps = false;    // a minimum pick-up test keeps MaxOps and MaxOffTime
    int MaxOps = 0;
    double MaxOnTime = 0;
    bool SetsMaxOffTime = false;
    double MaxOffTime = 0;
    double EstimatedCurrent = 0;
};

// One operation row of the last test, as the main window shows it.
struct TLastTestTexts {
    QString TripCurr;
    QString TripTime;
    QString RecloseTime;
};

class IKyrTestSet {
public:
    virtual ~IKyrTestSet() = default;

    // Run Test: the setup takes the derived values and is written and read back, the
    // main window selects the test type and initialises, the results window is hidden
    // and the main window comes back to the front.
    virtual void LaunchTest(const TTestLaunch& Launch) = 0;
    // TfmComm.StopComm and StartComm: the data form pauses the samples while it is up.
    virtual void PauseLink() = 0;
    virtual void ResumeLink() = 0;
    // TfmKyr.TripCurr[Op], TripTime[Op], RecloseTime[Op] (Op 1..5); none without the
    // main window.
    virtual std::optional<TLastTestTexts> LastTest(int Op) const = 0;
    // TfmKyr.MinPickUpCurrent; empty without the main window.
    virtual QString MinPickUpText() const = 0;
    // TfmKyr.DataSaved: true without the main window (nothing unsaved).
    virtual bool DataSaved() const = 0;
    virtual void SetDataSaved(bool Saved) = 0;
    // The main window shown normally again when it is minimised or maximised.
    virtual void RestoreMainWindow() = 0;
    // The busy window with Caption for Milliseconds (the results' save).
    virtual void ShowWaitWindow(int Milliseconds, const QString& Caption) = 0;
};

class IKyrRecords {
public:
    virtual ~IKyrRecords() = default;

    // The report window: made right after the welcome window, freed after every other.
    virtual void CreateReportWindow() = 0;
    virtual void FreeReportWindow() = 0;
    // The records' windows made right after the main window (browser, recloser data,
    // results, curve window), freed before it, last made first. TestSet lives longer.
    virtual void CreateLateWindows(IKyrTestSet& TestSet) = 0;
    virtual void FreeLateWindows() = 0;
    // The Data button, File Report and View Database (also the results window's buttons).
    virtual void ShowReclData() = 0;
    virtual void ShowReport() = 0;
    virtual void ShowDatabase() = 0;
    // "Check TCC": a fresh results window, shown. Run Test hides the one shown.
    virtual void RecreateResultsWindow() = 0;
    virtual void HideResultsWindow() = 0;
    // The last step of every initialisation; its errors reach the caller.
    virtual void CheckTables() = 0;
};

// The records' side, installed once before the program starts. Until then, and after
// InstallKyrRecords(nullptr), one that does nothing stands in: every call above is left
// undone, so a caller never asks whether the records are there. KyrRecords() gives what
// is installed.
void InstallKyrRecords(IKyrRecords* Records);
IKyrRecords& KyrRecords();
