// A scripted serial device for the component's tests, and a virtual tick clock.
//
// Installed as the device factory, it answers CreateFileA for every path under
// "/dev/FAKE" (other paths fall through to the real devices). Tests feed received bytes,
// line errors, modem lines and communication events, script the write and call
// failures, and inspect the calls the component made.
#pragma once

#include "CommDevice.h"
#include "Win32.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// ---- virtual clock -------------------------------------------------------------------------
inline std::atomic<DWORD> g_virtualTick{0};
inline DWORD VirtualTick() { return g_virtualTick.load(); }
struct VirtualClock {
    explicit VirtualClock(DWORD start = 1000) { g_virtualTick = start; SetTickCountSource(&VirtualTick); }
    ~VirtualClock() { SetTickCountSource(nullptr); }
    void Set(DWORD t) { g_virtualTick = t; }
    void Advance(DWORD ms) { g_virtualTick += ms; }
    DWORD Now() const { return g_virtualTick.load(); }
};

// ---- the device ----------------------------------------------------------------------------
struct FakeWriteAnswer {
    enum Kind { AtOnce, Short, Pending, Fail } kind = AtOnce;
    DWORD shortCount = 0;  // Short: bytes reported written
    DWORD failCode = 0;    // Fail: error of WriteFile
};

// GetOverlappedResult's answer for a pending write.
struct FakeWriteResult {
    bool done = false;      // success with `count`
    DWORD count = 0;
    DWORD error = ERROR_IO_INCOMPLETE;  // when not done
};

class FakeCommDevice;

struct FakeCommState {
    std::mutex m;
    std::string path;
    std::deque<BYTE> rx;
    DWORD errors = 0;  // returned and cleared by the next ClearCommError
    DWORD modem = 0;
    DWORD outQueue = 0;
    DWORD eventMask = 0;
    DWORD pendingEvents = 0;
    std::vector<BYTE> written;
    std::vector<std::string> calls;
    // The calls made on the thread that opened the device (the GUI thread), apart from
    // the worker's: a sequence of the component's own steps can be checked exactly.
    std::thread::id opener = std::this_thread::get_id();
    std::vector<std::string> openerCalls;
    std::vector<DCB> states;
    std::vector<COMMTIMEOUTS> timeouts;
    std::map<std::string, DWORD> fail;  // call name -> error code
    FakeWriteAnswer writeAnswer;
    FakeWriteResult writeResult;
    bool closed = false;
    std::atomic<bool> readEmpty{false};  // ReadFile completes with no bytes
    bool readPends = false;  // ReadFile stays outstanding until CompleteRead()
    // Observers (called without the lock).
    std::function<void(const std::string&)> onCall;
    // Runs on the calling thread as WaitCommEvent begins, before the device looks at
    // anything (set with SetBeforeWait).
    std::function<void()> beforeWait;
    void SetBeforeWait(std::function<void()> f)
    {
        std::lock_guard<std::mutex> l(m);
        beforeWait = std::move(f);
    }
    FakeCommDevice* device = nullptr;

    std::vector<std::string> Calls()
    {
        std::lock_guard<std::mutex> l(m);
        return calls;
    }
    std::vector<std::string> OpenerCalls()
    {
        std::lock_guard<std::mutex> l(m);
        return openerCalls;
    }
    // With m held.
    void Log(const std::string& call)
    {
        calls.push_back(call);
        if (std::this_thread::get_id() == opener)
            openerCalls.push_back(call);
    }
    void Unlog()
    {
        if (std::this_thread::get_id() == opener)
            openerCalls.pop_back();
        calls.pop_back();
    }
    bool Called(const std::string& call)
    {
        std::lock_guard<std::mutex> l(m);
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }
    bool RxEmpty()
    {
        std::lock_guard<std::mutex> l(m);
        return rx.empty();
    }
    void ClearCalls()
    {
        std::lock_guard<std::mutex> l(m);
        calls.clear();
        openerCalls.clear();
    }
    void Feed(const std::vector<BYTE>& bytes);
    void Feed(const char* text) { Feed(std::vector<BYTE>(text, text + std::strlen(text))); }
    void SetErrors(DWORD e)
    {
        std::lock_guard<std::mutex> l(m);
        errors |= e;
    }
    void SetModem(DWORD s)
    {
        std::lock_guard<std::mutex> l(m);
        modem = s;
    }
    void Fail(const std::string& call, DWORD code)
    {
        std::lock_guard<std::mutex> l(m);
        fail[call] = code;
    }
    void Raise(DWORD events);
    bool CompleteRead(DWORD status);
    bool ReadOutstanding();
    void SetWriteResult(FakeWriteResult r)
    {
        std::lock_guard<std::mutex> l(m);
        writeResult = r;
    }
};

class FakeCommDevice : public CommDevice {
public:
    explicit FakeCommDevice(std::shared_ptr<FakeCommState> s) : s_(std::move(s)) { s_->device = this; }
    ~FakeCommDevice() override
    {
        std::lock_guard<std::mutex> l(s_->m);
        if (s_->device == this)
            s_->device = nullptr;
    }

    // With s_->m held.
    bool Failing(const std::string& call, BOOL& result)
    {
        s_->Log(call);
        if (s_->closed) {
            SetLastError(ERROR_INVALID_HANDLE);
            result = FALSE;
            return true;
        }
        auto it = s_->fail.find(call);
        if (it != s_->fail.end()) {
            SetLastError(it->second);
            result = FALSE;
            return true;
        }
        return false;
    }
    void Notify(const std::string& call)
    {
        if (s_->onCall)
            s_->onCall(call);
    }

    BOOL Read(LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED ov) override
    {
        std::lock_guard<std::mutex> l(s_->m);
        BOOL r;
        if (Failing("ReadFile", r))
            return r;
        if (s_->readPends) {
            readOv_ = ov;
            readBuf_ = static_cast<BYTE*>(buffer);
            readCount_ = toRead;
            Begin(ov);
            SetLastError(ERROR_IO_PENDING);
            return FALSE;
        }
        DWORD n = 0;
        while (!s_->readEmpty && n < toRead && !s_->rx.empty()) {
            static_cast<BYTE*>(buffer)[n++] = s_->rx.front();
            s_->rx.pop_front();
        }
        if (read)
            *read = n;
        if (ov)
            Complete(ov, ERROR_SUCCESS, n);
        return TRUE;
    }

    BOOL Write(LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED ov) override
    {
        std::unique_lock<std::mutex> l(s_->m);
        BOOL r;
        if (Failing("WriteFile", r))
            return r;
        const BYTE* p = static_cast<const BYTE*>(buffer);
        switch (s_->writeAnswer.kind) {
        case FakeWriteAnswer::AtOnce:
            s_->written.insert(s_->written.end(), p, p + toWrite);
            if (written)
                *written = toWrite;
            Complete(ov, ERROR_SUCCESS, toWrite);
            return TRUE;
        case FakeWriteAnswer::Short:
            s_->written.insert(s_->written.end(), p, p + s_->writeAnswer.shortCount);
            if (written)
                *written = s_->writeAnswer.shortCount;
            Complete(ov, ERROR_SUCCESS, s_->writeAnswer.shortCount);
            return TRUE;
        case FakeWriteAnswer::Pending:
            s_->written.insert(s_->written.end(), p, p + toWrite);
            writeOv_ = ov;
            Begin(ov);
            SetLastError(ERROR_IO_PENDING);
            return FALSE;
        case FakeWriteAnswer::Fail:
            SetLastError(s_->writeAnswer.failCode);
            return FALSE;
        }
        return FALSE;
    }

    BOOL OverlappedResult(LPOVERLAPPED ov, LPDWORD transferred, BOOL wait) override
    {
        {
            std::lock_guard<std::mutex> l(s_->m);
            if (s_->closed) {
                SetLastError(ERROR_INVALID_HANDLE);
                return FALSE;
            }
            if (ov == writeOv_) {
                s_->Log("GetOverlappedResult(write)");
                const FakeWriteResult wr = s_->writeResult;
                if (wr.done) {
                    writeOv_ = nullptr;
                    if (transferred)
                        *transferred = wr.count;
                    return TRUE;
                }
                if (transferred)
                    *transferred = wr.count;
                SetLastError(wr.error);
                return FALSE;
            }
        }
        return CommDevice::OverlappedResult(ov, transferred, wait);
    }

    BOOL Setup(DWORD in, DWORD out) override
    {
        std::lock_guard<std::mutex> l(s_->m);
        BOOL r;
        if (Failing("SetupComm " + std::to_string(in) + " " + std::to_string(out), r) || Failing("SetupComm", r))
            return r;
        return TRUE;
    }
    BOOL GetState(LPDCB dcb) override
    {
        std::lock_guard<std::mutex> l(s_->m);
        BOOL r;
        if (Failing("GetCommState", r))
            return r;
        if (s_->states.empty()) {
            std::memset(dcb, 0, sizeof(*dcb));
            dcb->DCBlength = sizeof(DCB);
            dcb->BaudRate = 9600;
            dcb->ByteSize = 8;
            dcb->wReserved1 = 0x5A5A;  // a member the component must keep
        } else {
            *dcb = s_->states.back();
        }
        return TRUE;
    }
    BOOL SetState(const DCB& dcb) override
    {
        {
            std::lock_guard<std::mutex> l(s_->m);
            BOOL r;
            if (Failing("SetCommState", r))
                return r;
            s_->states.push_back(dcb);
        }
        Notify("SetCommState");
        return TRUE;
    }
    BOOL GetTimeouts(LPCOMMTIMEOUTS t) override
    {
        std::lock_guard<std::mutex> l(s_->m);
        BOOL r;
        if (Failing("GetCommTimeouts", r))
            return r;
        if (s_->timeouts.empty())
            *t = COMMTIMEOUTS{1, 2, 3, 4, 5};
        else
            *t = s_->timeouts.back();
        return TRUE;
    }
    BOOL SetTimeouts(const COMMTIMEOUTS& t) override
    {
        std::lock_guard<std::mutex> l(s_->m);
        BOOL r;
        if (Failing("SetCommTimeouts", r))
            return r;
        s_->timeouts.push_back(t);
        return TRUE;
    }
    BOOL SetMask(DWORD mask) override
    {
        {
            std::lock_guard<std::mutex> l(s_->m);
            BOOL r;
            if (Failing("SetCommMask " + std::to_string(mask), r))
                return r;
            s_->eventMask = mask;
            s_->pendingEvents &= mask;
            if (waitOv_) {
                *waitMask_ = 0;
                LPOVERLAPPED ov = waitOv_;
                waitOv_ = nullptr;
                Complete(ov, ERROR_SUCCESS, 0);
            }
        }
        Notify("SetCommMask " + std::to_string(mask));
        return TRUE;
    }
    BOOL GetMask(LPDWORD mask) override
    {
        std::lock_guard<std::mutex> l(s_->m);
        *mask = s_->eventMask;
        return TRUE;
    }
    BOOL WaitEvent(LPDWORD mask, LPOVERLAPPED ov) override
    {
        std::function<void()> before;
        {
            std::lock_guard<std::mutex> l(s_->m);
            before = s_->beforeWait;
        }
        if (before)
            before();
        std::lock_guard<std::mutex> l(s_->m);
        BOOL r;
        if (Failing("WaitCommEvent", r))
            return r;
        if (waitOv_ || s_->eventMask == 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (s_->pendingEvents & s_->eventMask) {
            *mask = s_->pendingEvents & s_->eventMask;
            s_->pendingEvents = 0;
            Complete(ov, ERROR_SUCCESS, 0);
            return TRUE;
        }
        waitOv_ = ov;
        waitMask_ = mask;
        Begin(ov);
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    // With s_->m held.
    void RaiseLocked(DWORD events)
    {
        s_->pendingEvents |= events & s_->eventMask;
        if (waitOv_ && (s_->pendingEvents & s_->eventMask)) {
            *waitMask_ = s_->pendingEvents & s_->eventMask;
            s_->pendingEvents = 0;
            LPOVERLAPPED ov = waitOv_;
            waitOv_ = nullptr;
            Complete(ov, ERROR_SUCCESS, 0);
        }
    }
    // With s_->m held: ends the outstanding read with `status`, moving the queued bytes
    // into its buffer on success.
    bool CompleteReadLocked(DWORD status)
    {
        if (!readOv_)
            return false;
        DWORD n = 0;
        while (status == ERROR_SUCCESS && n < readCount_ && !s_->rx.empty()) {
            readBuf_[n++] = s_->rx.front();
            s_->rx.pop_front();
        }
        LPOVERLAPPED ov = readOv_;
        readOv_ = nullptr;
        readBuf_ = nullptr;
        Complete(ov, status, n);
        return true;
    }
    bool ReadOutstanding() const { return readOv_ != nullptr; }
    BOOL ClearError(LPDWORD errors, LPCOMSTAT stat) override
    {
        std::lock_guard<std::mutex> l(s_->m);
        BOOL r;
        if (Failing("ClearCommError", r)) {
            s_->Unlog();
            return r;
        }
        s_->Unlog();  // polled on every pass: kept out of the call log
        if (errors)
            *errors = s_->errors;
        s_->errors = 0;
        if (stat) {
            stat->Flags = 0;
            stat->cbInQue = static_cast<DWORD>(s_->rx.size());
            stat->cbOutQue = s_->outQueue;
        }
        return TRUE;
    }
    BOOL ModemStatus(LPDWORD status) override
    {
        std::lock_guard<std::mutex> l(s_->m);
        BOOL r;
        if (Failing("GetCommModemStatus", r)) {
            s_->Unlog();
            return r;
        }
        s_->Unlog();
        *status = s_->modem;
        return TRUE;
    }
    BOOL Escape(DWORD function) override
    {
        std::lock_guard<std::mutex> l(s_->m);
        BOOL r;
        if (Failing("Escape " + std::to_string(function), r))
            return r;
        return TRUE;
    }
    BOOL Purge(DWORD flags) override
    {
        std::lock_guard<std::mutex> l(s_->m);
        BOOL r;
        if (Failing("PurgeComm " + std::to_string(flags), r))
            return r;
        if (flags & PURGE_RXABORT)
            CompleteReadLocked(ERROR_OPERATION_ABORTED);
        if (flags & PURGE_RXCLEAR)
            s_->rx.clear();
        return TRUE;
    }
    void Close() override
    {
        std::lock_guard<std::mutex> l(s_->m);
        s_->Log("CloseHandle");
        s_->closed = true;
        if (waitOv_)
            Complete(waitOv_, ERROR_OPERATION_ABORTED, 0);
        CompleteReadLocked(ERROR_OPERATION_ABORTED);
        waitOv_ = nullptr;
        writeOv_ = nullptr;
    }

private:
    std::shared_ptr<FakeCommState> s_;
    LPOVERLAPPED writeOv_ = nullptr;
    LPOVERLAPPED readOv_ = nullptr;
    BYTE* readBuf_ = nullptr;
    DWORD readCount_ = 0;
    LPOVERLAPPED waitOv_ = nullptr;
    LPDWORD waitMask_ = nullptr;
};

inline void FakeCommState::Feed(const std::vector<BYTE>& bytes)
{
    std::lock_guard<std::mutex> l(m);
    rx.insert(rx.end(), bytes.begin(), bytes.end());
    if (device)
        device->RaiseLocked(EV_RXCHAR);
}

inline bool FakeCommState::CompleteRead(DWORD status)
{
    std::lock_guard<std::mutex> l(m);
    return device && device->CompleteReadLocked(status);
}

inline bool FakeCommState::ReadOutstanding()
{
    std::lock_guard<std::mutex> l(m);
    return device && device->ReadOutstanding();
}

inline void FakeCommState::Raise(DWORD events)
{
    std::lock_guard<std::mutex> l(m);
    if (device)
        device->RaiseLocked(events);
}

// Installs the factory for the test's lifetime; every open of a /dev/FAKE* path gets a
// fresh state, kept in `opened` (the last one is `Last()`).
struct FakeCommBackend {
    std::mutex m;
    std::vector<std::shared_ptr<FakeCommState>> opened;
    std::map<std::string, DWORD> refuse;  // path -> CreateFileA error
    std::function<void(FakeCommState&)> prepare;

    FakeCommBackend()
    {
        SetCommDeviceFactory([this](const std::string& path, DWORD& error) -> std::shared_ptr<CommDevice> {
            if (path.rfind("/dev/FAKE", 0) != 0)
                return nullptr;
            std::lock_guard<std::mutex> l(m);
            auto it = refuse.find(path);
            if (it != refuse.end()) {
                error = it->second;
                return nullptr;
            }
            auto s = std::make_shared<FakeCommState>();
            s->path = path;
            if (prepare)
                prepare(*s);
            opened.push_back(s);
            return std::make_shared<FakeCommDevice>(s);
        });
    }
    ~FakeCommBackend() { SetCommDeviceFactory(nullptr); }
    std::shared_ptr<FakeCommState> Last()
    {
        std::lock_guard<std::mutex> l(m);
        return opened.empty() ? nullptr : opened.back();
    }
    std::size_t Count()
    {
        std::lock_guard<std::mutex> l(m);
        return opened.size();
    }
};
