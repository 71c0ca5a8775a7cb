// The main window: the program's one visible window at start. It shows the results of
// up to five operations, the live current and the test and calibration status, and
// holds every command and the program control that puts the test set into a known
// state (initialisation, hardware search, ranges, test type, demo, reset, exit).
#pragma once

#include "DataFile.h"
#include "KyrGlobals.h"
#include "KyrLink.h"
#include "KyrView.h"
#include "Dialogs.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <functional>

namespace Ui { class TfmKyr; }
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QButtonGroup;

class TfmKyr : public QMainWindow, public IKyrView {
    Q_OBJECT
public:
    explicit TfmKyr(QWidget* parent = nullptr);
    ~TfmKyr() override;

    // ---- Fields ----
    QString ProgFolder;          // program files folder + "/Kestrovan"; holds the help file
    bool DataSaved = true;       // no unsaved results
    int16_t OpCount = 0;         // operations counted in the current test
    TKyrLink EngineLink;         // the engine's view of fmComm and fmUSB

    // ---- Program control ----
    void ProgInit();
    void SetRange();
    void SelectTestType(int t);
    void TestTypeSelClick();
    void SetMaxOps(int n) override;
    void ResetData();
    void SetDemo(const QString& name);
    void Start();
    void ProgExit();
    // Writes the results data file; a name that is not a results data file name is
    // replaced by "Kestrovan.kdf" (also in the caller's variable). The file is written
    // whole or not at all; returns whether it was written.
    bool WriteDataFile(QString& fileName);
    // The results of TestEngine in the data file's order.
    TResultsData CurrentResults() const;
    void ProgramSetup();

    // ---- Commands and events ----
    void mCalibrateClick();
    void mOpenClick();
    void mReportClick();
    void mSaveClick();
    void mExitClick();
    void mSetupClick();
    void mStartCommClick();
    void mStopCommClick();
    void mDatabaseClick();
    void mDebugInfoClick();
    void mHardwareStatusClick();
    void mWaveformClick();
    void mAboutClick();
    void mContentsClick();
    void mOpGuideClick();
    void BitBtnRunStopResetClick();
    void BtnCheckTCCClick();
    void DataButtonClick();
    void cbRangeChange();
    void cbMaxOpsChange();
    void PanelCalDblClick();
    void FormClick();
    void FormKeyPress(QChar key);
    bool FormCloseQuery();
    void FormClose();

    // The test type selector's item: -1 none, 0 "Normal", 1 "Minimum Pickup".
    int TestTypeSelItemIndex() const;
    void SetTestTypeSelItemIndex(int index);

    // ---- What the engine writes ----
    void SetStatusPanel(int Panel, const QString& Text) override;
    void SetStatusColor(TKyrColor Color) override;
    void SetArmedRunning(const QString& Caption, TKyrColor Color) override;
    void SetRunStopReset(const QString& Caption, TKyrColor FontColor) override;
    void SetCheckTCCEnabled(bool Enabled) override;
    void SetRangeEnabled(bool Enabled) override;
    void SetTestTypeSelEnabled(bool Enabled) override;
    void SetMaxOpsBoxEnabled(bool Enabled) override;
    void SetProgress(int Position) override;
    void SetMeterValue(int Value) override;
    void SetCommErrorVisible(bool Visible) override;
    void SetCurrentText(const QString& Text) override;
    void SetMinPickUpText(const QString& Text) override;
    void SetOpText(int Op, TOpColumn Column, const QString& Text) override;
    int GetOpCount() const override { return OpCount; }
    void SetOpCount(int Count) override { OpCount = static_cast<int16_t>(Count); }
    void SetDataSaved(bool Saved) override { DataSaved = Saved; }
    void ShowCommStatus() override;

    // Status bar panel texts (for the display and tests).
    QString StatusPanelText(int panel) const;

    // ---- Controls ----
    QLabel* PanelCal = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* LabelOp[6] = {};
    QLineEdit* TripCurr[6] = {};
    QLineEdit* Decay[6] = {};
    QLineEdit* TripTime[6] = {};
    QLineEdit* RecloseTime[6] = {};
    QLineEdit* Current = nullptr;
    QLineEdit* MinPickUpCurrent = nullptr;
    QLabel* MinPUlabel = nullptr;
    QGroupBox* TestTypeSel = nullptr;
    QRadioButton* TestTypeSelItem[2] = {};
    QComboBox* cbRange = nullptr;
    QComboBox* cbMaxOps = nullptr;
    QPushButton* BtnReclData = nullptr;
    QLabel* PanelArmedRunning = nullptr;
    QPushButton* BitBtnRunStopReset = nullptr;
    QPushButton* BtnCheckTCC = nullptr;
    QLabel* lbCommError = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* StatusPanel[3] = {};
    TFileDialog OpenDialog1;
    TFileDialog SaveDialog1;

protected:
    void FormCreate();
    void FormShow();
    void FormPaint();
    void FormDestroy();
    void showEvent(QShowEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    Ui::TfmKyr* ui;
    QButtonGroup* testTypeGroup_ = nullptr;
    QLineEdit* OpEdits[6][4] = {};  // rows 1..5: trip current, decay, trip time, reclose time
    QLabel* OpLabels[6] = {};
    void HardwareSearch(bool& found);
    void ShowCalibrationStatus();
};

extern TfmKyr* fmKyr;

class THookHelpSystem;
// The help hook, created with the main window and freed with it.
extern THookHelpSystem* HelpSystem;
