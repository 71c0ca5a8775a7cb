// The serial calls: CreateFileA's name mapping and device choice, and the forwarding
// of every comm call to the device behind the handle.
#include "Win32.h"

#include "CommDevice.h"
#include "PosixComm.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

namespace {

std::mutex g_factoryMutex;
CommDeviceFactory g_factory;

std::shared_ptr<CommDevice> LookupComm(HANDLE h)
{
    auto d = std::dynamic_pointer_cast<CommDevice>(LookupHandle(h));
    if (!d)
        SetLastError(ERROR_INVALID_HANDLE);
    return d;
}

std::string DevicePath(const std::string& fileName)
{
    static const std::string prefix = "\\\\.\\";
    if (fileName.compare(0, prefix.size(), prefix) != 0)
        return std::string();
    const std::string name = fileName.substr(prefix.size());
    if (name.empty())
        return std::string();
    if (name[0] == '/')
        return name;
    if (name.size() > 3 && (name[0] == 'C' || name[0] == 'c') && (name[1] == 'O' || name[1] == 'o')
        && (name[2] == 'M' || name[2] == 'm')) {
        const std::string digits = name.substr(3);
        bool allDigits = !digits.empty() && digits.size() <= 4;
        for (char c : digits)
            allDigits = allDigits && c >= '0' && c <= '9';
        if (allDigits) {
            const int n = std::stoi(digits);
            if (n >= 1)
                return "/dev/ttyS" + std::to_string(n - 1);
        }
    }
    if (name.find('/') != std::string::npos)
        return std::string();
    return "/dev/" + name;
}

}  // namespace

void SetCommDeviceFactory(CommDeviceFactory factory)
{
    std::lock_guard<std::mutex> l(g_factoryMutex);
    g_factory = std::move(factory);
}

const char* CommDevicePathFor(LPCSTR fileName, char* buffer, std::size_t size)
{
    const std::string p = DevicePath(fileName ? fileName : "");
    std::snprintf(buffer, size, "%s", p.c_str());
    return buffer;
}

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE)
{
    (void)shareMode;
    ForgetCommOpenFailure();
    if (!fileName || creationDisposition != OPEN_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::string path = DevicePath(fileName);
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    CommDeviceFactory factory;
    {
        std::lock_guard<std::mutex> l(g_factoryMutex);
        factory = g_factory;
    }
    std::shared_ptr<CommDevice> device;
    if (factory) {
        DWORD error = 0;
        device = factory(path, error);
        if (!device && error != 0) {
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
    }
    if (!device) {
        DWORD error = 0;
        device = OpenPosixCommDevice(path, desiredAccess, (flagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0, error);
        if (!device) {
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
    }
    SetLastError(ERROR_SUCCESS);
    return InsertHandle(device);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped)
{
    auto d = LookupComm(file);
    return d ? d->Read(buffer, toRead, read, overlapped) : FALSE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped)
{
    auto d = LookupComm(file);
    return d ? d->Write(buffer, toWrite, written, overlapped) : FALSE;
}

BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait)
{
    auto d = LookupComm(file);
    return d ? d->OverlappedResult(overlapped, transferred, wait) : FALSE;
}

BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue)
{
    auto d = LookupComm(file);
    return d ? d->Setup(inQueue, outQueue) : FALSE;
}

BOOL GetCommState(HANDLE file, LPDCB dcb)
{
    auto d = LookupComm(file);
    if (d && !dcb) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return d ? d->GetState(dcb) : FALSE;
}

BOOL SetCommState(HANDLE file, LPDCB dcb)
{
    auto d = LookupComm(file);
    if (d && !dcb) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return d ? d->SetState(*dcb) : FALSE;
}

BOOL GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts)
{
    auto d = LookupComm(file);
    if (d && !timeouts) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return d ? d->GetTimeouts(timeouts) : FALSE;
}

BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts)
{
    auto d = LookupComm(file);
    if (d && !timeouts) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return d ? d->SetTimeouts(*timeouts) : FALSE;
}

BOOL SetCommMask(HANDLE file, DWORD mask)
{
    auto d = LookupComm(file);
    return d ? d->SetMask(mask) : FALSE;
}

BOOL GetCommMask(HANDLE file, LPDWORD mask)
{
    auto d = LookupComm(file);
    return d ? d->GetMask(mask) : FALSE;
}

BOOL WaitCommEvent(HANDLE file, LPDWORD mask, LPOVERLAPPED overlapped)
{
    auto d = LookupComm(file);
    return d ? d->WaitEvent(mask, overlapped) : FALSE;
}

BOOL ClearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT stat)
{
    auto d = LookupComm(file);
    return d ? d->ClearError(errors, stat) : FALSE;
}

BOOL GetCommModemStatus(HANDLE file, LPDWORD modemStat)
{
    auto d = LookupComm(file);
    return d ? d->ModemStatus(modemStat) : FALSE;
}

BOOL EscapeCommFunction(HANDLE file, DWORD function)
{
    auto d = LookupComm(file);
    return d ? d->Escape(function) : FALSE;
}

BOOL PurgeComm(HANDLE file, DWORD flags)
{
    auto d = LookupComm(file);
    return d ? d->Purge(flags) : FALSE;
}

BOOL SetCommBreak(HANDLE file) { return EscapeCommFunction(file, SETBREAK); }
BOOL ClearCommBreak(HANDLE file) { return EscapeCommFunction(file, CLRBREAK); }
