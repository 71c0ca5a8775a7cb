// The test engine's link to the instrument in the program: IKyrLink answered by the
// link window (fmComm) and the USB window (fmUSB), whichever of them exists.
#pragma once

#include "KyrView.h"

class TKyrLink : public IKyrLink {
public:
    bool GetPortFound() const override;
    void SetPortFound(bool Found) override;
    bool GetStreaming() const override;
    int GetRxCount() const override;
    int GetErrorCount() const override;
    void ClearErrorCounts() override;
    int GetSample() override;
    void StopComm() override;
};
