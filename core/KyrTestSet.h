// What the recloser records ask of the test set in the program: IKyrTestSet answered by
// the setup window (fmSetup), the link window (fmComm), the main window (fmKyr),
// whichever of them exists, and the busy window.
#pragma once

#include "KyrRecordsPort.h"

class TKyrTestSet : public IKyrTestSet {
public:
    void LaunchTest(const TTestLaunch& Launch) override;
    void PauseLink() override;
    void ResumeLink() override;
    std::optional<TLastTestTexts> LastTest(int Op) const override;
    QString MinPickUpText() const override;
    bool DataSaved() const override;
    void SetDataSaved(bool Saved) override;
    void RestoreMainWindow() override;
    void ShowWaitWindow(int Milliseconds, const QString& Caption) override;
};
