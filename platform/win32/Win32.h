// Win32-shaped calls for the serial component, backed by POSIX: handles, per-thread
// last-error codes, manual/auto-reset events and waits, critical sections, the tick
// count, Sleep, the version record, and the serial communication calls.
//
// Handles are entries of a process-wide table (never file descriptors). Every call
// that fails sets the calling thread's last error to the Windows code the callers
// test (ERROR_INVALID_HANDLE, ERROR_IO_PENDING, ERROR_IO_INCOMPLETE, ...).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using BOOL = int;
using UINT = unsigned int;
using LONG = std::int32_t;
using ULONG_PTR = std::uintptr_t;
using HANDLE = void*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPCSTR = const char*;
using LPDWORD = DWORD*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t(0));

// ---- error codes --------------------------------------------------------------------
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_BAD_COMMAND = 22;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_OPERATION_ABORTED = 995;
constexpr DWORD ERROR_IO_INCOMPLETE = 996;
constexpr DWORD ERROR_IO_PENDING = 997;
constexpr DWORD ERROR_DEVICE_NOT_CONNECTED = 1167;

DWORD GetLastError();
void SetLastError(DWORD code);

// ---- handles, events, waits -----------------------------------------------------------
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED = 0x80;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// A named event that already exists is returned with ERROR_ALREADY_EXISTS set.
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// Returns WAIT_OBJECT_0 + the lowest index of a signalled object (waitAll FALSE), or
// WAIT_OBJECT_0 once all are signalled (waitAll TRUE), WAIT_TIMEOUT, or WAIT_FAILED.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);
BOOL CloseHandle(HANDLE handle);

// ---- critical sections ----------------------------------------------------------------
struct CRITICAL_SECTION {
    void* impl = nullptr;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;
void InitializeCriticalSection(LPCRITICAL_SECTION cs);
void EnterCriticalSection(LPCRITICAL_SECTION cs);
void LeaveCriticalSection(LPCRITICAL_SECTION cs);
void DeleteCriticalSection(LPCRITICAL_SECTION cs);

// ---- time -----------------------------------------------------------------------------
// Milliseconds on a monotonic clock, 32 bits, wrapping after 49.7 days.
DWORD GetTickCount();
// Tests replace the clock (nullptr restores the real one).
using TickCountSource = DWORD (*)();
void SetTickCountSource(TickCountSource source);
void Sleep(DWORD milliseconds);

// ---- version --------------------------------------------------------------------------
constexpr DWORD VER_PLATFORM_WIN32s = 0;
constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    char szCSDVersion[128];
};
static_assert(sizeof(OSVERSIONINFOA) == 148);
using LPOSVERSIONINFOA = OSVERSIONINFOA*;

// Fills a fixed NT-family record (10.0, platform 2). Fails with ERROR_INVALID_PARAMETER
// unless the size member is 148.
BOOL GetVersionExA(LPOSVERSIONINFOA info);
// Tests make the call answer another record (nullptr restores the fixed one; `fails`
// makes the call fail).
void SetVersionForTests(const OSVERSIONINFOA* info, bool fails = false);

// The system the program really runs on, for reports that name it (the version record
// above stays the NT family's, which the callers' branches expect): the kernel's name
// and release as uname gives them, and the release's leading numbers.
struct SystemRelease {
    std::string Name;     // "Linux"
    std::string Release;  // "6.1.0-18-amd64"
    DWORD Major = 0, Minor = 0, Build = 0;  // 6, 1, 0
};
SystemRelease GetSystemRelease();
// Tests make the call answer these names (nullptr restores the system's own); the
// numbers are read from the release as for the system's.
void SetSystemReleaseForTests(const SystemRelease* release);

// ---- files / serial devices -----------------------------------------------------------
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;

struct OVERLAPPED {
    ULONG_PTR Internal;      // completion status: STATUS_PENDING while outstanding, else a Windows error code
    ULONG_PTR InternalHigh;  // bytes transferred
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};
using LPOVERLAPPED = OVERLAPPED*;
constexpr ULONG_PTR STATUS_PENDING = 0x103;

// "\\.\" + name opens a serial device: an absolute path as it is, COMn as /dev/ttyS(n-1),
// any other name as /dev/<name>. Only terminal devices open, and only exclusively.
HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES attributes,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);
// The device path CreateFileA opens for a "\\.\" name (empty when it is not one).
const char* CommDevicePathFor(LPCSTR fileName, char* buffer, std::size_t size);

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped);
BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait);

// Device control block; the flag bits of the original bit fields are one word here.
constexpr DWORD DCB_fBinary = 0x0001;
constexpr DWORD DCB_fParity = 0x0002;
constexpr DWORD DCB_fOutxCtsFlow = 0x0004;
constexpr DWORD DCB_fOutxDsrFlow = 0x0008;
constexpr DWORD DCB_fDtrControlMask = 0x0030;  // 0x0020: DTR handshake
constexpr DWORD DCB_fDsrSensitivity = 0x0040;
constexpr DWORD DCB_fTXContinueOnXoff = 0x0080;
constexpr DWORD DCB_fOutX = 0x0100;
constexpr DWORD DCB_fInX = 0x0200;
constexpr DWORD DCB_fErrorChar = 0x0400;
constexpr DWORD DCB_fNull = 0x0800;
constexpr DWORD DCB_fRtsControlMask = 0x3000;  // 0x2000: RTS handshake
constexpr DWORD DCB_fAbortOnError = 0x4000;

struct DCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD Flags;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    BYTE StopBits;  // 0 one, 1 one and a half, 2 two
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
};
using LPDCB = DCB*;

struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
};
using LPCOMMTIMEOUTS = COMMTIMEOUTS*;

// Status flag bits of COMSTAT.Flags (the original's bit fields, low bit first).
constexpr DWORD COMSTAT_fCtsHold = 0x01;
constexpr DWORD COMSTAT_fDsrHold = 0x02;
constexpr DWORD COMSTAT_fRlsdHold = 0x04;
constexpr DWORD COMSTAT_fXoffHold = 0x08;
constexpr DWORD COMSTAT_fXoffSent = 0x10;
constexpr DWORD COMSTAT_fEof = 0x20;
constexpr DWORD COMSTAT_fTxim = 0x40;
struct COMSTAT {
    DWORD Flags;
    DWORD cbInQue;
    DWORD cbOutQue;
};
using LPCOMSTAT = COMSTAT*;

// Line error bits.
constexpr DWORD CE_RXOVER = 0x0001;
constexpr DWORD CE_OVERRUN = 0x0002;
constexpr DWORD CE_RXPARITY = 0x0004;
constexpr DWORD CE_FRAME = 0x0008;
constexpr DWORD CE_BREAK = 0x0010;

// Communication events.
constexpr DWORD EV_RXCHAR = 0x0001;
constexpr DWORD EV_RXFLAG = 0x0002;
constexpr DWORD EV_TXEMPTY = 0x0004;
constexpr DWORD EV_CTS = 0x0008;
constexpr DWORD EV_DSR = 0x0010;
constexpr DWORD EV_RLSD = 0x0020;
constexpr DWORD EV_BREAK = 0x0040;
constexpr DWORD EV_ERR = 0x0080;
constexpr DWORD EV_RING = 0x0100;

// Modem status bits.
constexpr DWORD MS_CTS_ON = 0x0010;
constexpr DWORD MS_DSR_ON = 0x0020;
constexpr DWORD MS_RING_ON = 0x0040;
constexpr DWORD MS_RLSD_ON = 0x0080;

// EscapeCommFunction codes.
constexpr DWORD SETXOFF = 1;
constexpr DWORD SETXON = 2;
constexpr DWORD SETRTS = 3;
constexpr DWORD CLRRTS = 4;
constexpr DWORD SETDTR = 5;
constexpr DWORD CLRDTR = 6;
constexpr DWORD SETBREAK = 8;
constexpr DWORD CLRBREAK = 9;

// PurgeComm flags.
constexpr DWORD PURGE_TXABORT = 0x0001;
constexpr DWORD PURGE_RXABORT = 0x0002;
constexpr DWORD PURGE_TXCLEAR = 0x0004;
constexpr DWORD PURGE_RXCLEAR = 0x0008;

BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue);
BOOL GetCommState(HANDLE file, LPDCB dcb);
BOOL SetCommState(HANDLE file, LPDCB dcb);
BOOL GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts);
BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts);
BOOL SetCommMask(HANDLE file, DWORD mask);
BOOL GetCommMask(HANDLE file, LPDWORD mask);
BOOL WaitCommEvent(HANDLE file, LPDWORD mask, LPOVERLAPPED overlapped);
BOOL ClearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT stat);
BOOL GetCommModemStatus(HANDLE file, LPDWORD modemStat);
BOOL EscapeCommFunction(HANDLE file, DWORD function);
BOOL PurgeComm(HANDLE file, DWORD flags);
BOOL SetCommBreak(HANDLE file);
BOOL ClearCommBreak(HANDLE file);
