// What the test engine shows: the main window's controls and the meter window's
// meter, as one small interface. The main window implements it with its controls;
// the engine's tests implement it with a recording fake, so the whole engine runs
// without a window. Beside it, IKyrLink: what the engine asks of the instrument link.
#pragma once

#include <QString>

// The named colours the engine paints with. The main window turns them into real
// colours; BtnFace is the system colour of control surfaces.
enum class TKyrColor { BtnFace, Red, Lime, Yellow, Green };

// The four result edits of an operation row, in the order of TfmKyr.OpEdits.
enum TOpColumn { ocTripCurr = 0, ocDecay = 1, ocTripTime = 2, ocRecloseTime = 3 };

class IKyrView {
public:
    virtual ~IKyrView() = default;

    // StatusBar1: panel 0 elapsed sample time, 1 test status, 2 signal source.
    virtual void SetStatusPanel(int Panel, const QString& Text) = 0;
    // StatusBar1's background colour.
    virtual void SetStatusColor(TKyrColor Color) = 0;
    // PanelArmedRunning: caption and background colour.
    virtual void SetArmedRunning(const QString& Caption, TKyrColor Color) = 0;
    // BitBtnRunStopReset: caption ("STOP", "RESET") and font colour. The main window
    // reads the caption back to decide what the button does.
    virtual void SetRunStopReset(const QString& Caption, TKyrColor FontColor) = 0;
    // BtnCheckTCC, cbRange, TestTypeSel and cbMaxOps enabled.
    virtual void SetCheckTCCEnabled(bool Enabled) = 0;
    virtual void SetRangeEnabled(bool Enabled) = 0;
    virtual void SetTestTypeSelEnabled(bool Enabled) = 0;
    virtual void SetMaxOpsBoxEnabled(bool Enabled) = 0;
    // ProgressBar1 position, percent of full scale. Values beyond 0..100 are passed
    // as they are: the implementation limits them (a progress bar ignores them).
    virtual void SetProgress(int Position) = 0;
    // The meter window's meter value, tenths of a percent of full scale (0..1000);
    // the meter limits larger values itself.
    virtual void SetMeterValue(int Value) = 0;
    // lbCommError visible.
    virtual void SetCommErrorVisible(bool Visible) = 0;
    // The live current edit `Current`.
    virtual void SetCurrentText(const QString& Text) = 0;
    // MinPickUpCurrent.
    virtual void SetMinPickUpText(const QString& Text) = 0;
    // One result edit of row Op (1..5): TripCurr1..5, Decay1..5, TripTime1..5, RecloseTime1..5.
    virtual void SetOpText(int Op, TOpColumn Column, const QString& Text) = 0;

    // TfmKyr.OpCount: operations of the current test, 0..5.
    virtual int GetOpCount() const = 0;
    virtual void SetOpCount(int Count) = 0;
    // TfmKyr.DataSaved (the engine clears it when a test ends).
    virtual void SetDataSaved(bool Saved) = 0;
    // TfmKyr.SetMaxOps: shows result rows 1..Count (the excess shot shows one more).
    virtual void SetMaxOps(int Count) = 0;
    // Shows the "Communication Status" window (fmComm).
    virtual void ShowCommStatus() = 0;
};

// What the test engine asks of the instrument link: whether samples stream, how many
// wait, the next one, the error count, and giving the link up. TKyrLink (KyrLink.h)
// answers from the "Communication Status" window (fmComm) and the USB window (fmUSB);
// the engine's tests answer from a queue of samples, with no port and no thread.
class IKyrLink {
public:
    virtual ~IKyrLink() = default;

    // TfmComm.PortFound: the instrument answered on the current port.
    virtual bool GetPortFound() const = 0;
    virtual void SetPortFound(bool Found) = 0;
    // TfmComm.Streaming: start sent, no stop since.
    virtual bool GetStreaming() const = 0;
    // TfmComm.RxCount: bytes waiting (two to a sample).
    virtual int GetRxCount() const = 0;
    // TfmComm.ErrorCount: link errors since the last clear.
    virtual int GetErrorCount() const = 0;
    // TfmComm.ErrorCount and TfmUSB.ErrorCount := 0 (at a test's start).
    virtual void ClearErrorCounts() = 0;
    // TfmComm.GetSample: the next sample in counts.
    virtual int GetSample() = 0;
    // TfmComm.StopComm.
    virtual void StopComm() = 0;
};
