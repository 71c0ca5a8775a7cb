// The time-current curve window: the delayed curve with its upper and lower tolerance
// and the fast curve of the recloser being set up, on log-log axes, so the user can
// check the curve data before a test.
#pragma once

#include <QString>
#include <QWidget>

namespace Ui { class TfmKyrCurve; }
class TPaintBox;

// Square roots of the trip times at the ten multiples: [0] the fast curve, [1] the slow
// curve of the pair shown. Written by the recloser data form's View Curves.
extern double PlotSqrtTimes[2][10];

class TfmKyrCurve : public QWidget {
    Q_OBJECT
public:
    explicit TfmKyrCurve(QWidget* parent = nullptr);
    ~TfmKyrCurve() override;

    void PaintBox2Paint();
    void PaintBox2Click();
    void FormActivate() {}
    void FormShow() {}

    TPaintBox* PaintBox2 = nullptr;

protected:
    void showEvent(QShowEvent* e) override;

private:
    Ui::TfmKyrCurve* ui;
    // The tolerance texts last reported as not numbers: each bad pair is reported once.
    QString reportedBad_;
};

extern TfmKyrCurve* fmKyrCurve;
