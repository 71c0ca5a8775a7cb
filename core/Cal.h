// The calibration: its decoded values (read directly by the test engine and the main
// window through TCalData) and the "Calibration Menu" window that fetches, reads, shows
// and edits them. The block and its file themselves: CalRecord.h.
#pragma once

#include "CalData.h"
#include "CalRecord.h"

#include <QByteArray>
#include <QColor>
#include <QDialog>
#include <QString>

namespace Ui { class TfmCal; }
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QGroupBox;
class QToolButton;

// Colour of the calibration status: lime up to 335 days after the calibration date,
// yellow up to 365 days, red beyond.
QColor CalDateColour(int calibrationDay, int today);

class TfmCal : public QDialog, public TCalData {
    Q_OBJECT
public:
    explicit TfmCal(QWidget* parent = nullptr);
    ~TfmCal() override;

    // The block as last received, read or decoded.
    char CalRecord[CalRecordSize] = {};
    // CalData: the fields of TCalData. Until a calibration is read they hold the
    // defaults, flagged as no valid calibration: the engine never runs on zeros.

    // Fetches the block from the instrument and decodes it; true when a block arrived.
    bool GetCalData();
    // CalRecord into CalData and the edits; true when the decode succeeded.
    bool DecodeCalRecord();
    // The calibration file into CalRecord and CalData.
    void ReadCalFile();
    // CalData into the calibration file, after confirmation; true when written.
    bool WriteCalFile();
    // The defaults, after confirmation (written to the file and shown).
    void SetDefaultCal();
    // Shows the stored values in the window.
    void RefreshCal();

    // The 16 fields of CalData as the block's bytes. False (block untouched) when a
    // value does not fit its field's width, which would shift every later field.
    bool EncodeCalRecord(QByteArray& block) const;

    // Controls.
    QLabel* Label[9] = {};          // Label1..Label8
    QLineEdit* CalFactor[9] = {};   // CalFactor1..CalFactor8
    QToolButton* SpinBtnAdjustUp = nullptr;
    QToolButton* SpinBtnAdjustDown = nullptr;
    QGroupBox* RadioGroup1 = nullptr;
    QRadioButton* RadioAll = nullptr;
    QRadioButton* RadioSelected = nullptr;
    QSpinBox* CalOnThresh = nullptr;
    QSpinBox* CalMPUThresh = nullptr;
    QSpinBox* CalOnDelay = nullptr;
    QSpinBox* CalOffThresh = nullptr;
    QSpinBox* CalOffDelay = nullptr;
    QComboBox* CalAvgTime = nullptr;
    QLineEdit* CalSerNum = nullptr;
    QLineEdit* CalDate = nullptr;
    QPushButton* btToday = nullptr;
    QPushButton* SaveButton = nullptr;

public slots:
    void OnActivate();
    void FormShow();
    void FormClose();
    void CalOnThreshChange();
    void CalMPUThreshChange();
    void CalOnDelayChange();
    void CalOffThreshChange();
    void CalOffDelayChange();
    void CalAvgTimeChange();
    void SpinBtnAdjustUpClick();
    void SpinBtnAdjustDownClick();
    void btTodayClick();
    void SaveButtonClick();

protected:
    void showEvent(QShowEvent* e) override;
    void done(int r) override;

private:
    // The default calibration values (factors, thresholds, delays, times, serial number, date).
    void DefaultValues();
    Ui::TfmCal* ui;
    // Takes a block into CalRecord unless it is shorter than the block (a NUL inside
    // or a short file), which is reported as corrupt and leaves everything as it was.
    bool AcceptBlock(const QByteArray& bytes);
    void AdjustFactors(bool up);
};

extern TfmCal* fmCal;
