// Handles, last-error codes, events and waits, critical sections, time and version.
#include "Win32.h"

#include "CommDevice.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <sys/utsname.h>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

thread_local DWORD t_lastError = 0;

std::mutex g_tableMutex;
std::map<std::uintptr_t, std::shared_ptr<HandleObject>> g_table;
std::uintptr_t g_nextHandle = 0x100;

// All events share one lock and one condition: waits on several events stay simple and
// the program has only a handful of them.
std::mutex g_eventMutex;
std::condition_variable g_eventCond;

class Event : public HandleObject {
public:
    Event(bool manual, bool signalled, std::string name) : manual(manual), signalled(signalled), name(std::move(name)) {}
    ~Event() override;
    bool manual;
    bool signalled;  // under g_eventMutex
    std::string name;
    std::weak_ptr<CommDevice> pump;  // under g_eventMutex: the device that serves its waits
};

// Threads inside a device's Pump (under g_eventMutex): an event set by another thread
// interrupts them, since what they wait for may be that event.
struct Pumping {
    std::thread::id thread;
    CommDevice* device;
};
std::vector<Pumping> g_pumping;

std::mutex g_namedMutex;
std::map<std::string, std::weak_ptr<Event>> g_namedEvents;

Event::~Event()
{
    if (!name.empty()) {
        std::lock_guard<std::mutex> l(g_namedMutex);
        auto it = g_namedEvents.find(name);
        if (it != g_namedEvents.end() && it->second.expired())
            g_namedEvents.erase(it);
    }
}

std::shared_ptr<Event> LookupEvent(HANDLE h)
{
    return std::dynamic_pointer_cast<Event>(LookupHandle(h));
}

std::atomic<TickCountSource> g_tickSource{nullptr};

std::mutex g_versionMutex;
bool g_versionOverridden = false;
bool g_versionFails = false;
OSVERSIONINFOA g_version{};
bool g_releaseOverridden = false;
SystemRelease g_release;

}  // namespace

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

HANDLE InsertHandle(std::shared_ptr<HandleObject> object)
{
    std::lock_guard<std::mutex> l(g_tableMutex);
    const std::uintptr_t h = g_nextHandle;
    g_nextHandle += 4;
    g_table.emplace(h, std::move(object));
    return reinterpret_cast<HANDLE>(h);
}

std::shared_ptr<HandleObject> LookupHandle(HANDLE handle)
{
    std::lock_guard<std::mutex> l(g_tableMutex);
    auto it = g_table.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == g_table.end() ? nullptr : it->second;
}

std::size_t OpenHandleCount()
{
    std::lock_guard<std::mutex> l(g_tableMutex);
    return g_table.size();
}

BOOL CloseHandle(HANDLE handle)
{
    // The object is closed while its handle is still in the table, and only then taken
    // out: a thread that finds the handle gone knows the object has ended every
    // outstanding operation and will not touch a caller's buffer again (a reader may
    // then free the buffer of a read that was pending).
    std::shared_ptr<HandleObject> object = LookupHandle(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    object->Close();
    std::lock_guard<std::mutex> l(g_tableMutex);
    auto it = g_table.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == g_table.end() || it->second != object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    g_table.erase(it);
    return TRUE;
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR name)
{
    const std::string n = name ? name : "";
    if (!n.empty()) {
        std::lock_guard<std::mutex> l(g_namedMutex);
        auto it = g_namedEvents.find(n);
        if (it != g_namedEvents.end()) {
            if (auto existing = it->second.lock()) {
                HANDLE h = InsertHandle(existing);
                SetLastError(ERROR_ALREADY_EXISTS);
                return h;
            }
        }
        auto e = std::make_shared<Event>(manualReset != FALSE, initialState != FALSE, n);
        g_namedEvents[n] = e;
        SetLastError(ERROR_SUCCESS);
        return InsertHandle(e);
    }
    SetLastError(ERROR_SUCCESS);
    return InsertHandle(std::make_shared<Event>(manualReset != FALSE, initialState != FALSE, std::string()));
}

BOOL SetEvent(HANDLE event)
{
    auto e = LookupEvent(event);
    if (!e) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> l(g_eventMutex);
        e->signalled = true;
        const auto self = std::this_thread::get_id();
        for (const Pumping& p : g_pumping)
            if (p.thread != self)
                p.device->Interrupt();
    }
    g_eventCond.notify_all();
    return TRUE;
}

void AttachEventPump(HANDLE event, std::weak_ptr<CommDevice> device)
{
    auto e = LookupEvent(event);
    if (!e)
        return;
    std::lock_guard<std::mutex> l(g_eventMutex);
    e->pump = std::move(device);
}

BOOL ResetEvent(HANDLE event)
{
    auto e = LookupEvent(event);
    if (!e) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> l(g_eventMutex);
    e->signalled = false;
    return TRUE;
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds)
{
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::array<std::shared_ptr<Event>, MAXIMUM_WAIT_OBJECTS> events;
    for (DWORD i = 0; i < count; ++i) {
        events[i] = LookupEvent(handles[i]);
        if (!events[i]) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    std::unique_lock<std::mutex> l(g_eventMutex);
    bool timedOut = milliseconds == 0;
    for (;;) {
        if (waitAll) {
            bool all = true;
            for (DWORD i = 0; i < count; ++i)
                all = all && events[i]->signalled;
            if (all) {
                for (DWORD i = 0; i < count; ++i)
                    if (!events[i]->manual)
                        events[i]->signalled = false;
                return WAIT_OBJECT_0;
            }
        } else {
            for (DWORD i = 0; i < count; ++i) {
                if (events[i]->signalled) {
                    if (!events[i]->manual)
                        events[i]->signalled = false;
                    return WAIT_OBJECT_0 + i;
                }
            }
        }
        if (timedOut)
            return WAIT_TIMEOUT;
        // An event of a device's outstanding operation: the wait serves the device.
        std::shared_ptr<CommDevice> pump;
        for (DWORD i = 0; i < count && !pump; ++i)
            pump = events[i]->pump.lock();
        if (pump) {
            DWORD ms = INFINITE;
            if (milliseconds != INFINITE) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
                if (left <= 0) {
                    timedOut = true;
                    continue;
                }
                ms = static_cast<DWORD>(left);
            }
            const auto self = std::this_thread::get_id();
            g_pumping.push_back({self, pump.get()});
            l.unlock();
            const bool served = pump->Pump(ms);
            l.lock();
            for (auto it = g_pumping.begin(); it != g_pumping.end(); ++it) {
                if (it->thread == self && it->device == pump.get()) {
                    g_pumping.erase(it);
                    break;
                }
            }
            if (served) {
                if (milliseconds != INFINITE && Clock::now() >= deadline)
                    timedOut = true;  // one more look at the states, then the time-out
                continue;
            }
        }
        if (milliseconds == INFINITE)
            g_eventCond.wait(l);
        else if (g_eventCond.wait_until(l, deadline) == std::cv_status::timeout)
            timedOut = true;  // one more look at the states, then the time-out
    }
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

void InitializeCriticalSection(LPCRITICAL_SECTION cs) { cs->impl = new std::recursive_mutex(); }
void EnterCriticalSection(LPCRITICAL_SECTION cs) { static_cast<std::recursive_mutex*>(cs->impl)->lock(); }
void LeaveCriticalSection(LPCRITICAL_SECTION cs) { static_cast<std::recursive_mutex*>(cs->impl)->unlock(); }
void DeleteCriticalSection(LPCRITICAL_SECTION cs)
{
    delete static_cast<std::recursive_mutex*>(cs->impl);
    cs->impl = nullptr;
}

DWORD GetTickCount()
{
    if (TickCountSource s = g_tickSource.load())
        return s();
    using namespace std::chrono;
    return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SetTickCountSource(TickCountSource source) { g_tickSource.store(source); }

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

BOOL GetVersionExA(LPOSVERSIONINFOA info)
{
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> l(g_versionMutex);
    if (g_versionFails) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (g_versionOverridden) {
        *info = g_version;
        info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        return TRUE;
    }
    std::memset(info, 0, sizeof(*info));
    info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    info->dwMajorVersion = 10;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 19045;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    return TRUE;
}

SystemRelease GetSystemRelease()
{
    SystemRelease r;
    {
        std::lock_guard<std::mutex> l(g_versionMutex);
        if (g_releaseOverridden) {
            r.Name = g_release.Name;
            r.Release = g_release.Release;
        }
    }
    if (r.Name.empty() && r.Release.empty()) {
        utsname u{};
        if (::uname(&u) == 0) {
            r.Name = u.sysname;
            r.Release = u.release;
        }
    }
    // "6.1.0-18-amd64": up to three dot-separated numbers from the start; the first
    // character that is not part of them ends the reading.
    const char* p = r.Release.c_str();
    DWORD* parts[] = {&r.Major, &r.Minor, &r.Build};
    for (DWORD* part : parts) {
        if (*p < '0' || *p > '9')
            break;
        char* end = nullptr;
        *part = static_cast<DWORD>(std::strtoul(p, &end, 10));
        p = end;
        if (*p != '.')
            break;
        ++p;
    }
    return r;
}

void SetSystemReleaseForTests(const SystemRelease* release)
{
    std::lock_guard<std::mutex> l(g_versionMutex);
    g_releaseOverridden = release != nullptr;
    if (release)
        g_release = *release;
}

void SetVersionForTests(const OSVERSIONINFOA* info, bool fails)
{
    std::lock_guard<std::mutex> l(g_versionMutex);
    g_versionFails = fails;
    g_versionOverridden = info != nullptr;
    if (info)
        g_version = *info;
}

// ---- overlapped bookkeeping shared by the devices -----------------------------------------

void CommDevice::Begin(LPOVERLAPPED ov)
{
    {
        std::lock_guard<std::mutex> l(ovMutex_);
        ov->Internal = STATUS_PENDING;
        ov->InternalHigh = 0;
    }
    if (ov->hEvent) {
        ResetEvent(ov->hEvent);
        AttachEventPump(ov->hEvent, weak_from_this());
    }
}

void CommDevice::Complete(LPOVERLAPPED ov, DWORD status, DWORD bytes)
{
    HANDLE ev;
    {
        std::lock_guard<std::mutex> l(ovMutex_);
        ov->Internal = status;
        ov->InternalHigh = bytes;
        ev = ov->hEvent;
    }
    if (ev)
        SetEvent(ev);
}

BOOL CommDevice::OverlappedResult(LPOVERLAPPED ov, LPDWORD transferred, BOOL wait)
{
    if (!ov) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (;;) {
        ULONG_PTR status, bytes;
        HANDLE ev;
        {
            std::lock_guard<std::mutex> l(ovMutex_);
            status = ov->Internal;
            bytes = ov->InternalHigh;
            ev = ov->hEvent;
        }
        if (status == STATUS_PENDING) {
            if (!wait || !ev) {
                SetLastError(ERROR_IO_INCOMPLETE);
                return FALSE;
            }
            if (WaitForSingleObject(ev, INFINITE) == WAIT_FAILED)
                return FALSE;
            continue;
        }
        if (transferred)
            *transferred = static_cast<DWORD>(bytes);
        if (status != ERROR_SUCCESS) {
            SetLastError(static_cast<DWORD>(status));
            return FALSE;
        }
        return TRUE;
    }
}
