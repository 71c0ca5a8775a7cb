// An engine view that shows nothing and only keeps the operation count: for running the
// engine where no window exists (the engine benchmark, the sample-stream fuzz target).
#pragma once

#include "KyrView.h"

class NullKyrView : public IKyrView {
public:
    int ops = 0;
    void SetStatusPanel(int, const QString&) override {}
    void SetStatusColor(TKyrColor) override {}
    void SetArmedRunning(const QString&, TKyrColor) override {}
    void SetRunStopReset(const QString&, TKyrColor) override {}
    void SetCheckTCCEnabled(bool) override {}
    void SetRangeEnabled(bool) override {}
    void SetTestTypeSelEnabled(bool) override {}
    void SetMaxOpsBoxEnabled(bool) override {}
    void SetProgress(int) override {}
    void SetMeterValue(int) override {}
    void SetCommErrorVisible(bool) override {}
    void SetCurrentText(const QString&) override {}
    void SetMinPickUpText(const QString&) override {}
    void SetOpText(int, TOpColumn, const QString&) override {}
    int GetOpCount() const override { return ops; }
    void SetOpCount(int c) override { ops = c; }
    void SetDataSaved(bool) override {}
    void SetMaxOps(int) override {}
    void ShowCommStatus() override {}
};
