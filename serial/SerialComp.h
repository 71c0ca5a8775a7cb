// The serial port component: one port opened for overlapped I/O, its line settings and
// time-outs as properties, non-blocking sends, a queue of received clusters, and one
// worker thread that reads the port and raises the component's events on the GUI thread.
//
// Properties: each property Xxx is read with Xxx() and written with SetXxx(value); the
// read-only ones have no setter. ThreadQuietMode is a plain field.
//
// Events are assignable members holding a std::function, nullptr when unassigned:
//     SerialPort->OnRxClusterEvent = [this](TObject* Sender) { RxCluster(Sender); };
//     SerialPort->OnProcessError = [this](TObject* Sender, DWORD Place, DWORD Code,
//                                         const QString& Msg, BYTE Noise) { ... };
// Every handler runs on the GUI thread (the thread that created the component). The
// worker hands each event over synchronously: it waits until the GUI thread has run the
// handler, which happens whenever the GUI thread processes events (any event loop, nested
// ones and processEvents() included). Handlers must not throw; assign them before
// opening the port.
//
// Failures never raise: they are reported through OnProcessError with a place number, the
// system error code and a noise level (0 error, 1 warning, 2 message), filtered by
// ErrorNoise.
#pragma once

#include "Win32.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using TObject = QObject;
using TComponent = QObject;

// An event member: assign a callable (or nullptr); the worker tests whether one is
// assigned from its own thread, so the test is kept in an atomic beside the callable.
template <class... Args>
class TEventHandler {
public:
    using Function = std::function<void(Args...)>;
    TEventHandler() = default;
    TEventHandler(const TEventHandler&) = delete;
    TEventHandler& operator=(const TEventHandler&) = delete;
    TEventHandler& operator=(Function f)
    {
        fn_ = std::move(f);
        assigned_.store(static_cast<bool>(fn_));
        return *this;
    }
    explicit operator bool() const { return assigned_.load(); }
    void operator()(Args... args) const
    {
        if (fn_)
            fn_(args...);
    }

private:
    Function fn_;
    std::atomic<bool> assigned_{false};
};

using TNotifyEvent = TEventHandler<TObject*>;
// Sender, Place, Code, Msg, Noise (0 error, 1 warning, 2 message).
using TNotifyErrorEvent = TEventHandler<TObject*, DWORD, DWORD, const QString&, BYTE>;

// The driver's communication status flags (low byte of COMSTAT's flags): bit n is the
// flag of value n.
enum TComStateFlag { fCtlHold, fDsrHold, fRlsHold, fXoffHold, fXOffSent, fEof, fTxim };
using TComStateFlags = BYTE;
inline bool InComStateFlags(TComStateFlags s, TComStateFlag f) { return (s >> f) & 1u; }

// One block of received bytes; owns its data.
class TSerialCluster {
public:
    // Takes ownership of `Data` (nullptr for zero bytes).
    TSerialCluster(std::unique_ptr<BYTE[]> Data, int Size, DWORD CommError);
    TSerialCluster(const TSerialCluster&) = delete;
    TSerialCluster& operator=(const TSerialCluster&) = delete;
    // Copies Size bytes to Dest unless Dest is nullptr.
    void CopyData(void* Dest) const;

    std::unique_ptr<BYTE[]> Data;
    int Size;
    DWORD CommError;
};

class TSerialPort;
class TSyncBridge;

// The worker thread: polls the port, reads clusters, waits for communication events
// and hands every event and report over to the GUI thread.
class TWorkThread {
public:
    explicit TWorkThread(TSerialPort* AOwner);
    // Waits for the thread to end.
    ~TWorkThread();
    void Terminate() { FTerminated.store(true); }
    bool Terminated() const { return FTerminated.load(); }

    TSerialPort* Owner;

private:
    friend class TSerialPort;
    void Execute();
    void CheckModemAndErrors();
    void CheckWriteDone();
    void StartRead();
    void DeliverCluster(BYTE*& Buffer, DWORD Count);
    void ReadDone();
    void StartCommEventWait();
    void CommEventDone();
    void DispatchCommEvents(DWORD Mask);
    void ReportError(DWORD Place, DWORD Code, const QString& Msg, BYTE Noise);
    void DoProcessError();
    // Runs `method` on the GUI thread and returns once it ran (or was cancelled); not
    // before `quietUntil`, when the worker has nothing to do until then.
    void SyncCall(void (TWorkThread::*method)(), std::chrono::steady_clock::time_point quietUntil = {});
    // How long after a received cluster the line has no more bytes to read.
    static constexpr std::chrono::milliseconds kClusterQuiet{10};
    void DoRxClusterEvent();
    void DoWriteDone();
    void DoCommEvent();
    void DoCommStat();
    void DoBreakEvent();
    void DoCTSEvent();
    void DoDSREvent();
    void DoLineErrorEvent();
    void DoRingEvent();
    void DoRIEvent();
    void DoRLSDEvent();
    void DoRxCharEvent();
    void DoRxEventCharEvent();
    void DoTxQueueEmptyEvent();

    std::atomic<bool> FTerminated{false};
    // The report being handed over.
    DWORD FPlace = 0;
    DWORD FCode = 0;
    QString FMsg;
    BYTE FNoise = 0;

    // State of one run of Execute, shared by its steps.
    bool Stop = false;
    bool Running = false;
    bool ReadPending = false;
    bool WaitPending = false;
    DWORD LastRxTick = 0;
    DWORD EventMask = 0;
    DWORD ModemStat = 0;
    DWORD LineErrors = 0;
    // Line error bits seen since the last read: a cluster carries all of them, though
    // every check clears them in the driver.
    DWORD PendingLineErrors = 0;
    // The communication-event wait could not start in this pass.
    bool WaitFailed = false;
    COMSTAT ComStat{};
    DWORD ReadCount = 0;
    BYTE* ReadBuffer = nullptr;
    DWORD BytesRead = 0;
    DWORD WriteCheckCount = 0;
    DWORD LastStatus = 0;

    std::thread FThread;
};

class TSerialPort : public QObject {
    Q_OBJECT
public:
    explicit TSerialPort(QObject* AOwner = nullptr);
    ~TSerialPort() override;

    // ---- properties --------------------------------------------------------------------
    QString CommPort() const { return FCommPort; }
    void SetCommPort(const QString& Value);
    DWORD BaudRate() const { return FBaudRate; }
    void SetBaudRate(DWORD Value);
    BYTE ParityType() const { return FParityType; }
    void SetParityType(BYTE Value);
    char ParityErrorChar() const { return FParityErrorChar; }
    void SetParityErrorChar(char Value);
    bool ParityErrorReplacement() const { return FParityErrorReplacement; }
    void SetParityErrorReplacement(bool Value);
    BYTE StopBits() const { return FStopBits; }
    void SetStopBits(BYTE Value);
    BYTE DataBits() const { return FDataBits; }
    void SetDataBits(BYTE Value);
    char XONChar() const { return FXONChar; }
    void SetXONChar(char Value);
    char XOFFChar() const { return FXOFFChar; }
    void SetXOFFChar(char Value);
    BYTE XONLimDiv() const { return FXONLimDiv; }
    void SetXONLimDiv(BYTE Value);
    BYTE XOFFLimDiv() const { return FXOFFLimDiv; }
    void SetXOFFLimDiv(BYTE Value);
    std::int32_t FlowControl() const { return FFlowControl; }
    void SetFlowControl(std::int32_t Value);
    bool StripNullChars() const { return FStripNullChars; }
    void SetStripNullChars(bool Value);
    char EventChar() const { return FEventChar; }
    void SetEventChar(char Value);
    BYTE ErrorNoise() const { return FErrorNoise; }
    void SetErrorNoise(BYTE Value);
    TComStateFlags CommStateFlags() const { return FCommStateFlags; }
    DWORD CommStateInQueue() const { return FCommStateInQueue; }
    DWORD CommStateOutQueue() const { return FCommStateOutQueue; }
    DWORD CommError() const { return FCommError; }
    DWORD CommEvent() const { return FCommEvent; }
    DWORD ModemState() const { return FModemState; }
    DWORD RTOCharDelayTime() const { return FRTOCharDelayTime; }
    void SetRTOCharDelayTime(DWORD Value);
    WORD RTOExtraDelayTime() const { return FRTOExtraDelayTime; }
    void SetRTOExtraDelayTime(WORD Value);
    DWORD WTOCharDelayTime() const { return FWTOCharDelayTime; }
    void SetWTOCharDelayTime(DWORD Value);
    WORD WTOExtraDelayTime() const { return FWTOExtraDelayTime; }
    void SetWTOExtraDelayTime(WORD Value);
    bool XTOAuto() const { return FXTOAuto; }
    void SetXTOAuto(bool Value);
    bool Active() const { return FActive; }
    void SetActive(bool Value);
    bool RTSState() const { return FRTSState; }
    void SetRTSState(bool Value);
    bool DTRState() const { return FDTRState; }
    void SetDTRState(bool Value);
    bool BREAKState() const { return FBREAKState; }
    void SetBREAKState(bool Value);
    bool CTSState() const { return FCTSState; }
    bool DSRState() const { return FDSRState; }
    bool RLSDState() const { return FRLSDState; }
    bool RingState() const { return FRingState; }
    WORD ClusterSize() const { return FClusterSize; }
    void SetClusterSize(WORD Value);
    WORD RxQueueSize() const { return FRxQueueSize; }
    void SetRxQueueSize(WORD Value);
    WORD TxQueueSize() const { return FTxQueueSize; }
    void SetTxQueueSize(WORD Value);
    bool ReadRequest() const { return FReadRequest; }
    void SetReadRequest(bool Value);
    bool SendInProgress() const { return FSendInProgress; }
    DWORD WrittenBytes() const { return FWrittenBytes; }
    HANDLE ComHandle() const { return FComHandle; }

    // While set, the worker raises no event and hands over no report: poll the queue.
    std::atomic<bool> ThreadQuietMode{false};

    // ---- events (declaration order) ------------------------------------------------------
    TNotifyEvent OnTxQueueEmptyEvent;
    TNotifyEvent OnCommEvent;
    TNotifyEvent OnCommStat;
    TNotifyEvent OnBreakEvent;
    TNotifyEvent OnCTSEvent;
    TNotifyEvent OnDSREvent;
    TNotifyEvent OnLineErrorEvent;
    TNotifyEvent OnRingEvent;
    TNotifyEvent OnRIEvent;
    TNotifyEvent OnRLSDEvent;
    TNotifyEvent OnRxClusterEvent;
    TNotifyEvent OnRxCharEvent;
    TNotifyEvent OnRxEventCharEvent;
    TNotifyEvent OnWriteDone;
    TNotifyErrorEvent OnProcessError;

    // ---- operations (GUI thread) ---------------------------------------------------------
    // Starts one overlapped write of Count bytes; OnWriteDone follows (at once when the
    // write completed at once, else from the worker).
    void SendData(const void* Buffer, DWORD Count);
    // Sends the characters of S, one byte each (Latin-1); an empty string sends nothing.
    void SendString(const QString& S);
    // Size / CommError of the oldest queued cluster, -1 when none.
    int NextClusterSize();
    int NextClusterError();
    // Removes the oldest cluster and returns a copy of its bytes (nullptr when none, or
    // for a cluster of zero bytes); Size and Error receive its size and line errors
    // (-1 and -1 when none was queued).
    std::unique_ptr<BYTE[]> ReadNextCluster(int& Size, int& Error);
    void ClearRxDQueue();
    void ClearTxDQueue();
    void ProcessError(DWORD Place, DWORD Code, const QString& Msg, BYTE Noise);

private:
    friend class TWorkThread;
    void Reactivate(bool Value);
    void ApplyCommState();
    void ApplyXTOAuto();
    void EnableCommEvents();
    void ThreadTerminated();
    void WaitWhileThreadRunning(int N);
    // Line functions of the three line setters; true on success.
    bool DriveRTS(bool On);
    bool DriveDTR(bool On);

    QString FCommPort;
    std::atomic<DWORD> FBaudRate;
    BYTE FParityType;
    char FParityErrorChar;
    bool FParityErrorReplacement;
    BYTE FStopBits;
    BYTE FDataBits;
    char FXONChar;
    char FXOFFChar;
    BYTE FXONLimDiv;
    BYTE FXOFFLimDiv;
    std::int32_t FFlowControl;
    bool FStripNullChars;
    char FEventChar;
    std::atomic<BYTE> FErrorNoise;
    std::atomic<TComStateFlags> FCommStateFlags;
    std::atomic<DWORD> FCommStateInQueue;
    std::atomic<DWORD> FCommStateOutQueue;
    std::atomic<DWORD> FCommError;
    std::atomic<DWORD> FCommEvent;
    std::atomic<DWORD> FModemState;
    std::atomic<DWORD> FRTOCharDelayTime;
    std::atomic<WORD> FRTOExtraDelayTime;
    std::atomic<DWORD> FWTOCharDelayTime;
    std::atomic<WORD> FWTOExtraDelayTime;
    bool FXTOAuto;
    std::atomic<bool> FActive;
    bool FRTSState;
    bool FDTRState;
    bool FBREAKState;
    std::atomic<bool> FCTSState;
    std::atomic<bool> FDSRState;
    std::atomic<bool> FRLSDState;
    std::atomic<bool> FRingState;
    std::atomic<WORD> FClusterSize;
    WORD FRxQueueSize;
    WORD FTxQueueSize;
    std::atomic<bool> FReadRequest;
    std::atomic<bool> FSendInProgress;
    std::atomic<DWORD> FWrittenBytes;
    std::atomic<HANDLE> FComHandle;

    // Overlapped records: write, read, communication event.
    OVERLAPPED WriteOverlapped{};
    OVERLAPPED ReadOverlapped{};
    OVERLAPPED CommEventOverlapped{};
    std::atomic<DWORD> BytesToWrite{0};
    std::atomic<DWORD> SendStartTick{0};
    TWorkThread* WorkThread = nullptr;
    std::atomic<bool> ThreadIsRunning{false};
    std::atomic<bool> ThreadDone{false};
    std::atomic<bool> Destroying{false};
    std::vector<std::unique_ptr<TSerialCluster>> ClusterList;
    CRITICAL_SECTION ClusterLock{};
    int PlatformId = -1;
    std::unique_ptr<TSyncBridge> SyncBridge;
};
