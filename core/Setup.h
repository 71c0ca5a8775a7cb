// The test settings that survive from one run to the next: fields of the setup window,
// kept in the nine-line setup file "Kestrovan.ksf" in the data folder (its lines:
// SetupFile.h).
#pragma once

#include "SetupData.h"
#include "SetupFile.h"

#include <QDialog>
#include <QString>
#include <cstdint>

namespace Ui { class TfmSetup; }
class QComboBox;
class QLineEdit;
class QPushButton;
class QCloseEvent;
class QShowEvent;

class TfmSetup : public QDialog, public TSetupData {
    Q_OBJECT
public:
    explicit TfmSetup(QWidget* parent = nullptr);
    ~TfmSetup() override;

    // SetupData (the fields of TSetupData): zero until the first initialisation reads the file.
    QString SetupFileName;        // full path of the setup file; not stored in it

    // Fills SetupData from the file, making it with defaults when it is missing. A line
    // that is missing or holds no usable value takes that field's default; the first
    // such line brings one "Error reading file: " message and every one is traced.
    void ReadSetupFile();
    // Writes SetupData to the file, whole or not at all; a failure is reported with
    // "Error writing file: " and the fields keep their values.
    void WriteSetupFile();

    // Defaults of the fields, also used for a line that cannot be read.
    static constexpr int16_t DefaultRange = SetupDefaultRange;
    static constexpr double DefaultMaxOnTime = SetupDefaultMaxOnTime;
    static constexpr double DefaultMaxOffTime = SetupDefaultMaxOffTime;
    static constexpr int DefaultMaxOps = SetupDefaultMaxOps;
    static constexpr uint8_t DefaultTestType = SetupDefaultTestType;
    static constexpr double DefaultShuntAmperes = SetupDefaultShuntAmperes;
    static constexpr double DefaultShuntMillivolts = SetupDefaultShuntMillivolts;

    QLineEdit* ebMaxOnTime = nullptr;
    QLineEdit* ebMaxOffTime = nullptr;
    QLineEdit* ebMaxOps = nullptr;
    QLineEdit* ebDataFileName = nullptr;
    QComboBox* cbSourceName = nullptr;
    QLineEdit* ebShuntAmperes = nullptr;
    QLineEdit* ebShuntMillivolts = nullptr;
    QPushButton* Button1 = nullptr;

public slots:
    void Button1Click();
    // Esc closes nothing: the window has no cancel button and every close takes the entries.
    void reject() override {}

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

    void FormCreate();
    void FormShow();
    // Every close (the button or the close box). Returns false when an entry is not
    // valid: the window then stays open and nothing is taken.
    bool FormClose();

private:
    Ui::TfmSetup* ui;
};

extern TfmSetup* fmSetup;
