#include "KyrTestSet.h"

#include "Comm.h"
#include "Delays.h"
#include "KyrMain.h"
#include "Setup.h"

#include <QLineEdit>

void TKyrTestSet::LaunchTest(const TTestLaunch& Launch)
{
    fmSetup->Range = static_cast<int16_t>(Launch.Range);
    fmSetup->TestType = static_cast<uint8_t>(Launch.TestType);
    fmSetup->MaxOnTime = Launch.MaxOnTime;
    if (Launch.SetsMaxOps)
        fmSetup->MaxOps = Launch.MaxOps;
    if (Launch.SetsMaxOffTime)
        fmSetup->MaxOffTime = Launch.MaxOffTime;
    fmSetup->WriteSetupFile();
    fmSetup->ReadSetupFile();
    if (fmKyr) {
        fmKyr->SelectTestType(fmSetup->TestType);
        fmKyr->ProgInit();
    }
    KyrRecords().HideResultsWindow();
    if (fmKyr) {
        fmKyr->setWindowState(fmKyr->windowState() & ~Qt::WindowMinimized);
        fmKyr->show();
        fmKyr->raise();
        fmKyr->activateWindow();
        fmKyr->setFocus();
    }
}

void TKyrTestSet::PauseLink()
{
    if (fmComm)
        fmComm->StopComm();
}

void TKyrTestSet::ResumeLink()
{
    if (fmComm)
        fmComm->StartComm();
}

std::optional<TLastTestTexts> TKyrTestSet::LastTest(int Op) const
{
    if (!fmKyr || Op < 1 || Op > 5 || !fmKyr->TripCurr[Op] || !fmKyr->TripTime[Op] || !fmKyr->RecloseTime[Op])
        return std::nullopt;
    return TLastTestTexts{fmKyr->TripCurr[Op]->text(), fmKyr->TripTime[Op]->text(), fmKyr->RecloseTime[Op]->text()};
}

QString TKyrTestSet::MinPickUpText() const
{
    return fmKyr && fmKyr->MinPickUpCurrent ? fmKyr->MinPickUpCurrent->text() : QString();
}

// Without the main window nothing is unsaved.
bool TKyrTestSet::DataSaved() const { return !fmKyr || fmKyr->DataSaved; }

void TKyrTestSet::SetDataSaved(bool Saved)
{
    if (fmKyr)
        fmKyr->DataSaved = Saved;
}

void TKyrTestSet::RestoreMainWindow()
{
    if (fmKyr && (fmKyr->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)))
        fmKyr->showNormal();
}

void TKyrTestSet::ShowWaitWindow(int Milliseconds, const QString& Caption) { ::ShowWaitWindow(Milliseconds, Caption); }
