// Handles, last-error codes, events and waits, critical sections, the tick count and the
// version record of the Win32-shaped layer.
#include "CommDevice.h"
#include "Win32.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {

TEST(Win32Sync, LastErrorIsPerThread)
{
    SetLastError(87);
    DWORD other = 1;
    std::thread t([&] {
        other = GetLastError();
        SetLastError(5);
    });
    t.join();
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(GetLastError(), 87u);
}

TEST(Win32Sync, BadHandlesFailWithCode6)
{
    HANDLE bogus = reinterpret_cast<HANDLE>(std::uintptr_t(0x7777));
    const struct {
        const char* call;
        std::function<BOOL()> run;
    } cases[] = {
        {"SetEvent", [&] { return SetEvent(bogus); }},
        {"ResetEvent", [&] { return ResetEvent(bogus); }},
        {"CloseHandle", [&] { return CloseHandle(bogus); }},
        {"CloseHandle(invalid)", [&] { return CloseHandle(INVALID_HANDLE_VALUE); }},
        {"SetCommMask", [&] { return SetCommMask(bogus, 1); }},
        {"SetupComm", [&] { return SetupComm(INVALID_HANDLE_VALUE, 10, 10); }},
        {"ClearCommError", [&] { DWORD e; COMSTAT s; return ClearCommError(bogus, &e, &s); }},
        {"PurgeComm", [&] { return PurgeComm(bogus, 15); }},
        {"EscapeCommFunction", [&] { return EscapeCommFunction(bogus, SETDTR); }},
        {"SetCommBreak", [&] { return SetCommBreak(bogus); }},
    };
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_FALSE(c.run()) << c.call;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << c.call;
    }
    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(bogus, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    // An event is not a serial device.
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_FALSE(SetCommMask(e, 1));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    CloseHandle(e);
}

TEST(Win32Sync, WaitsReturnTheLowestSignalledIndexOrTheTimeOut)
{
    HANDLE ev[3];
    for (auto& h : ev)
        h = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(WaitForMultipleObjects(3, ev, FALSE, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WAIT_TIMEOUT, 258u);
    SetEvent(ev[2]);
    SetEvent(ev[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, ev, FALSE, 0), WAIT_OBJECT_0 + 1);
    // Manual reset: stays signalled until reset.
    EXPECT_EQ(WaitForSingleObject(ev[1], 0), WAIT_OBJECT_0);
    ResetEvent(ev[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, ev, FALSE, 0), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(WaitForMultipleObjects(3, ev, TRUE, 0), WAIT_TIMEOUT);
    SetEvent(ev[0]);
    SetEvent(ev[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, ev, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects(0, ev, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    // Auto reset: one satisfied wait takes the signal.
    HANDLE a = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_TIMEOUT);

    // A wait ends when another thread signals, and times out on the clock otherwise.
    ResetEvent(ev[0]);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(ev[0], 60), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(59));
    std::thread s([&] {
        Sleep(20);
        SetEvent(ev[0]);
    });
    EXPECT_EQ(WaitForSingleObject(ev[0], 5000), WAIT_OBJECT_0);
    s.join();
    for (auto& h : ev)
        EXPECT_TRUE(CloseHandle(h));
    CloseHandle(a);
    EXPECT_FALSE(CloseHandle(a));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Win32Sync, NamedEventsReportThatTheyExist)
{
    HANDLE a = CreateEventA(nullptr, TRUE, FALSE, "kv-test-event");
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    HANDLE b = CreateEventA(nullptr, TRUE, FALSE, "kv-test-event");
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    SetEvent(a);
    EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_OBJECT_0);
    // The empty name is no name.
    HANDLE c = CreateEventA(nullptr, TRUE, FALSE, "");
    HANDLE d = CreateEventA(nullptr, TRUE, FALSE, "");
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    SetEvent(c);
    EXPECT_EQ(WaitForSingleObject(d, 0), WAIT_TIMEOUT);
    for (HANDLE h : {a, b, c, d})
        CloseHandle(h);
}

// An object that looks its own handle up while it closes.
class ClosingProbe : public HandleObject {
public:
    HANDLE Self = nullptr;
    int Closes = 0;
    bool FoundWhileClosing = false;
    void Close() override
    {
        ++Closes;
        FoundWhileClosing = LookupHandle(Self) != nullptr;
    }
};

TEST(Win32Sync, HandleLeavesTheTableOnlyOnceItsObjectHasClosed)
{
    // Another thread that finds the handle gone must be able to rely on the object having
    // ended its work (a device no longer fills the buffer of a pending read).
    auto probe = std::make_shared<ClosingProbe>();
    probe->Self = InsertHandle(probe);
    const std::size_t open = OpenHandleCount();
    ASSERT_TRUE(CloseHandle(probe->Self));
    EXPECT_EQ(probe->Closes, 1);
    EXPECT_TRUE(probe->FoundWhileClosing);
    EXPECT_EQ(LookupHandle(probe->Self), nullptr);
    EXPECT_EQ(OpenHandleCount(), open - 1);
    EXPECT_FALSE(CloseHandle(probe->Self));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(probe->Closes, 1);
}

TEST(Win32Sync, CriticalSectionExcludesAndNests)
{
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    int counter = 0;
    auto work = [&] {
        for (int i = 0; i < 10000; ++i) {
            EnterCriticalSection(&cs);
            EnterCriticalSection(&cs);
            ++counter;
            LeaveCriticalSection(&cs);
            LeaveCriticalSection(&cs);
        }
    };
    std::thread t1(work), t2(work);
    t1.join();
    t2.join();
    EXPECT_EQ(counter, 20000);
    DeleteCriticalSection(&cs);
}

std::atomic<DWORD> g_fakeTick{0};
DWORD FakeTick() { return g_fakeTick.load(); }

TEST(Win32Sync, TickCountIsMonotonicAndReplaceable)
{
    // Milliseconds of the steady clock: the ticks taken around a sleep differ by what
    // that clock measured around them, however long the sleep was stretched.
    const auto t0 = std::chrono::steady_clock::now();
    const DWORD a = GetTickCount();
    Sleep(30);
    const DWORD b = GetTickCount();
    const auto t1 = std::chrono::steady_clock::now();
    const auto outer = std::chrono::duration_cast<std::chrono::milliseconds>(t1 - t0).count();
    EXPECT_GE(DWORD(b - a), 29u);
    EXPECT_LE(DWORD(b - a), static_cast<DWORD>(outer + 1));
    g_fakeTick = 0xFFFFFFF0u;
    SetTickCountSource(&FakeTick);
    EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
    g_fakeTick += 0x20;
    EXPECT_EQ(GetTickCount(), 0x10u);
    SetTickCountSource(nullptr);
    EXPECT_GE(DWORD(GetTickCount() - b), 0u);
}

TEST(Win32Sync, VersionRecordIsTheNtFamily)
{
    OSVERSIONINFOA v{};
    EXPECT_FALSE(GetVersionExA(&v));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    v.dwOSVersionInfoSize = sizeof(v);
    ASSERT_TRUE(GetVersionExA(&v));
    EXPECT_EQ(v.dwPlatformId, VER_PLATFORM_WIN32_NT);
    EXPECT_EQ(v.dwMajorVersion, 10u);
    EXPECT_EQ(v.dwMinorVersion, 0u);
}

}  // namespace
