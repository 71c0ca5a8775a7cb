#include "KyrLink.h"

#include "Comm.h"
#include "USB.h"

// Without the link window there is no port: nothing found, nothing streaming.
bool TKyrLink::GetPortFound() const { return fmComm && fmComm->PortFound; }

void TKyrLink::SetPortFound(bool Found)
{
    if (fmComm)
        fmComm->PortFound = Found;
}

bool TKyrLink::GetStreaming() const { return fmComm && fmComm->Streaming; }

int TKyrLink::GetRxCount() const { return fmComm ? fmComm->RxCount : 0; }

int TKyrLink::GetErrorCount() const { return fmComm ? fmComm->ErrorCount : 0; }

void TKyrLink::ClearErrorCounts()
{
    if (fmComm)
        fmComm->ErrorCount = 0;
    if (fmUSB)
        fmUSB->ErrorCount = 0;
}

int TKyrLink::GetSample() { return fmComm ? fmComm->GetSample() : 0; }

void TKyrLink::StopComm()
{
    if (fmComm)
        fmComm->StopComm();
}
