// The object behind a serial handle. CreateFileA makes one through the installed device
// factory (tests put scripted devices there) or, by default, a POSIX terminal device; the
// Win32 comm calls look the handle up and forward to it.
#pragma once

#include "Win32.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>

// Any object a handle can stand for.
class HandleObject {
public:
    virtual ~HandleObject() = default;
    // CloseHandle: called once, before the entry leaves the table.
    virtual void Close() {}
};

// Serial device. Every call returns the Win32 result and sets the thread's last error
// on failure. Overlapped operations complete through Complete(), which fills the
// caller's OVERLAPPED and signals its event; after Close() returns the device never
// touches an OVERLAPPED or a caller's buffer again.
//
// A device may do its I/O inside the waits of its callers instead of on a thread of its
// own: the event of every operation it leaves outstanding is tied to the device, and a
// thread that waits on such an event runs the device's Pump in place of a plain wait.
class CommDevice : public HandleObject, public std::enable_shared_from_this<CommDevice> {
public:
    virtual BOOL Read(LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED ov) = 0;
    virtual BOOL Write(LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED ov) = 0;
    virtual BOOL OverlappedResult(LPOVERLAPPED ov, LPDWORD transferred, BOOL wait);
    virtual BOOL Setup(DWORD inQueue, DWORD outQueue) = 0;
    virtual BOOL GetState(LPDCB dcb) = 0;
    virtual BOOL SetState(const DCB& dcb) = 0;
    virtual BOOL GetTimeouts(LPCOMMTIMEOUTS t) = 0;
    virtual BOOL SetTimeouts(const COMMTIMEOUTS& t) = 0;
    virtual BOOL SetMask(DWORD mask) = 0;
    virtual BOOL GetMask(LPDWORD mask) = 0;
    virtual BOOL WaitEvent(LPDWORD mask, LPOVERLAPPED ov) = 0;
    virtual BOOL ClearError(LPDWORD errors, LPCOMSTAT stat) = 0;
    virtual BOOL ModemStatus(LPDWORD status) = 0;
    // SETRTS .. CLRBREAK.
    virtual BOOL Escape(DWORD function) = 0;
    virtual BOOL Purge(DWORD flags) = 0;

    // Waits up to `milliseconds` (INFINITE: no limit) for the line or an Interrupt and
    // serves what is due, which may complete operations and set their events. False when
    // there is nothing to serve (a device without a line of its own, closed, gone): the
    // waiting thread then waits plainly.
    virtual bool Pump(DWORD milliseconds)
    {
        (void)milliseconds;
        return false;
    }
    // Ends another thread's Pump early. Runs under the events' lock: it must not lock.
    virtual void Interrupt() {}

protected:
    // Marks an operation outstanding (Internal := STATUS_PENDING, event reset).
    void Begin(LPOVERLAPPED ov);
    // Ends an operation: status (0 or a Windows error code), byte count, event set.
    void Complete(LPOVERLAPPED ov, DWORD status, DWORD bytes);
    // Guards the OVERLAPPED fields between the completing thread and the caller.
    std::mutex ovMutex_;
};

// Returns the device for a path, or nullptr with `error` 0 to let the default POSIX
// device open it, or nullptr with a Windows error code to refuse it.
using CommDeviceFactory = std::function<std::shared_ptr<CommDevice>(const std::string& path, DWORD& error)>;
void SetCommDeviceFactory(CommDeviceFactory factory);

// Ties an event to the device whose operation it waits for (see CommDevice).
void AttachEventPump(HANDLE event, std::weak_ptr<CommDevice> device);

// Handle table.
HANDLE InsertHandle(std::shared_ptr<HandleObject> object);
std::shared_ptr<HandleObject> LookupHandle(HANDLE handle);
// Number of open handles (tests check for leaks).
std::size_t OpenHandleCount();
