// The access-code dialog that stands before the calibration window: only a user who
// knows the code may change the instrument's calibration.
#pragma once

#include <QDialog>
#include <QString>

namespace Ui { class TfmPass; }
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;

// The instrument's calibration date in the system's short date format; set by the
// calibrate command just before the dialog opens.
extern QString CalDateText;

class TfmPass : public QDialog {
    Q_OBJECT
public:
    explicit TfmPass(QWidget* parent = nullptr);
    ~TfmPass() override;

    QLabel* lbCalDate = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Password = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

public slots:
    // Closes the dialog with OK only when the entry is the access code; otherwise says so
    // and stays open for another attempt.
    void OKBtnClick();

protected:
    void showEvent(QShowEvent* e) override;
    void FormShow();

private:
    Ui::TfmPass* ui;
};

extern TfmPass* fmPass;
