// The results window: one finished test row by row next to its limits, judged against
// the recloser's time-current curves, with the save of one results record.
//
// The judging and the record are in ResultsJudge.h; the window gathers the inputs,
// applies the effects and saves.
#pragma once

#include "KyrRecordsPort.h"
#include "KyrRecordsData.h"
#include "ResultsJudge.h"

#include <QDateTime>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

namespace Ui { class TfmKyrResults; }
class QLineEdit;
class QPushButton;

// ---- The window ---------------------------------------------------------------------------

// Set when an analysis has run to one of its ends; cleared by Analyze and by closing.
extern bool ResultsAnalyzed;

class TfmKyrResults : public QWidget {
    Q_OBJECT
public:
    // Judges what the data form has prepared, asked of Hub (none: nothing prepared, no
    // table to save into, nothing shown), by the curve times of Data (its own when none
    // is given).
    explicit TfmKyrResults(IReclDataSource* Hub = nullptr, TKyrRecordsData* Data = nullptr, QWidget* parent = nullptr);
    ~TfmKyrResults() override;
    // The data the records' windows share (KyrRecordsData.h).
    TKyrRecordsData& Data() const { return *data_; }

    void AnalyzeResults();
    void FormShow();
    void FormActivate();
    void sbKeyboardInputClick();
    void btAnalyzeClick();
    void btSaveResultsClick();
    void btViewResultsClick();
    void btReportClick();
    void btCloseClick();
    bool FormCloseQuery();
    void FormClose();

    // Rows 1..4, fifteen edits a row in the order of ResultFields.
    static const char* const ResultFields[15];
    QLineEdit* ResultEdits[5][15] = {};

    QLineEdit* ebTestMPU = nullptr;
    QLineEdit* ebMinMPU = nullptr;
    QLineEdit* ebMaxMPU = nullptr;
    QLineEdit* ebOptMPU = nullptr;
    QLineEdit* ebResMPU = nullptr;
    QLineEdit* ebResults = nullptr;
    QLineEdit* ebOpCounter = nullptr;
    QLineEdit* ebComments = nullptr;
    QPushButton* btClose = nullptr;
    QPushButton* sbKeyboardInput = nullptr;
    QPushButton* btAnalyze = nullptr;
    QPushButton* btSaveResults = nullptr;
    QPushButton* btViewResults = nullptr;
    QPushButton* btReport = nullptr;

    // The values of the last analysis (rows 1..4), written by the save.
    double MeasCurr[6] = {};
    double MeasTrip[6] = {};
    double MeasRecl[6] = {};
    double MeasMPU = 0;
    QString ResultFlags;

    // The test set whose last test the window takes and whose saved flag it keeps;
    // none: no test texts, nothing unsaved.
    IKyrTestSet* TestSet = nullptr;

    // Left edge for the window at the screen's right edge.
    static int LeftFor(int screenWidth, int windowWidth, int margin) { return screenWidth - windowWidth - margin; }

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool event(QEvent* e) override;

private:
    Ui::TfmKyrResults* ui;
    IReclDataSource* hub_;
    // The records' data it was handed, or its own when it was made without.
    std::unique_ptr<TKyrRecordsData> ownData_;
    TKyrRecordsData* data_;
    bool activated_ = false;   // a new window analyses at its first activation
    bool saving_ = false;      // one save at a time
    bool analyzing_ = false;   // the boxes of an analysis give the activation back
    bool lostToModal_ = false; // the window last lost the activation to a modal box or dialog
    QLineEdit* FindEdit(const QString& name) const;
    TResultsInput GatherInput();
    void Apply(const TResultsOutcome& o);
    void SetKeyboardInput(bool down);
    void PlaceFromRight(int margin);
    void SaveResults();
};

extern TfmKyrResults* fmKyrResults;

