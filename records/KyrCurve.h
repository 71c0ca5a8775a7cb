// The time-current curve window: the delayed curve with its upper and lower tolerance
// and the fast curve of the recloser being set up, on log-log axes, so the user can
// check the curve data before a test.
#pragma once

#include "KyrRecordsData.h"

#include <QString>
#include <QWidget>
#include <memory>

namespace Ui { class TfmKyrCurve; }
class TPaintBox;

class TfmKyrCurve : public QWidget {
    Q_OBJECT
public:
    // Draws the plot times of Data (its own when none is given) with the delayed curve's
    // tolerances the data form has prepared, asked of Hub (none: no tolerance curves).
    explicit TfmKyrCurve(IReclDataSource* Hub = nullptr, TKyrRecordsData* Data = nullptr, QWidget* parent = nullptr);
    ~TfmKyrCurve() override;
    // The data the records' windows share (KyrRecordsData.h).
    TKyrRecordsData& Data() const { return *data_; }

    // Shown again when it is already open: brought to the front, drawing PlotTimes.
    void ShowPlot(const double (&PlotTimes)[2][10]);

    void PaintBox2Paint();
    void PaintBox2Click();
    void FormActivate() {}
    void FormShow() {}

    TPaintBox* PaintBox2 = nullptr;

protected:
    void showEvent(QShowEvent* e) override;

private:
    Ui::TfmKyrCurve* ui;
    IReclDataSource* hub_;
    // The records' data it was handed, or its own when it was made without.
    std::unique_ptr<TKyrRecordsData> ownData_;
    TKyrRecordsData* data_;
    // The tolerance texts last reported as not numbers: each bad pair is reported once.
    QString reportedBad_;
};

extern TfmKyrCurve* fmKyrCurve;
