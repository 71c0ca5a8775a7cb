#include "SerialComp.h"

#include "CommPortList.h"
#include "Forms.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <cstring>

// ---- synchronous hand-over to the GUI thread --------------------------------------------

// Runs calls of the worker on the thread that made the component, inside whatever event
// loop that thread is in, while the worker waits. Cancelling ends every waiting call
// unrun and refuses new ones.
class TSyncBridge : public QObject {
public:
    struct Call {
        std::function<void()> Fn;
        enum { Queued, Running, Done, Cancelled } State = Queued;
        bool Unwatched = false;  // the caller sleeps to a time of its own: no wake-up when done
    };

    class CallEvent : public QEvent {
    public:
        explicit CallEvent(std::shared_ptr<Call> c) : QEvent(Type()), TheCall(std::move(c)) {}
        static QEvent::Type Type()
        {
            static const int t = QEvent::registerEventType();
            return static_cast<QEvent::Type>(t);
        }
        std::shared_ptr<Call> TheCall;
    };

    // False when the call was cancelled (or refused) instead of run. A caller with nothing
    // to do before `quietUntil` is not woken when the call is done before then: it looks
    // at that time (a wake-up fewer), and waits on as usual if the call has not run yet.
    bool Run(std::function<void()> fn, std::chrono::steady_clock::time_point quietUntil = {})
    {
        if (QThread::currentThread() == thread()) {
            fn();
            return true;
        }
        auto call = std::make_shared<Call>();
        call->Fn = std::move(fn);
        {
            std::lock_guard<std::mutex> l(mutex_);
            if (closed_)
                return false;
            pending_.push_back(call);
        }
        QCoreApplication::postEvent(this, new CallEvent(call));
        const auto ended = [&] { return call->State == Call::Done || call->State == Call::Cancelled; };
        std::unique_lock<std::mutex> l(mutex_);
        if (quietUntil > std::chrono::steady_clock::now() && !ended()) {
            call->Unwatched = true;
            // Woken early only by a cancel (it notifies every waiter) or spuriously.
            while (!ended() && !closed_ && cond_.wait_until(l, quietUntil) == std::cv_status::no_timeout) {
            }
            call->Unwatched = false;
        }
        cond_.wait(l, ended);
        return call->State == Call::Done;
    }

    void CancelAll()
    {
        std::lock_guard<std::mutex> l(mutex_);
        closed_ = true;
        for (auto& c : pending_)
            if (c->State == Call::Queued)
                c->State = Call::Cancelled;
        pending_.clear();
        cond_.notify_all();
    }

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != CallEvent::Type())
            return QObject::event(e);
        auto call = static_cast<CallEvent*>(e)->TheCall;
        {
            std::lock_guard<std::mutex> l(mutex_);
            if (call->State != Call::Queued)
                return true;
            call->State = Call::Running;
        }
        Guarded([&] { call->Fn(); });
        bool watched;
        {
            std::lock_guard<std::mutex> l(mutex_);
            call->State = Call::Done;
            std::erase(pending_, call);
            watched = !call->Unwatched;
        }
        if (watched)
            cond_.notify_all();
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable cond_;
    bool closed_ = false;
    std::vector<std::shared_ptr<Call>> pending_;
};

// ---- TSerialCluster ------------------------------------------------------------------------

TSerialCluster::TSerialCluster(std::unique_ptr<BYTE[]> AData, int ASize, DWORD ACommError)
    : Data(std::move(AData)), Size(ASize), CommError(ACommError) {}

void TSerialCluster::CopyData(void* Dest) const
{
    if (Dest && Size > 0 && Data)
        std::memcpy(Dest, Data.get(), static_cast<std::size_t>(Size));
}

// ---- TSerialPort ---------------------------------------------------------------------------

TSerialPort::TSerialPort(QObject* AOwner) : QObject(AOwner)
{
    InitializeCriticalSection(&ClusterLock);
    Destroying = false;
    FComHandle = INVALID_HANDLE_VALUE;
    OSVERSIONINFOA VersionInfo;
    PlatformId = GetPlatformId(VersionInfo);
    FCommPort = QStringLiteral("COM2");
    FBaudRate = 9600;
    FParityType = 0;
    FParityErrorChar = 0;
    FParityErrorReplacement = false;
    FStopBits = 0;
    FDataBits = 8;
    FXONChar = 0x11;
    FXOFFChar = 0x13;
    FXONLimDiv = 33;
    FXOFFLimDiv = 33;
    FFlowControl = 0;
    FStripNullChars = false;
    FEventChar = 0;
    FErrorNoise = 255;
    FCommStateFlags = 0;
    FCommStateInQueue = 0;
    FCommStateOutQueue = 0;
    FCommError = 0;
    FCommEvent = 0;
    FModemState = 0;
    FRTOCharDelayTime = 1100;
    FRTOExtraDelayTime = 250;
    FWTOCharDelayTime = 1100;
    FWTOExtraDelayTime = 250;
    FXTOAuto = true;
    FActive = false;
    FRTSState = true;
    FDTRState = true;
    FBREAKState = false;
    FCTSState = false;
    FDSRState = false;
    FRLSDState = false;
    FRingState = false;
    FClusterSize = 3072;
    FRxQueueSize = 4096;
    FTxQueueSize = 4096;
    FReadRequest = false;
    FSendInProgress = false;
    FWrittenBytes = 0;
    SyncBridge = std::make_unique<TSyncBridge>();
    for (OVERLAPPED* ov : {&WriteOverlapped, &ReadOverlapped, &CommEventOverlapped}) {
        std::memset(ov, 0, sizeof(*ov));
        ov->hEvent = CreateEventA(nullptr, TRUE, FALSE, "");
        const DWORD Err = GetLastError();
        if (!ov->hEvent)
            ProcessError(1001, Err, QStringLiteral("Error Creating Overlapped Event"), 0);
        else if (Err == ERROR_ALREADY_EXISTS)
            ProcessError(1002, ERROR_ALREADY_EXISTS, QStringLiteral("Error Overlapped Event Exists"), 0);
    }
    WorkThread = new TWorkThread(this);
}

TSerialPort::~TSerialPort()
{
    // The worker must be gone before anything it touches is freed: close, stop it,
    // cancel the hand-overs it may be waiting in (they never run), join, then free.
    Destroying = true;
    Reactivate(false);
    WorkThread->Terminate();
    SyncBridge->CancelAll();
    delete WorkThread;
    WorkThread = nullptr;
    CloseHandle(WriteOverlapped.hEvent);
    CloseHandle(CommEventOverlapped.hEvent);
    CloseHandle(ReadOverlapped.hEvent);
    EnterCriticalSection(&ClusterLock);
    ClusterList.clear();
    LeaveCriticalSection(&ClusterLock);
    DeleteCriticalSection(&ClusterLock);
}

void TSerialPort::ProcessError(DWORD Place, DWORD Code, const QString& Msg, BYTE Noise)
{
    if (!Destroying && Noise <= FErrorNoise && OnProcessError)
        OnProcessError(this, Place, Code, Msg, Noise);
}

void TSerialPort::SetCommPort(const QString& Value)
{
    const QString v = Value.left(255);
    if (v == FCommPort)
        return;
    FCommPort = v;
    Reactivate(FActive);
}

void TSerialPort::SetBaudRate(DWORD Value)
{
    if (Value == FBaudRate)
        return;
    FBaudRate = Value;
    if (FXTOAuto)
        ApplyXTOAuto();
    if (FActive)
        ApplyCommState();
}

#define KV_REAPPLY_SETTER(Name, Type)   \
    void TSerialPort::Set##Name(Type Value) \
    {                                   \
        if (Value == F##Name)           \
            return;                     \
        F##Name = Value;                \
        if (FActive)                    \
            ApplyCommState();           \
    }

KV_REAPPLY_SETTER(ParityType, BYTE)
KV_REAPPLY_SETTER(ParityErrorChar, char)
KV_REAPPLY_SETTER(ParityErrorReplacement, bool)
KV_REAPPLY_SETTER(StopBits, BYTE)
KV_REAPPLY_SETTER(DataBits, BYTE)
KV_REAPPLY_SETTER(XONChar, char)
KV_REAPPLY_SETTER(XOFFChar, char)
KV_REAPPLY_SETTER(FlowControl, std::int32_t)
KV_REAPPLY_SETTER(StripNullChars, bool)
KV_REAPPLY_SETTER(EventChar, char)
KV_REAPPLY_SETTER(WTOCharDelayTime, DWORD)
KV_REAPPLY_SETTER(WTOExtraDelayTime, WORD)
#undef KV_REAPPLY_SETTER

void TSerialPort::SetXONLimDiv(BYTE Value)
{
    if (Value == FXONLimDiv)
        return;
    if (Value > 100) {
        ProcessError(100, Value, QStringLiteral("Warning XOnLimDef set to 100"), 1);
        Value = 100;
    }
    FXONLimDiv = Value;
    if (FActive)
        ApplyCommState();
}

void TSerialPort::SetXOFFLimDiv(BYTE Value)
{
    if (Value == FXOFFLimDiv)
        return;
    if (Value > 100) {
        ProcessError(100, Value, QStringLiteral("Warning XOffLimDef set to 100"), 1);
        Value = 100;
    }
    FXOFFLimDiv = Value;
    if (FActive)
        ApplyCommState();
}

void TSerialPort::SetRTOCharDelayTime(DWORD Value) { FRTOCharDelayTime = Value; }
void TSerialPort::SetRTOExtraDelayTime(WORD Value) { FRTOExtraDelayTime = Value; }

void TSerialPort::SetXTOAuto(bool Value)
{
    if (Value == FXTOAuto)
        return;
    FXTOAuto = Value;
    if (Value)
        ApplyXTOAuto();
}

void TSerialPort::SetClusterSize(WORD Value) { FClusterSize = Value; }
void TSerialPort::SetErrorNoise(BYTE Value) { FErrorNoise = Value; }
void TSerialPort::SetReadRequest(bool Value) { FReadRequest = Value; }

void TSerialPort::SetRxQueueSize(WORD Value)
{
    if (Value == FRxQueueSize)
        return;
    FRxQueueSize = Value;
    if (!SetupComm(FComHandle, FRxQueueSize, FTxQueueSize))
        ProcessError(101, GetLastError(), QStringLiteral("Error can not set Quesize"), 0);
}

void TSerialPort::SetTxQueueSize(WORD Value)
{
    if (Value == FTxQueueSize)
        return;
    FTxQueueSize = Value;
    if (!SetupComm(FComHandle, FRxQueueSize, FTxQueueSize))
        ProcessError(102, GetLastError(), QStringLiteral("Error can not set Quesize"), 0);
}

void TSerialPort::SetActive(bool Value)
{
    if (Value == FActive)
        return;
    Reactivate(Value);
}

bool TSerialPort::DriveRTS(bool On)
{
    if (EscapeCommFunction(FComHandle, On ? SETRTS : CLRRTS))
        return true;
    if (On)
        ProcessError(501, GetLastError(), QStringLiteral("Error setting RTS"), 0);
    else
        ProcessError(502, GetLastError(), QStringLiteral("Error clearing RTS"), 0);
    return false;
}

bool TSerialPort::DriveDTR(bool On)
{
    if (EscapeCommFunction(FComHandle, On ? SETDTR : CLRDTR))
        return true;
    if (On)
        ProcessError(601, GetLastError(), QStringLiteral("Error setting DTR"), 0);
    else
        ProcessError(602, GetLastError(), QStringLiteral("Error clearing DTR"), 0);
    return false;
}

void TSerialPort::SetRTSState(bool Value)
{
    if (Value == FRTSState || !FActive)
        return;
    DriveRTS(Value);
    FRTSState = Value;
}

void TSerialPort::SetDTRState(bool Value)
{
    if (Value == FDTRState || !FActive)
        return;
    DriveDTR(Value);
    FDTRState = Value;
}

void TSerialPort::SetBREAKState(bool Value)
{
    if (Value == FBREAKState || !FActive)
        return;
    if (Value) {
        if (!SetCommBreak(FComHandle))
            ProcessError(701, GetLastError(), QStringLiteral("Error setting BREAK State"), 0);
    } else {
        if (!ClearCommBreak(FComHandle))
            ProcessError(702, GetLastError(), QStringLiteral("Error clearing BREAK State"), 0);
    }
    FBREAKState = Value;
}

void TSerialPort::Reactivate(bool Value)
{
    if (FActive) {
        ProcessError(100, 0, QStringLiteral("Msg start deactivating Port"), 2);
        // Active falls first, so the worker never starts a wait on a port being closed.
        FActive = false;
        if (!SetCommMask(FComHandle, 0))
            ProcessError(101, GetLastError(), QStringLiteral("Error disabling CommEvents"), 0);
        if (!PurgeComm(FComHandle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR))
            ProcessError(102, GetLastError(), QStringLiteral("Error clearing Queues"), 0);
        WaitWhileThreadRunning(15);
        if (ThreadIsRunning)
            ProcessError(104, 0, QStringLiteral("Warning ThreadIsRunning"), 1);
        DriveDTR(false);
        DriveRTS(false);
        FDTRState = false;
        FRTSState = false;
        if (!CloseHandle(FComHandle))
            ProcessError(103, GetLastError(), QStringLiteral("Error closing Port"), 0);
        FComHandle = INVALID_HANDLE_VALUE;
    }
    if (Value) {
        ProcessError(110, 0, QStringLiteral("Msg start reactivating Port"), 2);
        const QByteArray Name = QByteArrayLiteral("\\\\.\\") + FCommPort.left(79).toLatin1();
        HANDLE h = CreateFileA(Name.constData(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED, nullptr);
        const DWORD Err = GetLastError();
        FComHandle = h;
        if (h != INVALID_HANDLE_VALUE) {
            if (!SetupComm(FComHandle, FRxQueueSize, FTxQueueSize))
                ProcessError(111, GetLastError(), QStringLiteral("Error setup Queuesize"), 0);
            ApplyCommState();
            // Both lines are driven at every open (the setters would act only on a change).
            DriveDTR(true);
            FDTRState = true;
            DriveRTS(true);
            FRTSState = true;
            EnableCommEvents();
            // Active rises once the port is set up, so the worker's first pass never
            // meets a port without its event mask.
            FActive = true;
        } else {
            FActive = false;
            ProcessError(112, Err, QStringLiteral("Error reopening Port"), 0);
        }
    }
}

void TSerialPort::EnableCommEvents()
{
    if (!SetCommMask(FComHandle, 0x1FF))
        ProcessError(201, GetLastError(), QStringLiteral("Error activating CommEventMask"), 0);
}

void TSerialPort::ApplyCommState()
{
    DCB Dcb;
    std::memset(&Dcb, 0, sizeof(Dcb));
    Dcb.DCBlength = sizeof(DCB);
    if (!GetCommState(FComHandle, &Dcb)) {
        ProcessError(801, GetLastError(), QStringLiteral("Error getting DCB from CommState"), 0);
        return;
    }
    Dcb.BaudRate = FBaudRate;
    DWORD Flags = DCB_fBinary;
    if (FParityType != 0)
        Flags |= DCB_fParity;
    if (FParityErrorReplacement)
        Flags |= DCB_fErrorChar;
    Flags |= static_cast<DWORD>(FFlowControl);
    if (FStripNullChars)
        Flags |= DCB_fNull;
    Dcb.Flags = Flags;
    Dcb.Parity = FParityType;
    Dcb.ErrorChar = FParityErrorChar;
    Dcb.EvtChar = FEventChar;
    Dcb.StopBits = FStopBits;
    Dcb.ByteSize = FDataBits;
    Dcb.XonChar = FXONChar;
    Dcb.XoffChar = FXOFFChar;
    Dcb.XonLim = static_cast<WORD>(DWORD(FRxQueueSize) * FXONLimDiv / 100);
    Dcb.XoffLim = static_cast<WORD>(DWORD(FRxQueueSize) * FXOFFLimDiv / 100);
    Dcb.EofChar = 0;

    COMMTIMEOUTS Timeouts;
    std::memset(&Timeouts, 0, sizeof(Timeouts));
    GetCommTimeouts(FComHandle, &Timeouts);
    Timeouts.ReadIntervalTimeout = 0xFFFFFFFF;
    Timeouts.ReadTotalTimeoutMultiplier = 0;
    Timeouts.ReadTotalTimeoutConstant = 0;
    Timeouts.WriteTotalTimeoutMultiplier = 0;
    Timeouts.WriteTotalTimeoutConstant = 0;
    if (!SetCommTimeouts(FComHandle, &Timeouts))
        ProcessError(802, GetLastError(), QStringLiteral("Error setting CommTimeout"), 0);

    if (!SetCommState(FComHandle, &Dcb))
        ProcessError(802, GetLastError(),
                     QStringLiteral("Error setting CommState, 87 indicate that Parms are incorrect"), 0);
}

void TSerialPort::ApplyXTOAuto()
{
    static const struct {
        DWORD Baud;
        DWORD Micros;
    } Table[] = {{110, 100000}, {300, 37000}, {600, 18000},  {1200, 9000},  {2400, 4500},
                 {4800, 2300},  {9600, 1100}, {14400, 760},  {19200, 570},  {38400, 290},
                 {56000, 200},  {57600, 190}, {115200, 95},  {128000, 85},  {256000, 43}};
    DWORD Micros = 1100;
    for (const auto& Row : Table)
        if (Row.Baud <= FBaudRate)
            Micros = Row.Micros;
    SetRTOCharDelayTime(Micros);
    SetWTOCharDelayTime(Micros);
}

void TSerialPort::SendData(const void* Buffer, DWORD Count)
{
    if (FSendInProgress) {
        ProcessError(901, 0, QStringLiteral("Msg, dont enter SendData while SendInProgress is set"), 2);
        return;
    }
    COMMTIMEOUTS Timeouts;
    std::memset(&Timeouts, 0, sizeof(Timeouts));
    GetCommTimeouts(FComHandle, &Timeouts);
    Timeouts.ReadIntervalTimeout = 0xFFFFFFFF;
    Timeouts.ReadTotalTimeoutMultiplier = 0;
    Timeouts.ReadTotalTimeoutConstant = 0;
    Timeouts.WriteTotalTimeoutMultiplier = 0;
    Timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(FWTOCharDelayTime * Count) / 1000 + FWTOExtraDelayTime;
    if (!SetCommTimeouts(FComHandle, &Timeouts))
        ProcessError(902, GetLastError(), QStringLiteral("Error setting CommTimeout"), 0);
    BytesToWrite = Count;
    DWORD Written = 0;
    if (WriteFile(FComHandle, Buffer, Count, &Written, &WriteOverlapped)) {
        FWrittenBytes = Written;
        if (OnWriteDone)
            OnWriteDone(this);
        return;
    }
    const DWORD Err = GetLastError();
    if (Err == ERROR_IO_PENDING) {
        SendStartTick = GetTickCount();
        FSendInProgress = true;
        return;
    }
    ProcessError(903, Err, QStringLiteral("Error writing Data"), 0);
    if (!ResetEvent(WriteOverlapped.hEvent))
        ProcessError(1101, GetLastError(), QStringLiteral("Error resetting Overlapped Event"), 0);
    FSendInProgress = false;
}

void TSerialPort::SendString(const QString& S)
{
    if (S.isEmpty())
        return;
    const QByteArray Bytes = S.toLatin1();
    SendData(Bytes.constData(), static_cast<DWORD>(Bytes.size()));
}

namespace {
void DropNilHead(std::vector<std::unique_ptr<TSerialCluster>>& List)
{
    if (!List.empty() && List.front() == nullptr)
        std::erase(List, nullptr);
}
}  // namespace

int TSerialPort::NextClusterSize()
{
    EnterCriticalSection(&ClusterLock);
    DropNilHead(ClusterList);
    const int Result = ClusterList.empty() ? -1 : ClusterList.front()->Size;
    LeaveCriticalSection(&ClusterLock);
    return Result;
}

int TSerialPort::NextClusterError()
{
    EnterCriticalSection(&ClusterLock);
    DropNilHead(ClusterList);
    const int Result = ClusterList.empty() ? -1 : static_cast<int>(ClusterList.front()->CommError);
    LeaveCriticalSection(&ClusterLock);
    return Result;
}

std::unique_ptr<BYTE[]> TSerialPort::ReadNextCluster(int& Size, int& Error)
{
    std::unique_ptr<BYTE[]> Result;
    Size = -1;
    Error = -1;
    EnterCriticalSection(&ClusterLock);
    DropNilHead(ClusterList);
    if (!ClusterList.empty()) {
        const TSerialCluster* c = ClusterList.front().get();
        Size = c->Size;
        Error = static_cast<int>(c->CommError);
        // The cluster goes with this call, so its block is handed on as it is.
        if (c->Size > 0)
            Result = std::move(ClusterList.front()->Data);
        ClusterList.erase(ClusterList.begin());
    }
    LeaveCriticalSection(&ClusterLock);
    return Result;
}

void TSerialPort::ClearRxDQueue()
{
    if (FActive && !PurgeComm(FComHandle, PURGE_RXABORT | PURGE_RXCLEAR))
        ProcessError(301, GetLastError(), QStringLiteral("Error clearing RxD Queue"), 0);
}

void TSerialPort::ClearTxDQueue()
{
    if (FActive && !PurgeComm(FComHandle, PURGE_TXABORT | PURGE_TXCLEAR))
        ProcessError(401, GetLastError(), QStringLiteral("Error clearing TxD Queue"), 0);
}

void TSerialPort::ThreadTerminated() { ThreadIsRunning = false; }

void TSerialPort::WaitWhileThreadRunning(int N)
{
    for (int i = 0; i < N && ThreadIsRunning; ++i)
        Sleep(75);
}

// ---- TWorkThread -----------------------------------------------------------------------------

TWorkThread::TWorkThread(TSerialPort* AOwner) : Owner(AOwner)
{
    FThread = std::thread([this] { Execute(); });
}

TWorkThread::~TWorkThread()
{
    if (FThread.joinable())
        FThread.join();
}

void TWorkThread::SyncCall(void (TWorkThread::*method)(), std::chrono::steady_clock::time_point quietUntil)
{
    if (Owner->ThreadQuietMode || Owner->Destroying)
        return;
    Owner->SyncBridge->Run([this, method] { (this->*method)(); }, quietUntil);
}

void TWorkThread::ReportError(DWORD Place, DWORD Code, const QString& Msg, BYTE Noise)
{
    FPlace = Place;
    FCode = Code;
    FMsg = Msg;
    FNoise = Noise;
    SyncCall(&TWorkThread::DoProcessError);
}

void TWorkThread::DoProcessError() { Owner->ProcessError(FPlace, FCode, FMsg, FNoise); }

void TWorkThread::DoRxClusterEvent()
{
    if (Owner->OnRxClusterEvent)
        Owner->OnRxClusterEvent(Owner);
}

void TWorkThread::DoWriteDone()
{
    if (Owner->OnWriteDone)
        Owner->OnWriteDone(Owner);
}

void TWorkThread::DoCommEvent() { Owner->OnCommEvent(Owner); }
void TWorkThread::DoCommStat() { Owner->OnCommStat(Owner); }
void TWorkThread::DoBreakEvent() { Owner->OnBreakEvent(Owner); }
void TWorkThread::DoCTSEvent() { Owner->OnCTSEvent(Owner); }
void TWorkThread::DoDSREvent() { Owner->OnDSREvent(Owner); }
void TWorkThread::DoLineErrorEvent() { Owner->OnLineErrorEvent(Owner); }
void TWorkThread::DoRingEvent() { Owner->OnRingEvent(Owner); }
void TWorkThread::DoRIEvent() { Owner->OnRIEvent(Owner); }
void TWorkThread::DoRLSDEvent() { Owner->OnRLSDEvent(Owner); }
void TWorkThread::DoRxCharEvent() { Owner->OnRxCharEvent(Owner); }
void TWorkThread::DoRxEventCharEvent() { Owner->OnRxEventCharEvent(Owner); }
void TWorkThread::DoTxQueueEmptyEvent() { Owner->OnTxQueueEmptyEvent(Owner); }

void TWorkThread::Execute()
{
    Stop = Terminated();
    Running = Owner->FActive;
    while (!Stop) {
        if (!Running) {
            Owner->ThreadIsRunning = false;
            Running = Owner->FActive;
            Sleep(200);
        } else {
            Owner->ThreadIsRunning = true;
            WaitFailed = false;
            if (Owner->FActive)
                CheckModemAndErrors();
            CheckWriteDone();
            if (!ReadPending && Owner->FActive)
                StartRead();
            if (!WaitPending && Owner->FActive)
                StartCommEventWait();
            if (ReadPending && WaitPending) {
                const HANDLE Handles[2] = {Owner->ReadOverlapped.hEvent, Owner->CommEventOverlapped.hEvent};
                const DWORD r = WaitForMultipleObjects(2, Handles, FALSE, 75);
                LastStatus = r;
                if (Owner->FActive)
                    CheckModemAndErrors();
                if (r == WAIT_OBJECT_0)
                    ReadDone();
                else if (r == WAIT_OBJECT_0 + 1)
                    CommEventDone();
                else if (r != WAIT_TIMEOUT) {
                    ReportError(9911, r, QStringLiteral("Error getting Overlappedresult"), 0);
                    ReadPending = false;
                    WaitPending = false;
                }
            } else if (ReadPending) {
                const DWORD r = WaitForSingleObject(Owner->ReadOverlapped.hEvent, 75);
                LastStatus = r;
                if (Owner->FActive)
                    CheckModemAndErrors();
                if (r == WAIT_OBJECT_0)
                    ReadDone();
                else if (r != WAIT_TIMEOUT) {
                    ReportError(9912, r, QStringLiteral("Error getting Overlappedresult"), 0);
                    ReadPending = false;
                }
            } else if (WaitPending) {
                const DWORD r = WaitForSingleObject(Owner->CommEventOverlapped.hEvent, 75);
                LastStatus = r;
                if (Owner->FActive)
                    CheckModemAndErrors();
                if (r == WAIT_OBJECT_0)
                    CommEventDone();
                else if (r != WAIT_TIMEOUT) {
                    ReportError(9913, r, QStringLiteral("Error getting Overlappedresult"), 0);
                    WaitPending = false;
                }
            } else if (WaitFailed && Owner->FActive) {
                // A failing port: nothing to wait on, so pace the pass instead of spinning.
                Sleep(75);
            }
            if (!Owner->FActive) {
                if (ReadPending)
                    SetEvent(Owner->ReadOverlapped.hEvent);
                if (WaitPending) {
                    SetCommMask(Owner->FComHandle, 0);
                    SetEvent(Owner->CommEventOverlapped.hEvent);
                }
                if (!ReadPending && !WaitPending && !Owner->FSendInProgress)
                    Running = false;
            }
        }
        if (Terminated() && !Running)
            Stop = true;
    }
    Owner->ThreadDone = true;
    Owner->ThreadTerminated();
}

void TWorkThread::CheckModemAndErrors()
{
    const HANDLE h = Owner->FComHandle;
    DWORD NewStatus = 0;
    if (GetCommModemStatus(h, &NewStatus)) {
        bool RingDue = false;
        const DWORD Old = Owner->FModemState;
        if (Owner->PlatformId == 1 && !(NewStatus & MS_RING_ON) && (Old & MS_RING_ON)) {
            Owner->FRingState = false;
            RingDue = true;
        }
        const bool RIChanged = ((NewStatus ^ Old) & MS_RING_ON) != 0;
        Owner->FModemState = NewStatus;
        Owner->FCTSState = (NewStatus & MS_CTS_ON) != 0;
        Owner->FDSRState = (NewStatus & MS_DSR_ON) != 0;
        Owner->FRLSDState = (NewStatus & MS_RLSD_ON) != 0;
        Owner->FRingState = (NewStatus & MS_RING_ON) != 0;
        if (RIChanged && Owner->OnRIEvent)
            SyncCall(&TWorkThread::DoRIEvent);
        if (RingDue)
            DispatchCommEvents(EV_RING);
    } else {
        LastStatus = GetLastError();
        ReportError(9905, LastStatus, QStringLiteral("Error getting ModemStatus"), 0);
    }

    DWORD Errors = 0;
    COMSTAT Stat;
    std::memset(&Stat, 0, sizeof(Stat));
    if (ClearCommError(h, &Errors, &Stat)) {
        LineErrors = Errors;
        PendingLineErrors |= Errors;
        ComStat = Stat;
        const TComStateFlags Flags = static_cast<TComStateFlags>(Stat.Flags & 0xFF);
        if (Errors == Owner->FCommError && Flags == Owner->FCommStateFlags && Stat.cbInQue == Owner->FCommStateInQueue
            && Stat.cbOutQue == Owner->FCommStateOutQueue)
            return;
        Owner->FCommError = Errors;
        Owner->FCommStateFlags = Flags;
        Owner->FCommStateInQueue = Stat.cbInQue;
        Owner->FCommStateOutQueue = Stat.cbOutQue;
        if (Owner->OnCommStat)
            SyncCall(&TWorkThread::DoCommStat);
    } else {
        LastStatus = GetLastError();
        ReportError(9803, LastStatus, QStringLiteral("Error ClearCommError"), 0);
    }
}

void TWorkThread::CheckWriteDone()
{
    if (!Owner->FSendInProgress)
        return;
    WriteCheckCount = 0;
    // Everything of this write is read and done before SendInProgress falls: from then on
    // the GUI thread may start the next write, which sets BytesToWrite and the record anew.
    if (GetOverlappedResult(Owner->FComHandle, &Owner->WriteOverlapped, &WriteCheckCount, FALSE)) {
        const bool Short = WriteCheckCount != Owner->BytesToWrite;
        Owner->FWrittenBytes = WriteCheckCount;
        Owner->FSendInProgress = false;
        if (Short)
            ReportError(9701, LastStatus, QStringLiteral("Error write TimeOut"), 0);
        SyncCall(&TWorkThread::DoWriteDone);
        return;
    }
    const DWORD Err = GetLastError();
    LastStatus = Err;
    if (Err == ERROR_IO_INCOMPLETE || Err == ERROR_IO_PENDING) {
        // A write still outstanding ends at the write time-out: the one SendData gave the
        // driver for an incomplete write, the one of the bytes moved so far otherwise.
        const DWORD Count = Err == ERROR_IO_INCOMPLETE ? Owner->BytesToWrite.load() : WriteCheckCount;
        const DWORD Elapsed = GetTickCount() - Owner->SendStartTick;
        const double Limit = static_cast<DWORD>(Count * Owner->FWTOCharDelayTime) / 1000.0 + Owner->FWTOExtraDelayTime;
        if (Elapsed <= Limit)
            return;
        Owner->FWrittenBytes = WriteCheckCount;
        ResetEvent(Owner->WriteOverlapped.hEvent);
        Owner->FSendInProgress = false;
        ReportError(9701, Err, QStringLiteral("Error write TimeOut"), 0);
        SyncCall(&TWorkThread::DoWriteDone);
        return;
    }
    ResetEvent(Owner->WriteOverlapped.hEvent);
    Owner->FSendInProgress = false;
    ReportError(9702, Err, QStringLiteral("Error getting Overlapped Result"), 0);
    SyncCall(&TWorkThread::DoWriteDone);
}

void TWorkThread::StartRead()
{
    const DWORD N = ComStat.cbInQue;
    if (N == 0) {
        LastRxTick = GetTickCount();
        return;
    }
    const DWORD Now = GetTickCount();
    if (!Owner->FReadRequest && N < Owner->FClusterSize) {
        const double TimeOut = static_cast<DWORD>(N * Owner->FRTOCharDelayTime) / 1000.0 + Owner->FRTOExtraDelayTime;
        if (static_cast<DWORD>(Now - LastRxTick) <= TimeOut && !(PendingLineErrors & 0x1F))
            return;
    }
    ReadCount = N;
    ReadBuffer = new BYTE[N];
    BytesRead = 0;
    if (ReadFile(Owner->FComHandle, ReadBuffer, N, &BytesRead, &Owner->ReadOverlapped)) {
        Owner->FReadRequest = false;
        DeliverCluster(ReadBuffer, BytesRead);
        delete[] ReadBuffer;
        ReadBuffer = nullptr;
        LastRxTick = GetTickCount();
        return;
    }
    const DWORD Err = GetLastError();
    LastStatus = Err;
    if (Err == ERROR_IO_PENDING) {
        ReadPending = true;
        return;
    }
    Owner->FReadRequest = false;
    delete[] ReadBuffer;
    ReadBuffer = nullptr;
    ReportError(9804, Err, QStringLiteral("Error reading Data"), 0);
}

void TWorkThread::DeliverCluster(BYTE*& Buffer, DWORD Count)
{
    if (Owner->Destroying)
        return;
    // The cluster takes over the block the bytes were read into (the read's own, made
    // for this read alone): no second block and no copy for each read.
    std::unique_ptr<BYTE[]> Data;
    if (Count > 0) {
        Data.reset(Buffer);
        Buffer = nullptr;
    }
    auto Cluster = std::make_unique<TSerialCluster>(std::move(Data), static_cast<int>(Count), PendingLineErrors);
    PendingLineErrors = 0;
    EnterCriticalSection(&Owner->ClusterLock);
    Owner->ClusterList.push_back(std::move(Cluster));
    LeaveCriticalSection(&Owner->ClusterLock);
    // The line hands on received bytes a latency after the first of them (a USB serial
    // adapter's timer, or the device's own pacing): the bytes that follow these cannot be
    // read sooner than that, so the worker need not be woken the moment the handler ran.
    // It still returns only once the handler ran, and the next read is no later.
    SyncCall(&TWorkThread::DoRxClusterEvent, std::chrono::steady_clock::now() + kClusterQuiet);
}

void TWorkThread::ReadDone()
{
    DWORD Count = 0;
    if (GetOverlappedResult(Owner->FComHandle, &Owner->ReadOverlapped, &Count, FALSE)) {
        DeliverCluster(ReadBuffer, Count);
        delete[] ReadBuffer;
        ReadBuffer = nullptr;
        LastRxTick = GetTickCount();
    } else {
        const DWORD Err = GetLastError();
        LastStatus = Err;
        if (Err == ERROR_IO_INCOMPLETE) {
            // Still outstanding (its event was set to end the wait early): the driver
            // still owns the buffer, so the read stays pending until it ends.
            ResetEvent(Owner->ReadOverlapped.hEvent);
            return;
        }
        delete[] ReadBuffer;
        ReadBuffer = nullptr;
        if (Err == ERROR_OPERATION_ABORTED)
            ReportError(9907, Err, QStringLiteral("Error read aborted"), 0);
        else
            ReportError(9908, Err, QStringLiteral("Error getting Overlappedresult"), 0);
    }
    ReadPending = false;
}

void TWorkThread::StartCommEventWait()
{
    EventMask = 0;
    if (WaitCommEvent(Owner->FComHandle, &EventMask, &Owner->CommEventOverlapped)) {
        CheckModemAndErrors();
        DispatchCommEvents(EventMask);
        return;
    }
    const DWORD Err = GetLastError();
    LastStatus = Err;
    if (Err == ERROR_IO_PENDING) {
        WaitPending = true;
        return;
    }
    // The port was found open just before, but closing has cleared Active and then the
    // mask in between: the refusal is the port closing, not a fault. Reporting it would
    // hold this thread in a hand-over that the closing GUI thread does not run.
    if (!Owner->FActive)
        return;
    WaitFailed = true;
    ReportError(9907, Err, QStringLiteral("Error calling WaitCommEvent"), 0);
}

void TWorkThread::CommEventDone()
{
    DWORD Unused = 0;
    // A wait that ended in an error (the device went away) carries no events.
    const bool Ok = GetOverlappedResult(Owner->FComHandle, &Owner->CommEventOverlapped, &Unused, FALSE);
    if (!Ok && GetLastError() == ERROR_IO_INCOMPLETE) {
        // Its event was set to end the wait early; the wait itself is still outstanding.
        ResetEvent(Owner->CommEventOverlapped.hEvent);
        if (Owner->FActive)
            return;
    }
    if (Owner->FActive) {
        CheckModemAndErrors();
        DispatchCommEvents(Ok ? EventMask : 0);
    }
    WaitPending = false;
}

void TWorkThread::DispatchCommEvents(DWORD Mask)
{
    if (Owner->Destroying)
        return;
    Owner->FCommEvent = Mask;
    if ((Mask & EV_BREAK) && Owner->OnBreakEvent)
        SyncCall(&TWorkThread::DoBreakEvent);
    if ((Mask & EV_CTS) && Owner->OnCTSEvent)
        SyncCall(&TWorkThread::DoCTSEvent);
    if ((Mask & EV_DSR) && Owner->OnDSREvent)
        SyncCall(&TWorkThread::DoDSREvent);
    if ((Mask & EV_ERR) && Owner->OnLineErrorEvent)
        SyncCall(&TWorkThread::DoLineErrorEvent);
    if ((Mask & EV_RING) && Owner->OnRingEvent)
        SyncCall(&TWorkThread::DoRingEvent);
    if ((Mask & EV_RLSD) && Owner->OnRLSDEvent)
        SyncCall(&TWorkThread::DoRLSDEvent);
    if ((Mask & EV_RXCHAR) && Owner->OnRxCharEvent)
        SyncCall(&TWorkThread::DoRxCharEvent);
    if ((Mask & EV_RXFLAG) && Owner->OnRxEventCharEvent)
        SyncCall(&TWorkThread::DoRxEventCharEvent);
    if ((Mask & EV_TXEMPTY) && Owner->OnTxQueueEmptyEvent)
        SyncCall(&TWorkThread::DoTxQueueEmptyEvent);
    if (Mask != 0 && Owner->OnCommEvent)
        SyncCall(&TWorkThread::DoCommEvent);
}
