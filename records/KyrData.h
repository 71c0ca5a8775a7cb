// The recloser data form "Recloser Data": where a test is prepared. The technician picks
// or enters the technician, customer and recloser IDs, the recloser's type with its coil
// size, curves, ground CT and operation counts, and the test type and phase. The form
// looks the recloser's four time-current curves up in the curve file "Kestrovan.rcf",
// lets missing ones be entered and saved, saves the recloser's settings and starts the
// test. The other records' windows see it only through the records' hub
// (KyrRecordsData.h): PreparedTest is the one place outside its own handlers that reads
// its controls for them.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

namespace Ui { class TfmReclData; }
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QWidget;

#include "CurveFile.h"
#include "KyrDataRules.h"
#include "KyrRecordsData.h"
#include "KyrTables.h"

// ---------------------------------------------------------------- the form

// Globals of the unit.
extern bool KyrDataRefresh;
extern QString LastReclIDEntered;

// The form works on the five tables' objects of its records' data under their own
// names (tblRes, qRes ...).
class TfmReclData : public QWidget {
    Q_OBJECT
public:
    // Shows the curve window through Hub (none: not shown); keeps its tables and curve
    // times in Data (its own when none is given).
    explicit TfmReclData(IReclDataSource* Hub = nullptr, TKyrRecordsData* Data = nullptr, QWidget* parent = nullptr);
    ~TfmReclData() override;

    // What the form has prepared for a test, read from its controls and fields now.
    TReclTestData PreparedTest() const;

    // ---- The tables' objects, in the records' data ----
    TTable* tblTechs;
    TDataSource* dsTechs;
    TQuery* qTechs;
    TTable* tblReclosers;
    TDataSource* dsReclosers;
    TQuery* qReclosers;
    TTable* tblTypes;
    TDataSource* dsTypes;
    TQuery* qTypes;
    TTable* tblCust;
    TDataSource* dsCust;
    TQuery* qCust;
    TTable* tblRes;
    TDataSource* dsResults;
    TQuery* qRes;

    // The test set Run Test programs and whose link the form pauses while it is up;
    // none: both are left undone.
    IKyrTestSet* TestSet = nullptr;
    // The data the records' windows share (KyrRecordsData.h).
    TKyrRecordsData& Data() const { return *data_; }

    // ---- The recloser settings of the prepared test ----
    int FastOps = 0;
    int DelayOps = 0;
    int GndFastOps = 0;
    int GndDelayOps = 0;
    int PhaseCount = 0;         // 3 three-phase, 1 single-phase, 0 before any type was found
    int TotalOps = 0;           // FastOps + DelayOps
    int CurrMultiple = 0;
    bool CurveVerified = false; // the last lookup found a record, or a curve was just saved

    // ---- Curve data store ----
    // Opens (or creates) "Kestrovan.rcf" in the current folder and loads it; the file stays
    // open and locked until CloseCurveStore. Returns false when it could not be opened.
    bool OpenCurveStore();
    void CloseCurveStore();
    bool CurveStoreOpen() const { return curveFile_.IsOpen(); }
    int FindRecord(const QString& key);
    void UpdateOrEnableEdit(int kind);
    void UpdateValues(int kind);
    void EnableEdit(int kind);
    void SaveCurveClick(QObject* sender);
    void UpdateTimes();
    // The edit of a curve field, by its built name; null when there is none.
    QLineEdit* CurveEdit(int kind, int field) const;

    // ---- Operation rules ----
    void UpdateOps(QObject* sender);
    void AdjustCurrMultiple();
    void UpdateMPUcurr();

    // ---- IDs and type data ----
    void UpdateIDs(QComboBox* box);
    void UpdateReclIDData();
    void UpdateLastTest();
    void UpdateReclTypes();
    void UpdateReclTypeData();
    void FMEditUserName(QComboBox* box);

    // ---- Commands ----
    void btSaveSettingsClick();
    void btRunTestClick();
    void btViewCurvesClick();

    // ---- Events ----
    void FormActivate();
    void FormCloseEvent();
    void cbReclTypeChange();
    void cbReclCoilChange();
    void cbReclGndCTChange();
    void cbReclDelayCurveChange();
    void cbGndFastCurveChange();
    void cbGndSlowCurveChange();
    void PageControl2Change();
    void tsFastShow();
    void tsDelayShow();
    void tsGndFastShow();
    void tsGndSlowShow();
    void cbTestTypeChange();
    void cbReclIDChange();
    void cbCustIDChange();
    void cbReclIDEnter();
    void cbReclTypeDblClick();
    void ebReclTimeDblClick();
    void ebReclTimeChange();
    void ebReclTimeExit();

    // ---- Controls ----
    QComboBox* cbTechID = nullptr;
    QComboBox* cbReclID = nullptr;
    QComboBox* cbCustID = nullptr;
    QComboBox* cbReclType = nullptr;
    QLineEdit* ebReclTime = nullptr;
    QPushButton* btSaveSettings = nullptr;
    QComboBox* cbTestType = nullptr;
    QComboBox* cbPhase = nullptr;
    QTabWidget* PageControl2 = nullptr;
    QWidget* tsPhaseTrip = nullptr;
    QWidget* tsGndTrip = nullptr;
    QComboBox* cbReclFastOps = nullptr;
    QComboBox* cbReclDelayOps = nullptr;
    QComboBox* cbReclCoil = nullptr;
    QComboBox* cbReclDelayCurve = nullptr;
    QLineEdit* ebPhaseMPU = nullptr;
    QComboBox* cbReclGndCT = nullptr;
    QComboBox* cbGndFastCurve = nullptr;
    QComboBox* cbGndFastOps = nullptr;
    QComboBox* cbGndDelayOps = nullptr;
    QComboBox* cbGndSlowCurve = nullptr;
    QLineEdit* ebGndMPU = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* tsFast = nullptr;
    QWidget* tsDelay = nullptr;
    QWidget* tsGndFast = nullptr;
    QWidget* tsGndSlow = nullptr;
    QLabel* lbFastCurve = nullptr;
    QLabel* lbDelayCurve = nullptr;
    QLabel* lbGndFastCurve = nullptr;
    QLabel* lbGndSlowCurve = nullptr;
    QPushButton* btSaveFast = nullptr;
    QPushButton* btSaveDelay = nullptr;
    QPushButton* btSaveGndFast = nullptr;
    QPushButton* btSaveGndSlow = nullptr;
    QPushButton* btViewCurves = nullptr;
    QPushButton* btRunTest = nullptr;

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void ConnectHandlers();
    void SetPage1(QWidget* page);
    QWidget* CurvePage(int kind) const;
    QLabel* CurveLabel(int kind) const;
    QPushButton* SaveButton(int kind) const;
    QComboBox* CurveCombo(int kind) const;
    void SetLocked(QLineEdit* e, bool locked);
    void PostEditUserName(QComboBox* box);
    QStringList ReclRowValues() const;
    // Sets the settings controls from a KyrRecl row, in the order that runs the type's
    // data and the pick-up currents in between.
    void LoadReclRow(TDataSet* ds);
    void SelectShownReclID();
    bool WriteCurveFile(const QStringList& lines);

    Ui::TfmReclData* ui;
    IReclDataSource* hub_;
    // The records' data it was handed, or its own when it was made without.
    std::unique_ptr<TKyrRecordsData> ownData_;
    TKyrRecordsData* data_;
    TCurveFile curveFile_;
    QString curvePath_;
    QString loadedReclID_;      // the ID whose settings the controls hold
};

extern TfmReclData* fmReclData;
